#include "ui/index_window.hpp"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

#include "commands/cell_indexing.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "ui/grid_text_table.hpp"

namespace vornax {

namespace {

std::optional<double> number_in(const QLineEdit* box) {
  bool ok = false;
  const double v = box->text().trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

constexpr std::array<const char*, 7> kSystemNames = {
    "Cubic", "Tetragonal", "Orthorhombic", "Hexagonal", "Rhombohedral", "Monoclinic", "Triclinic"};

constexpr std::array<const char*, 14> kColumns = {
    "System", "Lattice", "a", "b", "c", "α", "β", "γ", "Volume", "Figure", "M(N)",
    "F(N) (|Δ2θ|, Nposs)", "Unindexed", "Zero"};
constexpr int kUnindexedColumn = 12;

}  // namespace

IndexWindow::IndexWindow(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), m_(m) {
  setObjectName("IndexWindow");
  setWindowTitle("Index");
  build();
}

IndexWindow::~IndexWindow() { stop_and_wait(); }

void IndexWindow::build() {
  const indexing::IndexSettings defaults;
  auto* limits = new QGroupBox("Limits", this);
  limits->setObjectName("group_index_limits");
  auto box = [&](const char* name, const QString& value) {
    auto* e = new QLineEdit(value, limits);
    e->setObjectName(name);
    e->setMaximumWidth(90);
    return e;
  };
  lambda_ = box("edit_index_lambda", "");
  max_axis_ = box("edit_index_max_axis", QString::number(defaults.max_axis));
  max_volume_ = box("edit_index_max_volume", QString::number(defaults.max_volume));
  min_axis_ = box("edit_index_min_axis", QString::number(defaults.min_axis));
  min_volume_ = box("edit_index_min_volume", QString::number(defaults.min_volume));
  zero_ = box("edit_index_zero", QString::number(indexing::kCuZeroRange));
  time_ = box("edit_index_time", QString::number(defaults.time_budget));
  impurities_ = new QSpinBox(limits);
  impurities_->setObjectName("spin_index_impurities");
  impurities_->setRange(0, 10);
  impurities_->setValue(defaults.impurities);
  auto* grid = new QGridLayout(limits);
  const std::pair<const char*, QWidget*> fields[] = {
      {"Lambda (A)", lambda_},      {"Shortest axis (A)", min_axis_},
      {"Largest axis (A)", max_axis_}, {"Smallest volume (A^3)", min_volume_},
      {"Largest volume (A^3)", max_volume_}, {"Zero within +- (deg. 2Theta)", zero_},
      {"Unindexed lines allowed", impurities_}, {"Time budget (s)", time_}};
  int col = 0;
  for (const auto& [label, w] : fields) {
    grid->addWidget(new QLabel(label, limits), 0, col);
    grid->addWidget(w, 1, col++);
  }
  auto* systems = new QHBoxLayout;
  for (size_t i = 0; i < systems_.size(); ++i) {
    systems_[i] = new QCheckBox(kSystemNames[i], limits);
    systems_[i]->setObjectName(QString("check_index_") + QString(kSystemNames[i]).toLower());
    systems_[i]->setChecked(true);
    systems->addWidget(systems_[i]);
  }
  systems->addStretch(1);
  grid->addLayout(systems, 2, 0, 1, col);
  index_ = new QPushButton("Index", limits);
  index_->setObjectName("button_index_start");
  grid->addWidget(index_, 1, col);
  grid->setColumnStretch(col + 1, 1);

  progress_bar_ = new QProgressBar(this);
  progress_bar_->setObjectName("progress_index");
  progress_bar_->setRange(0, 100);
  progress_bar_->setValue(0);
  status_ = new QLabel(this);
  status_->setObjectName("label_index_status");
  status_->setWordWrap(true);

  table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
  table_->setObjectName("grid_index_candidates");
  QStringList headers;
  for (const char* h : kColumns) headers << QString::fromUtf8(h);
  table_->setHorizontalHeaderLabels(headers);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

  auto* groups_box = new QGroupBox("Space groups the lines allow", this);
  groups_box->setToolTip("The groups of the chosen cell's lattice whose reflection conditions "
                         "leave every indexed line allowed; most calculated lines removed first");
  groups_box->setObjectName("group_index_groups");
  groups_ = new QListWidget(groups_box);
  groups_->setObjectName("list_index_groups");
  groups_box->setMaximumWidth(300);
  auto* groups_layout = new QVBoxLayout(groups_box);
  groups_layout->addWidget(groups_);

  use_button_ = new QPushButton("Use", this);
  use_button_->setObjectName("button_index_use");
  use_button_->setEnabled(false);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("button_index_cancel");
  cancel_->setEnabled(false);
  close_ = new QPushButton("Close", this);
  close_->setObjectName("button_index_close");

  auto* results = new QHBoxLayout;
  results->addWidget(table_, 1);
  results->addWidget(groups_box);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(progress_bar_, 1);
  buttons->addWidget(cancel_);
  buttons->addWidget(use_button_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(limits);
  layout->addWidget(status_);
  layout->addLayout(results, 1);
  layout->addLayout(buttons);
  resize(1260, 520);

  ticker_ = new QTimer(this);
  ticker_->setInterval(100);
  connect(ticker_, &QTimer::timeout, this, &IndexWindow::show_progress);
  connect(index_, &QPushButton::clicked, this, &IndexWindow::start);
  connect(cancel_, &QPushButton::clicked, this, &IndexWindow::cancel);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  connect(use_button_, &QPushButton::clicked, this, &IndexWindow::use_chosen);
  connect(table_, &QTableWidget::currentCellChanged, this,
          [this](int row, int, int, int) { show_groups(row); });
}

void IndexWindow::open_on_session() {
  if (s_.measured.peaks.empty()) {
    m_.error(kNoPeaksToIndex);
    return;
  }
  stop_and_wait();
  lambda_->setText(s_.wavelengths.lambda > 0 ? qstr(format_fixed(s_.wavelengths.lambda, 0, 5))
                                             : QString());
  // The zero range stands for the same error in 1/d at any wavelength.
  indexing::IndexSettings at_lambda;
  at_lambda.lambda = s_.wavelengths.lambda;
  zero_->setText(qstr(format_fixed(indexing::index_zero_range(at_lambda), 0, 3)));
  show();
  raise();
  activateWindow();
  start();
}

void IndexWindow::start() {
  stop_and_wait();
  // The peaks as they are now: they may have changed since the window opened.
  if (s_.measured.peaks.empty()) {
    m_.error(kNoPeaksToIndex);
    return;
  }
  const auto lambda = number_in(lambda_), axis = number_in(max_axis_),
             volume = number_in(max_volume_), zero = number_in(zero_), time = number_in(time_),
             min_axis = number_in(min_axis_), min_volume = number_in(min_volume_);
  const char* bad = !lambda || *lambda <= 0 ? "Lambda error!"
                    : !axis || *axis <= 0   ? "The largest axis must be a positive number"
                    : !volume || *volume <= 0 ? "The largest volume must be a positive number"
                    : !min_axis || *min_axis < 0 || *min_axis >= *axis
                        ? "The shortest axis must be 0 or above and below the largest"
                    : !min_volume || *min_volume < 0 || *min_volume >= *volume
                        ? "The smallest volume must be 0 or above and below the largest"
                    : !zero || *zero < 0 || *zero > 1 ? "The zero range is 0 to 1 degree 2Theta"
                    : !time || *time <= 0 ? "The time budget must be a positive number of seconds"
                                          : nullptr;
  if (bad) {
    m_.error(bad);
    return;
  }
  indexing::IndexSettings st;
  st.lambda = *lambda;
  st.max_axis = *axis;
  st.max_volume = *volume;
  st.min_axis = *min_axis;
  st.min_volume = *min_volume;
  st.zero_range = *zero;
  st.impurities = impurities_->value();
  st.time_budget = *time;
  st.systems.clear();
  for (size_t i = 0; i < systems_.size(); ++i)
    if (systems_[i]->isChecked()) st.systems.push_back(static_cast<CrystalSystemId>(i));
  if (st.systems.empty()) {
    m_.error("Choose at least one crystal system");
    return;
  }
  st.threads = std::max(1, QThread::idealThreadCount());
  // The lines of the primary wavelength: the λ typed is that of the Kα (or unfitted)
  // peaks, and fitted or Kα1 peaks are indexed at its Kα1.
  WavelengthSet w = s_.measured.wavelengths;
  if (std::abs(w.lambda - *lambda) > 1e-6) {
    w = WavelengthSet{};
    w.lambda = *lambda;
  }
  const PhaseLines phase = phase_lines(s_.measured.peaks, w);
  lines_ = phase.two_theta;
  left_out_ = phase.left_out;
  st.lambda = phase.lambda;
  settings_ = st;
  lambda_used_ = st.lambda;

  result_ = {};
  table_->setRowCount(0);
  groups_->clear();
  use_button_->setEnabled(false);
  progress_ = std::make_unique<indexing::IndexProgress>();
  progress_bar_->setValue(0);
  status_->setText(QString("Indexing %1 lines...").arg(std::min<int>(static_cast<int>(lines_.size()), st.max_lines)));
  cancel_->setEnabled(true);
  index_->setEnabled(false);
  // The worker owns copies of what it reads: the window may change its boxes meanwhile.
  worker_ = QThread::create([this, lines = lines_, st, progress = progress_.get()] {
    result_ = indexing::index_lines(lines, st, progress);
  });
  // A search cancelled for a new one may report its end after the new one started.
  connect(worker_, &QThread::finished, this, [this, thread = worker_] {
    if (worker_ == thread) finish();
  });
  worker_->start();
  ticker_->start();
}

void IndexWindow::cancel() {
  if (progress_) progress_->cancel = true;
}

void IndexWindow::stop_and_wait() {
  if (!worker_) return;
  cancel();
  worker_->wait();
  finish();
}

void IndexWindow::show_progress() {
  if (!progress_) return;
  const long total = progress_->total.load();
  if (total > 0)
    progress_bar_->setValue(static_cast<int>(100 * std::min(progress_->done.load(), total) / total));
}

void IndexWindow::finish() {
  if (!worker_) return;  // already done by stop_and_wait
  worker_->wait();
  worker_->deleteLater();
  worker_ = nullptr;
  ticker_->stop();
  cancel_->setEnabled(false);
  index_->setEnabled(true);
  progress_bar_->setValue(result_.cancelled || result_.out_of_time ? progress_bar_->value() : 100);
  show_candidates();
  emit searchFinished();
}

void IndexWindow::show_candidates() {
  const auto& r = result_;
  QString status;
  if (r.candidates.empty()) {
    if (r.lines_used < indexing::kMinIndexingLines)
      status = QString("No cell indexes the lines: %1 lines, %2 needed. Search the profile for "
                       "more peaks.").arg(r.lines_used).arg(indexing::kMinIndexingLines);
    else if (r.cancelled)
      status = "Cancelled: no cell was found by then.";
    else if (r.out_of_time)
      status = QString("No cell indexes the lines: none was found in %1 s.")
                   .arg(settings_.time_budget);
    else
      status = QString("No cell indexes the lines: no cell of the systems ticked, up to %1 A "
                       "and %2 A^3, leaves at most %3 of the first %4 lines unindexed. Check "
                       "lambda, or allow more unindexed lines, a wider zero range or larger "
                       "limits.")
                   .arg(settings_.max_axis).arg(settings_.max_volume).arg(settings_.impurities)
                   .arg(r.lines_used);
  } else {
    status = QString("%1 cells index the first %2 lines at lambda %3 A, best first by the "
                     "figure M(N)(N-p)/N.")
                 .arg(r.candidates.size()).arg(r.lines_used).arg(qstr(format_fixed(lambda_used_, 0, 5)));
    if (r.cancelled) status += " Cancelled: these are the cells found by then.";
    if (r.out_of_time)
      status += QString(" The time budget of %1 s ran out: these are the cells found by then.")
                    .arg(settings_.time_budget);
  }
  if (left_out_ > 0)
    status += QString(" %1 K alpha2, K beta or W L alpha lines left out.").arg(left_out_);
  if (r.beyond_largest_axis > 0)
    status += QString(" %1 lines of a d above the largest axis left aside.").arg(r.beyond_largest_axis);
  status += QString(" Searched: zone passes %1 %, dichotomy %2 %.")
                .arg(qstr(format_fixed(100 * r.zone_covered, 0, 0)))
                .arg(qstr(format_fixed(100 * r.dichotomy_covered, 0, 0)));
  status_->setText(status);

  table_->setRowCount(static_cast<int>(r.candidates.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const indexing::IndexedCell& c = r.candidates[static_cast<size_t>(row)];
    const std::string cells[] = {
        std::string(kSystemNames[static_cast<size_t>(c.type.system)]),
        std::string(c.type.symbol),
        format_fixed(c.cell.a, 0, 5),
        format_fixed(c.cell.b, 0, 5),
        format_fixed(c.cell.c, 0, 5),
        format_fixed(c.cell.alpha, 0, 3),
        format_fixed(c.cell.beta, 0, 3),
        format_fixed(c.cell.gamma, 0, 3),
        format_fixed(c.volume, 0, 2),
        format_fixed(c.figure, 0, 1),
        format_fixed(c.m20, 0, 1) + " (" + std::to_string(c.m_lines) + ")",
        format_fixed(c.fn, 0, 1) + " (" + std::to_string(c.fn_lines) + ") (" +
            format_fixed(c.fn_error, 0, 4) + ", " + std::to_string(c.fn_possible) + ")",
        std::to_string(c.unindexed.size()),
        format_fixed(c.zero, 0, 4)};
    for (int col = 0; col < static_cast<int>(std::size(cells)); ++col) {
      auto* item = new QTableWidgetItem(qstr(cells[col]));
      item->setTextAlignment(col < 2 ? Qt::AlignLeft | Qt::AlignVCenter
                                     : Qt::AlignRight | Qt::AlignVCenter);
      if (col == kUnindexedColumn && !c.unindexed.empty()) {
        QStringList lines;
        for (double t : c.unindexed) lines << qstr(format_fixed(t, 0, 3));
        item->setToolTip("Unindexed lines (2Theta): " + lines.join(", "));
      }
      table_->setItem(row, col, item);
    }
  }
  if (table_->rowCount() > 0) table_->setCurrentCell(0, 0);
  use_button_->setEnabled(table_->rowCount() > 0);
}

void IndexWindow::show_groups(int row) {
  groups_->clear();
  if (row < 0 || row >= static_cast<int>(result_.candidates.size())) return;
  std::vector<GroupProposal> proposals;
  try {
    proposals = propose_space_groups(s_, result_.candidates[static_cast<size_t>(row)], lines_,
                                     lambda_used_, result_.tolerance);
  } catch (const FileError& e) {
    m_.error(e.what());
    return;
  }
  for (const GroupProposal& p : proposals) {
    auto* item = new QListWidgetItem(
        QString("%1   removes %2 of %3 lines").arg(qstr(p.symbol)).arg(p.removed).arg(p.lines),
        groups_);
    item->setData(Qt::UserRole, qstr(p.symbol));
  }
  if (groups_->count() > 0) groups_->setCurrentRow(0);
}

void IndexWindow::use_chosen() {
  const int row = table_->currentRow();
  if (row < 0 || row >= static_cast<int>(result_.candidates.size()) || !use_) return;
  const QListWidgetItem* group = groups_->currentItem();
  use_(result_.candidates[static_cast<size_t>(row)],
       group ? group->data(Qt::UserRole).toString().toStdString() : std::string(), lambda_used_);
}

void IndexWindow::closeEvent(QCloseEvent* event) {
  // A search left running would go on using the cores for nothing.
  stop_and_wait();
  QWidget::closeEvent(event);
}

}  // namespace vornax

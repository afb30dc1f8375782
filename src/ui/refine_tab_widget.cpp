#include "ui/widget_helpers.hpp"
#include "ui/command_guard.hpp"
#include "ui/refine_tab_widget.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"
#include "commands/refinement_road.hpp"
#include "commands/result_cif.hpp"
#include "commands/session_commands.hpp"
#include "ui/file_dialogs.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/printing.hpp"

namespace vornax {

namespace {


// Grid widths are given for a small grid font; scaled like the other tabs' grids.

// Labels written in the symbol font: the Latin letters stand for Greek ones.
QString symbol_text(const std::string& text) {
  QString out;
  for (char c : text) {
    switch (c) {
      case 'q': out += QChar(0x03B8); break;  // θ
      case 'D': out += QChar(0x0394); break;  // Δ
      case 'l': out += QChar(0x03BB); break;  // λ
      case 'a': out += QChar(0x03B1); break;  // α
      case 'b': out += QChar(0x03B2); break;  // β
      case 'g': out += QChar(0x03B3); break;  // γ
      default: out += QLatin1Char(c);
    }
  }
  return out;
}

QLineEdit* make_box(QWidget* parent, const QString& name, bool read_only) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(read_only);
  box->setAlignment(Qt::AlignRight);
  box->setMaximumWidth(96);
  box->setMinimumWidth(72);
  return box;
}

QTableWidget* make_grid(QWidget* parent, const char* name) {
  auto* t = new QTableWidget(parent);
  t->setObjectName(QString::fromUtf8(name));
  setup_table(t, false);
  return t;
}

QString box_text(const std::string& t) { return QString::fromStdString(t).trimmed(); }

constexpr std::array<const char*, 9> kRowNames = {"a",     "b",     "c",     "alpha", "beta",
                                                  "gamma", "shift", "lambda", "volume"};

}  // namespace

RefineTabWidget::RefineTabWidget(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent), s_(s), m_(m) {
  build();
  show_initial_values();
  show_before_grid();
  show_after_grid();
}

void RefineTabWidget::build() {
  setObjectName("tab_refine");

  // "Parameters": Initial, Refined, Sigmas and To refine for nine rows.
  auto* params = new QGroupBox(QStringLiteral("Parameters"), this);
  params->setObjectName("panel_parameters");
  params_ = params;
  auto* g = new QGridLayout(params);
  g->setVerticalSpacing(2);
  g->setHorizontalSpacing(4);
  g->addWidget(new QLabel(QStringLiteral("Initial"), params), 0, 1, Qt::AlignCenter);
  g->addWidget(new QLabel(QStringLiteral("Refined"), params), 0, 2, Qt::AlignCenter);
  g->addWidget(new QLabel(QStringLiteral("Sigmas"), params), 0, 3, Qt::AlignCenter);
  g->addWidget(new QLabel(QStringLiteral("To refine"), params), 0, 4, Qt::AlignCenter);
  const std::array<QString, 9> labels = {"a", "b", "c", symbol_text("a"), symbol_text("b"),
                                         symbol_text("g"), QString(), symbol_text("l"), "Vol"};
  for (int r = 0; r < kParameterRows; ++r) {
    const size_t i = static_cast<size_t>(r);
    const QString name = QString::fromLatin1(kRowNames[i]);
    QLabel* label = new QLabel(labels[i], params);
    if (r == kRowShift) {
      shift_label_ = label;
      shift_label_->setObjectName("label_shift");
    }
    g->addWidget(label, r + 1, 0);
    // The cell rows only show the session's cell; shift and wavelength are typed.
    const bool typed = r == kRowShift || r == kRowLambda;
    initial_[i] = make_box(params, "edit_initial_" + name, !typed);
    refined_[i] = make_box(params, "edit_refined_" + name, true);
    sigmas_[i] = make_box(params, "edit_sigma_" + name, true);
    g->addWidget(initial_[i], r + 1, 1);
    g->addWidget(refined_[i], r + 1, 2);
    g->addWidget(sigmas_[i], r + 1, 3);
    if (r < 8) {
      flags_[i] = new QCheckBox(params);
      flags_[i]->setObjectName("check_refine_" + name);
      g->addWidget(flags_[i], r + 1, 4, Qt::AlignCenter);
      connect(flags_[i], &QCheckBox::toggled, this,
              [this, r](bool checked) { on_flag_toggled(r, checked); });
    }
  }
  initial_[kRowShift]->setText(QStringLiteral("0"));
  relabel_shift();

  refine_ = make_button(this, "Refine", "button_refine", "Lauch the refinement process");
  use_ = make_button(this, "Use refined", "button_use_refined",
                     "Replace the initial parameters by the refined parameters");
  restore_ = make_button(this, "Restore", "button_restore", "Restore the initial cell parameters");
  report_ = make_button(this, "Report", "button_report", "Edit (and print) the refinement report");
  excel_ = make_button(this, "Excel", "button_excel", "export results to Excel");
  print_ = make_button(this, "Print screen", "button_print_screen", "Print screen");
  cif_ = make_button(this, "Save CIF", "button_save_cif", "Save the refined cell and the pairs as a CIF file");
  set_result_buttons_visible(false);
  connect_command(refine_, &QPushButton::clicked, this, s_, m_, [this] { go_affinement(); });
  connect_command(use_, &QPushButton::clicked, this, s_, m_, [this] { change_param(); });
  connect_command(restore_, &QPushButton::clicked, this, s_, m_, [this] { resto_param(); });
  connect_command(report_, &QPushButton::clicked, this, s_, m_,
                  [this] { Impression_resultats(); });
  connect_command(excel_, &QPushButton::clicked, this, s_, m_, [this] { transfert_excel(); });
  connect_command(print_, &QPushButton::clicked, this, s_, m_, [this] { print_screen(); });
  connect_command(cif_, &QPushButton::clicked, this, s_, m_, [this] { save_cif(); });
  auto* buttons = new QGridLayout;
  buttons->addWidget(refine_, 0, 0);
  buttons->addWidget(use_, 0, 1);
  buttons->addWidget(restore_, 0, 2);
  buttons->addWidget(report_, 1, 0);
  buttons->addWidget(excel_, 1, 1);
  buttons->addWidget(print_, 1, 2);
  buttons->addWidget(cif_, 2, 0);

  QStringList note;
  for (const char* line : kWavelengthNote) note << QString::fromLatin1(line);
  note_ = new QLabel(note.join('\n'), this);
  note_->setObjectName("label_wavelength_note");
  note_->setAlignment(Qt::AlignCenter);
  note_->setStyleSheet("color: #a00000;");
  note_->hide();

  // How the pairs are weighed: alike, or by 1/σ² of their fitted peak positions.
  weights_ = new QComboBox(this);
  weights_->setObjectName("combo_weights");
  weights_->addItem(QStringLiteral("unit"));
  weights_->addItem(QStringLiteral("fitted"));
  weights_->setToolTip("unit: every pair alike; fitted: each pair by 1/sigma^2 of its fitted "
                       "peak position (sigma floor 0.001 degrees 2theta)");
  // Beside "Save CIF", in the row the button leaves free until a refinement succeeded:
  // the tab keeps the height of the smallest screens.
  auto* weights_row = new QHBoxLayout;
  weights_row->addWidget(new QLabel(QStringLiteral("Weights:"), this));
  weights_row->addWidget(weights_, 1);
  buttons->addLayout(weights_row, 2, 1, 1, 2);
  weighting_ = new QLabel(this);
  weighting_->setObjectName("label_weighting");
  weighting_->hide();  // shown with the goodness of fit of a run with fitted weights

  auto* left = new QVBoxLayout;
  left->addWidget(params);
  left->addLayout(buttons);
  left->addWidget(weighting_);
  left->addWidget(note_);
  left->addStretch(1);

  // The two result grids with their deviation boxes.
  auto titled_grid = [this](const char* title, QTableWidget* grid, QLineEdit* deviation,
                            QLabel*& label) {
    auto* box = new QVBoxLayout;
    box->setSpacing(2);
    auto* head = new QHBoxLayout;
    label = new QLabel(QString::fromUtf8(title), this);
    head->addWidget(label);
    head->addStretch(1);
    head->addWidget(new QLabel(QStringLiteral("Mean square deviation"), this));
    head->addWidget(deviation);
    box->addLayout(head);
    box->addWidget(grid, 1);
    return box;
  };
  before_ = make_grid(this, "grid_before_refinement");
  after_ = make_grid(this, "grid_after_refinement");
  deviation_before_ = make_box(this, "edit_deviation_before", true);
  deviation_after_ = make_box(this, "edit_deviation_after", true);
  auto* right = new QVBoxLayout;
  right->addLayout(titled_grid("Before refinement", before_, deviation_before_, before_title_), 1);
  right->addLayout(titled_grid("After refinement", after_, deviation_after_, after_title_), 1);
  before_title_->setObjectName("label_before_refinement");
  after_title_->setObjectName("label_after_refinement");
  // The figures of merit of the refined cell; orange rows of the After grid are the
  // pairs to look at first.
  figures_ = new QLabel(this);
  figures_->setObjectName("label_figures_of_merit");
  figures_->setToolTip("de Wolff M20, Smith-Snyder F(N) (mean |d2T|, possible lines), "
                       "unindexed among the first 20; orange pairs move the refined values "
                       "by more than 2 sigma or lie beyond 3 sigma");
  right->addWidget(figures_);
  connect_command(before_, &QTableWidget::cellClicked, this, s_, m_, [this](int row, int) { select_peak(row); });
  connect_command(after_, &QTableWidget::cellClicked, this, s_, m_, [this](int row, int) { select_peak(row); });

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(right, 1);
}

// --- display -------------------------------------------------------------------------

int RefineTabWidget::commands_bottom() const {
  int bottom = params_->geometry().bottom();
  for (const QPushButton* b : {refine_, use_, restore_, report_, excel_, print_, cif_})
    if (b->isVisibleTo(this)) bottom = std::max(bottom, b->geometry().bottom());
  return bottom;
}


void RefineTabWidget::show_before_grid() {
  fill_table(before_, before_refinement_grid(s_));
  deviation_before_->setText(box_text(deviation_before_text(s_)));
}

void RefineTabWidget::show_after_grid() {
  fill_table(after_, after_refinement_grid(s_));
  deviation_after_->setText(box_text(deviation_after_text(s_)));
}

void RefineTabWidget::clear_grids() {
  blank_table(before_);
  blank_table(after_);
  for (QTableWidget* t : {before_, after_})
    for (int r = 0; r < t->rowCount(); ++r)
      for (int c = 0; c < t->columnCount(); ++c)
        if (QTableWidgetItem* it = t->item(r, c)) it->setBackground(QBrush());
  deviation_before_->clear();
  deviation_after_->clear();
}

void RefineTabWidget::show_result_boxes() {
  const ResultBoxes r = result_box_texts(s_);
  for (size_t i = 0; i < static_cast<size_t>(kParameterRows); ++i) {
    refined_[i]->setText(box_text(r.refined[i]));
    sigmas_[i]->setText(box_text(r.sigmas[i]));
  }
  initial_[kRowVolume]->setText(box_text(r.initial_volume));
}

void RefineTabWidget::clear_result_boxes() {
  for (size_t i = 0; i < static_cast<size_t>(kParameterRows); ++i) {
    refined_[i]->clear();
    sigmas_[i]->clear();
  }
  figures_->clear();
  weighting_->clear();
  weighting_->hide();
}

void RefineTabWidget::relabel_shift() {
  const ShiftLabel label = shift_row_label(s_);
  shift_label_->setText(label.symbol_font ? symbol_text(label.text)
                                          : QString::fromStdString(label.text));
}

void RefineTabWidget::show_initial_values() {
  const InitialBoxes ib = initial_box_texts(s_);
  for (size_t i = 0; i < 6; ++i) initial_[i]->setText(box_text(ib.cell[i]));
  initial_[kRowLambda]->setText(box_text(ib.lambda));
  initial_[kRowVolume]->setText(box_text(ib.volume));
  for (size_t i = 0; i < flags_.size(); ++i) {
    const QSignalBlocker block(flags_[i]);
    flags_[i]->setChecked(s_.refine_checked[i]);
    flags_[i]->setEnabled(s_.refine_enabled[i]);
  }
  note_->setVisible(s_.refine_checked[kRowLambda]);
  relabel_shift();
}

void RefineTabWidget::show_initial_lambda() {
  initial_[kRowLambda]->setText(box_text(initial_box_texts(s_).lambda));
}

void RefineTabWidget::redisplay() {
  relabel_shift();
  show_before_grid();
  show_after_grid();
  if (s_.results.refined) show_result_boxes();
}

// --- flags ---------------------------------------------------------------------------

void RefineTabWidget::on_flag_toggled(int index, bool checked) {
  set_refine_key(s_, static_cast<RefinedQuantity>(index), checked);
  if (index == kRowShift && checked) emit shiftDialogRequested();  // shift_selection
  if (index == kRowLambda) achtung(checked);
}

// The wavelength flag: a warning note while it is checked, and a beep when it becomes so.
void RefineTabWidget::achtung(bool checked) {
  note_->setVisible(checked);
  if (checked) m_.beep();
}

void RefineTabWidget::apply_shift_choice(int choice) {
  if (choice == static_cast<int>(ShiftMode::ConstantZeroShift) ||
      choice == static_cast<int>(ShiftMode::SampleEccentricity))
    set_shift_mode(s_, static_cast<ShiftMode>(choice));
  else
    flags_[kRowShift]->setChecked(false);
  relabel_shift();
}

// --- commands ------------------------------------------------------------------------

void RefineTabWidget::forget_results() {
  clear_result_boxes();
  set_result_buttons_visible(false);
}

void RefineTabWidget::set_result_buttons_visible(bool visible) {
  report_->setVisible(visible);
  excel_->setVisible(visible);
  print_->setVisible(visible);
  // A CIF needs refined values: shown only after a successful run.
  if (!visible) last_record_.reset();
  cif_->setVisible(visible && last_record_ != nullptr);
}

void RefineTabWidget::go_affinement() {
  RefineInputs in{initial_[kRowLambda]->text().toStdString(),
                  initial_[kRowShift]->text().toStdString()};
  in.lambda_edited = initial_[kRowLambda]->isModified();
  in.weights = weights_->currentIndex() == 1 ? WeightMode::Fitted : WeightMode::Unit;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  RefineOutcome out;
  last_record_.reset();
  try {
    auto record = std::make_shared<RefinementRecord>(refine_cell(s_, in, m_));
    out = record->outcome;
    if (record->status == RoadStatus::Refined) last_record_ = std::move(record);
  } catch (const FileError& e) {
    QApplication::restoreOverrideCursor();
    m_.error(e.what());
    return;
  }
  QApplication::restoreOverrideCursor();
  // The typed wavelength is the session's from the moment it was read, even when a
  // later input stopped the run.
  emit changed(static_cast<unsigned>(Changed::CurrentValues));
  if (out.status == RefineStatus::NotStarted) return;
  show_before_grid();
  if (out.status == RefineStatus::Refined) {
    show_after_grid();
    show_result_boxes();
    figures_->setText(QString::fromStdString(s_.results.figures_of_merit));
    weighting_->setText(QString::fromStdString(weighting_status_text(out.run.problem)));
  } else {
    weighting_->clear();
  }
  weighting_->setVisible(!weighting_->text().isEmpty());
  set_result_buttons_visible(true);
}

void RefineTabWidget::after_exchange() {
  clear_result_boxes();
  initial_[kRowShift]->setText(QStringLiteral("0"));
  // The next cycle refines what this one did: the recalculation's default flags give
  // way to the user's (the system, hence the flags offered, is the same).
  const auto checked = s_.refine_checked;
  emit cellChanged();
  for (size_t i = 0; i < checked.size(); ++i)
    s_.refine_checked[i] = checked[i] && s_.refine_enabled[i];
  show_initial_values();
  emit changed(static_cast<unsigned>(Changed::MeasuredPeaks));
  show_before_grid();
  show_after_grid();
  deviation_after_->clear();
  set_result_buttons_visible(false);
  emit showRequested();
}

void RefineTabWidget::change_param() {
  const ParameterExchange ex = vornax::adopt_refined_values(s_);
  if (!ex.done) return;
  emit changed(static_cast<unsigned>(Changed::CurrentValues));
  after_exchange();
}

void RefineTabWidget::resto_param() {
  const ParameterExchange ex = vornax::restore_initial_cell(s_);
  if (!ex.done) return;
  after_exchange();
}

bool RefineTabWidget::report_exists() const {
  std::error_code ec;
  return std::filesystem::is_regular_file(in_working_folder(s_, kRefineReportFile), ec);
}

void RefineTabWidget::Impression_resultats() {
  try {
    // Shows "No results" itself when there is no report.
    if (!export_excel(s_, m_)) return;
  } catch (const FileError& e) {
    m_.error(e.what());
    return;
  }
  emit reportRequested(QString::fromStdString(in_working_folder(s_, kRefineReportFile).string()));
}

void RefineTabWidget::transfert_excel() {
  if (!report_exists()) {
    show_message(m_, "No results");
    return;
  }
  emit excelRequested();
}

void RefineTabWidget::print_screen() {
  print_window_image(window(), this, QString::fromStdString(s_.working_folder.string()));
}

void RefineTabWidget::save_cif() {
  if (!last_record_ || !s_.results.refined) {
    show_message(m_, "No results");
    return;
  }
  if (!dialogs_) return;
  int index = 0;
  const auto chosen = dialogs_().save("Save CIF", {"CIF files (*.cif)"}, index);
  if (!chosen || chosen->empty()) return;
  std::filesystem::path path = *chosen;
  if (!path.has_extension()) path += ".cif";
  // Never over the run's own files nor over the data the session was read from.
  std::error_code ec;
  const bool input = (!s_.measured.file_name.empty() &&
                      std::filesystem::equivalent(path, s_.measured.file_name, ec)) ||
                     (!s_.profile.file_name.empty() &&
                      std::filesystem::equivalent(path, s_.profile.file_name, ec));
  if (is_fixed_file(s_, path) || input) {
    m_.error(path.filename().string() + " is a file the program reads or writes itself; choose another name");
    return;
  }
  try {
    save_result_cif(s_, *last_record_, path);
  } catch (const FileError& e) {
    m_.error(e.what());
  }
}

void RefineTabWidget::select_peak(int row) {
  if (row < 0 || row >= s_.selected_count()) return;
  highlight_pair(s_, row + 1);
  show_before_grid();
  show_after_grid();
}

}  // namespace vornax

#include "ui/measured_tab_widget.hpp"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "commands/load_peaks.hpp"
#include "commands/session_commands.hpp"
#include "commands/selection_commands.hpp"
#include "ui/command_guard.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

MeasuredTabWidget::MeasuredTabWidget(WorkSession& s, Messages& m, QLineEdit* current_lambda,
                                     QWidget* parent)
    : QWidget(parent), s_(s), m_(m), lambda_(current_lambda) {
  build();
  redisplay();
}

QTableWidget* MeasuredTabWidget::grid() const { return grid_; }

void MeasuredTabWidget::build() {
  setObjectName("tab_measured");
  auto* layout = new QHBoxLayout(this);

  auto* buttons = new QVBoxLayout;
  // "File", "Diagram", "Erase" and "Save" run commands of the main window, which
  // connects them; "Keyboard" is this tab's own.
  file_ = make_button(this, "File", "button_file_peaks",
                      "Get the measured Bragg angles from a file");
  diagram_ = make_button(this, "Diagram", "button_diagram_peaks",
                         "Measure the Bragg angles on a diagram");
  erase_ = make_button(this, "Erase", "button_erase_peaks", "Delete the measured Bragg angles");
  save_ = make_button(this, "Save", "button_save_peaks", "Save the measured Bragg angles");
  keyboard_ = make_button(this, "Keyboard", "button_keyboard_peaks",
                          "Enter the measured Bragg angles by keyboard");
  erase_->setVisible(false);
  save_->setVisible(false);
  for (QPushButton* b : {file_, diagram_, erase_, save_, keyboard_}) buttons->addWidget(b);

  auto* mode = new QGroupBox(this);
  mode->setObjectName("group_angle_mode");
  mode->setToolTip("Work with Theta or 2Theta angle");
  auto* mode_layout = new QVBoxLayout(mode);
  theta_ = new QRadioButton(QString::fromUtf8("θ"), mode);
  theta_->setObjectName("radio_theta");
  two_theta_ = new QRadioButton(QString::fromUtf8("2θ"), mode);
  two_theta_->setObjectName("radio_two_theta");
  mode_layout->addWidget(theta_);
  mode_layout->addWidget(two_theta_);
  buttons->addWidget(mode);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  panel_ = new QWidget(this);
  panel_->setObjectName("panel_measured_grid");
  auto* panel_layout = new QVBoxLayout(panel_);
  panel_layout->setContentsMargins(0, 0, 0, 0);
  title_ = new QLabel(panel_);
  title_->setObjectName("label_measured_title");
  grid_ = new QTableWidget(panel_);
  grid_->setObjectName("grid_measured");
  setup_table(grid_, true);
  keep_columns_in_view(grid_, true);
  grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  panel_layout->addWidget(title_);
  panel_layout->addWidget(grid_, 1);
  panel_->setVisible(false);
  layout->addWidget(panel_, 0);
  layout->addStretch(1);

  show_grid(prepare_measured_grid(s_, kMeasuredGridMinRows));

  connect_command(keyboard_, &QPushButton::clicked, this, s_, m_, [this] { enter_refl_keyb(); });
  // The grid is read once the move is over: a message box opened in the middle of the
  // grid's own key or mouse handling would take its events and leave the keyboard
  // entry stuck.
  connect(grid_, &QTableWidget::currentCellChanged, this, [this](int, int, int, int) {
    if (updating_ || read_pending_) return;
    read_pending_ = true;
    QTimer::singleShot(0, this, [this] {
      read_pending_ = false;
      run_guarded(s_, m_, [this] { theta_to_dhkl(); });
    });
  });
  connect(theta_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !updating_) run_guarded(s_, m_, [this] { change_angles(AngleMode::Theta); });
  });
  connect(two_theta_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !updating_) run_guarded(s_, m_, [this] { change_angles(AngleMode::TwoTheta); });
  });
}

void MeasuredTabWidget::show_grid(const GridText& g) {
  fill_table(grid_, g);
  // d and the row number are the program's; only the angle and the area are typed.
  for (int r = 0; r < grid_->rowCount(); ++r)
    for (int c : {1, 3})
      if (QTableWidgetItem* it = grid_->item(r, c)) it->setFlags(it->flags() & ~Qt::ItemIsEditable);
}

void MeasuredTabWidget::relabel() {
  const bool theta = s_.angle_mode == AngleMode::Theta;
  // Peaks read from a file are titled with the file's name; the grid's header says
  // whether its angles are θ or 2θ.
  if (!s_.measured.peaks.empty() && !s_.measured.file_name.empty())
    title_->setText(qstr(observed_caption(s_)));
  else
    title_->setText(theta ? "Measured reflections (Theta)" : "Measured reflections (2Theta)");
  updating_ = true;
  theta_->setChecked(theta);
  two_theta_->setChecked(!theta);
  updating_ = false;
}

bool MeasuredTabWidget::show_list() {
  auto shown = show_measured_list(s_);
  if (!shown) return false;
  show_grid(shown->grid);
  if (lambda_) lambda_->setText(qstr(shown->lambda_text));
  return true;
}

void MeasuredTabWidget::show_empty_grid() {
  show_grid(prepare_measured_grid(s_, std::max(grid_->rowCount() + 1, kMeasuredGridMinRows)));
}

void MeasuredTabWidget::redisplay() {
  relabel();
  updating_ = true;
  // Peaks from anywhere (a file, the profile window, the list editor) are shown with
  // the buttons that erase and save them.
  if (show_list())
    show_entry_panel();
  else
    show_empty_grid();
  updating_ = false;
}

void MeasuredTabWidget::enter_refl_keyb() {
  start_keyboard_entry(s_);
  // The grid is read back into the list on the next move between cells: an emptied
  // grid would silently drop the peaks already there (read from a file, say), so they
  // stay shown and the new angles go into the blank rows below them.
  updating_ = true;
  if (!show_list()) show_empty_grid();
  updating_ = false;
  show_entry_panel();
  grid_->setFocus();
}

void MeasuredTabWidget::show_entry_panel() {
  panel_->setVisible(true);
  erase_->setVisible(true);
  save_->setVisible(true);
}

void MeasuredTabWidget::theta_to_dhkl() {
  std::vector<MeasuredGridRow> rows;
  rows.reserve(static_cast<size_t>(grid_->rowCount()));
  auto text = [this](int r, int c) {
    QTableWidgetItem* it = grid_->item(r, c);
    return it ? it->text().toStdString() : std::string();
  };
  for (int r = 0; r < grid_->rowCount(); ++r) rows.push_back({text(r, 0), text(r, 2)});

  const std::string lambda_text = lambda_ ? lambda_->text().toStdString() : std::string();
  std::vector<std::string> texts{lambda_text};
  for (const MeasuredGridRow& row : rows) {
    texts.push_back(row.angle);
    texts.push_back(row.area);
  }
  if (refused_ && *refused_ == texts) return;
  MeasuredScan scan =
      vornax::theta_to_dhkl(rows, lambda_text, s_, m_, lambda_ && lambda_->isModified());
  if (scan.ok) {
    refused_.reset();
  } else {
    refused_ = std::move(texts);
    // The message box took the focus with it: the keys go back to the grid, so that
    // the user corrects the cell and moves on without reaching for the mouse.
    if (grid_->isVisible()) {
      grid_->window()->activateWindow();
      grid_->setFocus(Qt::OtherFocusReason);
    }
  }

  updating_ = true;
  for (const MeasuredRowText& row : scan.rows) {
    const int r = row.row - 1;
    if (QTableWidgetItem* it = grid_->item(r, 1)) it->setText(qstr(row.d));
    if (row.number)
      if (QTableWidgetItem* it = grid_->item(r, 3)) it->setText(qstr(*row.number));
  }
  if (scan.ok) show_list();
  updating_ = false;
  if (scan.ok) emit changed(static_cast<unsigned>(Changed::MeasuredPeaks | Changed::CurrentValues));
}

void MeasuredTabWidget::change_angles(AngleMode mode) {
  set_angle_mode(s_, mode);
  redisplay();
  emit changed(static_cast<unsigned>(Changed::AngleMode));
}

}  // namespace vornax

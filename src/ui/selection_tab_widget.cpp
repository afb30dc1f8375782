#include "ui/selection_tab_widget.hpp"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "selection/measured.hpp"
#include "selection/selection.hpp"
#include "ui/grid_text_table.hpp"

namespace vornax {

namespace {
const QColor kSilver(192, 192, 192);
const QColor kCurrentPeak(0, 255, 255);

QPushButton* make_button(QWidget* parent, const char* caption, const char* name,
                         const char* hint, bool enabled) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(QString::fromUtf8(hint));
  b->setEnabled(enabled);
  return b;
}

QWidget* titled(QWidget* parent, const char* title, const char* label_name, QTableWidget* grid) {
  auto* box = new QWidget(parent);
  auto* l = new QVBoxLayout(box);
  l->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(QString::fromUtf8(title), box);
  label->setObjectName(QString::fromUtf8(label_name));
  l->addWidget(label);
  l->addWidget(grid, 1);
  return box;
}

// Silver cells with centred text; the row `current` (0-based, -1 none) in `highlight`
// with its text at the left.
void paint_list(QTableWidget* t, int current, const QColor& highlight) {
  for (int r = 0; r < t->rowCount(); ++r)
    for (int c = 0; c < t->columnCount(); ++c) {
      QTableWidgetItem* it = t->item(r, c);
      if (!it) continue;
      const bool hi = r == current;
      it->setBackground(hi ? highlight : kSilver);
      it->setTextAlignment(hi ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter);
    }
}
}  // namespace

SelectionTabWidget::SelectionTabWidget(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent), s_(s), m_(m) {
  build();
  redisplay();
}

QLineEdit* SelectionTabWidget::tolerance_box() const { return tolerance_; }

void SelectionTabWidget::build() {
  setObjectName("tab_selection");
  auto* layout = new QHBoxLayout(this);

  measured_ = new QTableWidget(this);
  measured_->setObjectName("grid_measured_selection");
  setup_table(measured_, false);
  measured_->setMinimumWidth(220);
  calculated_ = new QTableWidget(this);
  calculated_->setObjectName("grid_calculated_selection");
  setup_table(calculated_, false);
  calculated_->setMinimumWidth(290);
  layout->addWidget(titled(this, "Observed reflections", "label_measured_selection", measured_));
  layout->addWidget(
      titled(this, "Calculated reflections", "label_calculated_selection", calculated_));

  auto* commands = new QVBoxLayout;
  auto* tol = new QGridLayout;
  auto* tol_label = new QLabel("tolerance", this);
  tol_label->setObjectName("label_tolerance");
  tolerance_ = new QLineEdit(this);
  tolerance_->setObjectName("edit_tolerance");
  tolerance_->setMaximumWidth(70);
  tolerance_->setText(qstr(tolerance_box_text(s_.tolerance)));
  tolerance_unit_ = new QLabel(this);
  tolerance_unit_->setObjectName("label_tolerance_unit");
  tol->addWidget(tol_label, 0, 0, 1, 2);
  tol->addWidget(tolerance_, 1, 0);
  tol->addWidget(tolerance_unit_, 1, 1);
  commands->addLayout(tol);

  auto_sel_ = make_button(this, "Auto Sel.", "button_auto_sel", "Atomatic selection", true);
  commands->addWidget(auto_sel_);
  // The manual editing of the selection and the indexed lists come with their own
  // features; until then their commands are shown but cannot be used.
  commands->addWidget(make_button(this, "Delete", "button_delete_selection",
                                  "Delete all the selected reflections", false));
  commands->addWidget(make_button(this, "Save ", "button_save_selection",
                                  "Save the selected reflections in an indexed list file", false));
  commands->addWidget(make_button(this, "Add/Modif", "button_add_modif",
                                  "Add/Modif reflections data and indices", false));
  commands->addWidget(make_button(this, "Restore", "button_restore_selection",
                                  "Restore the indexed reflections", false));
  commands->addWidget(
      make_button(this, "Merge", "button_merge_list", "Merge an indexed list", false));

  auto* mouse = new QGroupBox("Mouse Selection", this);
  mouse->setObjectName("group_mouse_selection");
  mouse->setToolTip("Select the indexation mode by mouse");
  mouse->setEnabled(false);
  auto* mouse_layout = new QVBoxLayout(mouse);
  mouse_mode_ = new QButtonGroup(this);
  for (int i = 1; i <= 3; ++i) {
    auto* rb = new QRadioButton(QString("Mode %1").arg(i), mouse);
    rb->setObjectName(QString("radio_mouse_mode%1").arg(i));
    mouse_mode_->addButton(rb, i);
    mouse_layout->addWidget(rb);
  }
  commands->addWidget(mouse);
  commands->addStretch(1);
  layout->addLayout(commands);

  selected_ = new QTableWidget(this);
  selected_->setObjectName("grid_selected");
  setup_table(selected_, false);
  selected_->setMinimumWidth(400);
  layout->addWidget(titled(this, "Selected reflections", "label_selected", selected_), 1);

  connect(auto_sel_, &QPushButton::clicked, this, [this] { selection_automatique(); });
}

void SelectionTabWidget::show_measured() {
  fill_table(measured_, show_measured_for_selection(s_));
  const int current = s_.current_measured_peak >= 1 && s_.current_measured_peak <= s_.measured_count()
                          ? s_.current_measured_peak - 1
                          : -1;
  paint_list(measured_, current, kCurrentPeak);
}

void SelectionTabWidget::show_calculated() {
  fill_table(calculated_, show_calculated_for_selection(s_));
  paint_list(calculated_, -1, kSilver);
}

void SelectionTabWidget::show_selected_list() {
  fill_table(selected_, vornax::show_selected_list(s_));
}

void SelectionTabWidget::redisplay() {
  tolerance_unit_->setText(s_.angle_mode == AngleMode::Theta ? QString::fromUtf8("°θ")
                                                             : QString::fromUtf8("°2θ"));
  show_measured();
  show_calculated();
  show_selected_list();
}

void SelectionTabWidget::clear_grids() {
  blank_table(calculated_);
  blank_table(selected_);
}

void SelectionTabWidget::clear_mouse_mode() {
  mouse_mode_->setExclusive(false);
  for (QAbstractButton* b : mouse_mode_->buttons()) b->setChecked(false);
  mouse_mode_->setExclusive(true);
}

void SelectionTabWidget::selection_automatique() {
  if (!s_.measured.peaks.empty()) clear_mouse_mode();
  if (!vornax::selection_automatique(s_, tolerance_->text().toStdString(), m_)) return;
  show_selected_list();
  show_measured();  // the last paired peak is highlighted
  emit selectionChanged();
}

}  // namespace vornax

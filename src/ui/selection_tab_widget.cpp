#include "ui/selection_tab_widget.hpp"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QGridLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "commands/diagram_commands.hpp"
#include "commands/refinement_road.hpp"
#include "commands/selection_commands.hpp"
#include "ui/command_guard.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {
const QColor kSilver(192, 192, 192);
const QColor kCurrentPeak(0, 255, 255);
const QColor kCurrentReflection(255, 0, 0);
// A measured peak the pairing left without a reflection.
const QColor kUnpairedPeak(255, 190, 120);
// "Pair again" stops earlier once the pairs no longer change.
constexpr int kPairAgainRuns = 5;

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
void paint_list(QTableWidget* t, int current, const QColor& highlight,
                const QColor& highlight_text = Qt::black) {
  for (int r = 0; r < t->rowCount(); ++r)
    for (int c = 0; c < t->columnCount(); ++c) {
      QTableWidgetItem* it = t->item(r, c);
      if (!it) continue;
      const bool hi = r == current;
      it->setBackground(hi ? highlight : kSilver);
      it->setForeground(hi ? highlight_text : QColor(Qt::black));
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
  // Tight margins: the three grids and the commands share the main window's width.
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  measured_ = new QTableWidget(this);
  measured_->setObjectName("grid_measured_selection");
  setup_table(measured_, false);
  calculated_ = new QTableWidget(this);
  calculated_->setObjectName("grid_calculated_selection");
  setup_table(calculated_, false);
  // The two lists keep the width of their columns; the selected list takes the rest.
  keep_columns_in_view(measured_, true);
  keep_columns_in_view(calculated_, true);
  layout->addWidget(titled(this, "Observed reflections", "label_measured_selection", measured_));
  layout->addWidget(
      titled(this, "Calculated reflections", "label_calculated_selection", calculated_));

  auto* commands_box = new QWidget(this);
  commands_box->setObjectName("panel_selection_commands");
  auto* commands = new QVBoxLayout(commands_box);
  commands->setContentsMargins(0, 0, 0, 0);
  auto* tol = new QGridLayout;
  auto* tol_label = new QLabel("tolerance", commands_box);
  tol_label->setObjectName("label_tolerance");
  tolerance_ = new QLineEdit(commands_box);
  tolerance_->setObjectName("edit_tolerance");
  tolerance_->setFixedWidth(QFontMetrics(tolerance_->font()).horizontalAdvance("0.0000") + 12);
  tolerance_->setText(qstr(tolerance_box_text(s_.tolerance)));
  tolerance_unit_ = new QLabel(commands_box);
  tolerance_unit_->setObjectName("label_tolerance_unit");
  tol->addWidget(tol_label, 0, 0, 1, 2);
  tol->addWidget(tolerance_, 1, 0);
  tol->addWidget(tolerance_unit_, 1, 1);
  commands->addLayout(tol);

  auto_sel_ = make_button(commands_box, "Auto Sel.", "button_auto_sel", "Atomatic selection");
  commands->addWidget(auto_sel_);
  pair_again_ = make_button(commands_box, "Pair again", "button_pair_again",
                            "Pair the peaks again with the refined cell and shift, and refine again "
                            "until the pairs stop changing");
  commands->addWidget(pair_again_);
  auto* delete_all = make_button(commands_box, "Delete", "button_delete_selection",
                                 "Delete all the selected reflections");
  commands->addWidget(delete_all);
  save_list_ = make_button(commands_box, "Save ", "button_save_selection",
                           "Save the selected reflections in an indexed list file");
  commands->addWidget(save_list_);
  // "Add/Modif" opens the selection editor, which the main window owns.
  add_modif_ = make_button(commands_box, "Add/Modif", "button_add_modif",
                           "Add/Modif reflections data and indices");
  commands->addWidget(add_modif_);
  auto* restore = make_button(commands_box, "Restore", "button_restore_selection",
                              "Restore the indexed reflections");
  commands->addWidget(restore);
  merge_ = make_button(commands_box, "Merge", "button_merge_list", "Merge an indexed list");
  commands->addWidget(merge_);

  // The caption sits above a frame rather than in a group box's border, which would
  // need a wider column.
  auto* mouse = new QWidget(commands_box);
  mouse->setObjectName("group_mouse_selection");
  mouse->setToolTip("Select the indexation mode by mouse");
  auto* mouse_outer = new QVBoxLayout(mouse);
  mouse_outer->setContentsMargins(0, 4, 0, 0);
  mouse_outer->setSpacing(2);
  mouse_outer->addWidget(new QLabel("Mouse Selection", mouse));
  auto* frame = new QFrame(mouse);
  frame->setFrameShape(QFrame::StyledPanel);
  auto* mouse_layout = new QVBoxLayout(frame);
  mouse_layout->setContentsMargins(6, 4, 4, 4);
  mouse_mode_ = new QButtonGroup(this);
  for (int i = 1; i <= 3; ++i) {
    auto* rb = new QRadioButton(QString("Mode %1").arg(i), frame);
    rb->setObjectName(QString("radio_mouse_mode%1").arg(i));
    mouse_mode_->addButton(rb, i);
    mouse_layout->addWidget(rb);
  }
  mouse_outer->addWidget(frame);
  commands->addWidget(mouse);
  commands->addStretch(1);
  commands_box->setFixedWidth(commands_box->sizeHint().width());
  layout->addWidget(commands_box);

  selected_ = new QTableWidget(this);
  selected_->setObjectName("grid_selected");
  setup_table(selected_, false);
  // Retyped indices are read only from a cell the user edited; a double click deletes.
  selected_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                             QAbstractItemView::SelectedClicked);
  auto* selected_box = titled(this, "Selected reflections", "label_selected", selected_);
  mode_message_ = new QLabel(selected_box);
  mode_message_->setObjectName("label_mode_message");
  mode_message_->setWordWrap(true);
  mode_message_->hide();
  selected_box->layout()->addWidget(mode_message_);
  paired_ = new QLabel(selected_box);
  paired_->setObjectName("label_paired");
  paired_->setWordWrap(true);
  selected_box->layout()->addWidget(paired_);
  layout->addWidget(selected_box, 1);

  connect_command(auto_sel_, &QPushButton::clicked, this, s_, m_,
                  [this] { selection_automatique(); });
  connect_command(pair_again_, &QPushButton::clicked, this, s_, m_, [this] { pair_again(); });
  connect_command(delete_all, &QPushButton::clicked, this, s_, m_, [this] { efface_selection(); });
  connect_command(restore, &QPushButton::clicked, this, s_, m_, [this] { re_index(); });
  connect_command(mouse_mode_, &QButtonGroup::idClicked, this, s_, m_, [this](int id) { selection_mode(id); });
  connect_command(measured_, &QTableWidget::cellClicked, this, s_, m_, [this](int r, int) { click_meas_refl(r); });
  connect_command(calculated_, &QTableWidget::cellClicked, this, s_, m_, [this](int r, int) { click_calc_refl(r); });
  connect_command(selected_, &QTableWidget::cellDoubleClicked, this, s_, m_, [this](int r, int) { efface_raie(r); });
  connect_command(selected_, &QTableWidget::itemChanged, this, s_, m_, [this](QTableWidgetItem* it) {
    if (!filling_ && it->column() == 1) modifie_indices(it->row(), it->text());
  });
}

void SelectionTabWidget::show_measured() {
  fill_table(measured_, show_measured_for_selection(s_));
  const int current = s_.current_measured_peak >= 1 && s_.current_measured_peak <= s_.measured_count()
                          ? s_.current_measured_peak - 1
                          : -1;
  paint_list(measured_, current, kCurrentPeak);
  show_pairing();
}

void SelectionTabWidget::show_pairing() {
  if (s_.selected.empty() || s_.allowed.empty()) {
    paired_->clear();
    paired_->setToolTip({});
    return;
  }
  const PairingSummary p = pairing_summary(s_);
  const bool few = too_few_paired(p);
  paired_->setText(qstr(pairing_summary_text(p)));
  paired_->setStyleSheet(few ? QStringLiteral("color: red") : QString());
  paired_->setToolTip(few ? qstr(too_few_paired_warning(p)) : QString());
  for (int row : p.unpaired) {  // the grid's rows are the peaks, in order
    if (row + 1 == s_.current_measured_peak) continue;  // keeps its highlight
    for (int c = 0; c < measured_->columnCount(); ++c)
      if (QTableWidgetItem* it = measured_->item(row, c)) {
        it->setBackground(kUnpairedPeak);
        it->setToolTip(QStringLiteral("not paired"));
      }
  }
}

void SelectionTabWidget::show_calculated() {
  fill_table(calculated_, show_calculated_for_selection(s_));
  const int current = st_->last_calculated < static_cast<int>(s_.allowed.size()) ? st_->last_calculated : -1;
  paint_list(calculated_, current, kCurrentReflection, Qt::white);
}

void SelectionTabWidget::show_selected_list() {
  filling_ = true;
  fill_table(selected_, vornax::show_selected_list(s_));
  // Only the indices of rows that hold a pair can be retyped.
  for (int r = 0; r < selected_->rowCount(); ++r)
    for (int c = 0; c < selected_->columnCount(); ++c)
      if (QTableWidgetItem* it = selected_->item(r, c)) {
        const bool editable = c == 1 && r < s_.selected_count();
        it->setFlags(editable ? it->flags() | Qt::ItemIsEditable : it->flags() & ~Qt::ItemIsEditable);
      }
  filling_ = false;
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
  choose_mouse_mode(*st_, MouseMode::None);
}

void SelectionTabWidget::run_pairing(const std::function<Changed()>& command) {
  Changed what = Changed::None;
  const bool ok = run_guarded(s_, m_, [&] { what = command(); });
  show_measured();
  show_calculated();
  if (!ok) return;
  if (what != Changed::None) show_selected_list();
  emit changed(static_cast<unsigned>(what));  // the diagram redraws after every command
}

void SelectionTabWidget::selection_mode(int mode) {
  const MouseMode m = mode >= 1 && mode <= 3 ? static_cast<MouseMode>(mode) : MouseMode::None;
  const std::string text = choose_mouse_mode(*st_, m);
  mode_message_->setVisible(true);
  mode_message_->setText(qstr(text));
  emit changed(static_cast<unsigned>(Changed::None));
}

void SelectionTabWidget::click_meas_refl(int row) {
  run_pairing([&] { return click_measured_row(s_, m_, *st_, row + 1); });
}

void SelectionTabWidget::click_calc_refl(int row) {
  run_pairing([&] { return click_calculated_row(s_, m_, *st_, row + 1); });
}

void SelectionTabWidget::modifie_indices(int row, const QString& text) {
  const std::string typed = text.toStdString();
  // Show the list again after the edit has finished (the editor still owns the cell).
  run_pairing([&] { return retype_selected_indices(s_, m_, row + 1, typed); });
  QMetaObject::invokeMethod(this, [this] { show_selected_list(); }, Qt::QueuedConnection);
}

void SelectionTabWidget::efface_raie(int row) {
  run_pairing([&] { return delete_selected_row(s_, row + 1); });
}

void SelectionTabWidget::efface_selection() {
  run_pairing([&] { return reset_selected_reflections(s_, m_); });
}

void SelectionTabWidget::re_index() {
  run_pairing([&] { return restore_selected_reflections(s_, m_); });
}

void SelectionTabWidget::edit_modif_raies() {
  clear_mouse_mode();
  if (s_.allowed.empty()) return;
  emit editorRequested();
}

void SelectionTabWidget::pair_again() {
  clear_mouse_mode();
  const RefinementRecord r = vornax::pair_again(s_, tolerance_->text().toStdString(), kPairAgainRuns, m_);
  redisplay();
  if (r.paired_again > 0) emit cellAdopted();  // the refined cell became the session's
  // The cell, the wavelength, the reflections, the pairs and the results all moved.
  emit changed(static_cast<unsigned>(Changed::Cell | Changed::Calculated | Changed::Selection |
                                     Changed::Results | Changed::CurrentValues));
}

void SelectionTabWidget::selection_automatique() {
  if (!s_.measured.peaks.empty()) clear_mouse_mode();
  if (!vornax::pair_automatically(s_, tolerance_->text().toStdString(), m_)) return;
  show_selected_list();
  show_measured();  // the last paired peak is highlighted
  emit changed(static_cast<unsigned>(Changed::Selection));
}

}  // namespace vornax

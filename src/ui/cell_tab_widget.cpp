#include "ui/cell_tab_widget.hpp"

#include "commands/cell_indexing.hpp"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "commands/calculation.hpp"
#include "commands/cell_indexing.hpp"
#include "core/catalogue.hpp"
#include "core/cell.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "ui/command_guard.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string str(const QString& s) { return s.toStdString(); }

// Restores the normal cursor however the command ends.
struct HourGlass {
  HourGlass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~HourGlass() { QApplication::restoreOverrideCursor(); }
};

const char* kFieldNames[9] = {"edit_a",      "edit_b",    "edit_c",
                              "edit_alpha",  "edit_beta", "edit_gamma",
                              "edit_lambda", "edit_range_min", "edit_range_max"};
const char* kFieldLabels[9] = {"a", "b", "c", "α", "β", "γ", "λ", "2θ min", "2θ max"};

QString range_label(AngleMode mode, int i) {
  return QString(mode == AngleMode::Theta ? "θ %1" : "2θ %1").arg(i == 0 ? "min" : "max");
}

}  // namespace

CellTabWidget::CellTabWidget(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent), s_(s), m_(m), fields_mode_(s.angle_mode) {
  build();
}

void CellTabWidget::build() {
  auto* top = new QHBoxLayout(this);

  // Systems and the two space-group lists.
  auto* lists = new QVBoxLayout;
  lists->addWidget(new QLabel("System", this));
  systems_ = new QListWidget(this);
  systems_->setObjectName("list_systems");
  for (const char* e : kSystemEntries) systems_->addItem(e);
  systems_->setMaximumHeight(130);
  lists->addWidget(systems_);
  lists->addWidget(new QLabel("H-M standard symbols", this));
  hm_ = new QListWidget(this);
  hm_->setObjectName("list_hm");
  lists->addWidget(hm_);
  lists->addWidget(new QLabel("Getspec symbols (H-M and Hall)", this));
  getspec_ = new QListWidget(this);
  getspec_->setObjectName("list_getspec");
  getspec_->setFont(grid_font());  // the Hall symbols line up at character 13
  lists->addWidget(getspec_);
  top->addLayout(lists, 2);

  // Cell, wavelength and range fields.
  auto* entry = new QGroupBox("Cell parameters", this);
  auto* grid = new QGridLayout(entry);
  for (int i = 0; i < 9; ++i) {
    auto* e = new QLineEdit(entry);
    e->setObjectName(kFieldNames[i]);
    e->setMaximumWidth(110);
    fields_[static_cast<size_t>(i)] = e;
    int row = i < 6 ? i : i + 1;
    auto* label = new QLabel(kFieldLabels[i], entry);
    if (i >= 7) {
      range_labels_[static_cast<size_t>(i - 7)] = label;
      label->setText(range_label(s_.angle_mode, i - 7));
    }
    grid->addWidget(label, row, 0);
    grid->addWidget(e, row, 1);
  }
  grid->addWidget(new QLabel(" ", entry), 6, 0);
  // Only the a and alpha fields react to entering and leaving.
  fields_[0]->installEventFilter(this);
  fields_[3]->installEventFilter(this);

  auto* buttons = new QHBoxLayout;
  file_ = make_button(entry, "File", "button_cell_file",
                      "Load the initial cell parameters from a file");
  save_ = make_button(entry, "Save", "button_cell_save", "Save the cell parameters into a file");
  erase_ = make_button(entry, "Erase", "button_cell_erase", "Erase the calculated reflections");
  for (QPushButton* b : {file_, save_, erase_}) buttons->addWidget(b);
  auto* keyb = make_button(entry, "Keyboard", "button_cell_keyboard",
                           "Enter the initial cell parameters by keyboard");
  connect(keyb, &QPushButton::clicked, this, [this] { fields_[0]->setFocus(); });
  buttons->addWidget(keyb);
  grid->addLayout(buttons, 11, 0, 1, 2);

  calc_ = make_button(entry, "Calc.", "button_calc", "Lauch the calculation of the diagram");
  print_ = make_button(entry, "Ed/Print", "button_ed_print", "Edit/Print the calculated reflections");
  toggle_ = make_button(entry, "Forbidden lines", "button_forbidden", "See forbidden lines");
  toggle_->setCheckable(true);  // checked = forbidden lines shown
  auto* cmds = new QHBoxLayout;
  cmds->addWidget(calc_);
  cmds->addWidget(print_);
  cmds->addWidget(toggle_);
  grid->addLayout(cmds, 12, 0, 1, 2);
  grid->setRowStretch(13, 1);
  top->addWidget(entry, 2);

  // The grid "Calculated diagram".
  auto* right = new QVBoxLayout;
  grid_title_ = new QLabel(q(tab_.grid_title), this);
  grid_title_->setObjectName("label_calc_title");
  right->addWidget(grid_title_);
  grid_ = new QTableWidget(15, 3, this);
  grid_->setObjectName("grid_calculated");
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->verticalHeader()->setVisible(false);
  grid_->horizontalHeader()->setVisible(false);
  grid_->setFont(grid_font());
  // Sized by its columns like the other grids, so the window never hides the angles.
  keep_columns_in_view(grid_);
  right->addWidget(grid_);
  top->addLayout(right, 3);

  connect_list(systems_, &CellTabWidget::on_system_clicked);
  connect_list(hm_, &CellTabWidget::on_hm_clicked);
  connect_list(getspec_, &CellTabWidget::on_getspec_clicked);
  connect_command(calc_, &QPushButton::clicked, this, s_, m_, [this] { on_calc(); });
  // Enter in any field of the entry is "Calc.", as in a dialog whose default button it
  // is. The a and alpha fields first do what leaving them does: fill their tied fields.
  for (size_t i = 0; i < fields_.size(); ++i) {
    QLineEdit* f = fields_[i];
    connect_command(f, &QLineEdit::returnPressed, this, s_, m_, [this, f, i] {
      if (!calc_->isEnabled()) return;
      if ((i == 0 || i == 3) && !verify_field(f, i == 0 ? kFieldA : kFieldAlpha)) return;
      on_calc();
    });
  }
  connect_command(toggle_, &QPushButton::clicked, this, s_, m_, [this] { on_toggle(); });
  connect_command(print_, &QPushButton::clicked, this, s_, m_, [this] { on_print(); });
  clear_calculated_grid();
}

void CellTabWidget::connect_list(QListWidget* list, void (CellTabWidget::*choose)(int)) {
  list->viewport()->installEventFilter(this);
  connect(list, &QListWidget::itemClicked, this, [this, list, choose](QListWidgetItem* item) {
    if (!updating_) run_guarded(s_, m_, [&] { (this->*choose)(list->row(item)); });
  });
  // The arrow keys choose an entry as a click does. A mouse press moves the current row
  // too, but that choice is made by the click when the button comes up.
  connect(list, &QListWidget::currentRowChanged, this, [this, list, choose](int row) {
    if (updating_ || mouse_in_list_ || row < 0 || !list->item(row)->isSelected()) return;
    run_guarded(s_, m_, [&] { (this->*choose)(row); });
  });
}

void CellTabWidget::pull_fields() {
  for (size_t i = 0; i < 9; ++i) {
    tab_.fields[i] = str(fields_[i]->text());
    tab_.typed[i] = fields_[i]->isModified() ? std::optional(tab_.fields[i]) : std::nullopt;
  }
  tab_.system_index = systems_->currentRow();
  tab_.hm_selected = hm_->currentItem() && hm_->currentItem()->isSelected() ? hm_->currentRow() : -1;
  tab_.getspec_selected =
      getspec_->currentItem() && getspec_->currentItem()->isSelected() ? getspec_->currentRow() : -1;
}

static void mirror_list(QListWidget* w, const std::vector<std::string>& entries, int selected) {
  bool same = w->count() == static_cast<int>(entries.size());
  for (int i = 0; same && i < w->count(); ++i) same = w->item(i)->text() == q(entries[static_cast<size_t>(i)]);
  if (!same) {
    w->clear();
    for (const auto& e : entries) w->addItem(q(e));
  }
  w->clearSelection();
  if (selected >= 0 && selected < w->count()) {
    w->setCurrentRow(selected);
    w->item(selected)->setSelected(true);
  } else {
    w->setCurrentRow(-1);
  }
}

void CellTabWidget::push_fields() {
  updating_ = true;
  for (size_t i = 0; i < 9; ++i) {
    if (fields_[i]->text() != q(tab_.fields[i])) fields_[i]->setText(q(tab_.fields[i]));
  }
  for (size_t i = 0; i < 6; ++i) {
    // Tied fields are grey (silver) and follow their master.
    fields_[i]->setReadOnly(tab_.tied[i]);
    fields_[i]->setStyleSheet(tab_.tied[i] ? "background-color: silver;" : "background-color: white;");
  }
  systems_->setCurrentRow(tab_.system_index);
  mirror_list(hm_, tab_.hm_list, tab_.hm_selected);
  mirror_list(getspec_, tab_.getspec_list, tab_.getspec_selected);
  grid_title_->setText(q(tab_.grid_title));
  toggle_->setChecked(s_.show_forbidden);
  updating_ = false;
}

void CellTabWidget::on_system_clicked(int row) {
  pull_fields();
  const std::string former_system = s_.system;
  CellTab former = tab_;
  former.system_index = system_index(former_system);
  tab_.system_index = row;
  s_.system = system_code_from_entry(tab_.system_entry());
  try {
    fill_getspec_list(s_, tab_);
    fill_hm_list(s_, tab_);
    keep_selection_of_kind(s_, tab_);
  } catch (const CatalogueMissing& e) {
    m_.error(e.what());
    emit fatalError();
    return;
  } catch (const FileError& e) {
    // Without its operator file the system cannot be used: everything stays as it was.
    s_.system = former_system;
    tab_ = former;
    push_fields();
    m_.error(e.what());
    return;
  }
  apply_system_layout(s_, tab_);
  push_fields();
  emit changed(static_cast<unsigned>(Changed::Cell));
}

void CellTabWidget::run_command(const std::function<CalcOutcome()>& command) {
  pull_fields();
  CalcOutcome out;
  try {
    HourGlass wait;
    out = command();
  } catch (const CatalogueMissing& e) {
    m_.error(e.what());
    emit fatalError();
    return;
  }
  // Read without an error, the fields now stand for the stored values: only typing
  // again makes a field the user's.
  if (!out.failed)
    for (QLineEdit* f : fields_) f->setModified(false);
  push_fields();
  if (out.show_cell_tab) emit showRequested();
  // The grid shows the lists as the command left them, under the title the command set
  // ("Calc. diagram (file)" after a recalculation).
  show_grid(calculated_grid(s_));
  emit changed(static_cast<unsigned>(Changed::CurrentValues | Changed::Calculated |
                                     Changed::Selection));
}

void CellTabWidget::choose_group_row(const std::function<CalcOutcome()>& command) {
  // A choice the user called off (pairs made by hand kept) leaves both lists showing
  // the group still in use.
  const int hm = tab_.hm_selected, getspec = tab_.getspec_selected;
  const std::string symbol = s_.symbol;
  run_command([&] {
    CalcOutcome out = command();
    if (out.failed && s_.symbol == symbol) {
      tab_.hm_selected = hm;
      tab_.getspec_selected = getspec;
    }
    return out;
  });
}

void CellTabWidget::on_hm_clicked(int row) {
  choose_group_row([&] { return select_group_hm(s_, tab_, row, m_); });
}

void CellTabWidget::on_getspec_clicked(int row) {
  choose_group_row([&] { return select_group_getspec(s_, tab_, row, m_); });
}

void CellTabWidget::on_calc() {
  run_command([&] { return calculate_reflections(s_, tab_, m_); });
}

void CellTabWidget::use_found_cell(const indexing::IndexedCell& cell, const std::string& group,
                                   double lambda) {
  run_command([&] { return vornax::use_found_cell(s_, tab_, cell, group, lambda, m_); });
}

void CellTabWidget::recalculate() {
  run_command([&] { return run_calculation(s_, tab_, m_); });
}

void CellTabWidget::show_cell_fields() {
  const auto texts = show_cell(s_.cell);
  updating_ = true;
  for (size_t i = 0; i < texts.size(); ++i) {
    tab_.fields[i] = texts[i];
    fields_[i]->setText(q(texts[i]));
    fields_[i]->setModified(false);
  }
  updating_ = false;
}

void CellTabWidget::show_current_values() {
  // After a θ / 2θ switch, redisplay() converts the fields first.
  if (fields_mode_ != s_.angle_mode) return;
  // Empty rather than 0: a wavelength or range not defined yet is not calculated with.
  const bool has_range = s_.range_min != 0 || s_.range_max != 0;
  const std::array<std::string, 3> texts = {
      s_.wavelengths.lambda != 0 ? format_fixed(s_.wavelengths.lambda, 8, 5) : std::string(),
      has_range ? format_fixed(angle_for_display(s_, s_.range_min), 7, 2) : std::string(),
      has_range ? format_fixed(angle_for_display(s_, s_.range_max), 7, 2) : std::string()};
  updating_ = true;
  for (size_t i = 0; i < texts.size(); ++i) {
    QLineEdit* f = fields_[6 + i];
    if (f->isModified()) continue;
    tab_.fields[6 + i] = texts[i];
    if (f->text() != q(texts[i])) f->setText(q(texts[i]));
  }
  updating_ = false;
}

void CellTabWidget::on_toggle() {
  const bool want_up = toggle_->isChecked();  // checked = forbidden lines shown
  bool up = false;
  {
    HourGlass wait;
    up = toggle_forbidden(s_, want_up, m_);
  }
  toggle_->setChecked(up);
  if (s_.allowed.empty()) return;  // nothing calculated: the toggle only goes back down
  show_grid(fill_calculated_grid(s_, tab_));
  emit changed(static_cast<unsigned>(Changed::Calculated));
}

void CellTabWidget::on_print() {
  auto path = write_short_reflection_report(s_, m_);
  if (path) emit reportRequested(q(path->string()));
}

void CellTabWidget::show_grid(const GridText& g) {
  grid_title_->setText(q(tab_.grid_title));
  fill_table(grid_, g);
}

void CellTabWidget::clear_calculated_grid() {
  WorkSession none;  // the headers only, for the angle mode shown
  none.angle_mode = s_.angle_mode;
  fill_table(grid_, calculated_grid(none));
}

void CellTabWidget::redisplay() {
  // The range fields follow the angle mode, whether they show the stored range or a range
  // typed and not read yet; the stored values never change.
  if (fields_mode_ != s_.angle_mode) {
    const double stored[2] = {s_.range_min, s_.range_max};
    for (size_t i = 0; i < 2; ++i) {
      tab_.fields[7 + i] = range_text_for_mode(str(fields_[7 + i]->text()), stored[i],
                                               fields_mode_, s_.angle_mode);
      fields_[7 + i]->setText(q(tab_.fields[7 + i]));
      range_labels_[i]->setText(range_label(s_.angle_mode, static_cast<int>(i)));
    }
    fields_mode_ = s_.angle_mode;
  }
  if (s_.allowed.empty()) clear_calculated_grid();
  else show_grid(fill_calculated_grid(s_, tab_));
}

void CellTabWidget::set_numero() {
  // A new cell is being typed: what was calculated from the old one goes.
  pull_fields();
  s_.cell_file_name.clear();
  tab_.grid_title = "Calculated diagram";
  clear_calculated_grid();
  apply_system_layout(s_, tab_);
  push_fields();
  emit fieldEntered();
}

bool CellTabWidget::verify_field(QLineEdit* edit, int field) {
  const std::string text = str(edit->text());
  // The focus goes back into a faulty field before the message, so that the box hands it
  // back there; meanwhile no field is entered or left, so that two faulty fields cannot
  // keep sending the focus to each other.
  updating_ = true;
  if (!parse_typed(text)) edit->setFocus(Qt::OtherFocusReason);
  const auto r = check_cell_field(s_, field, text, m_);
  updating_ = false;
  if (!r.ok) return false;
  for (size_t i = 0; i < 6; ++i)
    if (r.copies[i]) {
      tab_.fields[i] = *r.copies[i];
      fields_[i]->setText(q(*r.copies[i]));
    }
  return true;
}

bool CellTabWidget::eventFilter(QObject* obj, QEvent* ev) {
  if (obj == systems_->viewport() || obj == hm_->viewport() || obj == getspec_->viewport()) {
    if (ev->type() == QEvent::MouseButtonPress || ev->type() == QEvent::MouseButtonDblClick)
      mouse_in_list_ = true;
    else if (ev->type() == QEvent::MouseButtonRelease)
      mouse_in_list_ = false;
    return QWidget::eventFilter(obj, ev);
  }
  if (updating_ || (obj != fields_[0] && obj != fields_[3]) ||
      (ev->type() != QEvent::FocusIn && ev->type() != QEvent::FocusOut))
    return QWidget::eventFilter(obj, ev);
  // Entering and leaving a field means moving between the window's controls. Another
  // window, a menu or a message box taking the focus for a while is neither: coming back
  // from the menu that loaded a cell must not clear what that cell calculated.
  switch (static_cast<QFocusEvent*>(ev)->reason()) {
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
      return QWidget::eventFilter(obj, ev);
    default:
      break;
  }
  if (ev->type() == QEvent::FocusIn) set_numero();
  else
    run_guarded(s_, m_, [&] {
      verify_field(static_cast<QLineEdit*>(obj), obj == fields_[0] ? kFieldA : kFieldAlpha);
    });
  return QWidget::eventFilter(obj, ev);
}

}  // namespace vornax

// The "Initial cell parameters" tab: system list, the two space-group lists, the cell,
// wavelength and range fields, "Calc.", the forbidden-lines toggle and the grid.
#pragma once

#include <QWidget>

#include <functional>

#include "commands/calculation.hpp"
#include "core/cell_entry.hpp"
#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/cell_indexing.hpp"

class QListWidget;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QLabel;

namespace vornax {

class CellTabWidget : public QWidget {
  Q_OBJECT
 public:
  CellTabWidget(WorkSession& s, Messages& m, QWidget* parent = nullptr);

  // Shows every angle again (θ / 2θ switch, erase commands).
  void redisplay();
  // Empties the grid "Calculated diagram" (erase commands).
  void clear_calculated_grid();
  // The wavelength and range fields follow the "Current values" of the session, except
  // a field the user has typed into and not yet had read: a space-group choice then
  // calculates with what the fields show, never with a value the session replaced.
  void show_current_values();
  // The six cell fields from the session's cell, once a command other than "Calc." set it
  // ("Pair again" starts from the refined cell): a later "Calc." reads them back.
  void show_cell_fields();
  // "Use" of the indexing window: the found cell's system, the group and the cell, then
  // "Calc.".
  void use_found_cell(const indexing::IndexedCell& cell, const std::string& group, double lambda);
  // Runs the calculation sequence again on the session's cell (after the refined
  // parameters were adopted or the initial cell restored).
  void recalculate();

  CellTab& model() { return tab_; }
  QLineEdit* field(int index) const { return fields_[static_cast<size_t>(index)]; }  // 0..8
  QListWidget* system_list() const { return systems_; }
  QListWidget* hm_list() const { return hm_; }
  QListWidget* getspec_list() const { return getspec_; }
  QPushButton* calc_button() const { return calc_; }
  QPushButton* forbidden_toggle() const { return toggle_; }
  QPushButton* print_button() const { return print_; }
  // "File", "Save" and "Erase" of the cell entry: the main window runs their commands.
  QPushButton* file_button() const { return file_; }
  QPushButton* save_button() const { return save_; }
  QPushButton* erase_button() const { return erase_; }
  QTableWidget* grid() const { return grid_; }

 signals:
  // The session changed (a set of Changed): the main window refreshes the others.
  void changed(unsigned what);
  // The a or alpha field was entered: the selection and refinement grids are cleared.
  void fieldEntered();
  // The calculation asks for this tab to be in front.
  void showRequested();
  // A report file should be shown in the report viewer.
  void reportRequested(const QString& path);
  // The catalogue is missing: the program must end.
  void fatalError();

 private:
  void build();
  void pull_fields();   // widgets -> model
  void push_fields();   // model -> widgets
  // A list entry chosen by a click or by the arrow keys runs `choose` with its row.
  void connect_list(QListWidget* list, void (CellTabWidget::*choose)(int));
  void on_system_clicked(int row);
  void on_hm_clicked(int row);
  void on_getspec_clicked(int row);
  void on_calc();
  void on_toggle();
  void on_print();
  // The grid's rows; the title label shows tab_.grid_title.
  void show_grid(const GridText& g);
  void choose_group_row(const std::function<CalcOutcome()>& command);
  void run_command(const std::function<CalcOutcome()>& command);
  void set_numero();                          // entering a or alpha
  bool verify_field(QLineEdit* edit, int field);  // leaving it; false after a message
  bool eventFilter(QObject* obj, QEvent* ev) override;

  WorkSession& s_;
  Messages& m_;
  CellTab tab_;
  QListWidget* systems_ = nullptr;
  QListWidget* hm_ = nullptr;
  QListWidget* getspec_ = nullptr;
  std::array<QLineEdit*, 9> fields_{};
  QPushButton* calc_ = nullptr;
  QPushButton* toggle_ = nullptr;
  QPushButton* print_ = nullptr;
  QPushButton* file_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* erase_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QLabel* grid_title_ = nullptr;
  std::array<QLabel*, 2> range_labels_{};
  AngleMode fields_mode_;       // the angle mode the range fields are shown in
  bool updating_ = false;       // the window itself is changing widgets or the focus
  bool mouse_in_list_ = false;  // a mouse button went down in one of the lists
};

}  // namespace vornax

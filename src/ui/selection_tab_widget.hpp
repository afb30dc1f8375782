// The "Selection of the reflections" tab: measured and calculated lists, "Auto Sel."
// with its tolerance, and the grid "Selected reflections".
#pragma once

#include <QWidget>

#include <functional>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/selection_commands.hpp"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace vornax {

class SelectionTabWidget : public QWidget {
  Q_OBJECT
 public:
  SelectionTabWidget(WorkSession& s, Messages& m, QWidget* parent = nullptr);

  // Refills the measured, calculated and selected grids from the session.
  void redisplay();
  // Empties the grids that depend on the calculation (a or alpha field entered).
  void clear_grids();
  QLineEdit* tolerance_box() const;

  // "Auto Sel.": pairs the measured peaks with the calculated reflections.
  void selection_automatique();
  // "Pair again": after a refinement, pairs the peaks with the refined cell and shift
  // and refines again, until the pairs stop changing (a few runs at most).
  void pair_again();
  // Refills the grid "Selected reflections" from the session.
  void show_selected_list();

  QTableWidget* measured_grid() const { return measured_; }
  QTableWidget* calculated_grid() const { return calculated_; }
  QTableWidget* selected_grid() const { return selected_; }
  QPushButton* auto_sel_button() const { return auto_sel_; }
  QPushButton* pair_again_button() const { return pair_again_; }
  // "n of m peaks paired" once pairs exist; red when fewer than half are.
  QLabel* paired_label() const { return paired_; }
  // The indexed-list commands; the main window runs them (they need its file dialogs
  // and the selection editor).
  QPushButton* save_list_button() const { return save_list_; }
  QPushButton* merge_button() const { return merge_; }
  QPushButton* add_modif_button() const { return add_modif_; }
  QButtonGroup* mouse_mode_group() const { return mouse_mode_; }
  QLabel* mode_message() const { return mode_message_; }

  // The mouse-selection state shared with the diagram window (the main window's).
  void set_manual_selection(ManualSelection& st) { st_ = &st; }

  // "Mouse Selection": the mode chosen (0 = none) and its explanation shown.
  void selection_mode(int mode);
  // Mode 3: a click on a row (0-based) of the measured / calculated list.
  void click_meas_refl(int row);
  void click_calc_refl(int row);
  // The indices of "Selected reflections" row `row` (0-based) were edited to `text`.
  void modifie_indices(int row, const QString& text);
  // Double click on "Selected reflections" row `row` (0-based): that pair is deleted.
  void efface_raie(int row);
  void efface_selection();  // "Delete"
  void re_index();          // "Restore"
  void edit_modif_raies();  // "Add/Modif"

 signals:
  // The session changed (a set of Changed): the main window refreshes the others.
  void changed(unsigned what);
  // "Add/Modif" with calculated reflections: the selection editor is to be shown.
  void editorRequested();
  // "Pair again" made the refined cell the session's cell: the cell fields show it.
  void cellAdopted();

 private:
  void build();
  void show_measured();
  void show_calculated();
  // The count of paired peaks and the colour of the measured peaks left unpaired.
  void show_pairing();
  void clear_mouse_mode();
  // Runs a pairing command; on a change the tab shows its lists again and tells the others.
  void run_pairing(const std::function<Changed()>& command);

  WorkSession& s_;
  Messages& m_;
  QTableWidget* measured_ = nullptr;
  QTableWidget* calculated_ = nullptr;
  QTableWidget* selected_ = nullptr;
  QLineEdit* tolerance_ = nullptr;
  QLabel* tolerance_unit_ = nullptr;
  QPushButton* auto_sel_ = nullptr;
  QPushButton* pair_again_ = nullptr;
  QLabel* paired_ = nullptr;
  QPushButton* save_list_ = nullptr;
  QPushButton* merge_ = nullptr;
  QPushButton* add_modif_ = nullptr;
  QButtonGroup* mouse_mode_ = nullptr;
  QLabel* mode_message_ = nullptr;
  ManualSelection own_st_;
  ManualSelection* st_ = &own_st_;
  bool filling_ = false;  // the program, not the user, is writing the grids
};

}  // namespace vornax

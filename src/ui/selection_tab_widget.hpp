// The "Selection of the reflections" tab: measured and calculated lists, "Auto Sel."
// with its tolerance, and the grid "Selected reflections".
#pragma once

#include <QWidget>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

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
  // Refills the grid "Selected reflections" from the session.
  void show_selected_list();

  QTableWidget* measured_grid() const { return measured_; }
  QTableWidget* calculated_grid() const { return calculated_; }
  QTableWidget* selected_grid() const { return selected_; }
  QPushButton* auto_sel_button() const { return auto_sel_; }
  // The indexed-list commands; the main window runs them (they need its file dialogs
  // and the selection editor).
  QPushButton* save_list_button() const { return save_list_; }
  QPushButton* merge_button() const { return merge_; }
  QPushButton* add_modif_button() const { return add_modif_; }

 signals:
  // The session changed (a set of Changed): the main window refreshes the others.
  void changed(unsigned what);

 private:
  void build();
  void show_measured();
  void show_calculated();
  void clear_mouse_mode();

  WorkSession& s_;
  Messages& m_;
  QTableWidget* measured_ = nullptr;
  QTableWidget* calculated_ = nullptr;
  QTableWidget* selected_ = nullptr;
  QLineEdit* tolerance_ = nullptr;
  QLabel* tolerance_unit_ = nullptr;
  QPushButton* auto_sel_ = nullptr;
  QPushButton* save_list_ = nullptr;
  QPushButton* merge_ = nullptr;
  QPushButton* add_modif_ = nullptr;
  QButtonGroup* mouse_mode_ = nullptr;
};

}  // namespace vornax

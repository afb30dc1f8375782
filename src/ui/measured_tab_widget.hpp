// The "Measured reflections" tab: the measured grid, keyboard entry and the θ / 2θ choice.
#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/selection_commands.hpp"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace vornax {

class MeasuredTabWidget : public QWidget {
  Q_OBJECT
 public:
  // `current_lambda` is the wavelength box of the main window's "Current values" panel,
  // which the measured grid reads.
  MeasuredTabWidget(WorkSession& s, Messages& m, QLineEdit* current_lambda,
                    QWidget* parent = nullptr);

  // Shows every angle again (θ / 2θ switch, erase commands, peaks loaded elsewhere).
  void redisplay();
  QTableWidget* grid() const;

  // "Keyboard": zero offset 0, the grid (empty, or showing the peaks already in the
  // list), the grid panel and "Erase"/"Save" shown.
  void enter_refl_keyb();
  // Re-reads the whole grid into the measured list (every move between cells). An
  // error is told once: while the grid and the wavelength box hold the same texts, the
  // grid is not read again.
  void theta_to_dhkl();

  // The grid panel and the "Erase" and "Save" buttons, as "Keyboard" and "File" show them.
  void show_entry_panel();

  QPushButton* keyboard_button() const { return keyboard_; }
  QPushButton* file_button() const { return file_; }
  QPushButton* diagram_button() const { return diagram_; }
  QPushButton* erase_button() const { return erase_; }
  QPushButton* save_button() const { return save_; }
  QWidget* grid_panel() const { return panel_; }

 signals:
  // The session changed (a set of Changed): the main window refreshes the others.
  void changed(unsigned what);

 private:
  void build();
  void relabel();
  void show_grid(const GridText& g);
  // The sorted list and the wavelength box; false (nothing shown) when the list is empty.
  bool show_list();
  // The grid emptied, its row count kept (at least the minimum).
  void show_empty_grid();
  void change_angles(AngleMode mode);

  WorkSession& s_;
  Messages& m_;
  QLineEdit* lambda_ = nullptr;
  QWidget* panel_ = nullptr;
  QLabel* title_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QPushButton* file_ = nullptr;
  QPushButton* diagram_ = nullptr;
  QPushButton* erase_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* keyboard_ = nullptr;
  QRadioButton* theta_ = nullptr;
  QRadioButton* two_theta_ = nullptr;
  bool updating_ = false;
  bool read_pending_ = false;  // a move between cells asked for a reading not yet done
  // The grid and wavelength texts of the last reading that ended in an error: the same
  // texts read again would only repeat the message.
  std::optional<std::vector<std::string>> refused_;
};

}  // namespace vornax

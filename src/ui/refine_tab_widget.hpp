// The "Cell refinement" tab: initial, refined and sigma boxes, the "To refine" flags,
// the refinement commands and the two result grids.
#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vornax {

struct FileDialogs;
struct RefinementRecord;

class RefineTabWidget : public QWidget {
  Q_OBJECT
 public:
  RefineTabWidget(WorkSession& s, Messages& m, QWidget* parent = nullptr);

  // Shows every value and grid again (θ / 2θ switch).
  void redisplay();
  // The results went with their pairs or cell: Refined and Sigmas boxes emptied, the
  // report, export and print buttons hidden.
  void forget_results();
  // Initial boxes and default "To refine" flags after a calculation.
  void show_initial_values();
  // The Initial lambda box from the session's current wavelength (another window
  // changed it).
  void show_initial_lambda();
  // Grid "Before refinement" after the selection changed.
  void show_before_grid();
  // Empties both result grids and their deviation boxes.
  void clear_grids();

  // The choice of the angular-shift panel: 0 none (the shift flag is unchecked again),
  // 1 constant zero shift, 2 sample excentricity.
  void apply_shift_choice(int choice);

  // Commands of the tab.
  void go_affinement();         // refine
  void change_param();          // use the refined values
  void resto_param();           // restore the initial cell
  void Impression_resultats();  // the report (also the menu's "Re&sults")
  void transfert_excel();       // the export window
  void print_screen();          // the main window on the printer
  void save_cif();              // the last refinement's results as a CIF file

  // The save dialog of "Save CIF" (the main window's, so that tests answer it).
  void set_file_dialogs(std::function<FileDialogs&()> dialogs) { dialogs_ = std::move(dialogs); }

  // Widgets, for tests. Rows: a, b, c, alpha, beta, gamma, shift, lambda, volume.
  QLineEdit* initial_box(int row) const { return initial_[static_cast<size_t>(row)]; }
  QLineEdit* refined_box(int row) const { return refined_[static_cast<size_t>(row)]; }
  QLineEdit* sigma_box(int row) const { return sigmas_[static_cast<size_t>(row)]; }
  QCheckBox* refine_flag(int index) const { return flags_[static_cast<size_t>(index)]; }  // 0..7
  QLabel* shift_label() const { return shift_label_; }
  QLabel* wavelength_note() const { return note_; }
  // The lowest edge of the tab's command buttons in view, in the tab's coordinates: the
  // angular-shift panel opens below it.
  int commands_bottom() const;
  QWidget* parameters_panel() const { return params_; }
  QTableWidget* before_grid() const { return before_; }
  QTableWidget* after_grid() const { return after_; }
  QLineEdit* deviation_before_box() const { return deviation_before_; }
  QLineEdit* deviation_after_box() const { return deviation_after_; }
  QLabel* figures_label() const { return figures_; }
  QComboBox* weights_combo() const { return weights_; }        // "unit", "fitted"
  QLabel* weighting_label() const { return weighting_; }       // GoF of a fitted-weight run
  QPushButton* refine_button() const { return refine_; }
  QPushButton* use_refined_button() const { return use_; }
  QPushButton* restore_button() const { return restore_; }
  QPushButton* report_button() const { return report_; }
  QPushButton* excel_button() const { return excel_; }
  QPushButton* print_screen_button() const { return print_; }
  QPushButton* save_cif_button() const { return cif_; }

 signals:
  // The cell changed (refined values adopted or initial cell restored): recalculate.
  void cellChanged();
  // The session changed (a set of Changed): the main window refreshes the others.
  void changed(unsigned what);
  // A report file should be shown in the report viewer.
  void reportRequested(const QString& path);
  // The shift flag became checked: the angular-shift panel is shown.
  void shiftDialogRequested();
  // The export window should be shown.
  void excelRequested();
  // This tab should come to the front.
  void showRequested();

 private:
  void build();
  void on_flag_toggled(int index, bool checked);
  void achtung(bool checked);
  void show_after_grid();
  void show_result_boxes();
  void clear_result_boxes();
  void relabel_shift();
  // After the refined values were used or the initial cell restored: the cell is
  // calculated again, the "To refine" flags and the shift model stay as the user set them.
  void after_exchange();
  void set_result_buttons_visible(bool visible);
  void select_peak(int row);
  bool report_exists() const;

  WorkSession& s_;
  Messages& m_;
  std::array<QLineEdit*, 9> initial_{};
  std::array<QLineEdit*, 9> refined_{};
  std::array<QLineEdit*, 9> sigmas_{};
  std::array<QCheckBox*, 8> flags_{};
  QLabel* shift_label_ = nullptr;
  QLabel* before_title_ = nullptr;
  QLabel* after_title_ = nullptr;
  QWidget* params_ = nullptr;
  QLabel* note_ = nullptr;
  QTableWidget* before_ = nullptr;
  QTableWidget* after_ = nullptr;
  QLineEdit* deviation_before_ = nullptr;
  QLineEdit* deviation_after_ = nullptr;
  QLabel* figures_ = nullptr;
  QComboBox* weights_ = nullptr;
  QLabel* weighting_ = nullptr;
  QPushButton* refine_ = nullptr;
  QPushButton* use_ = nullptr;
  QPushButton* restore_ = nullptr;
  QPushButton* report_ = nullptr;
  QPushButton* excel_ = nullptr;
  QPushButton* print_ = nullptr;
  QPushButton* cif_ = nullptr;
  std::function<FileDialogs&()> dialogs_;
  // The record of the last successful refinement, for "Save CIF"; dropped with the results.
  std::shared_ptr<const RefinementRecord> last_record_;
};

}  // namespace vornax

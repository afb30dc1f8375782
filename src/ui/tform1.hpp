// The main window: four tabs, one per step of the work (measured reflections, initial
// cell, selection, refinement), the main menu, the "Current values" panel, the "Peak
// data" and "Profile" panels, and the angular-shift panel. It creates the program's
// other windows, hidden, in their fixed order, and relays the refreshes between tabs.
#pragma once

#include <QMainWindow>
#include <QString>

#include <array>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "commands/load_peaks.hpp"
#include "commands/peak_undo.hpp"
#include "core/profile_formats.hpp"
#include "commands/diagram_commands.hpp"
#include "ui/file_dialogs.hpp"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;

namespace vornax {

class CellTabWidget;
class MeasuredTabWidget;
class SelectionTabWidget;
class RefineTabWidget;
class Tform6;
class Tfabout;
class TForm7;
class Tflilambda;
class Tfexcel;
class Tfliste_monoc;
class Tfedit_grid3;
class ReportViewer;
class HelpWindow;
class IndexWindow;
class ShiftModePanel;

// Result files of an earlier run, removed from the current folder at start-up.
inline constexpr std::array<FixedFile, 6> kStartupDeletedFiles = {
    FixedFile::RefineReport, FixedFile::Excel,     FixedFile::RawReport,
    FixedFile::IndxShort,    FixedFile::DifReport, FixedFile::ObsBackup};

// Asked before quitting with peaks or pairs that no file holds; Yes quits.
inline constexpr const char* kUnsavedWorkQuestion =
    "The peaks or the selected reflections are not saved in a file.\nQuit anyway?";

// Help topic of each tab (F1), in tab order.
inline constexpr std::array<int, 4> kTabHelpTopics = {2, 3, 5, 6};

// Row of the wavelength in the refinement tab's parameter boxes.
inline constexpr int kRefineLambdaRow = 7;

class Tform1 : public QMainWindow {
  Q_OBJECT
 public:
  enum Tab { kMeasuredTab = 0, kCellTab = 1, kSelectionTab = 2, kRefineTab = 3 };

  // Sets up the session with its start-up values (the data folder is kept), deletes
  // the result files of an earlier run from the current folder and records that
  // folder as the working folder, then builds the window and the other windows.
  Tform1(WorkSession& s, Messages& m, QWidget* parent = nullptr);
  ~Tform1() override;

  QTabWidget* tabs() const { return tabs_; }
  MeasuredTabWidget* measured_tab() const { return measured_; }
  CellTabWidget* cell_tab() const { return cell_; }
  SelectionTabWidget* selection_tab() const { return selection_; }
  RefineTabWidget* refine_tab() const { return refine_; }

  // A menu entry by its objectName ("action_erase_peak", ...); nullptr when unknown.
  // The popup menus share the main menu's entries where their captions agree.
  QAction* action(const QString& object_name) const;

  // Popup menus of the tabs' "File" and "Save" buttons.
  QMenu* peaks_file_popup() const { return popup_peaks_file_; }
  QMenu* cell_file_popup() const { return popup_cell_file_; }
  QMenu* peaks_save_popup() const { return popup_peaks_save_; }

  QLineEdit* lambda_box() const { return lambda_box_; }
  QLineEdit* range_min_box() const { return range_min_box_; }
  QLineEdit* range_max_box() const { return range_max_box_; }
  QPushButton* range_ok_button() const { return range_ok_; }
  QGroupBox* current_values_panel() const { return current_values_; }
  QGroupBox* peak_data_panel() const { return peak_panel_; }
  QGroupBox* profile_panel() const { return profile_panel_; }
  QPlainTextEdit* help_text() const { return help_text_; }
  QPlainTextEdit* indexed_list_help() const { return help_text2_; }
  QWidget* main_panel() const { return panel_; }
  ShiftModePanel* shift_panel() const { return shift_panel_; }

  Tform6* diagram_window() const { return form6_; }
  Tfabout* about_window() const { return about_; }
  TForm7* profile_window() const { return form7_; }
  Tflilambda* lambda_window() const { return lilambda_; }
  Tfexcel* excel_window() const { return excel_; }
  Tfliste_monoc* indexed_list_window() const { return liste_monoc_; }
  Tfedit_grid3* selection_editor() const { return edit_grid3_; }
  ReportViewer* report_viewer() const { return viewer_; }
  HelpWindow* help_window() const { return help_; }
  IndexWindow* index_window() const { return index_; }
  // The mouse-selection state shared by the selection tab and the diagram window.
  ManualSelection& manual_selection() { return manual_; }

  // The open and save dialogs every window uses; tests put their own in place.
  FileDialogs& file_dialogs() { return *file_dialogs_; }
  void set_file_dialogs(FileDialogs* dialogs) { file_dialogs_ = dialogs ? dialogs : &qt_dialogs_; }

  // True once the program has to end (the catalogue could not be read).
  bool fatal() const { return fatal_; }

 public slots:
  // Shows a report file in the report viewer.
  void show_report(const QString& path);
  // The one refresh after every command: every window that shows the data in `what`
  // shows them again. `source`, the window that ran the command, has already shown
  // them itself and is left alone (a grid being edited keeps its cursor).
  void refresh(Changed what, QObject* source = nullptr);
  // "Current values" boxes and the two information panels from the session.
  void refresh_current_values();
  void refresh_info_panels();

  // Tab change: panel colour and help text.
  void change_onglet(int index);
  // θ / 2θ switch: relabel the panels, redisplay every angle.
  void change_angles();

  // "File" of the measured tab: the grid panel, "Erase" and "Save" shown, the peak formats.
  void load_fichier_raie();
  // "File" of the cell tab: the cell formats.
  void parametres_cry();
  // "Save" of the measured tab: the two peak formats.
  void enregistrer_dif();

  // Cell files: load a .cry or an ICSD file (either command reads an ICSD file when the
  // name says so), save the cell, erase the calculated reflections.
  void import_cell_vornax();
  void import_cel_icsd();
  void sauve_maille();
  void rase_raies_indx();

  // Indexed lists of the selection tab: "Save ", "Merge", "Add/Modif".
  void sauve_selection();
  void Merge_lst();
  void edit_modif_raies();
  // "Create a New ... Indexed list": the entry window, in the working folder.
  void editeur();

  // Erase menu.
  void erase_peak();
  void erase_indx();
  void erase_profil();
  void raze_tout();

  // Peak and profile files: the open dialog (filter index = the kind), then the load
  // command, asking the wavelength window when the file holds no wavelength.
  void charger_mesures(PeakFileType type);
  void charger_profil(ProfileFileType type);
  // Save menu: the save dialog, then the writer.
  void save_bruker_dif();
  void save_column_dif();
  void save_brukker_raw();
  void save_cpi_raw();
  // "&Measured peaks" and "&Raw diagram ": dif.out and raw.out in the report viewer.
  void edit_fichier_dif();
  void edit_raw();

  // "Current values": entering and leaving the wavelength box, and "OK" (a new
  // wavelength and range, the files read again).
  void entree_lambda();
  void relit_theta_range();
  // Leaving the Initial lambda box of the refinement tab.
  void change_lambda_affi();

  // "&Calculated Peaks": writes the report of the calculated reflections and shows it.
  void edit_raies_calculees();
  // "Re&sults" and "&Print results": the refinement report.
  void Impression_resultats();

  void aide(int topic = 1);  // help, at a topic
  // "Tools > Index": the indexing window on the measured peaks.
  void indexation();
  // "Diagram" of the measured tab: the profile window, to measure the peaks on a profile.
  void pointe_raies_diag();
  void Apropos1Click();      // About
  void sortie();             // Exit

  // The angular-shift panel: shown when the shift flag becomes checked; OK applies.
  void shift_selection();
  void BitBtn17Click();

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void build_panels();
  void build_tabs();
  void build_menus();
  void build_popups();
  // Opens a popup where the program shows them: 170, 110 pixels from the window's corner.
  void show_popup(QMenu* popup);
  void create_windows();
  void connect_tabs();
  void relabel_angles();
  void place_shift_panel();
  void lit_lambda();
  // The open dialog of the cell files with the filter `filter_index` first.
  void import_cell(int filter_index);
  // "Calc." and "Auto Sel." are off while the selection editor is open.
  void editor_open(bool open);
  QAction* add_entry(QMenu* menu, const QString& text, const char* name, bool enabled);
  // An enabled entry that runs `command`.
  QAction* add_command(QMenu* menu, const QString& text, const char* name,
                       void (Tform1::*command)());
  // Adds the main-menu entries of these names to a popup.
  void share_entries(QMenu* popup, std::initializer_list<const char*> names);
  // An entry that loads a peak file of `type`.
  QAction* add_peak_entry(QMenu* menu, std::string_view caption, const char* name,
                          PeakFileType type);
  void save_peaks_as(const char* filter,
                     Changed (*command)(WorkSession&, Messages&, const std::filesystem::path&));
  void save_profile_as(ProfileFileType kind);

  WorkSession& s_;
  Messages& m_;
  ManualSelection manual_;
  bool fatal_ = false;
  bool small_screen_ = false;

  QScrollArea* scroll_ = nullptr;
  QWidget* panel_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  MeasuredTabWidget* measured_ = nullptr;
  CellTabWidget* cell_ = nullptr;
  SelectionTabWidget* selection_ = nullptr;
  RefineTabWidget* refine_ = nullptr;

  QGroupBox* current_values_ = nullptr;
  QLabel* lambda_label_ = nullptr;
  QLabel* range_min_label_ = nullptr;
  QLabel* range_max_label_ = nullptr;
  QLineEdit* lambda_box_ = nullptr;
  QLineEdit* range_min_box_ = nullptr;
  QLineEdit* range_max_box_ = nullptr;
  QPushButton* range_ok_ = nullptr;

  struct InfoPanel {
    QGroupBox* box = nullptr;
    QLabel* file = nullptr;
    QLabel* sample = nullptr;
    QLabel* anode = nullptr;
    QLabel* lambda = nullptr;
    QLabel* min_label = nullptr;
    QLabel* min = nullptr;
    QLabel* max_label = nullptr;
    QLabel* max = nullptr;
  };
  InfoPanel peak_info_;
  InfoPanel profile_info_;
  QGroupBox* peak_panel_ = nullptr;
  QGroupBox* profile_panel_ = nullptr;
  QPlainTextEdit* help_text_ = nullptr;
  QPlainTextEdit* help_text2_ = nullptr;
  ShiftModePanel* shift_panel_ = nullptr;
  IndexWindow* index_ = nullptr;
  QMenu* popup_peaks_file_ = nullptr;
  QMenu* popup_cell_file_ = nullptr;
  QMenu* popup_peaks_save_ = nullptr;

  QtFileDialogs qt_dialogs_{this};
  FileDialogs* file_dialogs_ = &qt_dialogs_;
  Tform6* form6_ = nullptr;
  Tfabout* about_ = nullptr;
  TForm7* form7_ = nullptr;
  // Ctrl+Z in the measured grid and in the profile window: one shared step back.
  PeakListUndo peak_undo_;
  Tflilambda* lilambda_ = nullptr;
  Tfexcel* excel_ = nullptr;
  Tfliste_monoc* liste_monoc_ = nullptr;
  Tfedit_grid3* edit_grid3_ = nullptr;
  ReportViewer* viewer_ = nullptr;
  HelpWindow* help_ = nullptr;
};

}  // namespace vornax

// The profile window: a measured profile drawn with the peaks measured on it, by hand
// (mouse) or by the automatic peak search, the peak kill and the second derivative.
// It only wires controls to the profile commands; the peaks it makes are the session's
// measured peaks, handed over to the main window after every change.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>

#include "commands/changed.hpp"
#include "commands/peak_undo.hpp"
#include "commands/peak_search.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/wavelength.hpp"
#include "core/profile_formats.hpp"
#include "commands/diagram_commands.hpp"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableWidget;
class QVBoxLayout;

namespace vornax {

struct FileDialogs;

class TForm7 : public QWidget {
  Q_OBJECT
 public:
  TForm7(WorkSession& s, Messages& m, QWidget* parent = nullptr);

  // What the window needs from the main window: the one refresh after a command, the
  // file dialogs, the wavelength window for files without a wavelength, the help at a
  // topic and "Calc." again after a new angle range.
  void set_refresh(std::function<void(Changed)> f) { refresh_ = std::move(f); }
  void set_file_dialogs(std::function<FileDialogs&()> f) { dialogs_ = std::move(f); }
  void set_wavelength_dialog(WavelengthDialog* d) { wavelength_ = d; }
  void set_help(std::function<void(int)> f) { help_ = std::move(f); }
  void set_recalculate(std::function<void()> f) { recalculate_ = std::move(f); }
  // The undo of the peak list the main window shares with this window (Ctrl+Z).
  void set_peak_undo(PeakListUndo* u) { undo_ = u; }
  // The diagram window: hidden while this window is active, shown again when it closes.
  void set_diagram_window(QWidget* w) { diagram_ = w; }

  // Shown by the main window: vertical factor 1, peaks measured here have no file.
  void open_window();
  // The grid, the boxes and the drawing again from the session (other windows' changes).
  void redisplay();

  // Commands, under the names the window has always used.
  void load_profile(ProfileFileType type);
  void Lit_fichier_raw() { load_profile(ProfileFileType::BrukerRaw); }
  void lit_fichier_rietveld() { load_profile(ProfileFileType::RietveldDat); }
  void lit_fichier_cpi() { load_profile(ProfileFileType::Cpi); }
  void lit_fichier_philips() { load_profile(ProfileFileType::PhilipsRd); }
  void sauve_brucker_dif();
  void sauve_column_dif();
  void sauve_bruker_raw();
  void sauve_cpi_raw();
  void retour();
  void efface_fichier();
  void efface_mesures();
  void shifte_spectre(int value);
  void modifie_echelle(int value);
  void reset_diagramme();
  void peak_search();
  void go_peaksearch();
  void fin_de_search();
  void kill_alpha2();
  void BitBtn7Click();
  void set_derivee_seconde();
  // "Fit": the peaks' positions fitted on the profile; the summary shown beside the grid.
  void fit_peaks();
  // Options › the Kα2-stripped pattern drawn over the profile, or not.
  void toggle_stripped();
  void change_data_diag();
  void aide_en_ligne();
  // Ctrl+Z: the peak list as it was before its last change.
  void undo_peaks();
  // "Copy": the only command that puts the drawing on the clipboard.
  void copy_image();

  // For the tests and the main window.
  const QImage& image() const { return image_; }
  QLabel* image_label() const { return image_label_; }
  QTableWidget* peak_grid() const { return grid_; }
  QSlider* slider(int i) const { return sliders_[static_cast<size_t>(i)]; }
  QLineEdit* slider_box(int i) const { return slider_boxes_[static_cast<size_t>(i)]; }
  QLineEdit* contamination_box(int i) const { return contamination_[static_cast<size_t>(i)]; }
  QCheckBox* keep_box(int i) const { return keep_[static_cast<size_t>(i)]; }
  QGroupBox* search_panel() const { return search_panel_; }
  QGroupBox* kill_panel() const { return kill_panel_; }
  QLineEdit* range_box(int i) const { return i == 0 ? range_min_ : range_max_; }
  QLineEdit* cursor_box() const { return cursor_; }
  QLabel* count_label() const { return count_; }
  QLabel* fit_label() const { return fit_label_; }
  QPlainTextEdit* help_text() const { return help_text_; }
  QAction* action(const QString& object_name) const;
  PeakSearchState& search_state() { return st_; }
  ProfileView& view() { return view_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void build_menus(QVBoxLayout* layout);
  QGroupBox* build_search_panel();
  QGroupBox* build_kill_panel();
  // Runs a command through the guard, then shows what it changed.
  void run(const std::function<Changed()>& command);
  void after(Changed what);
  // The vertical scale back to 1, its control to 10.
  void reset_scale();
  void fill_grid();
  void fill_boxes();
  void redraw();
  void show_image(const QImage& img);
  void save_peaks(bool dif);
  void save_profile_as(bool raw);
  void read_contamination();
  FileDialogs* dialogs();

  WorkSession& s_;
  Messages& m_;
  PeakSearchState st_;
  ProfileView view_;
  DiagramView shift_;  // the "Move the diagram" and scale controls' values before a press
  QImage image_;

  std::function<void(Changed)> refresh_;
  std::function<FileDialogs&()> dialogs_;
  WavelengthDialog* wavelength_ = nullptr;
  std::function<void(int)> help_;
  std::function<void()> recalculate_;
  PeakListUndo* undo_ = nullptr;
  QWidget* diagram_ = nullptr;
  // "Delete the observed diagram" leaves an empty grid and a black image until the
  // window is opened again, a profile is read or the peaks are changed here.
  bool blanked_ = false;

  QLabel* image_label_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QGroupBox* search_panel_ = nullptr;
  QGroupBox* kill_panel_ = nullptr;
  QGroupBox* legend_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* caption_ = nullptr;
  QLabel* profile_info_ = nullptr;
  QLabel* range_min_label_ = nullptr;
  QLabel* range_max_label_ = nullptr;
  QLineEdit* range_min_ = nullptr;
  QLineEdit* range_max_ = nullptr;
  QLineEdit* cursor_ = nullptr;
  QPlainTextEdit* help_text_ = nullptr;
  QSpinBox* move_ = nullptr;
  QSpinBox* scale_ = nullptr;
  QAction* derivative_action_ = nullptr;
  QAction* search_action_ = nullptr;
  QAction* split_action_ = nullptr;
  QAction* stripped_action_ = nullptr;
  QCheckBox* search_stripped_ = nullptr;
  QLabel* fit_label_ = nullptr;
  std::array<QSlider*, 3> sliders_{};
  std::array<QLineEdit*, 3> slider_boxes_{};
  std::array<QLineEdit*, 4> contamination_{};
  std::array<QCheckBox*, 5> keep_{};
  int selected_row_ = 0;  // grid row of the selected cell (0: none)
};

}  // namespace vornax

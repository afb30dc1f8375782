#include "ui/tform1.hpp"

#include "commands/session_commands.hpp"
#include "ui/command_guard.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <type_traits>
#include <vector>

#include "commands/calculation.hpp"
#include "commands/load_peaks.hpp"
#include "commands/load_profile.hpp"
#include "commands/refine_tab.hpp"
#include "commands/reread_angle_range.hpp"
#include "commands/save_peaks.hpp"
#include "commands/save_profile.hpp"
#include "core/profile_formats.hpp"
#include "commands/cell_files.hpp"
#include "commands/indexed_list_commands.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "ui/cell_tab_widget.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/help_window.hpp"
#include "ui/index_window.hpp"
#include "ui/main_window_texts.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/refine_tab_widget.hpp"
#include "ui/report_viewer.hpp"
#include "ui/selection_tab_widget.hpp"
#include "ui/shift_mode_panel.hpp"
#include "ui/tfabout.hpp"
#include "ui/tfedit_grid3.hpp"
#include "ui/tfexcel.hpp"
#include "ui/tflilambda.hpp"
#include "ui/tfliste_monoc.hpp"
#include "ui/tform6.hpp"
#include "ui/tform7.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {

QString q(const std::string& t) { return QString::fromStdString(t); }

// Colour of the panel around the tabs while each tab is in front.
const std::array<QColor, 4> kTabColours = {
    QColor(192, 192, 192),  // silver
    QColor(166, 202, 240),  // light blue
    QColor(255, 182, 193),  // light pink
    QColor(255, 255, 224),  // light yellow
};

const std::array<const char*, 4> kTabCaptions = {
    "Measured reflections", "Initial cell parameters", "Selection of the reflections",
    "Cell refinement"};

QString qt_text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

const char* peak_action_name(PeakFileType type) {
  switch (type) {
    case PeakFileType::BrukerDif: return "action_open_peaks_bruker";
    case PeakFileType::Xfit: return "action_open_peaks_xfit";
    case PeakFileType::Winfit: return "action_open_peaks_winfit";
    case PeakFileType::PhilipsDi: return "action_open_peaks_philips";
    case PeakFileType::ColumnPrn: return "action_open_peaks_column";
    case PeakFileType::ColumnAny: return "action_popup_peaks_columns";
    case PeakFileType::IndexedList: return "action_open_indexed_list";
  }
  return "action_open_peaks";
}

template <class Table>
std::vector<std::string> filter_list(const Table& table) {
  std::vector<std::string> out;
  for (const auto& entry : table) {
    if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, PeakFileKind>)
      out.emplace_back(entry.dialog_filter);
    else
      out.emplace_back(entry);
  }
  return out;
}

}  // namespace

Tform1::Tform1(WorkSession& s, Messages& m, QWidget* parent)
    : QMainWindow(parent), s_(s), m_(m) {
  setObjectName("Tform1");
  setWindowTitle(QString::fromLatin1(kProgramTitle));

  // Start-up values of the working state; the current folder becomes the working
  // folder. The data folder was found by the caller and survives.
  std::error_code ec;
  const std::filesystem::path current = std::filesystem::current_path(ec);
  start_program(s_, ec ? std::filesystem::path(".") : current, s_.data_folder);

  build_panels();
  build_tabs();
  build_menus();

  // 1020 x 455 at the top-left corner; scroll bars only on small screens. On larger
  // screens the window grows to its content rather than hiding part of it.
  resize(1020, 455);
  if (!small_screen_) {
    const QSize content = panel_->minimumSizeHint() + QSize(0, menuBar()->sizeHint().height());
    resize(size().expandedTo(content));
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().topLeft());

  // Results of an earlier run must not be mistaken for this run's.
  for (FixedFile f : kStartupDeletedFiles) delete_file_nocase(s_.working_folder, fixed_file_name(f));

  create_windows();
  build_popups();
  connect_tabs();
  tabs_->setCurrentIndex(kMeasuredTab);
  change_onglet(kMeasuredTab);
  relabel_angles();
  refresh_current_values();
  refresh_info_panels();
}

Tform1::~Tform1() = default;

// --- construction --------------------------------------------------------------------

void Tform1::build_panels() {
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName("scroll_main");
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect g = screen->geometry();
    small_screen_ = g.width() <= 800 || g.height() <= 600;
  }
  const auto policy = small_screen_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  scroll_->setHorizontalScrollBarPolicy(policy);
  scroll_->setVerticalScrollBarPolicy(policy);

  panel_ = new QWidget;
  panel_->setObjectName("panel_main");
  panel_->setAutoFillBackground(true);
  scroll_->setWidget(panel_);
  setCentralWidget(scroll_);

  // "Current values": wavelength and angle range.
  current_values_ = new QGroupBox(QStringLiteral("Current values"), panel_);
  current_values_->setObjectName("panel_current_values");
  lambda_label_ = new QLabel(QStringLiteral("λ ="), current_values_);
  lambda_box_ = new QLineEdit(current_values_);
  lambda_box_->setObjectName("edit_current_lambda");
  range_min_label_ = new QLabel(current_values_);
  range_min_box_ = new QLineEdit(current_values_);
  range_min_box_->setObjectName("edit_current_range_min");
  range_max_label_ = new QLabel(current_values_);
  range_max_box_ = new QLineEdit(current_values_);
  range_max_box_->setObjectName("edit_current_range_max");
  range_ok_ = new QPushButton(QStringLiteral("OK"), current_values_);
  range_ok_->setObjectName("button_range_ok");
  range_ok_->setToolTip(QStringLiteral("re-Draw the patterns"));
  // The side panel is narrow: the boxes keep room for their numbers, "OK" for its caption.
  range_ok_->setFixedWidth(range_ok_->fontMetrics().horizontalAdvance(range_ok_->text()) + 24);
  for (QLineEdit* box : {lambda_box_, range_min_box_, range_max_box_})
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000.000000")) + 12);
  auto* cv = new QGridLayout(current_values_);
  cv->addWidget(lambda_label_, 0, 0);
  cv->addWidget(lambda_box_, 0, 1);
  cv->addWidget(range_min_label_, 1, 0);
  cv->addWidget(range_min_box_, 1, 1);
  cv->addWidget(range_max_label_, 2, 0);
  cv->addWidget(range_max_box_, 2, 1);
  cv->addWidget(range_ok_, 1, 2, 2, 1);
  connect_command(lambda_box_, &QLineEdit::editingFinished, this, s_, m_, [this] { lit_lambda(); });
  lambda_box_->installEventFilter(this);  // entering the box: entree_lambda
  connect_command(range_ok_, &QPushButton::clicked, this, s_, m_,
                  [this] { relit_theta_range(); });

  auto make_info = [this](InfoPanel& p, const QString& title, const char* name) {
    p.box = new QGroupBox(title, panel_);
    p.box->setObjectName(name);
    p.file = new QLabel(p.box);
    p.sample = new QLabel(p.box);
    p.anode = new QLabel(p.box);
    p.lambda = new QLabel(p.box);
    p.min_label = new QLabel(p.box);
    p.min = new QLabel(p.box);
    p.max_label = new QLabel(p.box);
    p.max = new QLabel(p.box);
    const QString base = QString::fromLatin1(name);
    p.file->setObjectName(base + "_file");
    p.sample->setObjectName(base + "_sample");
    p.anode->setObjectName(base + "_anode");
    p.lambda->setObjectName(base + "_lambda");
    p.min->setObjectName(base + "_min");
    p.max->setObjectName(base + "_max");
    auto* g = new QGridLayout(p.box);
    g->setVerticalSpacing(1);
    g->addWidget(p.file, 0, 0, 1, 4);
    g->addWidget(p.sample, 1, 0, 1, 4);
    g->addWidget(p.anode, 2, 0, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("λ"), p.box), 2, 2);
    g->addWidget(p.lambda, 2, 3);
    g->addWidget(p.min_label, 3, 0);
    g->addWidget(p.min, 3, 1);
    g->addWidget(p.max_label, 3, 2);
    g->addWidget(p.max, 3, 3);
    // A long file name or sample text is cut at the panel's edge (the whole text is in
    // its hint) instead of pushing the numbers out of the narrow panel.
    for (QLabel* l : {p.file, p.sample})
      l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    p.box->hide();
  };
  make_info(peak_info_, QStringLiteral("Peak data"), "panel_peak_data");
  make_info(profile_info_, QStringLiteral("Profile"), "panel_profile");
  peak_panel_ = peak_info_.box;
  profile_panel_ = profile_info_.box;

  // Read-only text boxes rather than wrapping labels: their height does not depend on
  // their width, so the panel keeps the window's height.
  auto make_help = [this](const char* name) {
    auto* t = new QPlainTextEdit(panel_);
    t->setObjectName(name);
    t->setReadOnly(true);
    t->setFrameShape(QFrame::NoFrame);
    t->setFocusPolicy(Qt::NoFocus);
    t->viewport()->setAutoFillBackground(false);
    t->setStyleSheet("QPlainTextEdit { background: transparent; }");
    return t;
  };
  help_text_ = make_help("text_help");
  help_text2_ = make_help("text_help_indexed");
  help_text2_->setPlainText(QString::fromUtf8(kIndexedListHelpText));
  help_text2_->setMaximumHeight(6 * help_text2_->fontMetrics().lineSpacing() + 10);
  // The help texts give way (and scroll) when both information panels are shown.
  for (QPlainTextEdit* t : {help_text_, help_text2_})
    t->setMinimumHeight(2 * t->fontMetrics().lineSpacing() + 10);

  tabs_ = new QTabWidget(panel_);
  tabs_->setObjectName("tabs_main");

  auto* side = new QVBoxLayout;
  side->setContentsMargins(0, 0, 0, 0);
  side->setSpacing(4);
  side->addWidget(current_values_);
  side->addWidget(peak_panel_);
  side->addWidget(profile_panel_);
  side->addWidget(help_text_, 1);
  side->addWidget(help_text2_);
  auto* sideWidget = new QWidget(panel_);
  sideWidget->setLayout(side);
  sideWidget->setFixedWidth(220);
  auto* layout = new QHBoxLayout(panel_);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(tabs_, 1);
  layout->addWidget(sideWidget);

  shift_panel_ = new ShiftModePanel(panel_);
  shift_panel_->hide();
  connect(shift_panel_, &ShiftModePanel::accepted, this, &Tform1::BitBtn17Click);
}

void Tform1::build_tabs() {
  measured_ = new MeasuredTabWidget(s_, m_, lambda_box_, tabs_);
  measured_->setObjectName("tab_measured");
  cell_ = new CellTabWidget(s_, m_, tabs_);
  cell_->setObjectName("tab_cell");
  selection_ = new SelectionTabWidget(s_, m_, tabs_);
  selection_->set_manual_selection(manual_);
  selection_->setObjectName("tab_selection");
  refine_ = new RefineTabWidget(s_, m_, tabs_);
  refine_->setObjectName("tab_refine");
  tabs_->addTab(measured_, QString::fromLatin1(kTabCaptions[kMeasuredTab]));
  tabs_->addTab(cell_, QString::fromLatin1(kTabCaptions[kCellTab]));
  tabs_->addTab(selection_, QString::fromLatin1(kTabCaptions[kSelectionTab]));
  tabs_->addTab(refine_, QString::fromLatin1(kTabCaptions[kRefineTab]));
  connect(tabs_, &QTabWidget::currentChanged, this, &Tform1::change_onglet);
}

QAction* Tform1::add_entry(QMenu* menu, const QString& text, const char* name, bool enabled) {
  QAction* a = menu->addAction(text);
  a->setObjectName(QString::fromLatin1(name));
  a->setEnabled(enabled);
  return a;
}

QAction* Tform1::add_command(QMenu* menu, const QString& text, const char* name,
                             void (Tform1::*command)()) {
  QAction* a = add_entry(menu, text, name, true);
  connect_command(a, &QAction::triggered, this, s_, m_, [this, command] { (this->*command)(); });
  return a;
}

void Tform1::build_menus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("menu_main");

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName("menu_file");
  QMenu* open = file->addMenu(QStringLiteral("&Open"));
  open->setObjectName("menu_open");
  QMenu* peaks = open->addMenu(QStringLiteral("&Peaks File"));
  peaks->setObjectName("menu_open_peaks");
  // The peak kinds of the table: the "any extension" column kind is offered only by the
  // tab's popup, the indexed list after a separator.
  for (const PeakFileKind& kind : kPeakFileKinds) {
    if (kind.type == PeakFileType::ColumnAny) continue;
    if (kind.type == PeakFileType::IndexedList) peaks->addSeparator();
    add_peak_entry(peaks, kind.menu_caption, peak_action_name(kind.type), kind.type);
  }
  add_command(peaks, "Create a &New 2Theta Indexed list (*.lst)", "action_new_indexed_list",
              &Tform1::editeur);
  QMenu* cellFile = open->addMenu(QStringLiteral("&Cell File"));
  cellFile->setObjectName("menu_open_cell");
  add_command(cellFile, "&VORNAX Format (*.cry)", "action_open_cell_vornax",
              &Tform1::import_cell_vornax);
  add_command(cellFile, "&ICSD Format (*.ics)", "action_open_cell_icsd", &Tform1::import_cel_icsd);
  QMenu* profile = open->addMenu(QStringLiteral("Pro&file File"));
  profile->setObjectName("menu_open_profile");
  for (const ProfileFormat& f : kProfileFormats) {
    const ProfileFileType type = f.type;
    QAction* a = add_entry(profile, qt_text(f.menu_caption), profile_action_name("open", f).c_str(), true);
    connect_command(a, &QAction::triggered, this, s_, m_, [this, type] { charger_profil(type); });
  }

  file->addSeparator();
  QMenu* save = file->addMenu(QStringLiteral("&Save"));
  save->setObjectName("menu_save");
  QMenu* savePeaks = save->addMenu(QStringLiteral("&Peaks"));
  savePeaks->setObjectName("menu_save_peaks");
  add_command(savePeaks, "&Bruker Format (*.dif)", "action_save_peaks_bruker",
              &Tform1::save_bruker_dif);
  add_command(savePeaks, "&Column Format (*.prn)", "action_save_peaks_column",
              &Tform1::save_column_dif);
  add_command(save, "&Cell", "action_save_cell", &Tform1::sauve_maille);
  QMenu* saveProfile = save->addMenu(QStringLiteral("&Profile"));
  saveProfile->setObjectName("menu_save_profile");
  for (const ProfileFormat& f : kProfileFormats) {
    if (!f.writable) continue;
    const ProfileFileType type = f.type;
    QAction* a = add_entry(saveProfile, qt_text(f.menu_caption), profile_action_name("save", f).c_str(), true);
    connect_command(a, &QAction::triggered, this, s_, m_, [this, type] { save_profile_as(type); });
  }

  file->addSeparator();
  add_command(file, "&Print results", "action_print_results", &Tform1::Impression_resultats);

  file->addSeparator();
  QMenu* edit = file->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName("menu_edit");
  add_command(edit, "&Measured peaks", "action_edit_measured", &Tform1::edit_fichier_dif);
  add_command(edit, "&Calculated Peaks", "action_edit_calculated", &Tform1::edit_raies_calculees);
  add_command(edit, "&Raw diagram ", "action_edit_raw", &Tform1::edit_raw);
  add_command(edit, "Re&sults", "action_edit_results", &Tform1::Impression_resultats);

  file->addSeparator();
  add_command(file, "E&xit", "action_file_exit", &Tform1::sortie);
  file->addSeparator();

  QMenu* erase = bar->addMenu(QStringLiteral("E&rase"));
  erase->setObjectName("menu_erase");
  add_command(erase, "&Peak data", "action_erase_peak", &Tform1::erase_peak);
  add_command(erase, "&Cell parameters", "action_erase_cell", &Tform1::erase_indx);
  add_command(erase, "&Profile", "action_erase_profile", &Tform1::erase_profil);
  add_command(erase, "&All", "action_erase_all", &Tform1::raze_tout);

  QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
  tools->setObjectName("menu_tools");
  add_command(tools, "&Index...", "action_index", &Tform1::indexation);

  QAction* about = bar->addAction(QStringLiteral("&About"));
  about->setObjectName("action_about");
  connect(about, &QAction::triggered, this, &Tform1::Apropos1Click);
  QAction* exit = bar->addAction(QStringLiteral("&Exit"));
  exit->setObjectName("action_exit");
  connect(exit, &QAction::triggered, this, &Tform1::sortie);
  QAction* help = bar->addAction(QStringLiteral("&Help"));
  help->setObjectName("action_help");
  connect(help, &QAction::triggered, this, [this] { aide(1); });
  // F1: the help at the topic of the tab in front.
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, [this] {
    const int tab = tabs_->currentIndex();
    aide(tab >= 0 && tab < static_cast<int>(kTabHelpTopics.size())
             ? kTabHelpTopics[static_cast<size_t>(tab)]
             : 1);
  });
}

void Tform1::share_entries(QMenu* popup, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (QAction* a = action(QString::fromLatin1(name))) popup->addAction(a);
}

QAction* Tform1::add_peak_entry(QMenu* menu, std::string_view caption, const char* name,
                               PeakFileType type) {
  QAction* a = add_entry(
      menu, QString::fromUtf8(caption.data(), static_cast<int>(caption.size())), name, true);
  connect_command(a, &QAction::triggered, this, s_, m_, [this, type] { charger_mesures(type); });
  return a;
}

void Tform1::build_popups() {
  popup_peaks_file_ = new QMenu(this);
  popup_peaks_file_->setObjectName("popup_peaks_file");
  for (const PeakFileKind& kind : kPeakFileKinds) {
    if (kind.type == PeakFileType::IndexedList) continue;
    if (kind.type == PeakFileType::ColumnAny)
      add_peak_entry(popup_peaks_file_, kind.menu_caption, "action_popup_peaks_columns", kind.type);
    else
      share_entries(popup_peaks_file_, {peak_action_name(kind.type)});
  }
  popup_peaks_file_->addSeparator();
  add_peak_entry(popup_peaks_file_, "Load an &Old  Indexed 2Theta list (*.lst)",
                 "action_popup_open_indexed_list", PeakFileType::IndexedList);
  add_command(popup_peaks_file_, "Create a &New indexed  2Theta list (*.lst)",
              "action_popup_new_indexed_list", &Tform1::editeur);

  popup_cell_file_ = new QMenu(this);
  popup_cell_file_->setObjectName("popup_cell_file");
  share_entries(popup_cell_file_, {"action_open_cell_vornax", "action_open_cell_icsd"});

  popup_peaks_save_ = new QMenu(this);
  popup_peaks_save_->setObjectName("popup_peaks_save");
  share_entries(popup_peaks_save_, {"action_save_peaks_bruker", "action_save_peaks_column"});

  // The buttons of the tabs that open these popups.
  connect(measured_->file_button(), &QPushButton::clicked, this, &Tform1::load_fichier_raie);
  connect(cell_->file_button(), &QPushButton::clicked, this, &Tform1::parametres_cry);
  connect(measured_->save_button(), &QPushButton::clicked, this, &Tform1::enregistrer_dif);

  // Plain buttons that run a command of this window; "Erase" of the measured tab is the
  // menu's "Erase > Peak data".
  struct Command { QPushButton* button; void (Tform1::*command)(); };
  const Command commands[] = {
      {cell_->save_button(), &Tform1::sauve_maille},
      {cell_->erase_button(), &Tform1::rase_raies_indx},
      {measured_->erase_button(), &Tform1::erase_peak},
      {selection_->save_list_button(), &Tform1::sauve_selection},
      {selection_->merge_button(), &Tform1::Merge_lst},
  };
  for (const Command& c : commands)
    connect_command(c.button, &QPushButton::clicked, this, s_, m_,
                    [this, f = c.command] { (this->*f)(); });
  // "Add/Modif": the tab leaves its mouse mode, then the editor opens.
  connect_command(selection_->add_modif_button(), &QPushButton::clicked, this, s_, m_,
                  [this] { selection_->edit_modif_raies(); });
  connect(selection_, &SelectionTabWidget::editorRequested, this, &Tform1::edit_modif_raies);
  connect(selection_, &SelectionTabWidget::cellAdopted, cell_, &CellTabWidget::show_cell_fields);
}

void Tform1::show_popup(QMenu* popup) {
  popup->popup(frameGeometry().topLeft() + QPoint(170, 110));
}

void Tform1::load_fichier_raie() {
  measured_->show_entry_panel();
  show_popup(popup_peaks_file_);
}

// The cell panels and their "Save" and "Erase" buttons are always shown on this tab.
void Tform1::parametres_cry() { show_popup(popup_cell_file_); }

void Tform1::enregistrer_dif() { show_popup(popup_peaks_save_); }

void Tform1::create_windows() {
  // The program's windows, in their fixed order after this one; all exist for the
  // life of the program and start hidden.
  form6_ = new Tform6(s_, m_, manual_, this);
  form6_->set_hooks({[this](Changed c) { refresh(c, form6_); },
                     [this] { return tabs_->currentIndex() == kSelectionTab; },
                     [this] { return selection_->tolerance_box()->text().toStdString(); }});
  QList<QAction*> profile_actions;
  for (const ProfileFormat& f : kProfileFormats)
    profile_actions.append(action(QString::fromStdString(profile_action_name("open", f))));
  form6_->set_profile_actions(profile_actions);
  about_ = new Tfabout(this);
  form7_ = new TForm7(s_, m_, this);
  lilambda_ = new Tflilambda(s_, m_, this);
  excel_ = new Tfexcel(s_, m_, this);
  liste_monoc_ = new Tfliste_monoc(s_, m_, this);
  edit_grid3_ = new Tfedit_grid3(s_, m_, this);
  const auto refresh_from = [this](Changed what, QObject* source) { refresh(what, source); };
  const auto dialogs = [this]() -> FileDialogs& { return file_dialogs(); };
  liste_monoc_->set_refresh(refresh_from);
  liste_monoc_->set_file_dialogs(dialogs);
  edit_grid3_->set_refresh(refresh_from);
  edit_grid3_->set_file_dialogs(dialogs);
  connect(edit_grid3_, &Tfedit_grid3::editingChanged, this, &Tform1::editor_open);
  // Our own stand-ins for the system's text viewer and help viewer.
  viewer_ = new ReportViewer(m_, this);
  viewer_->set_print_folder(QString::fromStdString(s_.working_folder.string()));
  help_ = new HelpWindow(m_, this);
  index_ = new IndexWindow(s_, m_, this);
  index_->set_use([this](const indexing::IndexedCell& cell, const std::string& group,
                          double lambda) {
    run_guarded(s_, m_, [&] {
      tabs_->setCurrentIndex(kCellTab);
      cell_->use_found_cell(cell, group, lambda);
      // The cell tab is where the work goes on: in front of the indexing window.
      raise();
      activateWindow();
    });
  });
}

void Tform1::connect_tabs() {
  auto route = [this](QObject* tab) {
    return [this, tab](unsigned what) { refresh(static_cast<Changed>(what), tab); };
  };
  connect(cell_, &CellTabWidget::changed, this, route(cell_));
  connect(measured_, &MeasuredTabWidget::changed, this, route(measured_));
  connect(selection_, &SelectionTabWidget::changed, this, route(selection_));
  connect(refine_, &RefineTabWidget::changed, this, route(refine_));
  // After a failed command the session was restored: every window shows it again.
  set_after_failure([this] { refresh(Changed::Everything); });

  // The profile window, opened by "Diagram" of the measured tab.
  form7_->set_refresh([this](Changed what) { refresh(what, form7_); });
  form7_->set_file_dialogs([this]() -> FileDialogs& { return file_dialogs(); });
  refine_->set_file_dialogs([this]() -> FileDialogs& { return file_dialogs(); });
  form7_->set_help([this](int topic) { aide(topic); });
  form7_->set_recalculate([this] { cell_->recalculate(); });
  form7_->set_wavelength_dialog(lilambda_);
  form7_->set_diagram_window(form6_);
  form7_->set_peak_undo(&peak_undo_);
  peak_undo_.observe(s_);
  // Ctrl+Z in the measured grid (a cell being edited keeps its own text undo).
  auto* undo = new QShortcut(QKeySequence::Undo, measured_->grid());
  undo->setContext(Qt::WidgetWithChildrenShortcut);
  connect(undo, &QShortcut::activated, this, [this] { refresh(peak_undo_.undo(s_)); });
  connect(measured_->diagram_button(), &QPushButton::clicked, this, &Tform1::pointe_raies_diag);

  // Entering a or alpha starts a new cell: the grids built from the old one are blanked
  // while the user types (the lists themselves go with the next calculation).
  connect(cell_, &CellTabWidget::fieldEntered, this, [this] {
    selection_->clear_grids();
    refine_->clear_grids();
    refine_->show_initial_values();  // the system's default flags
  });
  connect(cell_, &CellTabWidget::showRequested, this,
          [this] { tabs_->setCurrentIndex(kCellTab); });
  connect(cell_, &CellTabWidget::reportRequested, this, &Tform1::show_report);
  connect(cell_, &CellTabWidget::fatalError, this, [this] {
    fatal_ = true;
    // Ends the event loop if it runs already; main() checks fatal() otherwise.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
  });

  connect(refine_, &RefineTabWidget::cellChanged, cell_, &CellTabWidget::recalculate);
  connect_command(refine_->initial_box(kRefineLambdaRow), &QLineEdit::editingFinished, this, s_, m_,
                  [this] { change_lambda_affi(); });
  connect(refine_, &RefineTabWidget::showRequested, this,
          [this] { tabs_->setCurrentIndex(kRefineTab); });
  // The refinement report with its refined values, each to the decimal its error allows.
  connect(refine_, &RefineTabWidget::reportRequested, this, [this](const QString& path) {
    QStringList summary;
    for (const std::string& line : refined_value_summary(s_)) summary << q(line);
    viewer_->open_report(path, summary);
  });
  connect(refine_, &RefineTabWidget::shiftDialogRequested, this, &Tform1::shift_selection);
  connect(refine_, &RefineTabWidget::excelRequested, this, [this] {
    excel_->show();
    excel_->raise();
    excel_->activateWindow();
  });
}

void Tform1::refresh(Changed what, QObject* source) {
  peak_undo_.observe(s_);
  if (form6_) form6_->dessine_spectre();  // the diagram shows every list: always redrawn
  if (any(what, Changed::AngleMode)) {
    change_angles();
    return;
  }
  if (any(what, Changed::CurrentValues | Changed::MeasuredPeaks)) refresh_current_values();
  if (any(what, Changed::MeasuredPeaks | Changed::Profile | Changed::CurrentValues))
    refresh_info_panels();
  if (any(what, Changed::MeasuredPeaks) && source != measured_) measured_->redisplay();
  if (any(what, Changed::Calculated | Changed::Cell) && source != cell_) cell_->redisplay();
  if (any(what, Changed::MeasuredPeaks | Changed::Calculated | Changed::Selection) &&
      source != selection_)
    selection_->redisplay();
  if (any(what, Changed::Cell | Changed::Calculated)) refine_->show_initial_values();
  // A new wavelength or range (typed, read from a file, erased) is what the boxes of the
  // cell and refinement tabs show from now on.
  if (any(what, Changed::CurrentValues)) {
    if (source != cell_) cell_->show_current_values();
    if (source != refine_) refine_->show_initial_lambda();
  }
  if (any(what, Changed::MeasuredPeaks | Changed::Profile | Changed::CurrentValues) &&
      form7_ && source != form7_)
    form7_->redisplay();
  // New pairs make the results of an earlier refinement meaningless: both result grids
  // and their deviations are cleared, then "Before refinement" shows the new pairs.
  if (any(what, Changed::Selection | Changed::Results) && source != refine_) {
    refine_->clear_grids();
    refine_->redisplay();
    if (!s_.results.refined) refine_->forget_results();
  }
}

QAction* Tform1::action(const QString& object_name) const {
  return findChild<QAction*>(object_name);
}

// --- panels --------------------------------------------------------------------------

void Tform1::refresh_current_values() {
  const CurrentValuesText t = current_values_text(s_);
  lambda_box_->setText(q(t.lambda));
  range_min_box_->setText(q(t.range_min));
  range_max_box_->setText(q(t.range_max));
}

void Tform1::refresh_info_panels() {
  auto fill = [](InfoPanel& p, const InfoPanelText& t) {
    p.file->setText(q(t.file));
    p.file->setToolTip(q(t.file));
    p.sample->setText(q(t.sample));
    p.sample->setToolTip(q(t.sample));
    p.anode->setText(q(t.anode));
    p.lambda->setText(q(t.lambda));
    p.min->setText(q(t.range_min));
    p.max->setText(q(t.range_max));
    p.box->setVisible(t.visible);
  };
  fill(peak_info_, peak_data_text(s_));
  fill(profile_info_, profile_text(s_));
}

void Tform1::relabel_angles() {
  range_min_label_->setText(q(range_label(s_.angle_mode, 1) + " ="));
  range_max_label_->setText(q(range_label(s_.angle_mode, 2) + " ="));
  for (InfoPanel* p : {&peak_info_, &profile_info_}) {
    p->min_label->setText(q(range_label(s_.angle_mode, 1)));
    p->max_label->setText(q(range_label(s_.angle_mode, 2)));
  }
}

void Tform1::change_onglet(int index) {
  if (index < 0 || index >= static_cast<int>(kTabColours.size())) return;
  QPalette pal = panel_->palette();
  pal.setColor(QPalette::Window, kTabColours[static_cast<size_t>(index)]);
  panel_->setPalette(pal);
  help_text_->setPlainText(QString::fromUtf8(kTabHelpTexts[static_cast<size_t>(index)]));
  help_text2_->setVisible(index == kMeasuredTab);
}

void Tform1::change_angles() {
  relabel_angles();
  refresh_current_values();
  refresh_info_panels();
  cell_->redisplay();
  measured_->redisplay();
  selection_->redisplay();
  refine_->redisplay();
  if (form7_) form7_->redisplay();
}

// Leaving the wavelength box keeps what was typed as the current wavelength (a box the
// user did not edit keeps the stored value it shows rounded).
void Tform1::lit_lambda() {
  refresh(vornax::read_lambda_box(s_, m_, lambda_box_->text().toStdString(),
                             lambda_box_->isModified()));
}

// Entering the wavelength box: what was calculated with the old wavelength is no longer
// shown.
void Tform1::entree_lambda() {
  if (any(vornax::entree_lambda(s_), Changed::Calculated | Changed::Results)) {
    selection_->clear_grids();
    refine_->clear_grids();
  }
}

bool Tform1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lambda_box_ && event->type() == QEvent::FocusIn) entree_lambda();
  return QMainWindow::eventFilter(watched, event);
}

void Tform1::relit_theta_range() {
  RangeEntry entry{lambda_box_->text().toStdString(), range_min_box_->text().toStdString(),
                   range_max_box_->text().toStdString()};
  entry.lambda_edited = lambda_box_->isModified();
  entry.range_min_edited = range_min_box_->isModified();
  entry.range_max_edited = range_max_box_->isModified();
  const Changed c = vornax::reread_angle_range(s_, cell_->model(), m_, entry);
  if (c == Changed::None) return;
  refresh(c);
  if (any(c, Changed::Calculated)) cell_->redisplay();
}

// Leaving the Initial lambda box of the refinement tab.
void Tform1::change_lambda_affi() {
  QLineEdit* box = refine_->initial_box(kRefineLambdaRow);
  // Passing through the box without typing leaves the wavelength it shows rounded alone.
  if (!box->isModified()) return;
  const Changed c = vornax::change_lambda_affi(s_, cell_->model(), m_, box->text().toStdString());
  if (c == Changed::None) return;
  refresh(c);
  tabs_->setCurrentIndex(kRefineTab);
}

// --- peak and profile files ----------------------------------------------------------

void Tform1::charger_mesures(PeakFileType type) {
  std::vector<std::string> filters = filter_list(kPeakFileKinds);
  int index = static_cast<int>(type) - 1;
  const auto chosen = file_dialogs_->open("Open", filters, index);
  if (!chosen || chosen->empty()) return;
  if (index >= 0 && index < static_cast<int>(kPeakFileKinds.size()))
    type = kPeakFileKinds[static_cast<size_t>(index)].type;
  const Changed c = load_peak_file(s_, m_, *lilambda_, *chosen, type);
  if (c == Changed::None) return;
  measured_->show_entry_panel();
  refresh(c);
}

void Tform1::charger_profil(ProfileFileType type) {
  std::vector<std::string> filters = filter_list(kProfileFileFilters);
  int index = static_cast<int>(type) - 1;
  const auto chosen = file_dialogs_->open("Open", filters, index);
  if (!chosen || chosen->empty()) return;
  if (index >= 0 && index < static_cast<int>(kProfileFileFilters.size()))
    type = static_cast<ProfileFileType>(index + 1);
  refresh(load_profile_file(s_, m_, *lilambda_, *chosen, type));
}

// The save commands: an empty list is refused before any dialog is shown.
void Tform1::save_peaks_as(const char* filter,
                           Changed (*command)(WorkSession&, Messages&, const std::filesystem::path&)) {
  if (s_.measured.peaks.empty()) {
    command(s_, m_, {});  // says that there is nothing to save
    return;
  }
  int index = 0;
  const auto chosen = file_dialogs_->save("Save As", {filter}, index);
  if (!chosen || chosen->empty()) return;
  refresh(command(s_, m_, *chosen));
}

void Tform1::save_bruker_dif() { save_peaks_as("Bruker Format (*.dif)", &vornax::save_bruker_dif); }

void Tform1::save_column_dif() { save_peaks_as("Column Format (*.prn)", &vornax::save_column_dif); }

void Tform1::save_profile_as(ProfileFileType kind) {
  if (s_.profile.points.empty()) {
    save_profile(s_, m_, {}, kind);  // says that there is nothing to save
    return;
  }
  int index = 0;
  const auto chosen =
      file_dialogs_->save("Save As", {std::string(profile_format(kind).dialog_filter)}, index);
  if (!chosen || chosen->empty()) return;
  refresh(save_profile(s_, m_, *chosen, kind));
}

void Tform1::save_brukker_raw() { save_profile_as(ProfileFileType::BrukerRaw); }

void Tform1::save_cpi_raw() { save_profile_as(ProfileFileType::Cpi); }

void Tform1::edit_fichier_dif() {
  if (auto path = vornax::write_peak_report(s_, m_)) show_report(QString::fromStdString(path->string()));
}

void Tform1::edit_raw() {
  if (auto path = vornax::edit_raw(s_, m_)) show_report(QString::fromStdString(path->string()));
}

// --- menu commands -------------------------------------------------------------------

void Tform1::erase_peak() { refresh(erase_command(s_, EraseGroup::PeakData)); }

void Tform1::erase_indx() { refresh(erase_command(s_, EraseGroup::CellParameters)); }

void Tform1::erase_profil() { refresh(erase_command(s_, EraseGroup::Profile)); }

void Tform1::raze_tout() { refresh(erase_command(s_, EraseGroup::All)); }

void Tform1::edit_raies_calculees() {
  if (auto path = write_calculated_report(s_, m_)) show_report(QString::fromStdString(path->string()));
}

// --- cell files and indexed lists ----------------------------------------------------

namespace {
const std::vector<std::string> kCellOpenFilters = {"VorNax Format (*.cry)", "ICSD Format (*.ics)"};
const std::vector<std::string> kListFilters = {"Indexed list (*.lst)"};
}  // namespace

void Tform1::import_cell(int filter_index) {
  auto path = file_dialogs().open("Open a cell file", kCellOpenFilters, filter_index);
  if (!path || path->empty()) return;
  // The file is read whole before anything changes; then the cell tab runs the
  // calculation on the new cell, as after adopting refined values.
  if (!load_cell_file(s_, *path, m_)) return;
  cell_->recalculate();
}

void Tform1::import_cell_vornax() { import_cell(0); }

void Tform1::import_cel_icsd() { import_cell(1); }

void Tform1::sauve_maille() {
  const auto& c = s_.cell;
  std::optional<std::string> path;
  // A cell with a zero parameter is refused before any dialog.
  if (c.a * c.b * c.c * c.alpha * c.beta * c.gamma != 0) {
    int filter = 0;
    path = file_dialogs().save("Save the cell", {"VORNAX Format (*.cry)"}, filter);
    if (!path) return;
  }
  const Changed what = vornax::save_cell(s_, cell_->model(), path.value_or(""), m_);
  if (what == Changed::None) return;
  refresh(what);
  // After the refresh, which titles the grid as the calculation does.
  const std::string caption = calculated_pattern_caption(s_);
  cell_->model().grid_title = caption;
  if (auto* label = cell_->findChild<QLabel*>("label_calc_title")) label->setText(q(caption));
}

void Tform1::rase_raies_indx() { refresh(vornax::erase_calculated_reflections(s_)); }

void Tform1::sauve_selection() {
  if (s_.selected.empty()) return;
  int filter = 0;
  auto path = file_dialogs().save("Save the indexed list", kListFilters, filter);
  if (!path || path->empty()) return;
  refresh(vornax::save_selection_list(s_, *path, m_));
}

void Tform1::Merge_lst() {
  if (s_.allowed.empty()) return;
  int filter = 0;
  auto path = file_dialogs().open("Merge an indexed list", kListFilters, filter);
  if (!path || path->empty()) return;
  refresh(vornax::merge_indexed_list(s_, *path, m_));
}

void Tform1::edit_modif_raies() {
  if (edit_grid3_->edit_modif_raies()) refresh(Changed::Selection);
}

void Tform1::editor_open(bool open) {
  cell_->calc_button()->setEnabled(!open);
  selection_->auto_sel_button()->setEnabled(!open);
  selection_->pair_again_button()->setEnabled(!open);
}

void Tform1::editeur() {
  open_list_entry(s_);
  liste_monoc_->show();
  liste_monoc_->raise();
  liste_monoc_->activateWindow();
}

void Tform1::Impression_resultats() { refine_->Impression_resultats(); }

void Tform1::show_report(const QString& path) { viewer_->open_report(path); }

void Tform1::pointe_raies_diag() { form7_->open_window(); }

void Tform1::aide(int topic) { help_->open_help(locate_help_file(s_), topic); }

void Tform1::indexation() { index_->open_on_session(); }

void Tform1::Apropos1Click() {
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void Tform1::sortie() { close(); }

// --- angular-shift panel -------------------------------------------------------------

void Tform1::place_shift_panel() {
  const QSize size = shift_panel_->sizeHint().expandedTo(QSize(260, 0));
  shift_panel_->resize(size);
  // Over the refinement tab's left column, below its commands: the two result grids and
  // their titles stay in view while the model is chosen. A short window moves it up,
  // never out of the window nor across to the grids.
  const QPoint column = refine_->parameters_panel()->mapTo(panel_, QPoint(0, 0));
  const int below = refine_->mapTo(panel_, QPoint(0, refine_->commands_bottom())).y() + 6;
  const int x = std::clamp(column.x(), 0, std::max(0, panel_->width() - size.width()));
  const int y = std::clamp(below, 0, std::max(0, panel_->height() - size.height()));
  shift_panel_->move(x, y);
}

void Tform1::shift_selection() {
  // The panel opens on the model in use, so that OK alone keeps it.
  shift_panel_->set_choice(s_.shift_mode == ShiftMode::SampleEccentricity
                               ? ShiftModePanel::SampleExcentricity
                               : ShiftModePanel::ConstantZeroShift);
  place_shift_panel();
  shift_panel_->show();
  shift_panel_->raise();
}

void Tform1::BitBtn17Click() {
  refine_->apply_shift_choice(shift_panel_->choice());
  shift_panel_->hide();
}

// --- events --------------------------------------------------------------------------

void Tform1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    if (const QScreen* screen = this->screen()) {
      const QPoint corner = screen->availableGeometry().topLeft();
      if (pos() != corner) move(corner);
    }
    change_onglet(tabs_->currentIndex());
    // The diagram comes back beside the main window if the user closed it; the profile
    // window keeps it hidden while it is open.
    if (form6_ && !form6_->isVisible() && !(form7_ && form7_->isVisible())) form6_->show();
    forget_measured_row(s_);
  }
}

void Tform1::showEvent(QShowEvent* event) {
  // The diagram window appears with the main window, before it, so that the main
  // window is the one left active.
  if (form6_ && !form6_->isVisible()) form6_->show();
  QMainWindow::showEvent(event);
}

void Tform1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (shift_panel_ && shift_panel_->isVisible()) place_shift_panel();
}

void Tform1::closeEvent(QCloseEvent* event) {
  // Typed or changed peaks and pairs that no file holds are lost by quitting: ask first.
  if (holds_unsaved_work(s_) && m_.ask(kUnsavedWorkQuestion) != Answer::Yes) {
    event->ignore();
    return;
  }
  // Closing the main window ends the program: nothing of it stays on screen.
  for (QWidget* w : std::initializer_list<QWidget*>{form6_, about_, form7_, lilambda_, excel_,
                                                    liste_monoc_, edit_grid3_, viewer_, help_, index_})
    if (w) w->hide();
  event->accept();
}

}  // namespace vornax

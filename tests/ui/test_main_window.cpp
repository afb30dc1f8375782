// The main window: start-up, windows, tabs, menus, erase entries, the θ / 2θ switch,
// the angular-shift panel, help, About and the report viewer.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPageLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "core/text_file.hpp"
#include "ui/cell_tab_widget.hpp"
#include "ui/help_window.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/printing.hpp"
#include "ui/refine_tab_widget.hpp"
#include "ui/report_viewer.hpp"
#include "ui/selection_tab_widget.hpp"
#include "ui/shift_mode_panel.hpp"
#include "ui/tfabout.hpp"
#include "ui/tform1.hpp"
#include "ui_driver.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using vornax::driver::MainWindowFixture;
using vornax::driver::TempCurrentFolder;

namespace {

QByteArray read_bytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void write_bytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

bool has_text(QTableWidget* t) {
  for (int r = 0; r < t->rowCount(); ++r)
    for (int c = 0; c < t->columnCount(); ++c)
      if (t->item(r, c) && !t->item(r, c)->text().trimmed().isEmpty()) return true;
  return false;
}

// Action texts of a menu, "-" for separators, ">" before a submenu's title.
QStringList menu_layout(QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) out << "-";
    else if (a->menu()) out << ">" + a->text();
    else out << a->text();
  }
  return out;
}

QMenu* submenu(QMenu* menu, const QString& title) {
  for (QAction* a : menu->actions())
    if (a->menu() && a->text() == title) return a->menu();
  return nullptr;
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

  // Each test runs in a fresh temporary folder: the window deletes and writes files
  // with fixed names in the current folder.
  std::unique_ptr<TempCurrentFolder> dir_;

  struct Fixture : MainWindowFixture {
    Fixture() : MainWindowFixture(false) {}
  };

  QString path(const QString& name) const { return dir_->path(name); }

 private slots:
  void init() {
    dir_.reset();  // back to the first folder before the next one is made current
    dir_ = std::make_unique<TempCurrentFolder>();
    QVERIFY(dir_->valid());
  }
  void cleanup() { dir_.reset(); }

  void startup_deletes_old_results_and_resets_the_session() {
    for (const char* name : {"vornax.out", "INDX.OUT", "Excel.txt", "raw.out", "dif.out",
                             "obs.txt", "vornax.inp", "keep.txt"})
      write_bytes(path(name), "old\r\n");
    WorkSession s;
    s.tolerance = 3;
    s.measured.peaks.resize(4);
    s.data_folder = "/somewhere/data";
    RecordingMessages m;
    Tform1 w(s, m);

    for (const char* gone : {"vornax.out", "INDX.OUT", "Excel.txt", "raw.out", "dif.out", "obs.txt"})
      QVERIFY2(!QFile::exists(path(gone)), gone);
    QVERIFY(QFile::exists(path("vornax.inp")));  // not a result file
    QVERIFY(QFile::exists(path("keep.txt")));
    QCOMPARE(std::filesystem::canonical(s.working_folder),
             std::filesystem::canonical(dir_->path().toStdString()));
    QCOMPARE(s.data_folder, std::filesystem::path("/somewhere/data"));
    QCOMPARE(s.tolerance, 0.1);
    QCOMPARE(s.measured_count(), 0);
    QCOMPARE(s.help_file, std::string("vornax2.hlp"));
    QVERIFY(m.empty());
  }

  void title_size_tabs_and_windows_in_order() {
    Fixture f;
    QCOMPARE(f.w->windowTitle(), QString("VORNAX V3 (17/10/03)"));
    QCOMPARE(f.w->size(), QSize(1020, 455));
    QTabWidget* tabs = f.w->tabs();
    QCOMPARE(tabs->count(), 4);
    const QStringList captions = {"Measured reflections", "Initial cell parameters",
                                  "Selection of the reflections", "Cell refinement"};
    for (int i = 0; i < 4; ++i) QCOMPARE(tabs->tabText(i), captions[i]);
    QCOMPARE(tabs->widget(0), static_cast<QWidget*>(f.w->measured_tab()));
    QCOMPARE(tabs->widget(3), static_cast<QWidget*>(f.w->refine_tab()));
    QCOMPARE(tabs->currentIndex(), 0);

    // The program's other windows, created in their fixed order, all hidden.
    QStringList titles;
    for (QObject* o : f.w->children()) {
      auto* wid = qobject_cast<QWidget*>(o);
      if (wid && wid->isWindow()) {
        QVERIFY2(wid->isHidden(), qPrintable(wid->windowTitle()));
        titles << wid->windowTitle();
      }
    }
    const QStringList expected = {"Diagram",
                                  "About VORNAX",
                                  "Measure the reflection angles on the diagram",
                                  "Lambda missing",
                                  "Transfert to Excel",
                                  "Enter the indexed list",
                                  "Edit/ Modif  selected reflections"};
    QCOMPARE(titles.mid(0, expected.size()), expected);
  }

  void menus_entries_separators_and_enabled_states() {
    Fixture f;
    QMenuBar* bar = f.w->menuBar();
    QStringList top;
    for (QAction* a : bar->actions()) top << a->text();
    QCOMPARE(top, (QStringList{"&File", "E&rase", "&Tools", "&About", "&Exit", "&Help"}));
    QCOMPARE(menu_layout(bar->actions()[2]->menu()), (QStringList{"&Index..."}));

    QMenu* file = bar->actions()[0]->menu();
    QCOMPARE(menu_layout(file), (QStringList{">&Open", "-", ">&Save", "-", "&Print results", "-",
                                             ">&Edit", "-", "E&xit", "-"}));
    QMenu* open = submenu(file, "&Open");
    QCOMPARE(menu_layout(open), (QStringList{">&Peaks File", ">&Cell File", ">Pro&file File"}));
    QCOMPARE(menu_layout(submenu(open, "&Peaks File")),
             (QStringList{"&Bruker Format (*.dif)", "&XFIT Format (*.txt)",
                          "&WINFIT Format (*.dat)", "&Philips Format (*.di)",
                          "&Column format (*.prn)", "-",
                          "Load an &Old  2Theta Indexed list (*.lst)",
                          "Create a &New 2Theta Indexed list (*.lst)"}));
    QCOMPARE(menu_layout(submenu(open, "&Cell File")),
             (QStringList{"&VORNAX Format (*.cry)", "&ICSD Format (*.ics)"}));
    QCOMPARE(menu_layout(submenu(open, "Pro&file File")),
             (QStringList{"&Bruker Format (*.raw)", "&Rietveld Format (*.dat)",
                          "&CPI Format (*.cpi)", "&Philips Format (*.rd)",
                          "C&olumn Format (*.xy *.xye *.prn *.txt)",
                          "Bruker RAW&4 Format (*.raw)", "Bruker BR&ML Format (*.brml)",
                          "&XRDML Format (*.xrdml)",
                          "&GSAS Format (*.gsa *.gsas *.gss *.fxye *.esd *.std)"}));
    QMenu* save = submenu(file, "&Save");
    QCOMPARE(menu_layout(save), (QStringList{">&Peaks", "&Cell", ">&Profile"}));
    QCOMPARE(menu_layout(submenu(save, "&Peaks")),
             (QStringList{"&Bruker Format (*.dif)", "&Column Format (*.prn)"}));
    QCOMPARE(menu_layout(submenu(save, "&Profile")),
             (QStringList{"&Bruker Format (*.raw)", "&CPI Format (*.cpi)"}));
    QCOMPARE(menu_layout(submenu(file, "&Edit")),
             (QStringList{"&Measured peaks", "&Calculated Peaks", "&Raw diagram ", "Re&sults"}));
    QCOMPARE(menu_layout(bar->actions()[1]->menu()),
             (QStringList{"&Peak data", "&Cell parameters", "&Profile", "&All"}));

    // Every entry is enabled.
    struct Entry { const char* name; bool enabled; };
    const Entry entries[] = {
        {"action_open_peaks_bruker", true},  {"action_open_indexed_list", true},
        {"action_new_indexed_list", true},   {"action_open_cell_vornax", true},
        {"action_open_cell_icsd", true},     {"action_popup_new_indexed_list", true},
        {"action_open_profile_cpi", true},   {"action_save_peaks_column", true},
        {"action_save_cell", true},          {"action_save_profile_bruker", true},
        {"action_edit_measured", true},      {"action_edit_raw", true},
        {"action_print_results", true},      {"action_edit_calculated", true},
        {"action_edit_results", true},       {"action_file_exit", true},
        {"action_erase_peak", true},         {"action_erase_cell", true},
        {"action_erase_profile", true},      {"action_erase_all", true},
        {"action_about", true},              {"action_exit", true},
        {"action_help", true},
    };
    for (const Entry& e : entries) {
      QAction* a = f.w->action(e.name);
      QVERIFY2(a, e.name);
      QVERIFY2(a->isEnabled() == e.enabled, e.name);
    }
  }

  // The popups of the "File" and "Save" buttons: their entries, shared with the main
  // menu where the captions agree, opened by the tabs' buttons.
  void popup_menus_of_the_file_and_save_buttons() {
    Fixture f;
    Tform1& w = *f.w;
    w.show();
    QCOMPARE(menu_layout(w.peaks_file_popup()),
             (QStringList{"&Bruker Format (*.dif)", "&XFIT Format (*.txt)",
                          "&WINFIT Format (*.dat)", "&Philips Format (*.di)",
                          "&Column format (*.prn)", "Co&lumn format (*.*)", "-",
                          "Load an &Old  Indexed 2Theta list (*.lst)",
                          "Create a &New indexed  2Theta list (*.lst)"}));
    QCOMPARE(menu_layout(w.cell_file_popup()),
             (QStringList{"&VORNAX Format (*.cry)", "&ICSD Format (*.ics)"}));
    QCOMPARE(menu_layout(w.peaks_save_popup()),
             (QStringList{"&Bruker Format (*.dif)", "&Column Format (*.prn)"}));
    QCOMPARE(w.peaks_file_popup()->actions()[0], w.action("action_open_peaks_bruker"));
    QCOMPARE(w.peaks_file_popup()->actions()[4], w.action("action_open_peaks_column"));
    QCOMPARE(w.cell_file_popup()->actions()[1], w.action("action_open_cell_icsd"));
    QCOMPARE(w.peaks_save_popup()->actions()[0], w.action("action_save_peaks_bruker"));

    struct Case { QPushButton* button; QMenu* popup; bool shows_grid; };
    const Case cases[] = {
        {w.measured_tab()->file_button(), w.peaks_file_popup(), true},
        {w.cell_tab()->file_button(), w.cell_file_popup(), false},
        {w.measured_tab()->save_button(), w.peaks_save_popup(), false},
    };
    for (const Case& c : cases) {
      QPushButton* button = c.button;
      const QByteArray name = button->objectName().toLatin1();
      QVERIFY2(button->isEnabled(), name);
      button->setVisible(true);
      w.tabs()->setCurrentIndex(button->parentWidget() == w.measured_tab() ? 0 : 1);
      QTest::mouseClick(button, Qt::LeftButton);
      QVERIFY2(c.popup->isVisible(), name);
      QCOMPARE(c.popup->pos(), w.frameGeometry().topLeft() + QPoint(170, 110));
      c.popup->hide();
      if (c.shows_grid) {
        QVERIFY(!w.measured_tab()->grid_panel()->isHidden());
        QVERIFY(!w.measured_tab()->save_button()->isHidden());
      }
    }
    QVERIFY(f.m.empty());
  }

  void tab_colours_and_help_texts() {
    Fixture f;
    struct Row { QColor colour; const char* help_start; bool indexed_text; };
    const Row rows[] = {
        {QColor(192, 192, 192), "First step: Enter the Bragg angles of the measured", true},
        {QColor(166, 202, 240), "Second step: Enter the initial cell parameters", false},
        {QColor(255, 182, 193), "Third step", false},
        {QColor(255, 255, 224), "Fourth step", false},
    };
    for (int i = 3; i >= 0; --i) {
      f.w->tabs()->setCurrentIndex(i);
      const Row& r = rows[i];
      QCOMPARE(f.w->main_panel()->palette().color(QPalette::Window), r.colour);
      const QString help = f.w->help_text()->toPlainText();
      QVERIFY2(help.startsWith(r.help_start), qPrintable(help));
      QPlainTextEdit* indexed = f.w->indexed_list_help();
      QCOMPARE(!indexed->isHidden(), r.indexed_text);
      QVERIFY(indexed->toPlainText().startsWith("You also can use an indexed list of h, k, l, 2Theta."));
    }
    f.w->tabs()->setCurrentIndex(3);
    QVERIFY(f.w->help_text()->toPlainText().contains("advisable to refine the wavelength"));
  }

  void current_values_and_information_panels() {
    Fixture f;
    Tform1& w = *f.w;
    QVERIFY(w.range_ok_button()->isEnabled());
    QCOMPARE(w.range_ok_button()->toolTip(), QString("re-Draw the patterns"));
    QVERIFY(w.peak_data_panel()->isHidden());
    QVERIFY(w.profile_panel()->isHidden());
    QCOMPARE(w.lambda_box()->text(), QString("0.00000"));

    f.s.wavelengths.lambda = 1.540593;
    f.s.range_min = 26.44;
    f.s.range_max = 90.03;
    f.s.measured.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
    f.s.measured.file_name = "C:\\data\\si.dif";
    f.s.measured.sample = "Silicon NIST";
    f.s.measured.range_min = 20;
    f.s.measured.range_max = 100.5;
    w.refresh_current_values();
    w.refresh_info_panels();
    QCOMPARE(w.lambda_box()->text(), QString("1.54059"));
    QCOMPARE(w.range_min_box()->text(), QString("26.44"));
    QCOMPARE(w.range_max_box()->text(), QString("90.03"));
    QVERIFY(!w.peak_data_panel()->isHidden());
    QVERIFY(w.profile_panel()->isHidden());  // the profile has no wavelength
    auto label = [&](const char* name) { return w.findChild<QLabel*>(name)->text(); };
    QCOMPARE(label("panel_peak_data_file"), QString("File: si.dif"));
    QCOMPARE(label("panel_peak_data_sample"), QString("Sample: Silicon NIST"));
    QCOMPARE(label("panel_peak_data_anode"), QString("Anode: Cu"));
    QCOMPARE(label("panel_peak_data_lambda"), QString(" 1.54180"));
    QCOMPARE(label("panel_peak_data_min"), QString("   20.00"));
    QCOMPARE(label("panel_peak_data_max"), QString("  100.50"));

    // Leaving the box as the program filled it keeps the wavelength unrounded.
    emit w.lambda_box()->editingFinished();
    QCOMPARE(f.s.wavelengths.lambda, 1.540593);

    // Leaving the wavelength box keeps the typed value; a wrong text, and a wavelength
    // not above 0 (an emptied box counts as 0), are refused.
    struct Typed { const char* text; double lambda; bool refused; };
    const Typed typed[] = {{"1.5406", 1.5406, false}, {"1.54x", 1.5406, true},
                           {"-1.5", 1.5406, true},    {"1,7902", 1.7902, false},
                           {"", 1.7902, true},        {"1e400", 1.7902, true}};
    for (const Typed& t : typed) {
      f.m.clear();
      w.lambda_box()->setText(t.text);
      emit w.lambda_box()->editingFinished();
      QCOMPARE(f.m.texts(), t.refused ? std::vector<std::string>{"Error at lambda"}
                                      : std::vector<std::string>{});
      QCOMPARE(f.s.wavelengths.lambda, t.lambda);
    }
  }

  // What each entry of the erase menu leaves behind.
  void erase_entries_clear_exactly_their_groups() {
    struct Kept {
      bool peaks, profile, calculated, selected, cell_file, current_lambda, range;
    };
    struct Case { const char* action; Kept kept; bool peak_panel, profile_panel; };
    const Case cases[] = {
        {"action_erase_peak", {false, true, true, false, true, true, true}, false, true},
        {"action_erase_cell", {true, true, false, false, false, true, true}, true, true},
        {"action_erase_profile", {true, false, true, true, true, true, true}, true, false},
        {"action_erase_all", {false, false, false, false, false, false, false}, false, false},
    };
    for (const Case& c : cases) {
      Fixture f;
      WorkSession& s = f.s;
      s.measured.peaks = {{28.44, 28.44, 100, 0}, {47.3, 47.3, 55, 0}};
      s.measured.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
      s.measured.file_name = "si.dif";
      s.profile.points = {{20, 1, 20}, {20.02, 2, 20.02}};
      s.profile.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
      s.profile.file_name = "si.raw";
      s.allowed = {{1, 1, 1, 0, 3.1357, 28.44}, {2, 2, 0, 0, 1.9202, 47.30}};
      s.forbidden = {{1, 0, 0, 1, 5.431, 16.3}};
      s.selected = {{1, 1, 1, 28.44f, 28.44f, 0, 0}, {2, 2, 0, 47.3f, 47.3f, 0, 0}};
      s.cell_file_name = "si.cry";
      s.wavelengths = {1.540593, 1.540593, 1.54439, 0.5, "Cu"};
      s.range_min = 20;
      s.range_max = 100;
      s.window_min = 0;
      s.window_max = 100;
      s.cell = {5.431194, 5.431194, 5.431194, 90, 90, 90};
      s.system = "CUBI";
      s.symbol = "F D -3 M:2";
      s.tolerance = 0.3;
      f.w->cell_tab()->redisplay();
      f.w->selection_tab()->redisplay();
      f.w->refine_tab()->show_before_grid();
      f.w->refresh_info_panels();
      QVERIFY(has_text(f.w->selection_tab()->selected_grid()));
      QVERIFY(has_text(f.w->refine_tab()->before_grid()));

      f.w->action(c.action)->trigger();

      const Kept& k = c.kept;
      QVERIFY2((s.measured_count() > 0) == k.peaks, c.action);
      QVERIFY2((s.measured.wavelengths.lambda > 0) == k.peaks, c.action);
      QVERIFY2(!s.measured.file_name.empty() == k.peaks, c.action);
      QVERIFY2(!s.profile.points.empty() == k.profile, c.action);
      QVERIFY2((s.profile.wavelengths.lambda > 0) == k.profile, c.action);
      QVERIFY2(!s.profile.file_name.empty() == k.profile, c.action);
      QVERIFY2(!s.allowed.empty() == k.calculated, c.action);
      QVERIFY2(!s.selected.empty() == k.selected, c.action);
      QVERIFY2(!s.cell_file_name.empty() == k.cell_file, c.action);
      QVERIFY2((s.wavelengths.lambda > 0) == k.current_lambda, c.action);
      QVERIFY2((s.wavelengths.lambda1 > 0) == k.current_lambda, c.action);
      QVERIFY2((s.range_max > 0) == k.range, c.action);
      QVERIFY2((s.window_max > 0) == k.range, c.action);
      // Never erased: the cell, its system and group, the tolerance, the ratio.
      QCOMPARE(s.cell.a, 5.431194);
      QCOMPARE(s.system, std::string("CUBI"));
      QCOMPARE(s.symbol, std::string("F D -3 M:2"));
      QCOMPARE(s.tolerance, 0.3);
      QCOMPARE(s.wavelengths.ratio, 0.5);

      QVERIFY2(f.w->peak_data_panel()->isHidden() == !c.peak_panel, c.action);
      QVERIFY2(f.w->profile_panel()->isHidden() == !c.profile_panel, c.action);
      // The grids that show what was erased are empty.
      QVERIFY2(has_text(f.w->selection_tab()->selected_grid()) == k.selected, c.action);
      if (!k.selected) QVERIFY2(!has_text(f.w->refine_tab()->before_grid()), c.action);
      if (!k.calculated) {
        QTableWidget* calc = f.w->cell_tab()->grid();
        for (int r = 1; r < calc->rowCount(); ++r)
          for (int col = 0; col < calc->columnCount(); ++col)
            QVERIFY2(!calc->item(r, col) || calc->item(r, col)->text().isEmpty(), c.action);
      }
      if (!k.range) QCOMPARE(f.w->range_max_box()->text(), QString("0.00"));
      QVERIFY2(f.m.empty(), c.action);
    }
  }

  // "Erase" of the measured tab is "Erase > Peak data": typed peaks and their pairs go,
  // and the grid shows none of them.
  void measured_erase_button_empties_the_grid() {
    MainWindowFixture f(true);
    Tform1& w = *f.w;
    driver::type_peaks(w, "1.540593", {28.442, 47.302, 56.121});
    driver::enter_cell(w, "Cubic", "F d -3 m:2", "5.431194", "1.540593", "20", "60");
    driver::auto_select(w, "0.1");
    QCOMPARE(f.s.measured_count(), 3);
    QVERIFY(!f.s.selected.empty());
    MeasuredTabWidget* tab = w.measured_tab();
    w.tabs()->setCurrentIndex(Tform1::kMeasuredTab);
    QVERIFY(has_text(tab->grid()));
    QVERIFY(tab->erase_button()->isVisible());

    driver::click(tab->erase_button());

    QCOMPARE(f.s.measured_count(), 0);
    QVERIFY(f.s.selected.empty());
    QVERIFY(!has_text(tab->grid()));
    QVERIFY(!has_text(w.selection_tab()->selected_grid()));
    QVERIFY(f.m.empty());
  }

  // A new automatic selection leaves no result of an earlier refinement on screen.
  void automatic_selection_clears_the_refinement_results() {
    Fixture f;
    WorkSession& s = f.s;
    s.measured.peaks = {{28.44, 28.44, 100, 0}, {47.3, 47.3, 55, 0}};
    s.allowed = {{1, 1, 1, 0, 3.1357, 28.44}, {2, 2, 0, 0, 1.9202, 47.30}};
    s.range_min = 20;
    s.range_max = 100;
    s.selected = {{1, 1, 1, 28.44f, 28.43f, 28.45f, 14.22f}};
    s.results.refined = true;
    s.results.npar = 0;
    f.w->refine_tab()->redisplay();
    QVERIFY(has_text(f.w->refine_tab()->after_grid()));
    QVERIFY(!f.w->refine_tab()->deviation_after_box()->text().isEmpty());

    QTest::mouseClick(f.w->selection_tab()->auto_sel_button(), Qt::LeftButton);
    QVERIFY(f.m.empty());
    QCOMPARE(s.selected_count(), 2);
    QVERIFY(!s.results.refined);
    QVERIFY(!has_text(f.w->refine_tab()->after_grid()));
    QVERIFY(f.w->refine_tab()->deviation_after_box()->text().isEmpty());
    QCOMPARE(f.w->refine_tab()->before_grid()->item(1, 2)->text().trimmed(), QString("47.300"));
  }

  void theta_mode_relabels_and_redisplays() {
    Fixture f;
    Tform1& w = *f.w;
    f.s.range_min = 20;
    f.s.range_max = 100;
    f.s.measured.wavelengths.lambda = 1.5406;
    f.s.measured.range_min = 18;
    f.s.measured.range_max = 62;
    f.s.allowed = {{1, 1, 1, 0, 3.1357, 28.44}};
    w.refresh_current_values();
    w.refresh_info_panels();
    w.cell_tab()->redisplay();
    auto text = [&](const char* name) { return w.findChild<QLabel*>(name) ? w.findChild<QLabel*>(name)->text() : QString(); };
    auto labels = [&] {
      QStringList out;
      for (QLabel* l : w.current_values_panel()->findChildren<QLabel*>()) out << l->text();
      for (QLabel* l : w.peak_data_panel()->findChildren<QLabel*>()) out << l->text();
      return out;
    };
    QVERIFY(labels().contains(QString::fromUtf8("2θ1 =")));
    QVERIFY(labels().contains(QString::fromUtf8("2θ2")));

    // The user picks θ on the measured tab.
    w.measured_tab()->findChild<QRadioButton*>("radio_theta")->setChecked(true);
    QCOMPARE(f.s.angle_mode, AngleMode::Theta);
    QVERIFY(labels().contains(QString::fromUtf8("θ1 =")));
    QVERIFY(labels().contains(QString::fromUtf8("θ2 =")));
    QVERIFY(labels().contains(QString::fromUtf8("θ1")));
    QVERIFY(!labels().contains(QString::fromUtf8("2θ1 =")));
    QCOMPARE(w.range_min_box()->text(), QString("10.00"));
    QCOMPARE(w.range_max_box()->text(), QString("50.00"));
    QCOMPARE(text("panel_peak_data_min"), QString("    9.00"));
    QCOMPARE(text("panel_peak_data_max"), QString("   31.00"));
    QCOMPARE(w.refine_tab()->shift_label()->text(), QString::fromUtf8("Δθ"));
    QCOMPARE(w.cell_tab()->grid()->item(0, 2)->text(), QString("Theta"));
    QCOMPARE(w.cell_tab()->grid()->item(1, 2)->text().trimmed(), QString("14.220"));
    QCOMPARE(f.s.allowed[0].two_theta, 28.44);  // stored values unchanged
    QCOMPARE(f.s.range_max, 100.0);

    w.measured_tab()->findChild<QRadioButton*>("radio_two_theta")->setChecked(true);
    QCOMPARE(f.s.angle_mode, AngleMode::TwoTheta);
    QVERIFY(labels().contains(QString::fromUtf8("2θ1 =")));
    QCOMPARE(w.range_max_box()->text(), QString("100.00"));
    QCOMPARE(w.cell_tab()->grid()->item(0, 2)->text(), QString("2Theta"));
  }

  void shift_flag_opens_the_shift_panel() {
    Fixture f;
    Tform1& w = *f.w;
    RefineTabWidget* tab = w.refine_tab();
    ShiftModePanel* panel = w.shift_panel();
    f.s.refine_enabled[6] = f.s.refine_enabled[7] = true;
    tab->show_initial_values();
    QCOMPARE(panel->title(), QString("Angular Shift refinement mode"));
    QCOMPARE(panel->zero_shift_button()->text(), QString("As constant zero shift"));
    QCOMPARE(panel->excentricity_button()->text(), QString("As sample excentricity"));
    QVERIFY(panel->isHidden());

    // The panel opens on the model in use; OK alone keeps it and the flag.
    tab->refine_flag(6)->setChecked(true);
    QVERIFY(!panel->isHidden());
    QCOMPARE(panel->choice(), ShiftModePanel::ConstantZeroShift);
    QTest::mouseClick(panel->ok_button(), Qt::LeftButton);
    QVERIFY(panel->isHidden());
    QVERIFY(tab->refine_flag(6)->isChecked());
    QCOMPARE(f.s.shift_mode, ShiftMode::ConstantZeroShift);
    // OK with nothing chosen takes the flag back.
    tab->refine_flag(6)->setChecked(false);
    tab->refine_flag(6)->setChecked(true);
    panel->set_choice(ShiftModePanel::None);
    QTest::mouseClick(panel->ok_button(), Qt::LeftButton);
    QVERIFY(!tab->refine_flag(6)->isChecked());
    QVERIFY(!f.s.refine_checked[6]);

    tab->refine_flag(6)->setChecked(true);
    panel->excentricity_button()->setChecked(true);
    QTest::mouseClick(panel->ok_button(), Qt::LeftButton);
    QVERIFY(panel->isHidden());
    QVERIFY(tab->refine_flag(6)->isChecked());
    QCOMPARE(f.s.shift_mode, ShiftMode::SampleEccentricity);
    QCOMPARE(tab->shift_label()->text(), QString::fromUtf8("e/R(°)"));

    // Unchecking does not show it.
    tab->refine_flag(6)->setChecked(false);
    QVERIFY(panel->isHidden());

    tab->refine_flag(6)->setChecked(true);
    QCOMPARE(panel->choice(), ShiftModePanel::SampleExcentricity);  // the model in use
    panel->zero_shift_button()->setChecked(true);
    QTest::mouseClick(panel->ok_button(), Qt::LeftButton);
    QCOMPARE(f.s.shift_mode, ShiftMode::ConstantZeroShift);
    QCOMPARE(tab->shift_label()->text(), QString::fromUtf8("2Δθ"));

    // The wavelength flag: the note and one beep.
    QVERIFY(tab->wavelength_note()->isHidden());
    f.m.clear();
    tab->refine_flag(7)->setChecked(true);
    QVERIFY(!tab->wavelength_note()->isHidden());
    QCOMPARE(tab->wavelength_note()->text(),
             QString("Warning\nIt is advisable to refine the wavelength\nwhere the cell "
                     "parameters are well\nknown and fixed not to refine."));
    tab->refine_flag(7)->setChecked(false);
    QVERIFY(tab->wavelength_note()->isHidden());
    QCOMPARE(f.m.log.size(), size_t(1));
    QVERIFY(f.m.log[0].first == RecordingMessages::Kind::Beep);
  }

  void help_opens_at_its_topics() {
    Fixture f;
    f.w->action("action_help")->trigger();
    HelpWindow* help = f.w->help_window();
    QVERIFY2(f.m.empty(), f.m.empty() ? "" : f.m.texts()[0].c_str());
    QVERIFY(!help->isHidden());
    QCOMPARE(help->current_topic(), 1);
    QVERIFY(help->browser()->toPlainText().contains("four tabs"));

    // Every topic listed has a page with real text.
    const auto index = locate_help_file(f.s);
    QVERIFY(!index.empty());
    const auto topics = read_help_index(index);
    QVERIFY(topics.size() >= 6);
    for (const HelpTopic& t : topics) {
      QVERIFY2(std::filesystem::file_size(index.parent_path() / t.file) > 500, t.file.c_str());
    }
    f.w->aide(4);
    QCOMPARE(help->current_topic(), 4);
    QVERIFY(help->browser()->toPlainText().contains("Peak Search"));
    // Following a link selects the linked topic.
    help->browser()->setSource(QUrl::fromLocalFile(
        QString::fromStdString((index.parent_path() / "formats.html").string())));
    QCOMPARE(help->current_topic(), 7);
    QCOMPARE(help->topic_list()->currentRow(), 6);
    // The formats page lists every profile kind of the table, by number, name and files.
    const QString formats = help->browser()->toPlainText();
    for (const ProfileFormat& pf : kProfileFormats) {
      const QString name = QString::fromStdString(profile_format_name(pf));
      QVERIFY2(formats.contains(name), qPrintable(name));
      for (const ProfileExtension& e : pf.extensions)
        if (!e.name.empty())
          QVERIFY2(formats.contains("*" + QString::fromUtf8(e.name.data(), int(e.name.size()))),
                   qPrintable(name));
    }
    const QString table = QString::fromStdString(profile_formats_help_html());
    QCOMPARE(table.count("<tr><td>"), int(kProfileFormats.size()));
    f.w->aide(99);  // an unknown topic shows the first
    QCOMPARE(help->current_topic(), 1);

    // A help file of the user's own in the working folder comes first.
    write_bytes(path("vornax2.hlp"), "# mine\r\n7|mine.html|Mine\r\n");
    write_bytes(path("mine.html"), "<html><body>Local help</body></html>");
    f.w->aide(1);
    QCOMPARE(help->current_topic(), 7);
    QVERIFY(help->browser()->toPlainText().contains("Local help"));
  }

  // Whatever the help index holds, reading it never fails but on a missing file, and
  // keeps only the well-formed topic lines.
  void help_index_survives_garbage() {
    constexpr size_t kAny = size_t(-1);
    struct Case { QByteArray bytes; size_t topics; };
    QByteArray huge(200000, 'x');
    huge += "\r\n3|page.html|Title\r\n";
    QByteArray binary;
    for (int i = 0; i < 4096; ++i) binary += char((i * 37 + 11) & 0xFF);
    const Case cases[] = {
        {"", 0},
        {"\r\n\r\n\n", 0},
        {"1|", 0},                              // truncated
        {"1|a.html", 0},                        // no title bar: not a topic line
        {"1|a.html|A\r\n2|b.ht", 1},          // last line cut
        {"|||\r\n1||x\r\n99999999999999999999|a.html|big\r\n", 0},
        {"-3|a.html|negative\r\n", 1},
        {binary, kAny},
        {huge, 1},
    };
    int n = 0;
    for (const Case& c : cases) {
      const QString name = path(QString("index%1.hlp").arg(n++));
      write_bytes(name, c.bytes);
      const std::vector<HelpTopic> topics = read_help_index(name.toStdString());
      if (c.topics != kAny) QCOMPARE(topics.size(), c.topics);
      RecordingMessages m;
      HelpWindow help(m);
      // An index without topics is a message, not an empty window.
      QCOMPARE(help.open_help(name.toStdString(), 1), !topics.empty());
      QCOMPARE(m.texts().size(), topics.empty() ? size_t(1) : size_t(0));
      help.hide();
    }
    QVERIFY_THROWS_EXCEPTION(FileError, read_help_index(path("missing.hlp").toStdString()));
  }

  void help_index_format() {
    write_bytes(path("index.hlp"),
                "# comment\r\n\r\n1|a.html|First topic\r\nx|b.html|bad number\r\n"
                "2|c.html\r\n 4 | d.html | Profile \r\n");
    const auto topics = read_help_index(path("index.hlp").toStdString());
    QCOMPARE(topics.size(), size_t(2));
    QCOMPARE(topics[0].number, 1);
    QCOMPARE(topics[0].title, std::string("First topic"));
    QCOMPARE(topics[1].number, 4);
    QCOMPARE(topics[1].file, std::string("d.html"));
    QCOMPARE(topics[1].title, std::string("Profile"));

    RecordingMessages m;
    HelpWindow help(m);
    QVERIFY(!help.open_help({}, 1));
    QCOMPARE(m.texts(), std::vector<std::string>{"Help file not found: vornax2.hlp"});
  }

  void about_and_exit() {
    Fixture f;
    f.w->show();
    f.w->action("action_about")->trigger();
    Tfabout* about = f.w->about_window();
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowTitle(), QString("About VORNAX"));
    for (const char* word : {"VORNAX", "Version 3", "Licence", "Qt ", "gemmi "})
      QVERIFY2(about->text().contains(word), word);
    QVERIFY(about->text().contains(qVersion()));
    f.w->action("action_exit")->trigger();
    QVERIFY(!f.w->isVisible());
    QVERIFY(!about->isVisible());
    f.w->show();
    f.w->action("action_file_exit")->trigger();
    QVERIFY(!f.w->isVisible());
  }

  void report_menu_entries_without_results() {
    Fixture f;
    f.w->action("action_edit_calculated")->trigger();
    QCOMPARE(f.m.texts(), std::vector<std::string>{"No calculated peaks!"});
    f.m.clear();
    f.w->action("action_edit_results")->trigger();
    f.w->action("action_print_results")->trigger();
    QCOMPARE(f.m.texts(), (std::vector<std::string>{"No results", "No results"}));
    QVERIFY(f.w->report_viewer()->isHidden());
  }

  void calculated_peaks_report_is_shown() {
    Fixture f;
    f.s.allowed = {{1, 1, 1, 0, 3.1357, 28.44}, {2, 2, 0, 0, 1.9202, 47.30}};
    f.s.cell = {5.431194, 5.431194, 5.431194, 90, 90, 90};
    f.s.wavelengths.lambda = 1.540593;
    f.s.symbol = "F D -3 M:2";
    f.w->action("action_edit_calculated")->trigger();
    QVERIFY2(f.m.empty(), f.m.empty() ? "" : f.m.texts()[0].c_str());
    ReportViewer* v = f.w->report_viewer();
    QVERIFY(!v->isHidden());
    QVERIFY(QFile::exists(path("indx.out")));
    QVERIFY(v->text().contains("Space Group  :F D -3 M:2"));
    QVERIFY(v->text().contains("Nb. of refl. :"));
  }

  void report_viewer_reads_saves_and_prints() {
    // Windows-1252 bytes and CR LF, as the program writes its reports.
    write_bytes(path("report.out"), "2Theta (\xB0)\r\n  1  1  1   28.442\r\n");
    RecordingMessages m;
    ReportViewer v(m);
    QVERIFY(v.load_report(path("report.out")));
    QCOMPARE(v.text(), QString::fromUtf8("2Theta (°)\n  1  1  1   28.442"));
    QVERIFY(v.editor()->isReadOnly());
    QVERIFY(v.editor()->font().fixedPitch() || v.editor()->font().styleHint() == QFont::Monospace);
    QVERIFY(v.windowTitle().contains("report.out"));

    QVERIFY(v.save_to(path("copy.txt")));
    QCOMPARE(read_bytes(path("copy.txt")), QByteArray("2Theta (\xB0)\r\n  1  1  1   28.442\r\n"));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path("report.pdf"));
    set_up_printer(printer, "report.out");
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    v.print_on(printer);
    QVERIFY(read_bytes(path("report.pdf")).startsWith("%PDF"));

    // Whatever a report file holds is shown, never refused or crashed on.
    QByteArray binary;
    for (int i = 0; i < 2048; ++i) binary += char((i * 91 + 7) & 0xFF);
    struct Odd { const char* name; QByteArray bytes; qsizetype lines; };
    const Odd odd[] = {{"empty.out", "", 1},
                       {"cr.out", "a\rb\rc", 3},
                       {"long.out", QByteArray(300000, '7') + "\r\n", 1},
                       {"binary.out", binary, -1}};
    for (const Odd& o : odd) {
      write_bytes(path(o.name), o.bytes);
      QVERIFY2(v.load_report(path(o.name)), o.name);
      if (o.lines >= 0) QCOMPARE(v.editor()->document()->blockCount(), int(o.lines));
    }
    QVERIFY(m.empty());

    QVERIFY(!v.load_report(path("missing.out")));
    QCOMPARE(m.texts().size(), size_t(1));
    QVERIFY(m.texts()[0].find("missing.out") != std::string::npos);
    QVERIFY(!v.save_to(path("no/such/folder/x.txt")));
  }

  void window_image_prints_on_a_landscape_page() {
    Fixture f;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path("screen.pdf"));
    set_up_printer(printer, "VORNAX");
    QVERIFY(paint_image_on_printer(printer, f.w->grab().toImage()));
    QVERIFY(read_bytes(path("screen.pdf")).startsWith("%PDF"));
    QVERIFY(!paint_image_on_printer(printer, QImage()));
  }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"

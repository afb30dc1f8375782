// The four tabs as a user meets them, through the main window's own wiring: the
// measured tab's "Erase" and title for peaks from every source, the cell tab's fields
// against the current values, Enter, "Calc." and pairs made by hand, the refinement
// tab's cycles ("Use refined", its flags, volume and wavelength boxes, the decimals of
// the refined values), the angular-shift panel's place and the print dialogs' folder.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>

#include "core/format.hpp"
#include "core/wavelength.hpp"
#include "files/peak_fixtures.hpp"
#include "support/scripted_file_dialogs.hpp"
#include "ui/report_viewer.hpp"
#include "ui/tform6.hpp"
#include "ui/tform7.hpp"
#include "ui_driver.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

// The wavelength window answered as a user choosing the copper anode.
struct CopperChosen : WavelengthDialog {
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    SourceChoice c;
    choose_source(c, 1);
    return accept_source(c).set;
  }
};

bool has_text(QTableWidget* t) {
  for (int r = 0; r < t->rowCount(); ++r)
    for (int c = 0; c < t->columnCount(); ++c)
      if (t->item(r, c) && !t->item(r, c)->text().trimmed().isEmpty()) return true;
  return false;
}

int decimals_of(const QString& text) {
  const int dot = text.indexOf('.');
  return dot < 0 ? 0 : int(text.trimmed().size() - text.trimmed().indexOf('.') - 1);
}

// Silicon peaks at Cu Kα1 up to 90°, shifted by 0.04° (constant or as an eccentricity).
std::vector<double> shifted_silicon(bool eccentric) {
  std::vector<double> out;
  for (const Peak& p : diamond_peaks(kSiliconA, kCuKa1, 90, 0.04, eccentric)) out.push_back(p.two_theta);
  return out;
}

// A column profile of three Gaussian lines (FWHM 0.1°) on a flat background.
void write_profile(const QString& path, const std::vector<double>& lines) {
  std::ofstream f(path.toStdString());
  const double sigma = 0.1 / 2.3548;
  for (int i = 0; i <= 2000; ++i) {
    const double x = 25 + i * 0.01;
    double y = 100;
    for (double c : lines) y += 5000 * std::exp(-0.5 * std::pow((x - c) / sigma, 2));
    f << x << ' ' << y << '\n';
  }
}

}  // namespace

class TestMainWindowTabs : public QObject {
  Q_OBJECT

  std::unique_ptr<TempCurrentFolder> dir_;
  std::unique_ptr<MainWindowFixture> f_;
  ScriptedFileDialogs dialogs_;
  CopperChosen copper_;

  Tform1& w() { return *f_->w; }
  WorkSession& s() { return f_->s; }
  RecordingMessages& m() { return f_->m; }

  void write_dif(const QString& name, const std::vector<peak_test::Peak>& peaks) {
    std::ofstream(dir_->path(name).toStdString(), std::ios::binary) << peak_test::dif2(peaks);
  }
  // File > Open > Peaks File > Bruker, the dialog answered with `name`.
  void open_dif(const QString& name) {
    dialogs_.answers = {dir_->path(name).toStdString()};
    w().action("action_open_peaks_bruker")->trigger();
    settle();
  }
  void activate() {
    QApplication::setActiveWindow(&w());
    QVERIFY(QTest::qWaitForWindowActive(&w()));
  }
  // Steps 1 to 4 on shifted silicon, the shift refined in the model asked for.
  void refine_silicon(int shift_model) {
    type_peaks(w(), "1.540593", shifted_silicon(shift_model == 2));
    enter_cell(w(), "Cubic", "F d -3 m:2", "5.4300", "1.540593", "20", "90");
    auto_select(w(), "0.1");
    refine(w(), shift_model);
  }

 private slots:
  void init() {
    dir_.reset();
    dir_ = std::make_unique<TempCurrentFolder>();
    QVERIFY(dir_->valid());
    f_ = std::make_unique<MainWindowFixture>(true);
    dialogs_ = ScriptedFileDialogs{};
    w().set_file_dialogs(&dialogs_);
    w().profile_window()->set_wavelength_dialog(&copper_);
  }
  void cleanup() {
    f_.reset();
    dir_.reset();
  }

  // Peaks typed, read from a file or found in the profile window: the measured tab shows
  // them under a title that names their file, with an "Erase" that empties the grid.
  void measured_tab_erase_and_title_for_every_source() {
    struct Source {
      const char* name;
      std::function<void()> bring;
      QString title;
    };
    const Source sources[] = {
        {"keyboard", [this] { type_peaks(w(), "1.540593", {28.442, 47.302}); },
         "Measured reflections (2Theta)"},
        {"peak file",
         [this] {
           write_dif("quartz.dif", {{26.64, 100}, {20.86, 22}, {50.14, 14}});
           open_dif("quartz.dif");
         },
         "Observed reflections (quartz.dif)"},
        {"profile window",
         [this] {
           write_profile(dir_->path("scan.xy"), {28.442, 47.302, 56.121});
           dialogs_.answers = {dir_->path("scan.xy").toStdString()};
           TForm7* p = w().profile_window();
           p->action("action_open_profile_column")->trigger();
           p->peak_search();
           p->findChild<QPushButton*>("button_search")->click();
           settle();
           activate();
         },
         "Measured reflections (2Theta)"},
    };
    for (const Source& src : sources) {
      cleanup();
      init();
      src.bring();
      QVERIFY2(s().measured_count() > 0, src.name);
      w().tabs()->setCurrentIndex(Tform1::kMeasuredTab);
      settle();
      MeasuredTabWidget* tab = w().measured_tab();
      QVERIFY2(has_text(tab->grid()), src.name);
      QCOMPARE(tab->findChild<QLabel*>("label_measured_title")->text(), src.title);
      QVERIFY2(tab->erase_button()->isVisible(), src.name);
      QVERIFY2(tab->erase_button()->isEnabled(), src.name);
      m().clear();
      click(tab->erase_button());
      QVERIFY2(s().measured_count() == 0, src.name);
      QVERIFY2(!has_text(tab->grid()), src.name);
      QVERIFY2(m().empty(), src.name);
      QCOMPARE(tab->findChild<QLabel*>("label_measured_title")->text(),
               QString("Measured reflections (2Theta)"));
    }
  }

  // A file's title stays through a θ / 2θ switch; typed peaks show the angle kind.
  void measured_title_follows_the_angle_mode_only_without_a_file() {
    write_dif("quartz.dif", {{26.64, 100}, {20.86, 22}});
    open_dif("quartz.dif");
    QLabel* title = w().measured_tab()->findChild<QLabel*>("label_measured_title");
    click(w().findChild<QRadioButton*>("radio_theta"));
    QCOMPARE(title->text(), QString("Observed reflections (quartz.dif)"));
    w().action("action_erase_peak")->trigger();
    settle();
    QCOMPARE(title->text(), QString("Measured reflections (Theta)"));
  }

  // Refinement cycles: each refined value with the decimals its error allows, in the tab
  // and under the report; "Use refined" keeps the flags and the shift model, shows the
  // new cell's volume, and the next "Refine" needs no click in between.
  void refinement_cycles_keep_flags_and_show_values_to_their_errors() {
    for (int model : {1, 2}) {
      cleanup();
      init();
      refine_silicon(model);
      QVERIFY2(m().empty(), m().empty() ? "" : m().texts().front().c_str());
      QVERIFY(s().results.refined);
      RefineTabWidget* tab = w().refine_tab();
      for (int row : {0, 6}) {
        const QString refined = tab->refined_box(row)->text();
        const QString sigma = tab->sigma_box(row)->text();
        // The error's second significant digit sets the decimals of both boxes.
        const double e = sigma.toDouble();
        QVERIFY2(e > 0, qPrintable(sigma));
        const int second_digit = 1 - int(std::floor(std::log10(e * 1.0000001)));
        QCOMPARE(decimals_of(sigma), std::max(second_digit, row == 0 ? 4 : 6));
        QCOMPARE(decimals_of(refined), decimals_of(sigma));
      }
      // The report viewer adds the refined a to the digit of its error.
      click(tab->report_button());
      const QString report = w().report_viewer()->text();
      const QString a = tab->refined_box(0)->text().trimmed();
      QVERIFY2(report.contains("\na             = " + a + "("), qPrintable(report.right(300)));
      w().report_viewer()->hide();
      activate();

      const double refined_a = s().results.cell.a;
      const ShiftMode mode = s().shift_mode;
      click(tab->use_refined_button());
      QVERIFY(tab->refine_flag(0)->isChecked());
      QVERIFY(tab->refine_flag(6)->isChecked());
      QVERIFY(s().refine_checked[6]);
      QCOMPARE(s().shift_mode, mode);
      QVERIFY(w().shift_panel()->isHidden());
      // The Initial volume is the new cell's: a³ for a cubic cell.
      QCOMPARE(tab->initial_box(8)->text().trimmed(),
               QString::number(refined_a * refined_a * refined_a, 'f', 2));

      // The next cycle: Auto Sel. and Refine, nothing ticked again.
      auto_select(w(), "0.1");
      w().tabs()->setCurrentIndex(Tform1::kRefineTab);
      click(tab->refine_button());
      QVERIFY2(m().empty(), m().empty() ? "" : m().texts().front().c_str());
      QVERIFY(s().results.refined);
      QVERIFY(s().results.errors[index_of(RefinedQuantity::Shift)] > 0);
      // What was left of the shift after the first cycle is small.
      QVERIFY(std::fabs(s().results.zero_shift) < 0.01);
    }
  }

  // The wavelength boxes of the tabs follow the current wavelength however it changes.
  void refinement_lambda_box_follows_the_current_wavelength() {
    type_peaks(w(), "1.540593", {28.442, 47.302});
    QCOMPARE(w().refine_tab()->initial_box(7)->text(), QString("1.54059"));
    w().action("action_erase_all")->trigger();
    settle();
    QCOMPARE(w().refine_tab()->initial_box(7)->text(), QString("0.00000"));
    write_dif("quartz.dif", {{26.64, 100}, {20.86, 22}});
    open_dif("quartz.dif");
    QVERIFY(s().wavelengths.lambda > 1.5);
    const QString lambda = QString::number(s().wavelengths.lambda, 'f', 5);
    QCOMPARE(w().lambda_box()->text().trimmed(), lambda);
    QCOMPARE(w().refine_tab()->initial_box(7)->text(), lambda);
  }

  // A space-group choice calculates with the wavelength and range now current, not with
  // the ones the cell fields showed before they changed elsewhere.
  void group_choice_takes_the_current_values() {
    enter_cell(w(), "Cubic", "F d -3 m:2", "5.431194", "1.540593", "20", "90");
    QCOMPARE(s().wavelengths.lambda, kCuKa1);
    m().clear();
    // A new wavelength typed in "Current values", and peaks that set the range 26..60.
    type_peaks(w(), "1.54186", {28.442, 58.0});
    QCOMPARE(s().wavelengths.lambda, 1.54186);
    QCOMPARE(s().range_min, 28.442 - 2);
    QCOMPARE(s().range_max, 60.0);
    w().tabs()->setCurrentIndex(Tform1::kCellTab);
    CellTabWidget* cell = w().cell_tab();
    QCOMPARE(cell->field(6)->text().trimmed(), QString("1.54186"));
    QVERIFY(click_item(cell->hm_list(), "F d -3 m:2"));
    QVERIFY2(m().empty(), m().empty() ? "" : m().texts().front().c_str());
    QCOMPARE(s().wavelengths.lambda, 1.54186);
    QCOMPARE(s().range_min, 28.442 - 2);
    QCOMPARE(s().range_max, 60.0);
    QCOMPARE(w().lambda_box()->text().trimmed(), QString("1.54186"));
    // Every calculated reflection is at the new wavelength.
    QVERIFY(s().allowed_count() > 0);
    for (const auto& r : s().allowed) {
      QVERIFY(std::fabs(r.two_theta - 2 * std::asin(1.54186 / (2 * r.d)) * 180 / std::acos(-1.0)) < 1e-3);
    }
  }

  // Enter in a field of the cell entry is "Calc."; Enter in the wavelength box of
  // "Current values" takes the wavelength.
  void enter_key_calculates_and_takes_the_wavelength() {
    struct Case {
      int last_field;  // typed last, then Enter
      const char* text;
    } cases[] = {{0, "5.431194"}, {6, "1.540593"}, {8, "90"}};
    for (const Case& c : cases) {
      cleanup();
      init();
      w().tabs()->setCurrentIndex(Tform1::kCellTab);
      CellTabWidget* cell = w().cell_tab();
      QVERIFY(click_item(cell->system_list(), "Cubic"));
      const QString texts[] = {"5.431194", "", "", "", "", "", "1.540593", "20", "90"};
      for (int i : {0, 6, 7, 8})
        if (i != c.last_field) type_into(cell->field(i), texts[i]);
      cell->field(6)->setFocus();
      settle();
      QVERIFY(click_item(cell->hm_list(), "F d -3 m:2"));  // incomplete: nothing calculated
      QCOMPARE(s().allowed_count(), 0);
      type_into(cell->field(c.last_field), c.text);
      QTest::keyClick(cell->field(c.last_field), Qt::Key_Return);
      settle();
      QVERIFY2(m().empty(), m().empty() ? "" : m().texts().front().c_str());
      QVERIFY2(s().allowed_count() == 7, c.text);
      QCOMPARE(s().wavelengths.lambda, kCuKa1);
      QCOMPARE(s().cell.a, kSiliconA);
    }
    // The wavelength box: Enter takes it, shown as the program writes it.
    type_into(w().lambda_box(), "1.54186");
    QTest::keyClick(w().lambda_box(), Qt::Key_Enter);
    settle();
    QCOMPARE(s().wavelengths.lambda, 1.54186);
    QCOMPARE(w().lambda_box()->text().trimmed(), QString("1.54186"));
  }

  // "Calc." and a click on another space group ask before they drop pairs made by hand,
  // and "Restore" brings them back; pairs that "Auto Sel." makes again are dropped
  // without a question. No changes nothing, the group list included.
  void calc_asks_before_dropping_pairs_made_by_hand() {
    struct Case {
      const char* name;
      bool by_hand;
      Answer answer;
      bool dropped;
      bool by_group = false;  // a click on "F m -3 m" instead of "Calc."
    } cases[] = {{"automatic", false, Answer::Yes, true},
                 {"by hand, No", true, Answer::No, false},
                 {"by hand, Yes", true, Answer::Yes, true},
                 {"group, by hand, No", true, Answer::No, false, true},
                 {"group, by hand, Yes", true, Answer::Yes, true, true}};
    for (const Case& c : cases) {
      cleanup();
      init();
      type_peaks(w(), "1.540593", {28.442, 47.302, 56.121});
      enter_cell(w(), "Cubic", "F d -3 m:2", "5.431194", "1.540593", "20", "60");
      auto_select(w(), "0.1");
      QCOMPARE(s().selected_count(), 3);
      int retyped_h = 0;
      if (c.by_hand) {
        // The first pair retyped in the selected grid: 1 1 1 becomes the indices of the
        // reflection of the third peak (h² + k² + l² = 11).
        for (const auto& r : s().allowed)
          if (r.h * r.h + r.k * r.k + r.l * r.l == 11) {
            retyped_h = r.h;
            w().selection_tab()->selected_grid()->item(0, 1)->setText(
                QString("%1 %2 %3").arg(r.h).arg(r.k).arg(r.l));
          }
        settle();
        QVERIFY2(m().empty(), m().empty() ? "" : m().texts().front().c_str());
        QCOMPARE(s().selected[0].h * s().selected[0].h + s().selected[0].k * s().selected[0].k +
                     s().selected[0].l * s().selected[0].l,
                 11);
      }
      const auto before = s().selected;
      m().clear();
      m().answers = {c.answer};
      w().tabs()->setCurrentIndex(Tform1::kCellTab);
      const std::string group = s().symbol;
      if (c.by_group) QVERIFY(click_item(w().cell_tab()->hm_list(), "F m -3 m"));
      else click(w().cell_tab()->calc_button());
      const auto texts = m().texts();
      QVERIFY2(!texts.empty() || !c.by_hand, c.name);
      if (c.by_hand) QCOMPARE(QString::fromStdString(texts[0]), QString(kHandPairsQuestion));
      if (!c.by_group) QCOMPARE(texts.size(), size_t(c.by_hand ? 1 : 0));
      QCOMPARE(s().selected.empty(), c.dropped);
      if (c.by_group && !c.dropped) {
        QCOMPARE(s().symbol, group);
        QCOMPARE(w().cell_tab()->hm_list()->currentItem()->text().trimmed(), QString("F d -3 m:2"));
      }
      if (!c.dropped) {
        QCOMPARE(s().selected_count(), int(before.size()));
        QCOMPARE(s().selected[0].h, retyped_h);
        continue;
      }
      if (!c.by_hand) continue;
      QVERIFY(QFile::exists(dir_->path("obs.txt")));
      w().tabs()->setCurrentIndex(Tform1::kSelectionTab);
      click(w().selection_tab()->findChild<QPushButton*>("button_restore_selection"));
      QCOMPARE(s().selected_count(), int(before.size()));
      for (size_t i = 0; i < before.size(); ++i) {
        QCOMPARE(s().selected[i].h, before[i].h);
        QCOMPARE(s().selected[i].two_theta_obs, before[i].two_theta_obs);
      }
    }
  }

  // The angular-shift panel leaves both result titles in view, whatever the window's size.
  void shift_panel_leaves_the_result_titles_in_view() {
    const QSize opening = w().size();
    const QSize sizes[] = {QSize(1020, 455), opening, QSize(1400, 900), QSize(1200, 520)};
    RefineTabWidget* tab = w().refine_tab();
    s().refine_enabled[6] = true;
    tab->show_initial_values();
    for (const QSize& size : sizes) {
      w().resize(size.expandedTo(w().minimumSizeHint()));
      w().tabs()->setCurrentIndex(Tform1::kRefineTab);
      settle();
      if (tab->refine_flag(6)->isChecked()) click(tab->refine_flag(6));
      click(tab->refine_flag(6));
      ShiftModePanel* panel = w().shift_panel();
      QVERIFY(panel->isVisible());
      const QRect p(panel->mapTo(&w(), QPoint(0, 0)), panel->size());
      QList<QLabel*> titles;
      for (QLabel* l : tab->findChildren<QLabel*>())
        if (l->text() == "Before refinement" || l->text() == "After refinement") titles << l;
      QCOMPARE(titles.size(), 2);
      for (QLabel* title : titles) {
        const QRect t(title->mapTo(&w(), QPoint(0, 0)), title->size());
        QVERIFY2(!p.intersects(t), qPrintable(QString("%1 at %2x%3").arg(title->text())
                                                  .arg(size.width()).arg(size.height())));
      }
      // Whole, inside the window; at the window's opening size it leaves the tab's
      // commands uncovered too.
      QVERIFY(w().rect().contains(p));
      if (size == opening)
        for (QPushButton* b : tab->findChildren<QPushButton*>()) {
          if (!b->isVisible()) continue;
          const QRect r(b->mapTo(&w(), QPoint(0, 0)), b->size());
          QVERIFY2(!p.intersects(r), qPrintable(b->text()));
        }
      click(panel->ok_button());
      QVERIFY(panel->isHidden());
    }
  }

  // A print to PDF is proposed in the working folder: the report viewer's Print and the
  // refinement tab's "Print screen" and the diagram window's Print.
  void print_dialogs_propose_the_working_folder() {
    QFile report(dir_->path("vornax.out"));
    QVERIFY(report.open(QIODevice::WriteOnly));
    report.write("VORNAX Version 3.\r\n");
    report.close();
    ReportViewer* viewer = w().report_viewer();
    QVERIFY(viewer->open_report(dir_->path("vornax.out")));
    struct Case {
      const char* name;
      std::function<void()> print;
    } cases[] = {{"report viewer", [&] { click(viewer->findChild<QPushButton*>("button_print")); }},
                 {"print screen", [&] { w().refine_tab()->print_screen(); }},
                 {"diagram window", [&] {
                    w().diagram_window()->findChild<QPushButton*>("button_print_screen")->click();
                  }}};
    for (const Case& c : cases) {
      QString proposed;
      bool shown = false;
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        shown = dialog != nullptr;
        if (!dialog) return;
        if (auto* name = dialog->findChild<QLineEdit*>("filename")) proposed = name->text();
        if (proposed.isEmpty()) proposed = dialog->printer()->outputFileName();
        dialog->reject();
      });
      c.print();
      settle();
      QVERIFY2(shown, c.name);
      QCOMPARE(QFileInfo(proposed).absolutePath(), QFileInfo(dir_->path()).absoluteFilePath());
    }
  }
};

QTEST_MAIN(TestMainWindowTabs)
#include "test_main_window_tabs.moc"

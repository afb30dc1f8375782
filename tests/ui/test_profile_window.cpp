// The profile window driven as a user drives it: a profile loaded through the dialogs,
// Peak Search with its panel and sliders, the search, Peak Kill of the Kα2 lines, the
// peaks handed over to the main window, measuring and zooming with the mouse, saving.
// The clipboard belongs to the user throughout: only Copy writes to it.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTableWidget>
#include <QtTest>

#include <cmath>
#include <fstream>

#include "core/format.hpp"
#include "core/wavelength.hpp"
#include "support/scripted_file_dialogs.hpp"
#include "ui/tform7.hpp"
#include "files/profile_kind_fixtures.hpp"
#include "ui_driver.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

const QString kUserText = "the user's own text";

// The wavelength window answered as a user choosing the copper anode.
struct CopperChosen : WavelengthDialog {
  int asked = 0;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    ++asked;
    SourceChoice c;
    choose_source(c, 1);
    return accept_source(c).set;
  }
};

// Three Cu Kα1/Kα2 doublets (silicon 220, 311, 400) on a flat background, 40..72°,
// step 0.01°, FWHM 0.08°.
void write_doublets(const QString& path, const std::vector<double>& kalpha1) {
  const double pi = std::acos(-1.0);
  std::ofstream f(path.toStdString());
  const double sigma = 0.08 / 2.3548;
  for (int i = 0; i <= 3200; ++i) {
    const double x = 40 + i * 0.01;
    double y = 100;
    for (double c : kalpha1) {
      const double th = c * pi / 360;
      const double c2 = 360 / pi * std::asin(std::sin(th) * 1.544414 / 1.540593);
      y += 4000 * std::exp(-0.5 * std::pow((x - c) / sigma, 2));
      y += 2000 * std::exp(-0.5 * std::pow((x - c2) / sigma, 2));
    }
    f << x << ' ' << y << '\n';
  }
}

int colour_count(const QImage& img, QColor c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == c;
  return n;
}

}  // namespace

class TestProfileWindow : public QObject {
  Q_OBJECT

  std::unique_ptr<MainWindowFixture> f;
  std::unique_ptr<TempCurrentFolder> dir;
  ScriptedFileDialogs dialogs;
  CopperChosen copper;
  TForm7* w = nullptr;
  std::vector<double> lines;

  void clipboard_untouched(const char* step) {
    QVERIFY2(QApplication::clipboard()->text() == kUserText, step);
  }

  void load() {
    write_doublets(dir->path("si.xy"), lines);
    dialogs.answers = {dir->path("si.xy").toStdString()};
    w->action("action_open_profile_column")->trigger();
  }

 private slots:
  void init() {
    dir = std::make_unique<TempCurrentFolder>();
    f = std::make_unique<MainWindowFixture>(false);
    f->w->set_file_dialogs(&dialogs);
    dialogs = ScriptedFileDialogs{};
    w = f->w->profile_window();
    copper = CopperChosen{};
    w->set_wavelength_dialog(&copper);
    w->resize(1020, 600);
    lines.clear();
    for (const auto& p : diamond_peaks(kSiliconA, kCuKa1, 72))
      if (p.two_theta > 41) lines.push_back(p.two_theta);
    QApplication::clipboard()->setText(kUserText);
  }
  void cleanup() {
    f.reset();
    dir.reset();
  }

  // The File > Open menu and the load button offer every profile kind, as the main
  // window's menu does, under the same captions and names; each entry reads its kind,
  // whatever the file's name, and the dialog shows all the filters with its own chosen.
  void offersEveryProfileKindAsTheMainMenuDoes() {
    QMenu* main_menu = f->w->findChild<QMenu*>("menu_open_profile");
    QVERIFY(main_menu);
    QMenu* open = nullptr;
    for (QMenu* m : w->findChildren<QMenu*>())
      if (m->title() == "&Open") open = m;
    QVERIFY(open);
    QStringList main_entries, window_entries, button_entries;
    for (QAction* a : main_menu->actions()) main_entries << a->objectName() + " " + a->text();
    for (QAction* a : open->actions()) window_entries << a->objectName() + " " + a->text();
    QPushButton* button = w->findChild<QPushButton*>("button_load_profile");
    QVERIFY(button && button->menu());
    for (QAction* a : button->menu()->actions()) button_entries << a->objectName() + " " + a->text();
    QCOMPARE(window_entries.size(), int(kProfileFormats.size()));
    QCOMPARE(window_entries, main_entries);
    QCOMPARE(button_entries, main_entries);

    for (const auto& k : vornax::test::profile_kind_samples()) {
      const QString name = k.kind == 5 ? "kind.raw" : "kind.xy";  // a name of another kind
      std::ofstream(dir->path(name).toStdString(), std::ios::binary) << k.bytes;
      f->s.profile = Profile{};
      f->m.clear();
      dialogs.answers = {dir->path(name).toStdString()};
      open->actions()[k.kind - 1]->trigger();
      const std::string what = "kind " + std::to_string(k.kind);
      QVERIFY2(f->m.empty(), f->m.empty() ? what.c_str() : f->m.texts().front().c_str());
      QVERIFY2(f->s.profile.points.size() == k.points, what.c_str());
      QVERIFY2(f->s.profile.file_kind == profile_type_from_number(k.kind), what.c_str());
      const auto& filters = dialogs.shown_filters.back();
      QVERIFY(std::equal(filters.begin(), filters.end(), kProfileFileFilters.begin(),
                         kProfileFileFilters.end()));
    }
    // The filter the user leaves chosen in the dialog is the kind read.
    std::ofstream(dir->path("cols.dat").toStdString()) << "10 5\n10.5 25\n11 15\n";
    f->s.profile = Profile{};
    dialogs.answers = {dir->path("cols.dat").toStdString()};
    dialogs.chosen_filters = {int(ProfileFileType::Column) - 1};
    w->action("action_open_profile_rietveld")->trigger();
    QVERIFY(f->s.profile.file_kind == ProfileFileType::Column);
    QCOMPARE(f->s.profile.points.size(), size_t(3));
  }

  void opensFromTheMeasuredTab() {
    auto* button = f->w->measured_tab()->findChild<QPushButton*>("button_diagram_peaks");
    QVERIFY(button && button->isEnabled());
    f->s.measured.file_name = "old.dif";
    button->click();
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QString("Measure the reflection angles on the diagram"));
    QVERIFY(f->s.measured.file_name.empty());
    QVERIFY(w->help_text()->toPlainText().startsWith("If there is no pattern, open a profile file. "));
    int topic = 0;
    w->set_help([&topic](int t) { topic = t; });
    w->aide_en_ligne();
    QCOMPARE(topic, 4);
  }

  void loadSearchKillHandOver() {
    load();
    QCOMPARE(copper.asked, 1);
    QCOMPARE(f->s.profile.points.size(), size_t(3201));
    QCOMPARE(f->s.profile.wavelengths.anode, std::string("Cu"));
    clipboard_untouched("after loading");
    QVERIFY(colour_count(w->image(), Qt::black) > 1000);

    // Prepare leaves the peaks of the main window where they are.
    f->s.measured.peaks = {{30.0, 30.0, 10.0, 1}, {35.0, 35.0, 20.0, 1}};
    f->w->measured_tab()->redisplay();
    w->peak_search();
    QVERIFY(w->search_panel()->isVisibleTo(w));
    QCOMPARE(f->s.measured.peaks.size(), size_t(2));
    QCOMPARE(f->w->measured_tab()->grid()->item(0, 0)->text().trimmed(), QString("30.000"));
    QCOMPARE(w->contamination_box(0)->text(), QString(" 1.39222"));
    QCOMPARE(w->contamination_box(3)->text(), QString(" 0.5"));
    // The sliders start at the settings measured on the pattern and show their values
    // as they move: lines of 0.08° at a 0.01° step want a minimum width below the
    // classic 0.10° and above one step.
    const SliderSpec* specs[3] = {&kThresholdSlider, &kMinWidthSlider, &kMaxWidthSlider};
    for (int i = 0; i < 3; ++i)
      QCOMPARE(w->slider_box(i)->text(),
               QString::fromStdString(slider_text(*specs[i], w->slider(i)->value())));
    const double min_width = w->slider_box(1)->text().toDouble();
    QVERIFY2(min_width >= 0.01 && min_width < 0.1, qPrintable(w->slider_box(1)->text()));
    w->slider(1)->setValue(30);
    QCOMPARE(w->slider_box(1)->text(), QString("0.030"));
    clipboard_untouched("after Prepare");

    w->findChild<QPushButton*>("button_search")->click();
    const auto& peaks = f->s.measured.peaks;
    QCOMPARE(peaks.size(), 2 * lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      QCOMPARE(peaks[2 * i].line_code, 2);
      QCOMPARE(peaks[2 * i + 1].line_code, 3);
      QVERIFY2(std::fabs(peaks[2 * i].two_theta - lines[i]) < 0.005, "Kα1 off its centre");
    }
    // Grid rows in the colours of their codes; the main window shows the same peaks.
    QCOMPARE(w->peak_grid()->item(0, 0)->foreground().color(), QColor(Qt::blue));
    QCOMPARE(w->peak_grid()->item(1, 0)->foreground().color(), QColor(Qt::red));
    QCOMPARE(w->count_label()->text(), QString("Nb of selected peaks: %1").arg(peaks.size()));
    QCOMPARE(f->w->measured_tab()->grid()->item(0, 0)->text().trimmed(),
             QString::number(peaks[0].two_theta, 'f', 3));
    QVERIFY(colour_count(w->image(), Qt::red) > 0);
    clipboard_untouched("after Search");

    // Peak Kill keeping K Alpha and K Alpha1.
    w->keep_box(0)->setChecked(true);
    w->keep_box(1)->setChecked(true);
    w->action("action_peak_kill")->trigger();
    QVERIFY(w->kill_panel()->isVisibleTo(w));
    QVERIFY(!w->search_panel()->isVisibleTo(w));
    w->findChild<QPushButton*>("button_kill_ok")->click();
    QCOMPARE(peaks.size(), lines.size());
    for (const auto& p : peaks) QCOMPARE(p.line_code, 2);
    QCOMPARE(f->w->measured_tab()->grid()->item(int(lines.size()) - 1, 0)->text().trimmed(),
             QString::number(peaks.back().two_theta, 'f', 3));
    QVERIFY(f->w->measured_tab()->grid()->item(int(lines.size()), 0)->text().trimmed().isEmpty());
    QCOMPARE(colour_count(w->image(), Qt::red), 0);
    clipboard_untouched("after Peak Kill");
  }

  // Fit, from its button after a search: every line moves to its fitted Kα1 position with
  // an error and keeps its code, the Kα2 lines sit where their doublet puts them, the
  // summary says how many were fitted, the model and the stripped pattern are drawn in
  // their own colours, and Ctrl+Z gives the searched positions back.
  void fitMovesThePeaksAndDrawsTheModel() {
    load();
    w->peak_search();
    w->findChild<QPushButton*>("button_search")->click();
    const std::vector<MeasuredPeak> searched = f->s.measured.peaks;
    QCOMPARE(searched.size(), 2 * lines.size());
    const QColor orange(255, 140, 0), teal(0, 128, 128);
    QCOMPARE(colour_count(w->image(), orange), 0);

    w->findChild<QPushButton*>("button_peak_fit")->click();
    const auto& peaks = f->s.measured.peaks;
    QCOMPARE(peaks.size(), searched.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      const MeasuredPeak& k1 = peaks[2 * i];
      const MeasuredPeak& k2 = peaks[2 * i + 1];
      QCOMPARE(k1.line_code, 2);
      QCOMPARE(k2.line_code, 3);
      QVERIFY2(k1.sigma > 0 && k1.sigma < 0.001, qPrintable(QString::number(k1.sigma)));
      QVERIFY2(std::fabs(k1.two_theta - lines[i]) < 0.0005, qPrintable(QString::number(k1.two_theta)));
      const double pi = std::acos(-1.0);
      const double k2_expected =
          360 / pi * std::asin(std::sin(lines[i] * pi / 360) * 1.544414 / 1.540593);
      QVERIFY2(std::fabs(k2.two_theta - k2_expected) < 0.001, qPrintable(QString::number(k2.two_theta)));
      QVERIFY(std::fabs(k1.fwhm - 0.08) < 0.005);
    }
    QVERIFY2(w->fit_label()->text().startsWith(QString("%1 of %1 peaks fitted, worst reduced chi2 ")
                                                   .arg(peaks.size())),
             qPrintable(w->fit_label()->text()));
    QVERIFY(colour_count(w->image(), orange) > 100);
    // The main window holds the fitted positions.
    QCOMPARE(f->w->measured_tab()->grid()->item(0, 0)->text().trimmed(),
             QString::number(peaks[0].two_theta, 'f', 3));

    QCOMPARE(colour_count(w->image(), teal), 0);
    w->action("action_stripped")->trigger();
    QVERIFY(w->action("action_stripped")->isChecked());
    QVERIFY(colour_count(w->image(), teal) > 100);

    w->action("action_undo_peaks")->trigger();
    QCOMPARE(peaks.size(), searched.size());
    for (size_t i = 0; i < peaks.size(); ++i) {
      QCOMPARE(peaks[i].two_theta, searched[i].two_theta);
      QCOMPARE(peaks[i].sigma, 0.0);
    }
    clipboard_untouched("after Fit");
  }

  void secondDerivativeDrawnOnlyWhenAsked() {
    load();
    const QColor fuchsia(255, 0, 255);
    w->set_derivee_seconde();  // checked before any Peak Search: nothing to draw
    QCOMPARE(colour_count(w->image(), fuchsia), 0);
    w->peak_search();
    QVERIFY(colour_count(w->image(), fuchsia) > 0);
    w->fin_de_search();
    QCOMPARE(colour_count(w->image(), fuchsia), 0);
    QVERIFY(w->action("action_derivative")->isChecked());
    clipboard_untouched("after drawing the derivative");
  }

  void measuringAndZoomingWithTheMouse() {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    load();
    QLabel* img = w->image_label();
    QVERIFY(w->view().mapping.has_value());
    const Mapping map = *w->view().mapping;
    const int x = map.x_of(lines[0]);
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(x, 100));
    QCOMPARE(f->s.measured.peaks.size(), size_t(1));
    QCOMPARE(f->s.measured.peaks[0].line_code, 1);
    QVERIFY(std::fabs(f->s.measured.peaks[0].two_theta - lines[0]) < 2 / map.scale_x);
    QCOMPARE(f->w->measured_tab()->grid()->item(0, 0)->text().trimmed(),
             QString::number(f->s.measured.peaks[0].two_theta, 'f', 3));
    // A right click 5 pixels away hits nothing; 3 pixels away deletes it.
    QTest::mouseClick(img, Qt::RightButton, {}, QPoint(x + 5, 100));
    QCOMPARE(f->s.measured.peaks.size(), size_t(1));
    QTest::mouseClick(img, Qt::RightButton, {}, QPoint(x + 3, 100));
    QCOMPARE(f->s.measured.peaks.size(), size_t(0));
    clipboard_untouched("after measuring");

    // A grid double click deletes that row's peak.
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(x, 100));
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(map.x_of(lines[1]), 100));
    QCOMPARE(f->s.measured.peaks.size(), size_t(2));
    emit w->peak_grid()->cellDoubleClicked(0, 0);
    QCOMPARE(f->s.measured.peaks.size(), size_t(1));
    QVERIFY(std::fabs(f->s.measured.peaks[0].two_theta - lines[1]) < 2 / map.scale_x);

    // Dragging zooms onto the first doublet; the range boxes follow.
    const int x0 = map.x_of(lines[0] - 0.5), x1 = map.x_of(lines[0] + 0.5);
    QTest::mousePress(img, Qt::LeftButton, {}, QPoint(x0, 50));
    QTest::mouseMove(img, QPoint(x1, 150));
    clipboard_untouched("while dragging");
    QTest::mouseRelease(img, Qt::LeftButton, {}, QPoint(x1, 150));
    QVERIFY(std::fabs(f->s.range_min - (lines[0] - 0.5)) < 0.1);
    QVERIFY(std::fabs(f->s.range_max - (lines[0] + 0.5)) < 0.1);
    QCOMPARE(w->range_box(0)->text(), QString::fromStdString(format_fixed(f->s.range_min, 8, 2)));
    clipboard_untouched("after zooming");
    w->reset_diagramme();
    QCOMPARE(f->s.range_min, f->s.window_min);
    QCOMPARE(f->s.range_max, f->s.window_max);

    // Only Copy puts the drawing on the clipboard.
    w->copy_image();
    QCOMPARE(QApplication::clipboard()->image().size(), w->image().size());
  }

  void newRangeValidatesFirst() {
    load();
    f->s.measured.peaks = {{50.0, 50.0, 10.0, 1}};
    const double lo = f->s.range_min, hi = f->s.range_max;
    w->range_box(0)->setText("60");
    w->range_box(1)->setText("50");
    w->findChild<QPushButton*>("button_new_range")->click();
    QCOMPARE(f->m.texts().back(), std::string("Theta max error "));
    QCOMPARE(f->s.measured.peaks.size(), size_t(1));
    QCOMPARE(f->s.range_min, lo);
    QCOMPARE(f->s.range_max, hi);
    w->range_box(0)->setText("45");
    w->range_box(1)->setText("60");
    w->findChild<QPushButton*>("button_new_range")->click();
    QCOMPARE(f->s.range_min, 45.0);
    QCOMPARE(f->s.range_max, 60.0);
    QVERIFY(f->s.measured.peaks.empty());
    QVERIFY(f->s.profile.points.front().two_theta >= 45);
    QVERIFY(f->s.profile.points.back().two_theta <= 60);
    QCOMPARE(f->w->range_min_box()->text().trimmed(), QString("45.00"));
  }

  // The peak file name becomes the saved file only once the file is written.
  void savedNameRecordedAfterTheWrite() {
    load();
    f->s.measured.peaks = {{50.0, 50.0, 10.0, 1}};
    f->s.measured.file_name = "before";
    const std::string target = dir->path("peaks").toStdString();
    struct Step {
      std::string chosen;
      std::vector<Answer> answers;
      std::string name_after;
    } steps[] = {
        {dir->path("no/such/folder/peaks").toStdString(), {}, "before"},
        {target, {}, target + ".dif"},
    };
    for (const Step& s : steps) {
      dialogs.answers = {s.chosen};
      f->m.answers = {s.answers.begin(), s.answers.end()};
      w->sauve_brucker_dif();
      QCOMPARE(f->s.measured.file_name, s.name_after);
    }
    // Refusing to overwrite leaves the name of the last written file.
    f->s.measured.file_name = "before";
    dialogs.answers = {target + ".dif"};
    f->m.answers = {Answer::No};
    w->sauve_brucker_dif();
    QCOMPARE(f->s.measured.file_name, std::string("before"));
    // Nothing to save: the message, no dialog.
    w->efface_mesures();
    dialogs.titles.clear();
    w->sauve_column_dif();
    QCOMPARE(f->m.texts().back(), std::string("No measured reflection angles!"));
    QVERIFY(dialogs.titles.empty());
    // The profile saves the same way; deleting the diagram blanks the image.
    dialogs.answers = {dir->path("prof").toStdString()};
    w->sauve_bruker_raw();
    QCOMPARE(f->s.saved_profile_name, dir->path("prof").toStdString() + ".raw");
    QCOMPARE(f->s.profile.file_name, dir->path("si.xy").toStdString());
    w->efface_fichier();
    QVERIFY(f->s.profile.points.empty());
    clipboard_untouched("after saving");
  }
};

QTEST_MAIN(TestProfileWindow)
#include "test_profile_window.moc"

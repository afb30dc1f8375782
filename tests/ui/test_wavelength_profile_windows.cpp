// The wavelength window and the profile window as a user meets them, on shown windows
// with focus: a pattern without a wavelength opened from the main window's menu and
// from the profile window's menu, a source refused and chosen again, the peak list
// undone with Ctrl+Z, the column and profile saves, F1, the help text beside the
// search panel, deleting the diagram and the diagram window's comings and goings.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <fstream>
#include <functional>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "support/scripted_file_dialogs.hpp"
#include "ui/help_window.hpp"
#include "ui/tflilambda.hpp"
#include "ui/tform6.hpp"
#include "ui/tform7.hpp"
#include "ui/widget_helpers.hpp"
#include "ui_driver.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

// A LiF-like pattern, our own: two Gaussian lines (38.69° and 44.97°, FWHM 0.1°) on a
// flat background, 35..50° in steps of 0.02°, written as a plain two-column .xy.
void write_pattern(const QString& path) {
  std::ofstream f(path.toStdString());
  const double sigma = 0.1 / 2.3548;
  for (int i = 0; i <= 750; ++i) {
    const double x = 35 + i * 0.02;
    const double y = 50 + 3000 * std::exp(-0.5 * std::pow((x - 38.69) / sigma, 2)) +
                     5000 * std::exp(-0.5 * std::pow((x - 44.97) / sigma, 2));
    f << x << ' ' << y << '\n';
  }
}

// What the user does inside the modal wavelength window, step by step, once it is up
// and active. Runs from the event loop of the window's own exec().
struct InsideWavelengthWindow {
  Tflilambda* d;
  std::vector<std::function<void()>> steps;
  bool reached = false;
  void arm() {
    QTimer::singleShot(0, d, [this] {
      // As a window system does: the window shown becomes active and its first
      // control takes the focus.
      QApplication::setActiveWindow(d);
      reached = d->isVisible() && QTest::qWaitForWindowActive(d) &&
                QTest::qWaitFor([this] { return d->isAncestorOf(QApplication::focusWidget()); });
      if (reached)
        for (auto& step : steps) step();
      if (d->isVisible()) d->close();  // a test that forgot to close it must not hang
    });
  }
};

// Rows of a grid whose first cell holds an angle.
int filled_rows(QTableWidget* grid) {
  int n = 0;
  for (int r = 0; r < grid->rowCount(); ++r) {
    bool number = false;
    if (QTableWidgetItem* it = grid->item(r, 0)) it->text().trimmed().toDouble(&number);
    n += number;
  }
  return n;
}

}  // namespace

class TestWavelengthProfileWindows : public QObject {
  Q_OBJECT

  std::unique_ptr<TempCurrentFolder> dir;
  std::unique_ptr<MainWindowFixture> f;
  ScriptedFileDialogs dialogs;

  Tflilambda* lambda() { return f->w->lambda_window(); }
  TForm7* profile() { return f->w->profile_window(); }

  // The profile window opened by "Diagram" of the measured tab, shown and active.
  void open_profile_window() {
    f->w->tabs()->setCurrentIndex(Tform1::kMeasuredTab);
    click(f->w->measured_tab()->findChild<QPushButton*>("button_diagram_peaks"));
    profile()->resize(1020, 600);
    QVERIFY(QTest::qWaitForWindowActive(profile()));
  }

  // The wavelength window answered with a click on `source` and OK.
  InsideWavelengthWindow choosing(const QString& source) {
    InsideWavelengthWindow in{lambda(), {}};
    Tflilambda* d = lambda();
    in.steps.push_back([d, source] {
      QVERIFY(click_item(d->source_list(), source));
      click(d->ok_button());
    });
    return in;
  }

  // The pattern read through the main window's File > Open > Profile File, copper
  // chosen in the wavelength window.
  void load_from_main_menu(const QString& name) {
    InsideWavelengthWindow in = choosing("Cu");
    in.arm();
    dialogs.answers.push_back(dir->path(name).toStdString());
    f->w->action(QString::fromStdString(
                     profile_action_name("open", profile_format(ProfileFileType::Column))))
        ->trigger();
    settle();
    QVERIFY(in.reached);
  }

  void open_in_profile_window(const QString& name) {
    dialogs.answers.push_back(dir->path(name).toStdString());
    profile()->action("action_open_profile_column")->trigger();
    settle();
  }

 private slots:
  void init() {
    dir = std::make_unique<TempCurrentFolder>();
    f = std::make_unique<MainWindowFixture>(true);
    dialogs = ScriptedFileDialogs{};
    f->w->set_file_dialogs(&dialogs);
    write_pattern(dir->path("lif.xy"));
    write_pattern(dir->path("lif2.xy"));
  }
  void cleanup() {
    f.reset();
    dir.reset();
  }

  // Opened from File > Open > Profile File, the window comes up with nothing chosen
  // although the list takes the focus; OK then is "Lambda error!" and the window stays;
  // a click on "Cu" fills the boxes, and OK loads the pattern with copper's values.
  void wavelengthWindowStartsWithNothingChosen() {
    Tflilambda* d = lambda();
    InsideWavelengthWindow in{d, {}};
    bool nothing_chosen = false, boxes_hidden = false, stayed = false;
    QString l1, l2, l;
    in.steps.push_back([&] {
      nothing_chosen = d->source_list()->selectedItems().isEmpty();
      boxes_hidden = d->lambda_box()->isHidden() && d->lambda1_box()->isHidden() &&
                     d->lambda2_box()->isHidden();
      click(d->ok_button());
      stayed = d->isVisible();
      QVERIFY(click_item(d->source_list(), "Cu"));
      l1 = d->lambda1_box()->text();
      l2 = d->lambda2_box()->text();
      l = d->lambda_box()->text();
      click(d->ok_button());
    });
    in.arm();
    dialogs.answers = {dir->path("lif.xy").toStdString()};
    f->w->action(QString::fromStdString(
                     profile_action_name("open", profile_format(ProfileFileType::Column))))
        ->trigger();
    settle();
    QVERIFY(in.reached);
    QVERIFY(d->isModal());
    QVERIFY(nothing_chosen);
    QVERIFY(boxes_hidden);
    QVERIFY(stayed);
    QCOMPARE(f->m.texts(), std::vector<std::string>{"Lambda error!"});
    QCOMPARE(l1.trimmed(), QString("1.54056"));
    QCOMPARE(l2.trimmed(), QString("1.54439"));
    QCOMPARE(l.trimmed(), QString("1.54180"));
    QVERIFY(!d->isVisible());
    QCOMPARE(f->s.profile.wavelengths.lambda, 1.5418);
    QCOMPARE(f->s.profile.wavelengths.anode, std::string("Cu"));
    QCOMPARE(f->s.wavelengths.lambda, 1.5418);
  }

  // The profile window's File > Open asks the real wavelength window for every file
  // that holds no wavelength, each time, whatever was chosen before.
  void profileWindowAsksForEachFileWithoutWavelength() {
    open_profile_window();
    struct Case {
      const char* file;
      const char* source;
      double lambda;
    } cases[] = {{"lif.xy", "Cu", 1.5418}, {"lif2.xy", "Cu", 1.5418}, {"lif.xy", "Cu", 1.5418}};
    for (const Case& c : cases) {
      InsideWavelengthWindow in = choosing(c.source);
      in.arm();
      open_in_profile_window(c.file);
      QVERIFY2(in.reached, c.file);
      QCOMPARE(f->s.profile.file_name, dir->path(c.file).toStdString());
      QCOMPARE(f->s.profile.wavelengths.lambda, c.lambda);
      QCOMPARE(lambda()->target(), 2);
    }
    QVERIFY(f->m.texts().empty());
  }

  // A source other than the measured peaks' one is refused with the message and the
  // window stays open for another choice; the right one then loads the pattern.
  void refusedSourceKeepsTheWindowOpen() {
    {
      std::ofstream peaks(dir->path("lif.prn").toStdString());
      peaks << "38.70\n44.97\n";
      peaks.close();
      InsideWavelengthWindow in = choosing("Cu");
      in.arm();
      dialogs.answers = {dir->path("lif.prn").toStdString()};
      f->w->action("action_open_peaks_column")->trigger();
      settle();
      QVERIFY(in.reached);
    }
    QVERIFY2(f->m.texts().empty(), f->m.texts().empty() ? "" : f->m.texts()[0].c_str());
    QCOMPARE(f->s.measured.peaks.size(), size_t(2));
    QCOMPARE(f->s.measured.wavelengths.lambda, 1.5418);
    open_profile_window();
    f->m.clear();
    Tflilambda* d = lambda();
    InsideWavelengthWindow in{d, {}};
    std::vector<bool> open_after;
    for (const char* source : {"Co", "Mo", "Cu"})
      in.steps.push_back([&, source] {
        QVERIFY(click_item(d->source_list(), source));
        click(d->ok_button());
        open_after.push_back(d->isVisible());
      });
    in.arm();
    open_in_profile_window("lif.xy");
    QVERIFY(in.reached);
    QCOMPARE(open_after, (std::vector<bool>{true, true, false}));
    const std::string mismatch =
        "The wavelength read in the file is different from the wavelength of the measured peaks";
    QCOMPARE(f->m.texts(), (std::vector<std::string>{mismatch, mismatch}));
    QCOMPARE(f->s.profile.wavelengths.anode, std::string("Cu"));
    QCOMPARE(f->s.profile.file_name, dir->path("lif.xy").toStdString());
  }

  // A stray click on the image adds a peak; Ctrl+Z takes it back, again puts it back;
  // the main window's measured grid undoes the same list.
  void ctrlZUndoesTheLastChangeOfThePeaks() {
    open_profile_window();
    load_from_main_menu("lif.xy");
    QLabel* img = profile()->image_label();
    QVERIFY(profile()->view().mapping.has_value());
    const Mapping map = *profile()->view().mapping;
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(map.x_of(38.69), 100));
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(map.x_of(44.97), 100));
    QCOMPARE(f->s.measured.peaks.size(), size_t(2));
    const double second = f->s.measured.peaks[1].two_theta;

    struct Step {
      QWidget* target;  // where the keys go
      size_t peaks;     // peaks afterwards
      int grid_rows;    // filled rows of the profile window's grid
    };
    QTableWidget* main_grid = f->w->measured_tab()->grid();
    const Step steps[] = {
        {profile(), 1, 1},
        {profile(), 2, 2},
        {profile(), 1, 1},
        {main_grid, 2, 2},
        {main_grid, 1, 1},
    };
    int n = 0;
    for (const Step& s : steps) {
      s.target->window()->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(s.target->window()));
      s.target->setFocus();
      settle();
      QTest::keyClick(s.target, Qt::Key_Z, Qt::ControlModifier);
      settle();
      QVERIFY2(f->s.measured.peaks.size() == s.peaks, qPrintable(QString::number(n)));
      QCOMPARE(filled_rows(profile()->peak_grid()), s.grid_rows);
      QCOMPARE(filled_rows(main_grid), s.grid_rows);
      ++n;
    }
    QVERIFY(std::fabs(f->s.measured.peaks[0].two_theta - 38.69) < 2 / map.scale_x);
    QVERIFY(second > 44);
  }

  // The column save of the profile window writes 2θ (11:6) and the intensity (12:3);
  // saving the profile writes a copy and leaves the window on the file it read.
  void savesWriteWhatTheWindowShows() {
    open_profile_window();
    load_from_main_menu("lif.xy");
    f->s.measured.peaks = {{38.6912, 38.6912, 61.25, 1}, {44.97, 44.97, 100, 2}};
    profile()->redisplay();

    dialogs.answers = {dir->path("peaks").toStdString()};
    profile()->action("action_save_prn")->trigger();
    settle();
    QCOMPARE(QString::fromStdString(read_file_bytes(dir->path("peaks.prn").toStdString())),
             QString("  38.691200      61.250\r\n  44.970000     100.000\r\n"));

    const std::string loaded = dir->path("lif.xy").toStdString();
    struct Case {
      const char* action;
      const char* chosen;
      const char* written;
    } cases[] = {{"action_save_raw", "copy", "copy.raw"}, {"action_save_cpi", "copy", "copy.cpi"}};
    for (const Case& c : cases) {
      dialogs.answers = {dir->path(c.chosen).toStdString()};
      profile()->action(c.action)->trigger();
      settle();
      QVERIFY2(QFile::exists(dir->path(c.written)), c.written);
      QCOMPARE(f->s.saved_profile_name, dir->path(c.written).toStdString());
      QCOMPARE(f->s.profile.file_name, loaded);
      QVERIFY(profile()->findChild<QLabel*>("label_caption")->text().endsWith("lif.xy"));
    }
  }

  // F1 in the profile window opens its help topic, which lists every profile kind of
  // the format table.
  void f1OpensTheProfileHelpWithEveryKind() {
    open_profile_window();
    profile()->peak_grid()->setFocus();
    settle();
    QTest::keyClick(profile()->peak_grid(), Qt::Key_F1);
    settle();
    HelpWindow* help = f->w->help_window();
    QVERIFY(help->isVisible());
    QCOMPARE(help->current_topic(), 4);
    const QString page = help->browser()->toPlainText();
    for (const ProfileFormat& k : kProfileFormats) {
      QVERIFY2(page.contains(QString::fromStdString(profile_format_name(k))),
               qPrintable(QString::fromStdString(profile_format_name(k))));
      for (const ProfileExtension& e : k.extensions)
        if (!e.name.empty())
          QVERIFY(page.contains("*" + QString::fromUtf8(e.name.data(), int(e.name.size()))));
    }
  }

  // With the search panel open, the help text wraps between words only and does not run
  // under the panel.
  void helpTextStaysReadableBesideTheSearchPanel() {
    open_profile_window();
    load_from_main_menu("lif.xy");
    click(profile()->findChild<QPushButton*>("button_peak_search"));
    QVERIFY(profile()->search_panel()->isVisible());
    settle();
    QPlainTextEdit* help = profile()->help_text();
    const QFontMetrics fm(help->font());
    QVERIFY(help->width() >= fm.horizontalAdvance("To make a zoom, press the left"));
    // Every line the text is wrapped into ends at a blank: no word is split.
    for (QTextBlock b = help->document()->begin(); b.isValid(); b = b.next()) {
      QTextLayout* l = b.layout();
      if (!l) continue;
      for (int i = 0; i + 1 < l->lineCount(); ++i) {
        const QTextLine line = l->lineAt(i);
        const QString text = b.text();
        const int end = line.textStart() + line.textLength();
        QVERIFY2(end > 0 && end <= text.size() && text[end - 1].isSpace(), qPrintable(text));
      }
    }
    // Every box beside the panel shows its text whole (the range "  100.00", the
    // contamination wavelength "1.39222"): the text fits the box's contents rectangle.
    for (QLineEdit* e : profile()->findChildren<QLineEdit*>()) {
      if (!e->isVisible() || e->text().isEmpty()) continue;
      QStyleOptionFrame option;
      option.initFrom(e);
      option.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, e);
      const QRect contents =
          e->style()->subElementRect(QStyle::SE_LineEditContents, &option, e)
              .marginsRemoved(e->textMargins());
      QVERIFY2(e->fontMetrics().horizontalAdvance(e->text()) <= contents.width() - 4,
               qPrintable(e->objectName() + ": " + e->text()));
    }
    const QRect panel(profile()->search_panel()->mapTo(profile(), QPoint()),
                      profile()->search_panel()->size());
    const QRect text(help->mapTo(profile(), QPoint()), help->size());
    QVERIFY(!panel.intersects(text));
  }

  // Delete empties the grid and blacks the image, the peaks staying in the list; the
  // diagram window is hidden while the profile window is open, even when the main
  // window is activated, and Close or Quit bring it back.
  void deleteAndTheDiagramWindow() {
    Tform6* diagram = f->w->diagram_window();
    QVERIFY(diagram->isVisible());
    for (const char* leave : {"action_close", "action_quit"}) {
      open_profile_window();
      QVERIFY2(!diagram->isVisible(), leave);
      f->w->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(f->w.get()));
      settle();
      QVERIFY2(!diagram->isVisible(), leave);
      profile()->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(profile()));
      profile()->action(leave)->trigger();
      settle();
      QVERIFY2(!profile()->isVisible(), leave);
      QVERIFY2(diagram->isVisible(), leave);
    }

    open_profile_window();
    load_from_main_menu("lif.xy");
    const Mapping map = *profile()->view().mapping;
    QTest::mouseClick(profile()->image_label(), Qt::LeftButton, {}, QPoint(map.x_of(44.97), 100));
    QCOMPARE(f->s.measured.peaks.size(), size_t(1));
    click(profile()->findChild<QPushButton*>("button_delete_diagram"));
    QVERIFY(f->s.profile.points.empty());
    QCOMPARE(f->s.measured.peaks.size(), size_t(1));
    const auto not_black = [this] {
      const QImage& img = profile()->image();
      int n = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) != QColor(Qt::black);
      return n;
    };
    QCOMPARE(not_black(), 0);
    QTableWidget* grid = profile()->peak_grid();
    QCOMPARE(grid->horizontalHeaderItem(0)->text(), QString("2Theta"));
    QCOMPARE(filled_rows(grid), 0);
    QCOMPARE(filled_rows(f->w->measured_tab()->grid()), 1);  // the list keeps the peak
    // Opened again, or a pattern read in the main window, and it shows all once more.
    profile()->action("action_close")->trigger();
    open_profile_window();
    QCOMPARE(filled_rows(grid), 1);
    click(profile()->findChild<QPushButton*>("button_delete_diagram"));
    QCOMPARE(filled_rows(grid), 0);
    load_from_main_menu("lif2.xy");
    QCOMPARE(filled_rows(grid), 1);
    QVERIFY(not_black() > 0);
  }
};

QTEST_MAIN(TestWavelengthProfileWindows)
#include "test_wavelength_profile_windows.moc"

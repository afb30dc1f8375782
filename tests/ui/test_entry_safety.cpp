// Typed input that must not be lost or misread: retyped boxes, the measured grid after
// an error, quitting with unsaved peaks; and the small window fixes around them (the
// shift panel, grid fonts, print names, keys).
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QFileInfo>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QTextBrowser>

#include "commands/save_peaks.hpp"
#include "core/session.hpp"
#include "support/recording_messages.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/help_window.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/printing.hpp"
#include "ui/report_viewer.hpp"
#include "ui_driver.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

// Messages as the real ones behave: each error is a modal box, run in its own event
// loop, that the user closes with OK.
struct ModalMessages : RecordingMessages {
  void error(std::string_view text) override {
    RecordingMessages::error(text);
    QDialog box(QApplication::activeWindow());
    QTimer::singleShot(0, &box, &QDialog::accept);
    box.exec();
  }
};

}  // namespace

class TestEntrySafety : public QObject {
  Q_OBJECT

  struct GridFixture {
    WorkSession s;
    ModalMessages m;
    QWidget window;
    QLineEdit* lambda = nullptr;
    MeasuredTabWidget* measured = nullptr;
    GridFixture() {
      auto* layout = new QVBoxLayout(&window);
      lambda = new QLineEdit(&window);
      measured = new MeasuredTabWidget(s, m, lambda, &window);
      layout->addWidget(lambda);
      layout->addWidget(measured);
      window.show();
      window.activateWindow();
      [[maybe_unused]] bool active = QTest::qWaitForWindowActive(&window);
    }
    QTableWidget* grid() const { return measured->grid(); }
    void key(Qt::Key k) {
      QWidget* w = QApplication::focusWidget();
      QTest::keyClick(w ? w : grid(), k);
      QApplication::processEvents();
    }
    void type(const QString& text) {
      for (QChar ch : text) {
        QWidget* w = QApplication::focusWidget();
        QTest::keyClicks(w ? w : grid(), QString(ch));
      }
    }
  };

 private slots:
  void keyboard_entry_resumes_after_a_corrected_cell() {
    GridFixture f;
    f.lambda->setText("1.540593");
    f.measured->enter_refl_keyb();
    QApplication::processEvents();
    QTableWidget* grid = f.grid();
    grid->setCurrentCell(0, 0);
    for (const char* angle : {"28.442", "47.302", "56.121"}) {
      f.type(angle);
      f.key(Qt::Key_Return);
      f.key(Qt::Key_Down);
    }
    QCOMPARE(f.s.measured_count(), 3);
    f.type("zz");
    f.key(Qt::Key_Return);
    f.key(Qt::Key_Down);
    QCOMPARE(f.m.texts(), std::vector<std::string>{"Error at  row,4"});
    QCOMPARE(grid->currentRow(), 4);
    // More moves with the bad cell still there do not repeat the message.
    f.key(Qt::Key_Down);
    f.key(Qt::Key_Up);
    QCOMPARE(f.m.texts().size(), size_t(1));

    // The user clicks the bad cell.
    const QPoint at = grid->visualItemRect(grid->item(3, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
    QCOMPARE(f.m.texts().size(), size_t(1));
    QCOMPARE(grid->currentRow(), 3);
    f.type("69.131");
    f.key(Qt::Key_Return);
    f.key(Qt::Key_Down);
    QCOMPARE(grid->currentRow(), 4);
    QCOMPARE(f.s.measured_count(), 4);
    QCOMPARE(f.s.measured.peaks[3].two_theta, 69.131);
    f.type("76.377");
    f.key(Qt::Key_Return);
    f.key(Qt::Key_Down);
    QCOMPARE(grid->currentRow(), 5);
    QCOMPARE(f.s.measured_count(), 5);
  }

  // A box showing the stored wavelength rounded to five decimals: left alone it keeps
  // the stored value, retyped with the same digits it is the typed value.
  void retyped_boxes_are_read_as_typed() {
    TempCurrentFolder dir;
    {
      MainWindowFixture f(true);
      f.s.wavelengths.lambda = kCuKa1;
      f.w->refresh(Changed::CurrentValues);
      QLineEdit* box = f.w->lambda_box();
      QCOMPARE(box->text().trimmed(), QString("1.54059"));
      box->setFocus();
      settle();
      f.w->measured_tab()->keyboard_button()->setFocus();  // passing through
      settle();
      QCOMPARE(f.s.wavelengths.lambda, kCuKa1);
      type_into(box, "1.54059");
      f.w->measured_tab()->keyboard_button()->setFocus();
      settle();
      QCOMPARE(f.s.wavelengths.lambda, 1.54059);
    }
    {
      // The cell tab's wavelength field, retyped as shown, then "Calc.".
      MainWindowFixture f(true);
      f.s.wavelengths.lambda = kCuKa1;
      f.w->cell_tab()->field(6)->setText(" 1.54059");
      enter_cell(*f.w, "Cubic", "F d -3 m:2", "5.431194", "1.54059", "20", "90");
      QCOMPARE(f.s.wavelengths.lambda, 1.54059);
      QCOMPARE(f.s.cell.a, kSiliconA);
    }
  }

  // Quitting with typed peaks asks first; peaks a file holds go without a word.
  void quitting_asks_before_losing_typed_peaks() {
    TempCurrentFolder dir;
    MainWindowFixture f(true);
    Tform1& w = *f.w;
    type_peaks(w, "1.540593", {28.442, 47.302, 56.121});
    QCOMPARE(f.s.measured_count(), 3);
    f.m.clear();
    f.m.answers = {Answer::No};
    w.action("action_exit")->trigger();
    settle();
    QVERIFY(w.isVisible());
    QCOMPARE(f.m.texts(), std::vector<std::string>{kUnsavedWorkQuestion});
    QCOMPARE(f.s.measured_count(), 3);
    f.m.answers = {Answer::Cancel};
    QVERIFY(!w.close());  // the window's own close button
    QVERIFY(w.isVisible());
    f.m.answers = {Answer::Yes};
    w.action("action_file_exit")->trigger();
    QVERIFY(!w.isVisible());

    // Saved: quitting says nothing.
    w.show();
    settle();
    QCOMPARE(save_column_dif(f.s, f.m, dir.path("peaks.prn").toStdString()), Changed::MeasuredPeaks);
    f.m.clear();
    w.action("action_exit")->trigger();
    QVERIFY(!w.isVisible());
    QVERIFY(f.m.empty());
  }

  // The panel floats over the grids: none of what lies beneath may show through.
  void shift_panel_paints_its_background() {
    QWidget under;
    under.resize(400, 300);
    QPalette red = under.palette();
    red.setColor(QPalette::Window, Qt::red);
    under.setPalette(red);
    under.setAutoFillBackground(true);
    ShiftModePanel* panel = new ShiftModePanel(&under);
    panel->move(40, 40);
    panel->resize(300, 140);
    under.show();
    QVERIFY(QTest::qWaitForWindowExposed(&under));
    const QImage image = under.grab().toImage();
    int red_pixels = 0;
    // Inside the frame, below the title.
    for (int y = panel->y() + 30; y < panel->y() + panel->height() - 6; ++y)
      for (int x = panel->x() + 6; x < panel->x() + panel->width() - 6; ++x)
        red_pixels += image.pixelColor(x, y) == QColor(Qt::red);
    QCOMPARE(red_pixels, 0);
  }

  void grid_font_is_chosen_by_its_advances() {
    // The chooser takes the first family that passes, skipping the others.
    QStringList asked;
    const auto only_beta = [&](const QFont& f) {
      asked << f.family();
      return f.family() == "Beta Mono";
    };
    QFont f = choose_fixed_pitch_font({"Alpha Sans", "Beta Mono", "Gamma Mono"}, 9, only_beta);
    QCOMPARE(f.family(), QString("Beta Mono"));
    QCOMPARE(f.pointSizeF(), 9.0);
    QCOMPARE(asked, (QStringList{"Alpha Sans", "Beta Mono"}));
    // None passes: the system's fixed font, at the size asked.
    f = choose_fixed_pitch_font({"Alpha Sans"}, 8, [](const QFont&) { return false; });
    QCOMPARE(f.pointSizeF(), 8.0);
    // Whatever the machine, the grids' font lines columns up.
    QVERIFY(has_even_advances(grid_font()));
    const QFontMetricsF metrics(grid_font());
    QCOMPARE(metrics.horizontalAdvance(" 28.442"), metrics.horizontalAdvance("iiiiMMM"));
  }

  void print_screen_proposes_a_writable_name() {
    TempCurrentFolder dir;
    struct Case { QString title, file; };
    const Case cases[] = {
        {"VORNAX V3 (17/10/03)", "VORNAX V3 (17-10-03).pdf"},
        {"a\\b:c*d?e\"f<g>h|i", "a-b-c-d-e-f-g-h-i.pdf"},
        {"  ../up", "-up.pdf"},
        {"", "screen.pdf"},
        {"tab\there", "tab-here.pdf"},
    };
    for (const Case& c : cases) {
      const QString name = print_file_name(dir.path(), c.title);
      QCOMPARE(QFileInfo(name).fileName(), c.file);
      QCOMPARE(QFileInfo(name).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
      QFile file(name);
      QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name));
      file.close();
      file.remove();
    }
    // Without a folder: the current one.
    QCOMPARE(QFileInfo(print_file_name({}, "x")).absolutePath(),
             QFileInfo(QDir::currentPath()).absoluteFilePath());
  }

  void keys_f1_escape_and_ctrl_p() {
    TempCurrentFolder dir;
    MainWindowFixture f(true);
    Tform1& w = *f.w;
    HelpWindow* help = w.help_window();
    const int topics[] = {2, 3, 5, 6};
    for (int tab = 0; tab < 4; ++tab) {
      w.tabs()->setCurrentIndex(tab);
      QApplication::setActiveWindow(&w);
      QVERIFY(QTest::qWaitForWindowActive(&w));
      QTest::keyClick(&w, Qt::Key_F1);
      settle();
      QVERIFY2(f.m.empty(), f.m.empty() ? "" : f.m.texts()[0].c_str());
      QVERIFY(help->isVisible());
      QCOMPARE(help->current_topic(), topics[tab]);
    }
    QApplication::setActiveWindow(help);
    QVERIFY(QTest::qWaitForWindowActive(help));
    QTest::keyClick(help->browser(), Qt::Key_Escape);
    QVERIFY(!help->isVisible());

    QFile report(dir.path("report.out"));
    QVERIFY(report.open(QIODevice::WriteOnly));
    report.write("line\r\n");
    report.close();
    ReportViewer* viewer = w.report_viewer();
    QVERIFY(viewer->open_report(dir.path("report.out")));
    QApplication::setActiveWindow(viewer);
    QVERIFY(QTest::qWaitForWindowActive(viewer));
    bool print_dialog = false;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      print_dialog = qobject_cast<QPrintDialog*>(modal) != nullptr;
      if (modal) static_cast<QDialog*>(modal)->reject();
    });
    QTest::keyClick(viewer->editor(), Qt::Key_P, Qt::ControlModifier);
    settle();
    QVERIFY(print_dialog);
    QApplication::setActiveWindow(viewer);
    QTest::keyClick(viewer->editor(), Qt::Key_Escape);
    QVERIFY(!viewer->isVisible());
  }
};

QTEST_MAIN(TestEntrySafety)
#include "test_entry_safety.moc"

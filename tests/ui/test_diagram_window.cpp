// The diagram window driven with the mouse as a user does: zoom, scale, shift, pairing
// in the three modes, unpairing, Delete and Restore, retyped indices, the zero offset,
// and the clipboard that stays the user's.
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTableWidget>
#include <QtTest>

#include <cmath>

#include "commands/diagram_commands.hpp"
#include "core/cell.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/selection_tab_widget.hpp"
#include "ui/tform6.hpp"
#include "ui_driver.hpp"

using namespace vornax;

namespace {

constexpr double kA = 5.431194, kLambda = 1.540593;

// Silicon (diamond structure) reflections up to 100°, one per d, by angle; computed
// here from the cell, independently of the program's calculation.
CalculatedReflectionList silicon_reflections() {
  CalculatedReflectionList out;
  for (int h = 0; h <= 8; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        const bool odd = h % 2 && k % 2 && l % 2;
        const bool even = h % 2 == 0 && k % 2 == 0 && l % 2 == 0 && (h + k + l) % 4 == 0;
        const int n = h * h + k * k + l * l;
        if (n == 0 || (!odd && !even)) continue;
        const double d = kA / std::sqrt(double(n));
        if (kLambda / (2 * d) >= 1) continue;
        const double tt = 2 * std::asin(kLambda / (2 * d)) * 180 / std::acos(-1.0);
        if (tt > 100) continue;
        bool seen = false;
        for (const auto& r : out) seen = seen || std::fabs(r.d - d) < 1e-9;
        if (!seen) out.push_back({h, k, l, 0, d, tt});
      }
  std::sort(out.begin(), out.end(), [](auto& x, auto& y) { return x.two_theta < y.two_theta; });
  return out;
}

// The scratch folder becomes the current folder before the main window records it as
// the working folder (obs.txt goes there).
struct ScratchFirst {
  driver::TempCurrentFolder folder;
};

struct Window : ScratchFirst, driver::MainWindowFixture {
  Tform6* d = nullptr;

  Window() : MainWindowFixture(true) {
    s.wavelengths.lambda = kLambda;
    s.range_min = s.window_min = 20;
    s.range_max = s.window_max = 100;
    s.allowed = silicon_reflections();
    // The first five reflections measured 0.02° high, the sixth not measured.
    for (int i = 0; i < 5; ++i) {
      MeasuredPeak p;
      p.two_theta = p.two_theta_read = s.allowed[static_cast<size_t>(i)].two_theta + 0.02;
      p.intensity = 80;
      p.line_code = 1;
      s.measured.peaks.push_back(p);
    }
    d = w->diagram_window();
    d->show();
    d->resize(900, 330);
    [[maybe_unused]] bool shown = QTest::qWaitForWindowExposed(d);
    w->refresh(Changed::Everything);
    driver::settle();
  }
  const Mapping& map() const { return *d->view().mapping; }
  int x_of(double two_theta) const { return map().x_of(display_angle(s.angle_mode, two_theta)); }
  int above() const { return 30; }
  int below() const { return map().height - 10; }
  QWidget* image() const { return d->image_widget(); }
  void click_at(Qt::MouseButton b, int x, int y) {
    QTest::mousePress(image(), b, {}, QPoint(x, y));
    QTest::mouseRelease(image(), b, {}, QPoint(x, y));
    driver::settle();
  }
  void drag(int x0, int y0, int x1, int y1) {
    QTest::mousePress(image(), Qt::LeftButton, {}, QPoint(x0, y0));
    QTest::mouseMove(image(), QPoint(x1, y1));
    QTest::mouseRelease(image(), Qt::LeftButton, {}, QPoint(x1, y1));
    driver::settle();
  }
  void mode(int m) {
    w->tabs()->setCurrentIndex(Tform1::kSelectionTab);
    driver::click(w->selection_tab()->findChild<QRadioButton*>(QString("radio_mouse_mode%1").arg(m)));
  }
  QColor pixel(int x, int y) const { return QColor(d->image().pixel(x, y)); }
  QString selected_text(int row, int col) const {
    QTableWidgetItem* it = w->selection_tab()->selected_grid()->item(row, col);
    return it ? it->text().simplified() : QString();
  }
};

}  // namespace

class TestDiagramWindow : public QObject {
  Q_OBJECT
 private slots:
  void clipboardStaysTheUsersAcrossRedrawZoomAndTheDiagramButton() {
    Window f;
    QClipboard* clip = QApplication::clipboard();
    clip->setText("the user's text");
    f.w->refresh(Changed::Everything);
    f.drag(100, 40, 300, 40);
    QVERIFY(f.s.range_min > 20 && f.s.range_max < 100);  // the zoom did happen
    driver::click(f.d->findChild<QPushButton*>("button_reset_diagram"));
    QCOMPARE(f.s.range_min, 20.0);
    f.d->scale_control()->setValue(40);
    driver::click(f.w->measured_tab()->findChild<QPushButton*>("button_diagram_peaks"));
    QCOMPARE(clip->text(), QString("the user's text"));
    // "Copy" is the one command that puts the picture there.
    driver::click(f.d->findChild<QPushButton*>("button_copy_diagram"));
    QCOMPARE(clip->image().size(), f.d->image().size());
  }

  void zoomScaleAndShiftActOnTheValueBeforeThePress() {
    Window f;
    const int plot = f.map().height - kDiagramBottomMargin;
    // A 4-pixel release is a click, 5 pixels a zoom, right to left as left to right.
    f.drag(300, 40, 296, 40);
    QCOMPARE(f.s.range_max, 100.0);
    const double lo = f.map().angle_at(200), hi = f.map().angle_at(400);
    f.drag(400, plot / 2, 200, 20);
    QCOMPARE(f.s.range_min, lo);
    QCOMPARE(f.s.range_max, hi);
    QCOMPARE(f.d->view().vertical_factor, double(plot) / (plot - 20));
    QCOMPARE(f.d->scale_control()->value(), int(std::nearbyint(10.0 * plot / (plot - 20))));
    driver::click(f.d->findChild<QPushButton*>("button_reset_diagram"));
    QCOMPARE(f.d->scale_control()->value(), 10);

    // The arrow keys on the focused controls, as presses: each acts on the value the
    // control showed before it.
    f.d->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.d));
    QSpinBox* scale = f.d->scale_control();
    QScrollBar* shift = f.d->shift_control();
    struct Step {
      QWidget* control;
      int key;
      int shown;          // the control afterwards
      double s;           // vertical factor afterwards
      double range_min;   // entered 2θmin afterwards
    };
    const Step steps[] = {
        {scale, Qt::Key_Up, 15, 1.0, 20},
        {scale, Qt::Key_Up, 20, 1.5, 20},
        {scale, Qt::Key_Down, 15, 2.0, 20},
        {shift, Qt::Key_Right, 179, 2.0, 20},  // the first shift press moves nothing
        {shift, Qt::Key_Right, 178, 2.0, 19},  // 179 - 180
        {shift, Qt::Key_Left, 179, 2.0, 18},   // 178 - 179
        {shift, Qt::Key_Left, 180, 2.0, 19},   // 179 - 178
    };
    int n = 0;
    for (const Step& st : steps) {
      ++n;
      st.control->setFocus();
      QTest::keyClick(st.control, Qt::Key(st.key));
      driver::settle();
      const int shown = st.control == scale ? scale->value() : shift->value();
      QVERIFY2(shown == st.shown, qPrintable(QString::number(n)));
      QVERIFY2(f.d->view().vertical_factor == st.s, qPrintable(QString::number(n)));
      QVERIFY2(f.s.range_min == st.range_min, qPrintable(QString::number(n)));
      QVERIFY2(f.s.range_max == st.range_min + 80, qPrintable(QString::number(n)));
    }
    // Up to the top: the press that reaches 500 takes 49.5, a press at 500 nothing.
    scale->setValue(495);
    scale->setFocus();
    QTest::keyClick(scale, Qt::Key_Up);
    driver::settle();
    QCOMPARE(scale->value(), 500);
    QCOMPARE(f.d->view().vertical_factor, 49.5);
    QTest::keyClick(scale, Qt::Key_Up);
    driver::settle();
    QCOMPARE(scale->value(), 500);
    QCOMPARE(f.d->view().vertical_factor, 49.5);
  }

  // The press that brings the diagram window to the front starts the drag: the window
  // is activated between the press and the release, and the drag still zooms.
  void firstDragAfterActivationZooms() {
    Window f;
    f.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
    QVERIFY(!f.d->isActiveWindow());
    const double lo = f.map().angle_at(200), hi = f.map().angle_at(400);
    QTest::mousePress(f.image(), Qt::LeftButton, {}, QPoint(200, 40));
    driver::settle();
    QVERIFY(f.d->view().dragging);  // the press is in; the window is not active yet
    QVERIFY(!f.d->isActiveWindow());
    f.d->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.d));
    driver::settle();
    QTest::mouseMove(f.image(), QPoint(400, 40));
    QTest::mouseRelease(f.image(), Qt::LeftButton, {}, QPoint(400, 40));
    driver::settle();
    QCOMPARE(f.s.range_min, lo);
    QCOMPARE(f.s.range_max, hi);
    // A drag whose release this window never saw is forgotten on the next activation.
    QApplication::setActiveWindow(f.w.get());
    QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
    driver::settle();
    QVERIFY(!f.d->isActiveWindow());
    f.d->view().dragging = true;  // as a release lost to another window leaves it
    f.d->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.d));
    driver::settle();
    QVERIFY(!f.d->view().dragging);
  }

  // At the size the window opens with (1020 x 280), with the toolkit's font and with
  // one a quarter larger as desktops use: every control keeps its full size (the
  // window needs no more width), and each read-out the cursor produces fits the box's
  // text area as the line edit lays it out.
  void readoutAndControlsFitTheOpeningWidth() {
    for (double scale : {1.0, 1.25}) {
      Window f;
      QFont font = QApplication::font();
      font.setPointSizeF(font.pointSizeF() * scale);
      f.d->setFont(font);
      f.d->resize(1020, 280);
      driver::settle();
      const QString what = QString("font x%1").arg(scale);
      QVERIFY2(f.d->minimumSizeHint().width() <= 1020, qPrintable(what));
      QVERIFY2(f.d->width() == 1020, qPrintable(what));
      QLineEdit* box = f.d->readout();
      QStyleOptionFrame opt;
      opt.initFrom(box);
      opt.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box);
      const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
      const int room = contents.width() - box->textMargins().left() - box->textMargins().right() - 2 * 2;
      const QFontMetrics fm(box->font());
      const int width = f.image()->width();
      for (int x : {2, 40, width / 3, width / 2, width - 3}) {
        QTest::mouseMove(f.image(), QPoint(x, 50));
        driver::settle();
        const QString text = box->text();
        QVERIFY2(text.startsWith("2T="), qPrintable(what + " " + text));
        QVERIFY2(fm.horizontalAdvance(text) <= room,
                 qPrintable(what + QString(" '%1' %2 > %3").arg(text).arg(fm.horizontalAdvance(text)).arg(room)));
      }
    }
  }

  void readoutShowsAngleAndD() {
    Window f;
    const int x = f.x_of(f.s.allowed[0].two_theta);
    QTest::mouseMove(f.image(), QPoint(x, 50));
    driver::settle();
    const double a = f.map().angle_at(x);
    const double dd = kLambda / (2 * std::sin(a * std::acos(-1.0) / 360));
    QCOMPARE(f.d->readout()->text(), QString("2T=%1  d=%2").arg(a, 8, 'f', 2).arg(dd, 7, 'f', 3));
  }

  void pairMadeInMode2AppearsInSelectedReflections() {
    Window f;
    f.mode(2);
    const int xo = f.x_of(f.s.measured.peaks[1].two_theta);
    const int xc = f.x_of(f.s.allowed[1].two_theta);
    f.click_at(Qt::LeftButton, xo, f.above());
    QCOMPARE(f.s.selected_count(), 0);            // only a pending choice...
    QCOMPARE(f.pixel(xo, 3), QColor(Qt::red));     // ...drawn as a red line
    f.click_at(Qt::LeftButton, xc + 40, f.below());  // a miss adds nothing
    QCOMPARE(f.s.selected_count(), 0);
    f.click_at(Qt::LeftButton, xo, f.above());
    f.click_at(Qt::LeftButton, xc, f.below());
    QCOMPARE(f.s.selected_count(), 1);
    QCOMPARE(f.selected_text(0, 1), QString("2 2 0"));
    QCOMPARE(f.selected_text(0, 3), QString::number(f.s.allowed[1].two_theta, 'f', 3));
    QVERIFY(f.pixel(xo, 3) != QColor(Qt::red));
  }

  // Re-pairing a peak in Mode 2: its old pair leaves the grid with the first click,
  // the new one arrives with the second.
  void mode2FirstClickTakesTheOldPairAway() {
    Window f;
    f.mode(2);
    const int xo = f.x_of(f.s.measured.peaks[1].two_theta);
    f.click_at(Qt::LeftButton, xo, f.above());
    f.click_at(Qt::LeftButton, f.x_of(f.s.allowed[1].two_theta), f.below());
    QCOMPARE(f.s.selected_count(), 1);
    QCOMPARE(f.selected_text(0, 1), QString("2 2 0"));

    f.click_at(Qt::LeftButton, xo, f.above());
    QCOMPARE(f.s.selected_count(), 0);
    QCOMPARE(f.selected_text(0, 1), QString());
    // Another peak while the choice waits changes nothing.
    f.click_at(Qt::LeftButton, f.x_of(f.s.measured.peaks[3].two_theta), f.above());
    QCOMPARE(f.s.selected_count(), 0);
    f.click_at(Qt::LeftButton, f.x_of(f.s.allowed[2].two_theta), f.below());
    QCOMPARE(f.s.selected_count(), 1);
    QCOMPARE(f.selected_text(0, 1), QString("3 1 1"));
    QCOMPARE(float(f.s.selected[0].two_theta_obs), float(f.s.measured.peaks[1].two_theta));
  }

  void mode1ClicksPairAndRightClickUnpairs() {
    Window f;
    f.mode(1);
    // Below the axis on a calculated bar; above the axis on a measured bar.
    f.click_at(Qt::LeftButton, f.x_of(f.s.allowed[0].two_theta), f.below());
    f.click_at(Qt::LeftButton, f.x_of(f.s.measured.peaks[2].two_theta), f.above());
    QCOMPARE(f.s.selected_count(), 2);
    QCOMPARE(f.selected_text(0, 1), QString("1 1 1"));
    QCOMPARE(f.selected_text(1, 1), QString("3 1 1"));
    // The sixth reflection has no peak within the tolerance.
    f.click_at(Qt::LeftButton, f.x_of(f.s.allowed[5].two_theta), f.below());
    QCOMPARE(f.s.selected_count(), 2);
    // Clicks pair only while the selection tab is shown.
    f.w->tabs()->setCurrentIndex(Tform1::kMeasuredTab);
    f.click_at(Qt::LeftButton, f.x_of(f.s.allowed[1].two_theta), f.below());
    QCOMPARE(f.s.selected_count(), 2);
    f.w->tabs()->setCurrentIndex(Tform1::kSelectionTab);
    f.click_at(Qt::RightButton, f.x_of(f.s.measured.peaks[0].two_theta), f.above());
    QCOMPARE(f.s.selected_count(), 1);
    QCOMPARE(f.selected_text(0, 1), QString("3 1 1"));
  }

  void mode3ListsDeleteRestoreAndRetype() {
    Window f;
    f.mode(3);
    SelectionTabWidget* tab = f.w->selection_tab();
    QVERIFY(tab->mode_message()->text().startsWith("Selection Mode 3 activated."));
    auto click_row = [](QTableWidget* t, int row) {
      QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(row, 0)).center());
      driver::settle();
    };
    click_row(tab->calculated_grid(), 3);  // no peak chosen: nothing
    QCOMPARE(f.s.selected_count(), 0);
    click_row(tab->measured_grid(), 3);
    click_row(tab->calculated_grid(), 3);
    QCOMPARE(f.s.selected_count(), 1);
    QCOMPARE(f.selected_text(0, 1), QString("4 0 0"));
    QCOMPARE(tab->calculated_grid()->item(3, 0)->background().color(), QColor(255, 0, 0));
    QCOMPARE(tab->calculated_grid()->item(3, 0)->foreground().color(), QColor(Qt::white));

    // Retyped indices of an allowed reflection re-pair; 0 0 0 deletes.
    tab->selected_grid()->item(0, 1)->setText("3 3 1");
    driver::settle();
    QCOMPARE(f.s.selected[0].h, int16_t(3));
    QCOMPARE(double(f.s.selected[0].two_theta_calc), double(float(f.s.allowed[4].two_theta)));

    // "Delete" backs the pairs up; "Restore" brings them back once.
    driver::click(tab->findChild<QPushButton*>("button_delete_selection"));
    QCOMPARE(f.s.selected_count(), 0);
    QVERIFY(QFile::exists(f.folder.path("obs.txt")));
    driver::click(tab->findChild<QPushButton*>("button_restore_selection"));
    QCOMPARE(f.s.selected_count(), 1);
    QCOMPARE(f.selected_text(0, 1), QString("3 3 1"));

    // A double click on a row past the pairs deletes nothing; on the pair, it goes.
    QTableWidget* sel = tab->selected_grid();
    // (the view reports a double click only on the cell the first click pressed)
    auto double_click = [sel](int row) {
      const QPoint at = sel->visualItemRect(sel->item(row, 0)).center();
      QTest::mouseClick(sel->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(sel->viewport(), Qt::LeftButton, {}, at);
      driver::settle();
    };
    double_click(1);
    QCOMPARE(f.s.selected_count(), 1);
    double_click(0);
    QCOMPARE(f.s.selected_count(), 0);
  }

  void measuredPeakAppearsInTheMainGridAndOnTheDiagram() {
    Window f;
    f.s.profile.file_name = "p.xy";
    for (int i = 0; i <= 800; ++i) f.s.profile.points.push_back({20 + i * 0.1f, 10, 20 + i * 0.1f});
    // The profile window's measuring command, then the one refresh every window gets.
    ProfileView pv;
    pv.mapping = profile_mapping(20, 100, AngleMode::TwoTheta, 800, 200, 1);
    const int px = pv.mapping->x_of(60.0);
    profile_mouse_down(pv, {px, 50});
    const Changed c = profile_mouse_up(f.s, f.m, pv, MouseButton::Left, {px, 50});
    f.w->refresh(c);
    driver::settle();
    QCOMPARE(f.s.measured_count(), 6);
    // The list stays sorted: the new peak is the fourth, between 56° and 69°.
    const double added = f.s.measured.peaks[3].two_theta;
    QVERIFY(std::fabs(added - 60.0) < 0.2);
    const QString shown = f.w->measured_tab()->grid()->item(3, 0)->text().trimmed();
    QVERIFY2(std::fabs(shown.toDouble() - added) < 0.001, qPrintable(shown));
    QCOMPARE(f.pixel(f.x_of(added), 3), QColor(128, 128, 128));  // its bar on the diagram
  }

  void zeroOffsetReplacesThePreviousOne() {
    Window f;
    const double read0 = f.s.measured.peaks[0].two_theta_read;
    for (const char* text : {"-0.05", "0.02"}) {
      f.d->zero_offset_box()->setText(text);
      driver::click(f.d->findChild<QPushButton*>("button_zero_offset"));
    }
    QCOMPARE(f.s.measured.peaks[0].two_theta, read0 + 0.02);
    f.d->zero_offset_box()->setText("x");
    driver::click(f.d->findChild<QPushButton*>("button_zero_offset"));
    QVERIFY(f.m.texts().size() == 1 && f.m.texts()[0] == "Read error");
    QCOMPARE(f.s.measured.peaks[0].two_theta, read0 + 0.02);
  }

  void angleChoiceFollowsTheMainWindow() {
    Window f;
    f.d->findChild<QRadioButton*>("radio_diagram_theta")->click();
    driver::settle();
    QCOMPARE(f.s.angle_mode, AngleMode::Theta);
    QVERIFY(f.w->measured_tab()->findChild<QRadioButton*>("radio_theta")->isChecked());
    QVERIFY(std::fabs(f.map().view_max - 51.0) < 1e-9);
    f.w->measured_tab()->findChild<QRadioButton*>("radio_two_theta")->click();
    driver::settle();
    QVERIFY(f.d->findChild<QRadioButton*>("radio_diagram_two_theta")->isChecked());
  }
};

QTEST_MAIN(TestDiagramWindow)
#include "test_diagram_window.moc"

// The painter canvas puts every pixel where the viewer computed it.
#include <QtTest>

#include <array>

#include "draw/qt_canvas.hpp"

using namespace vornax;

class TestQtCanvas : public QObject {
  Q_OBJECT
 private slots:
  void linesAndRectanglesLandOnTheirPixels() {
    QImage image = blank_diagram_image(20, 20);
    {
      QtCanvas c(image);
      c.set_pen(colors::kRed);
      c.line(2, 3, 2, 10);  // both ends included
      c.fill_rect(5, 5, 8, 7, colors::kBlue);  // x 5..7, y 5..6
      c.set_pen(colors::kBlack);
      const std::array<Point, 3> pts{{{10, 1}, {15, 1}, {15, 4}}};
      c.polyline(pts);
      c.line(18, 18, 18, 18);  // a single point
    }
    QCOMPARE(image.pixelColor(2, 3), QColor(Qt::red));
    QCOMPARE(image.pixelColor(2, 10), QColor(Qt::red));
    QCOMPARE(image.pixelColor(2, 11), QColor(Qt::white));
    QCOMPARE(image.pixelColor(3, 5), QColor(Qt::white));
    QCOMPARE(image.pixelColor(5, 5), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(7, 6), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(8, 6), QColor(Qt::white));
    QCOMPARE(image.pixelColor(7, 7), QColor(Qt::white));
    QCOMPARE(image.pixelColor(12, 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(15, 3), QColor(Qt::black));
    QCOMPARE(image.pixelColor(18, 18), QColor(Qt::black));
  }

  void textIsMeasuredAndDrawnWithItsBackground() {
    QImage image = blank_diagram_image(80, 20);
    QtCanvas c(image);
    const int w = c.text_width("100.0", 10);
    QVERIFY(w > 0);
    QVERIFY(c.text_width("100.00", 10) > w);
    TextStyle st;
    st.opaque = true;
    st.background = colors::kYellow;
    st.height = 10;
    c.text(1, 1, "100.0", st);
    QCOMPARE(image.pixelColor(1, 1), QColor(Qt::yellow));  // the corner is background
  }
};

QTEST_MAIN(TestQtCanvas)
#include "test_qt_canvas.moc"

// Typed input that must not be lost or misread: retyped boxes, the measured grid after
// an error, quitting with unsaved peaks; and the small window fixes around them (the
// shift panel, grid fonts, print names, keys).
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "core/session.hpp"
#include "support/recording_messages.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/measured_tab_widget.hpp"

using namespace vornax;

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
};

QTEST_MAIN(TestEntrySafety)
#include "test_entry_safety.moc"

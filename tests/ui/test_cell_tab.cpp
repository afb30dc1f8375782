// Drives the real cell-entry widgets offscreen as a user would.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "core/session.hpp"
#include "ui/cell_tab_widget.hpp"

using namespace vornax;

class TestCellTab : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString old_dir_;

  static void click_item(QListWidget* list, const QString& text) {
    auto items = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(text));
    QRect r = list->visualItemRect(items.first());
    list->scrollToItem(items.first());
    r = list->visualItemRect(items.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
  }

  static void type_into(QLineEdit* e, const QString& text) {
    e->setFocus();
    QApplication::processEvents();
    e->selectAll();
    QTest::keyClicks(e, text);
  }

  struct Fixture {
    WorkSession s;
    RecordingMessages m;
    CellTabWidget w;
    explicit Fixture(const QString& dir) : w(s, m) {
      s.working_folder = dir.toStdString();
      s.data_folder = VORNAX_SOURCE_DATA_DIR;
      w.resize(1000, 450);
      w.show();
      QApplication::setActiveWindow(&w);
    }
  };

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    old_dir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
  }
  void cleanupTestCase() { QDir::setCurrent(old_dir_); }

  void cubicEntryFillsTiedFields() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    click_item(f.w.system_list(), "Cubic");
    QCOMPARE(f.s.system, std::string("CUBI"));
    QVERIFY(f.w.hm_list()->count() > 1);
    QCOMPARE(f.w.hm_list()->item(0)->text(), QString("No ext."));
    QVERIFY(f.w.getspec_list()->count() > 1);

    type_into(f.w.field(0), "5.43");
    f.w.field(6)->setFocus();  // leave a
    QApplication::processEvents();
    QCOMPARE(f.w.field(1)->text(), QString("5.43"));
    QCOMPARE(f.w.field(2)->text(), QString("5.43"));
    QCOMPARE(f.w.field(3)->text(), QString("90"));
    QCOMPARE(f.w.field(4)->text(), QString("90"));
    QCOMPARE(f.w.field(5)->text(), QString("90"));
    QVERIFY(f.w.field(1)->isReadOnly());
    QCOMPARE(f.s.cell.a, 5.43);
    QVERIFY(f.m.empty());
  }

  void lettersInAGiveTypeError() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    click_item(f.w.system_list(), "Cubic");
    type_into(f.w.field(0), "abc");
    f.w.field(6)->setFocus();
    QApplication::processEvents();
    QCOMPARE(f.m.texts(), std::vector<std::string>{"Type error!"});
  }

  void calcShowsTheGridAndForbiddenLines() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    click_item(f.w.system_list(), "Cubic");
    type_into(f.w.field(0), "4.0");
    f.w.field(6)->setFocus();
    QApplication::processEvents();
    type_into(f.w.field(6), "1.5406");
    type_into(f.w.field(7), "0");
    type_into(f.w.field(8), "60");
    click_item(f.w.hm_list(), "F m -3 m");
    // Choosing the group with a complete entry calculates at once.
    QCOMPARE(f.s.symbol, std::string("F M -3 M"));
    QCOMPARE(f.s.symbol_kind, std::string("HM"));
    QVERIFY(f.s.allowed_count() > 0);
    f.m.clear();
    QTest::mouseClick(f.w.calc_button(), Qt::LeftButton);
    QVERIFY2(f.m.empty(), f.m.empty() ? "" : f.m.texts().front().c_str());
    // F lattice, a = 4: only 111 and 200 below 60° 2θ.
    QCOMPARE(f.s.allowed_count(), 2);
    auto* g = f.w.grid();
    QCOMPARE(g->rowCount(), 15);
    QCOMPARE(g->item(0, 0)->text(), QString("  h   k   l"));
    QCOMPARE(g->item(0, 2)->text(), QString("2Theta"));
    QCOMPARE(g->item(1, 0)->text(), QString("  1  1  1"));
    QCOMPARE(g->item(1, 1)->text(), QString(" 2.3094"));
    QCOMPARE(g->item(1, 2)->text(), QString(" 38.969"));
    QCOMPARE(g->item(2, 0)->text(), QString("  0  0  2"));  // first of the equivalent set enumerated
    QCOMPARE(g->item(2, 2)->text(), QString(" 45.306"));
    QVERIFY(g->item(3, 0)->text().isEmpty());
    QVERIFY(!f.w.forbidden_toggle()->isChecked());

    // The toggle adds the forbidden rows in cyan and writes forbidden.txt.
    QTest::mouseClick(f.w.forbidden_toggle(), Qt::LeftButton);
    QVERIFY(f.w.forbidden_toggle()->isChecked());
    QVERIFY(QFile::exists(QDir(dir_.path()).filePath("forbidden.txt")));
    QVERIFY(f.s.forbidden.size() > 0);
    QCOMPARE(g->rowCount(), std::max(15, f.s.allowed_count() + int(f.s.forbidden.size()) + 1));
    QCOMPARE(int(f.s.forbidden.size()), 4);  // 100, 110, 210, 211
    QCOMPARE(g->item(1, 0)->text(), QString("  1  0  0"));  // 100 is forbidden in F
    QCOMPARE(g->item(1, 0)->background().color(), QColor(Qt::cyan));

    // Ed/Print writes indx.out and asks for the viewer.
    QSignalSpy report(&f.w, &CellTabWidget::reportRequested);
    QTest::mouseClick(f.w.print_button(), Qt::LeftButton);
    QCOMPARE(report.count(), 1);
    QVERIFY(QFile::exists(QDir(dir_.path()).filePath("indx.out")));
  }

  void calcWithoutWavelengthWarns() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    click_item(f.w.system_list(), "Cubic");
    type_into(f.w.field(0), "5");
    f.w.field(6)->setFocus();
    QApplication::processEvents();
    type_into(f.w.field(6), "0");
    type_into(f.w.field(7), "0");
    type_into(f.w.field(8), "60");
    QTest::mouseClick(f.w.calc_button(), Qt::LeftButton);
    QCOMPARE(f.m.texts().back(), std::string("Warning: Current wavelength not defined"));
    QCOMPARE(f.s.allowed_count(), 0);
  }
};

QTEST_MAIN(TestCellTab)
#include "test_cell_tab.moc"

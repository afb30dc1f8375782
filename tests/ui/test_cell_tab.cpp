// Drives the real cell-entry widgets offscreen as a user would.
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include "core/format.hpp"
#include "core/session.hpp"
#include "ui/cell_tab_widget.hpp"
#include "support/recording_messages.hpp"

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

  // Types a complete cubic entry (a = 4, Cu Kα1, 0..60) and chooses F m -3 m, which
  // calculates at once.
  static void cubic_f_entry(CellTabWidget& w) {
    click_item(w.system_list(), "Cubic");
    type_into(w.field(0), "4.0");
    w.field(6)->setFocus();
    QApplication::processEvents();
    type_into(w.field(6), "1.5406");
    type_into(w.field(7), "0");
    type_into(w.field(8), "60");
    click_item(w.hm_list(), "F m -3 m");
  }

  static QString title(const CellTabWidget& w) {
    return w.findChild<QLabel*>("label_calc_title")->text();
  }

  static int selected_row(QListWidget* list) {
    auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
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
    // The focus is back in a, and coming back did not count as entering a again (which
    // would copy the faulty text into the tied fields).
    QVERIFY(f.w.field(0)->hasFocus());
    QCOMPARE(f.w.field(1)->text(), QString(""));

    // Two faulty fields: leaving one for the other gives one message, not a ping-pong.
    f.m.clear();
    f.w.field(3)->setText("xyz");
    f.w.field(3)->setFocus();
    QApplication::processEvents();
    QCOMPARE(f.m.texts(), std::vector<std::string>{"Type error!"});
    QVERIFY(f.w.field(0)->hasFocus());
  }

  void focusTakenByOtherWindowsIsNoEntry() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    cubic_f_entry(f.w);
    QCOMPARE(f.s.allowed_count(), 2);
    f.s.cell_file_name = "si.cry";
    f.w.field(0)->setFocus();  // entering a clears the grid, so calculate once more
    QApplication::processEvents();
    QTest::mouseClick(f.w.calc_button(), Qt::LeftButton);
    QCOMPARE(f.w.grid()->item(1, 0)->text(), QString("  1  1  1"));
    f.w.field(0)->setText("bad");
    f.s.cell_file_name = "si.cry";
    f.m.clear();
    QSignalSpy entered(&f.w, &CellTabWidget::fieldEntered);
    // A menu, a message box or another window takes the focus and gives it back.
    for (auto reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MenuBarFocusReason}) {
      for (auto type : {QEvent::FocusOut, QEvent::FocusIn}) {
        QFocusEvent ev(type, reason);
        QApplication::sendEvent(f.w.field(0), &ev);
      }
    }
    QVERIFY(f.m.empty());
    QCOMPARE(entered.count(), 0);
    QCOMPARE(f.w.grid()->item(1, 0)->text(), QString("  1  1  1"));
    QCOMPARE(f.s.cell_file_name, std::string("si.cry"));

    // Entering a from another control of the window is set_numero.
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(f.w.field(0), &in);
    QCOMPARE(entered.count(), 1);
    QVERIFY(f.w.grid()->item(1, 0) == nullptr || f.w.grid()->item(1, 0)->text().isEmpty());
    QCOMPARE(title(f.w), QString("Calculated diagram"));
    QVERIFY(f.s.cell_file_name.empty());
  }

  void listChoicesExcludeEachOtherBySetKindAndKeys() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    click_item(f.w.system_list(), "Monoc.");
    click_item(f.w.hm_list(), "P 1 21/c 1");
    QCOMPARE(f.s.symbol, std::string("P 1 21/C 1"));
    QCOMPARE(f.s.symbol_kind, std::string("HM"));
    QVERIFY(selected_row(f.w.hm_list()) > 0);

    auto gs = f.w.getspec_list();
    auto hits = gs->findItems("P 21/c      ", Qt::MatchStartsWith);
    QVERIFY(!hits.isEmpty());
    click_item(gs, hits.first()->text());
    QCOMPARE(f.s.symbol, std::string("P 21/C"));
    QCOMPARE(f.s.symbol_kind, std::string("HALL"));
    QCOMPARE(selected_row(f.w.hm_list()), -1);
    QCOMPARE(selected_row(gs), gs->row(hits.first()));

    // Choosing the system again refills both lists; the symbol is in both, and the list
    // it was chosen from keeps it.
    click_item(f.w.hm_list(), "P 1 21/c 1");
    click_item(gs, gs->findItems("P 1 21/c 1  ", Qt::MatchStartsWith).value(0)->text());
    QCOMPARE(f.s.symbol, std::string("P 1 21/C 1"));
    click_item(f.w.system_list(), "Monoc.");
    QCOMPARE(selected_row(f.w.hm_list()), -1);
    QVERIFY(selected_row(gs) >= 0);
    click_item(gs, hits.first()->text());

    // The arrow keys choose as a click does.
    const int row = gs->row(hits.first());
    QTest::keyClick(gs, Qt::Key_Down);
    QCOMPARE(selected_row(gs), row + 1);
    QCOMPARE(f.s.symbol, to_upper(trim(gs->item(row + 1)->text().left(12).toStdString())));
    QTest::keyClick(f.w.system_list(), Qt::Key_Down);  // Monoc. -> Tricl.
    QCOMPARE(f.s.system, std::string("TRIC"));
    QCOMPARE(f.w.hm_list()->item(1)->text(), QString("P 1"));

    click_item(f.w.hm_list(), "No ext.");
    QCOMPARE(f.s.symbol_kind, std::string("HM"));
    QCOMPARE(selected_row(gs), -1);
    QCOMPARE(selected_row(f.w.hm_list()), 0);
  }

  void missingOperatorFileKeepsTheFormerSystem() {
    Fixture f(dir_.path());
    QTemporaryDir data;
    const QString source = VORNAX_SOURCE_DATA_DIR;
    for (const char* name : {"spgr2.dat", "c.pos"})
      QVERIFY(QFile::copy(source + "/" + name, data.path() + "/" + name));
    f.s.data_folder = data.path().toStdString();
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    click_item(f.w.system_list(), "Cubic");
    const int cubic_entries = f.w.hm_list()->count();
    click_item(f.w.system_list(), "Tetra.");  // q.pos is missing
    QCOMPARE(f.m.texts().size(), size_t(1));
    QVERIFY2(f.m.texts().front().find("q.pos") != std::string::npos, f.m.texts().front().c_str());
    QCOMPARE(f.s.system, std::string("CUBI"));
    QCOMPARE(selected_row(f.w.system_list()), 0);
    QCOMPARE(f.w.hm_list()->count(), cubic_entries);
    QCOMPARE(f.w.getspec_list()->count(), 80);
  }

  void toggleBeforeAnyCalculationChangesNothing() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    QSignalSpy calculated(&f.w, &CellTabWidget::changed);
    const QString before = title(f.w);
    QTest::mouseClick(f.w.forbidden_toggle(), Qt::LeftButton);
    QVERIFY(!f.w.forbidden_toggle()->isChecked());
    QCOMPARE(title(f.w), before);
    QCOMPARE(calculated.count(), 0);
    QVERIFY(f.m.empty());
  }

  void rangeFieldsFollowTheAngleMode() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    // A range typed and not read yet is converted, not lost and not taken in the new mode.
    f.w.field(7)->setText("10");
    f.w.field(8)->setText("80");
    f.s.angle_mode = AngleMode::Theta;
    f.w.redisplay();
    QCOMPARE(f.w.field(7)->text(), QString("    5.00"));
    QCOMPARE(f.w.field(8)->text(), QString("   40.00"));
    auto labels = f.w.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "θ max"; }));
    f.s.angle_mode = AngleMode::TwoTheta;
    f.w.redisplay();
    QCOMPARE(f.w.field(8)->text(), QString("   80.00"));

    // A calculated range is shown halved, and read back doubled.
    cubic_f_entry(f.w);
    QCOMPARE(f.s.range_max, 60.0);
    f.s.angle_mode = AngleMode::Theta;
    f.w.redisplay();
    QCOMPARE(f.w.field(8)->text(), QString("   30.00"));
    QCOMPARE(f.w.grid()->item(0, 2)->text(), QString("Theta"));
    QTest::mouseClick(f.w.calc_button(), Qt::LeftButton);
    QCOMPARE(f.s.range_max, 60.0);
  }

  void recalculationKeepsTheCellFileTitle() {
    Fixture f(dir_.path());
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    cubic_f_entry(f.w);
    QCOMPARE(title(f.w), QString("Calulated diagram"));
    f.s.cell_file_name = "C:\\cells\\si.cry";
    f.w.recalculate();  // as after adopting the refined cell
    QCOMPARE(f.s.allowed_count(), 2);
    QCOMPARE(title(f.w), QString("Calc. diagram (si.cry)"));
    QCOMPARE(f.w.grid()->item(1, 0)->text(), QString("  1  1  1"));
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

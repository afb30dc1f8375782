// The indexing window driven through the main window: peaks typed, "Tools > Index", the
// search in its thread with its progress bar, the candidates and the space groups their
// lines allow, "Use" into the cell tab and on to the pairing; "Cancel", a closed window
// and bad limits stop or refuse a search without losing anything.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "commands/cell_indexing.hpp"
#include "ui/index_window.hpp"
#include "ui_driver.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

// The first `count` distinct lines of a triclinic cell at Cu Kα1, to 0.001°.
std::vector<double> triclinic_lines(size_t count) {
  const auto m = indexing::q_metric_of_cell({3.71, 4.33, 5.02, 95.4, 103.2, 111.7});
  std::vector<indexing::Reflection> all;
  indexing::reflections_up_to(*m, indexing::Centring::P, 1.2, all);
  std::vector<double> q;
  for (const auto& r : all) q.push_back(r.q);
  std::sort(q.begin(), q.end());
  std::vector<double> out;
  for (double x : q) {
    const double t = std::round(2 * std::asin(kCuKa1 * std::sqrt(x) / 2) * 180 / std::numbers::pi * 1000) / 1000;
    if (out.empty() || t - out.back() > 0.05) out.push_back(t);
    if (out.size() == count) break;
  }
  return out;
}

// Aluminium, face-centred cubic: h k l all odd or all even.
constexpr double kAluminiumA = 4.04950;
std::vector<double> aluminium_lines() {
  std::vector<int> sums;
  for (int h = 0; h <= 8; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l)
        if (h + k + l > 0 && h % 2 == k % 2 && k % 2 == l % 2) sums.push_back(h * h + k * k + l * l);
  std::sort(sums.begin(), sums.end());
  sums.erase(std::unique(sums.begin(), sums.end()), sums.end());
  std::vector<double> out;
  for (int n : sums) {
    const double s = kCuKa1 * std::sqrt(double(n)) / (2 * kAluminiumA);
    const double t = 2 * std::asin(s) * 180 / std::numbers::pi;
    if (s < 1 && t <= 140) out.push_back(std::round(t * 1000) / 1000);
  }
  return out;
}

// Runs "Tools > Index" and waits for the search to end.
IndexWindow* index_from_menu(Tform1& w) {
  IndexWindow* win = w.index_window();
  QSignalSpy done(win, &IndexWindow::searchFinished);
  w.action("action_index")->trigger();
  if (win->running()) done.wait(60000);
  settle();
  return win;
}

QString cell_text(QTableWidget* t, int row, int col) {
  return t->item(row, col) ? t->item(row, col)->text() : QString();
}

}  // namespace

class TestIndexWindow : public QObject {
  Q_OBJECT
 private slots:
  void aluminium_is_indexed_and_its_cell_used() {
    TempCurrentFolder folder;
    MainWindowFixture f(true);
    const std::vector<double> angles = aluminium_lines();
    type_peaks(*f.w, "1.540593", angles);

    IndexWindow* win = index_from_menu(*f.w);
    QVERIFY(win->isVisible());
    QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(win));
    QCOMPARE(win->progress_bar()->value(), 100);
    QTableWidget* t = win->candidates_table();
    QVERIFY2(t->rowCount() >= 1, qPrintable(win->status_label()->text()));
    QCOMPARE(cell_text(t, 0, 0), QString("Cubic"));
    QCOMPARE(cell_text(t, 0, 1), QString("cF"));
    QVERIFY(std::abs(cell_text(t, 0, 2).toDouble() - kAluminiumA) < 0.002);
    QCOMPARE(cell_text(t, 0, 12), QString("0"));

    // Every group offered is face-centred; those with glides or screws remove lines
    // aluminium has, and are not offered.
    QListWidget* groups = win->groups_list();
    QVERIFY(groups->count() > 0);
    QListWidgetItem* chosen = nullptr;
    for (int i = 0; i < groups->count(); ++i) {
      const QString g = groups->item(i)->text();
      QVERIFY2(g.startsWith("F ") && !g.startsWith("F d") && !g.contains(" c "), qPrintable(g));
      QVERIFY2(g.endsWith(QString("removes 0 of %1 lines").arg(angles.size())), qPrintable(g));
      if (g.startsWith("F m -3 m ")) chosen = groups->item(i);
    }
    QVERIFY(chosen);
    QTest::mouseClick(groups->viewport(), Qt::LeftButton, {}, groups->visualItemRect(chosen).center());
    click(win->use_button());

    // The cell tab has the cell, its group and a calculated pattern over the peaks' range;
    // every typed peak pairs with it.
    QCOMPARE(f.w->tabs()->currentIndex(), int(Tform1::kCellTab));
    QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(f.w.get()));
    CellTabWidget* cell = f.w->cell_tab();
    QCOMPARE(f.s.system, std::string("CUBI"));
    QCOMPARE(QString::fromStdString(f.s.symbol).toUpper(), QString("F M -3 M"));
    QVERIFY(std::abs(cell->field(0)->text().toDouble() - kAluminiumA) < 0.002);
    QVERIFY(cell->field(1)->isReadOnly());
    QVERIFY(!cell->field(7)->text().trimmed().isEmpty());
    QVERIFY(!f.s.allowed.empty());
    auto_select(*f.w, "0.05");
    QCOMPARE(f.s.selected.size(), angles.size());
  }

  void cancel_close_and_bad_limits_leave_the_work_as_it_was() {
    TempCurrentFolder folder;
    MainWindowFixture f(true);
    IndexWindow* win = f.w->index_window();

    // Nothing to index: said, and no window.
    f.w->action("action_index")->trigger();
    QVERIFY(!win->isVisible());
    QCOMPARE(f.m.texts().back(), std::string(kNoPeaksToIndex));

    const std::vector<double> angles = triclinic_lines(25);
    type_peaks(*f.w, "1.540593", angles);
    const auto peaks_before = f.s.measured.peaks.size();

    // Cancel at once: the search stops, says so and the window can search again.
    {
      QSignalSpy done(win, &IndexWindow::searchFinished);
      f.w->action("action_index")->trigger();
      QVERIFY(win->running());
      QVERIFY(win->cancel_button()->isEnabled());
      click(win->cancel_button());
      QVERIFY(done.count() == 1 || done.wait(30000));
      QVERIFY(win->result().cancelled);
      QVERIFY(!win->result().out_of_time);
      QVERIFY(win->status_label()->text().contains("Cancelled"));
      QVERIFY(win->index_button()->isEnabled());
      QVERIFY(!win->cancel_button()->isEnabled());
    }

    // Bad limits are refused before any search.
    type_into(win->max_axis_box(), "abc");
    click(win->index_button());
    QVERIFY(!win->running());
    QCOMPARE(f.m.texts().back(), std::string("The largest axis must be a positive number"));
    type_into(win->max_axis_box(), "20");
    type_into(win->min_volume_box(), "5000");
    click(win->index_button());
    QVERIFY(!win->running());
    QCOMPARE(f.m.texts().back(), std::string("The smallest volume must be 0 or above and below the largest"));
    type_into(win->min_volume_box(), "0");
    for (auto id : {CrystalSystemId::Cubic, CrystalSystemId::Tetragonal, CrystalSystemId::Orthorhombic,
                    CrystalSystemId::Hexagonal, CrystalSystemId::Rhombohedral, CrystalSystemId::Monoclinic,
                    CrystalSystemId::Triclinic})
      win->system_check(id)->setChecked(false);
    click(win->index_button());
    QVERIFY(!win->running());
    QCOMPARE(f.m.texts().back(), std::string("Choose at least one crystal system"));
    win->system_check(CrystalSystemId::Triclinic)->setChecked(true);

    // A budget that runs out says so and shows what it found.
    {
      QSignalSpy done(win, &IndexWindow::searchFinished);
      type_into(win->time_box(), "0.000001");
      click(win->index_button());
      QVERIFY(done.count() == 1 || done.wait(30000));
      QVERIFY(win->result().out_of_time);
      QVERIFY(win->status_label()->text().contains("ran out") || win->status_label()->text().contains("none was found in"));
      type_into(win->time_box(), "60");
    }

    // A search run to its end finds the triclinic cell.
    {
      QSignalSpy done(win, &IndexWindow::searchFinished);
      click(win->index_button());
      QVERIFY(done.count() == 1 || done.wait(60000));
      QVERIFY2(!win->result().candidates.empty(), qPrintable(win->status_label()->text()));
      QCOMPARE(cell_text(win->candidates_table(), 0, 1), QString("aP"));
      QVERIFY(std::abs(win->result().candidates[0].volume - 71.51) < 0.05);
    }

    // Closing the window during a search stops it.
    click(win->index_button());
    QVERIFY(win->running());
    win->close();
    QVERIFY(!win->running());
    QCOMPARE(f.s.measured.peaks.size(), peaks_before);

    // "Index" searches the peaks as they are now: erased, there is nothing to index.
    f.w->action("action_erase_peak")->trigger();
    settle();
    QVERIFY(f.s.measured.peaks.empty());
    click(win->index_button());
    QVERIFY(!win->running());
    QCOMPARE(f.m.texts().back(), std::string(kNoPeaksToIndex));
  }
};

QTEST_MAIN(TestIndexWindow)
#include "test_index_window.moc"

// The first three steps through the real main window, as a user takes them: the
// wavelength and six silicon peaks typed, a cubic Fd-3m cell entered and calculated,
// "Auto Sel."; then every grid checked cell by cell against values computed here,
// in 2θ and in θ mode.
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/report_viewer.hpp"
#include "ui_driver.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

const double kPi = std::acos(-1.0);

QString fixed(double v, int w, int d) { return QString::asprintf("%*.*f", w, d, v); }
QString hkl(int h, int k, int l) { return QString::asprintf("%3d%3d%3d", h, k, l); }

// Every text of the table, its header's included, fits its column, and the table shows
// all its columns: nothing is cut to "..." or left behind a horizontal scroll bar.
void check_nothing_hidden(QTableWidget* t) {
  const QString name = t->objectName();
  QVERIFY2(t->width() >= width_for_columns(t), qPrintable(name));
  const QFontMetricsF cells(t->font());
  const int margin = 2 * (t->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, t) + 1);
  for (int c = 0; c < t->columnCount(); ++c) {
    // One pixel of the column is the grid line.
    const double room = t->columnWidth(c) - margin - 1;
    for (int r = 0; r < t->rowCount(); ++r)
      if (QTableWidgetItem* it = t->item(r, c))
        QVERIFY2(cells.horizontalAdvance(it->text()) <= room,
                 qPrintable(QString("%1 (%2,%3) '%4'").arg(name).arg(r).arg(c).arg(it->text())));
    if (QTableWidgetItem* h = t->horizontalHeaderItem(c); h && t->horizontalHeader()->isVisible())
      QVERIFY2(QFontMetricsF(t->horizontalHeader()->font()).horizontalAdvance(h->text()) <=
                   t->columnWidth(c) - 2,
               qPrintable(name + " header " + h->text()));
  }
}

// The main window keeps its 1020 x 455 pixels with data in every tab: each tab fits and
// shows all of its grids.
void check_window_fits(Tform1& w) {
  const int menu = w.menuBar()->sizeHint().height();
  for (int i = 0; i < w.tabs()->count(); ++i) {
    // The side panel changes with the tab (the indexed-list text of the first one).
    w.tabs()->setCurrentIndex(i);
    settle();
    const QSize needed = w.main_panel()->minimumSizeHint();
    const QString size = QString("tab %1: %2 x %3").arg(i).arg(needed.width()).arg(needed.height() + menu);
    QVERIFY2(needed.width() <= 1020 && needed.height() + menu <= 455, qPrintable(size));
    for (QTableWidget* t : w.tabs()->widget(i)->findChildren<QTableWidget*>())
      check_nothing_hidden(t);
  }
}

QString cell(QTableWidget* t, int row, int col) {
  auto* it = t->item(row, col);
  return it ? it->text() : QString();
}

// The silicon families of Fd-3m below 90° 2θ, by increasing angle: h² + k² + l².
constexpr std::array<int, 7> kFamilies = {3, 8, 11, 12, 16, 19, 24};

// The program states its Bragg angles with the factor 114.59159 (not 360/π); users
// compare with those figures, so the expected texts use it too.
double bragg_two_theta(double a, int n, double lambda) {
  return 114.59159 * std::asin(lambda * std::sqrt(double(n)) / (2 * a));
}

}  // namespace

class TestWorkflow : public QObject {
  Q_OBJECT

  std::unique_ptr<TempCurrentFolder> dir_;

 private slots:
  void init() {
    dir_.reset();  // back to the first folder before the next one is made current
    dir_ = std::make_unique<TempCurrentFolder>();
    QVERIFY(dir_->valid());
  }
  void cleanup() { dir_.reset(); }

  void silicon_peaks_cell_and_automatic_selection() {
    MainWindowFixture f(true);
    WorkSession& s = f.s;
    RecordingMessages& m = f.m;
    Tform1& w = *f.w;
    QVERIFY(w.isActiveWindow());

    const auto peaks = diamond_peaks(kSiliconA, kCuKa1, 90);
    QCOMPARE(int(peaks.size()), 6);
    std::vector<double> angles;
    for (const Peak& p : peaks) angles.push_back(p.two_theta);
    // Typed out of order: the grid sorts them.
    std::swap(angles[0], angles[3]);
    type_peaks(w, "1.540593", angles);
    QCOMPARE(s.measured_count(), 6);

    enter_cell(w, "Cubic", "F d -3 m:2", "5.431194", "1.540593", "20", "90");
    QVERIFY2(m.empty(), m.empty() ? "" : m.texts().front().c_str());
    // The fields show the cell with four decimals and the wavelength with five, but
    // reading them back keeps what was typed.
    QCOMPARE(s.cell.a, kSiliconA);
    QCOMPARE(s.wavelengths.lambda, kCuKa1);
    QCOMPARE(w.cell_tab()->field(0)->text(), QString("  5.4312"));
    QCOMPARE(s.allowed_count(), int(kFamilies.size()));

    // "Ed/Print" opens the report viewer on indx.out.
    click(w.cell_tab()->print_button());
    QVERIFY(!w.report_viewer()->isHidden());
    QVERIFY(QFile::exists(dir_->path("indx.out")));
    QVERIFY(w.report_viewer()->text().startsWith("Lambda:    1.54059\nCell  :     5.4312"));
    QVERIFY(w.report_viewer()->text().contains("Group : F D -3 M:2\n   Nb   h   k   l   Dhkl   Bragg"));
    w.report_viewer()->hide();
    QApplication::setActiveWindow(&w);

    auto_select(w, "0.1");
    QVERIFY(m.empty());
    QCOMPARE(s.selected_count(), 6);

    for (bool theta : {false, true, false}) {
      auto* radio = w.findChild<QRadioButton*>(theta ? "radio_theta" : "radio_two_theta");
      QVERIFY(radio);
      click(radio);
      QCOMPARE(s.angle_mode, theta ? AngleMode::Theta : AngleMode::TwoTheta);
      const double f = theta ? 0.5 : 1.0;
      const QString angle_name = theta ? "Theta" : "2Theta";

      // Measured grid of the first tab: angle 7:3, d 8:4, area 8:0, number.
      QTableWidget* mg = w.measured_tab()->grid();
      QCOMPARE(mg->horizontalHeaderItem(0)->text(), angle_name);
      for (int i = 0; i < 6; ++i) {
        const double tt = peaks[size_t(i)].two_theta;
        const double d = kCuKa1 / (2 * std::sin(tt / 2 * kPi / 180));
        QCOMPARE(cell(mg, i, 0), fixed(tt * f, 7, 3));
        QCOMPARE(cell(mg, i, 1), fixed(d, 8, 4));
        QCOMPARE(cell(mg, i, 2), QString("     100"));
        QCOMPARE(cell(mg, i, 3), QString::number(i + 1));
      }

      // Calculated grid of the cell tab: h k l, d 7:4, angle 7:3, families in order.
      QTableWidget* cg = w.cell_tab()->grid();
      QCOMPARE(cell(cg, 0, 2), angle_name);
      for (int i = 0; i < s.allowed_count(); ++i) {
        const auto& r = s.allowed[size_t(i)];
        QCOMPARE(r.h * r.h + r.k * r.k + r.l * r.l, kFamilies[size_t(i)]);
        const double d = kSiliconA / std::sqrt(double(kFamilies[size_t(i)]));
        QCOMPARE(cell(cg, i + 1, 0), hkl(r.h, r.k, r.l));
        QCOMPARE(cell(cg, i + 1, 1), fixed(d, 7, 4));
        QCOMPARE(cell(cg, i + 1, 2), fixed(bragg_two_theta(kSiliconA, kFamilies[size_t(i)], kCuKa1) * f, 7, 3));
      }

      // The selection tab: measured list, calculated list, selected pairs.
      SelectionTabWidget* sel = w.selection_tab();
      for (int i = 0; i < 6; ++i) {
        const double tt = peaks[size_t(i)].two_theta;
        QCOMPARE(cell(sel->measured_grid(), i, 0), QString::number(i + 1));
        QCOMPARE(cell(sel->measured_grid(), i, 2), fixed(tt * f, 8, 3));
      }
      for (int i = 0; i < s.allowed_count(); ++i) {
        const auto& r = s.allowed[size_t(i)];
        QCOMPARE(cell(sel->calculated_grid(), i, 0), hkl(r.h, r.k, r.l));
        QCOMPARE(cell(sel->calculated_grid(), i, 2),
                 fixed(bragg_two_theta(kSiliconA, kFamilies[size_t(i)], kCuKa1) * f, 8, 3));
      }
      // 222 (family 12) has no measured peak in silicon: the pairs skip it.
      const std::array<int, 6> paired = {3, 8, 11, 16, 19, 24};
      QTableWidget* sg = sel->selected_grid();
      QCOMPARE(sg->horizontalHeaderItem(2)->text(), QString(theta ? "T Obs" : "2T Obs"));
      for (int i = 0; i < 6; ++i) {
        const auto& p = s.selected[size_t(i)];
        QCOMPARE(p.h * p.h + p.k * p.k + p.l * p.l, paired[size_t(i)]);
        const double obs = double(float(peaks[size_t(i)].two_theta));
        const double calc = double(float(bragg_two_theta(kSiliconA, paired[size_t(i)], kCuKa1)));
        QCOMPARE(cell(sg, i, 0), QString::asprintf("%2d", i + 1));
        QCOMPARE(cell(sg, i, 1), hkl(p.h, p.k, p.l));
        QCOMPARE(cell(sg, i, 2), fixed(obs * f, 8, 3));
        QCOMPARE(cell(sg, i, 3), fixed(calc * f, 8, 3));
        QCOMPARE(cell(sg, i, 4), fixed((obs - calc) * f, 8, 3));
      }
    }
    // With the cell refined every grid holds data.
    refine(w, 1);
    QVERIFY2(m.empty(), m.empty() ? "" : m.texts().front().c_str());
    QVERIFY(s.results.refined);
    check_window_fits(w);

    // Both information panels shown, with a long file name: still the same window, and
    // the panels' numbers are not cut.
    s.measured.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
    s.measured.file_name = "D:/diffraction/2003/october/silicon_standard_long_name.dif";
    s.measured.sample = "Silicon standard reference material, flat plate";
    s.profile.wavelengths = s.measured.wavelengths;
    s.profile.file_name = "silicon.raw";
    w.refresh_info_panels();
    check_window_fits(w);
    for (const char* name : {"panel_peak_data_lambda", "panel_peak_data_min", "panel_peak_data_max",
                             "panel_profile_lambda", "panel_profile_max"}) {
      auto* label = w.findChild<QLabel*>(name);
      QVERIFY2(label && label->isVisible(), name);
      QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()), name);
    }
    // Switching never changed a stored angle.
    QCOMPARE(s.measured.peaks[0].two_theta, peaks[0].two_theta);
    QVERIFY(m.empty());
  }

  // A cell 0.4 % off pairs only the low-angle peaks of LaB6; after a refinement "Pair
  // again" pairs them all, the count under the selected list says so and the refined a is
  // that of the peaks.
  void pair_again_after_a_far_start() {
    MainWindowFixture f(true);
    WorkSession& s = f.s;
    RecordingMessages& m = f.m;
    Tform1& w = *f.w;
    constexpr double kLaB6 = 4.15689, kShift = 0.03;
    std::vector<double> angles;
    for (int n : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 19, 20})
      angles.push_back(bragg_two_theta(kLaB6, n, kCuKa1) + kShift);
    type_peaks(w, "1.540593", angles);
    enter_cell(w, "Cubic", "P m -3 m", "4.1735", "1.540593", "15", "140");
    QVERIFY2(m.empty(), m.empty() ? "" : m.texts().front().c_str());
    auto_select(w, "0.3");
    refine(w, 1);
    QVERIFY2(m.empty(), m.empty() ? "" : m.texts().front().c_str());
    QVERIFY(s.results.refined);
    SelectionTabWidget* sel = w.selection_tab();
    const QString all = QString("%1 of %1 peaks paired").arg(angles.size());
    QVERIFY2(sel->paired_label()->text().endsWith(QString(" of %1 peaks paired").arg(angles.size())),
             qPrintable(sel->paired_label()->text() + QString(" %1 %2").arg(s.measured_count()).arg(s.selected_count())));
    QVERIFY(sel->paired_label()->text() != all);

    w.tabs()->setCurrentIndex(Tform1::kSelectionTab);
    click(sel->pair_again_button());
    QVERIFY2(m.empty(), m.empty() ? "" : m.texts().front().c_str());
    QCOMPARE(sel->paired_label()->text(), all);
    QCOMPARE(s.selected_count(), int(angles.size()));
    QVERIFY(s.results.refined);
    QVERIFY(std::fabs(s.results.cell.a - kLaB6) < 1e-4);
    QVERIFY(std::fabs(s.results.zero_shift - kShift) < 2e-3);
    // The cell tab shows the cell the pairs were made with: the refined one.
    QCOMPARE(w.cell_tab()->field(0)->text(), QString::asprintf("%8.4f", s.cell.a));
  }
};

QTEST_MAIN(TestWorkflow)
#include "test_workflow.moc"

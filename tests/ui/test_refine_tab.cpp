// The "Cell refinement" tab driven through the main window as a user does: silicon
// peaks typed, an Fd-3m cell calculated, "Auto Sel.", refine; then the result grids
// and boxes, the report, the export window, and using or restoring the parameters.
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "ui/report_viewer.hpp"
#include "ui/tfexcel.hpp"
#include "ui_driver.hpp"
#include "support/recording_messages.hpp"
#include "support/scripted_file_dialogs.hpp"

#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>

using namespace vornax;
using namespace vornax::driver;

namespace {

// `value` written with as many decimals as the Sigmas box of `row` shows.
QString same_decimals_as_sigma(RefineTabWidget* tab, int row, double value) {
  const QString sigma = tab->sigma_box(row)->text().trimmed();
  const int dot = sigma.indexOf('.');
  return QString::number(value, 'f', dot < 0 ? 0 : int(sigma.size() - dot - 1));
}

QStringList row_texts(QTableWidget* t, int row) {
  QStringList out;
  for (int c = 0; c < t->columnCount(); ++c)
    out << (t->item(row, c) ? t->item(row, c)->text() : QString());
  return out;
}

QStringList headers(QTableWidget* t) {
  QStringList out;
  for (int c = 0; c < t->columnCount(); ++c) out << t->horizontalHeaderItem(c)->text();
  return out;
}

QStringList file_lines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(f.readAll()).split("\r\n");
}

}  // namespace

class TestRefineTab : public QObject {
  Q_OBJECT

  std::unique_ptr<TempCurrentFolder> dir_;

  struct Fixture : MainWindowFixture {
    Fixture() : MainWindowFixture(true) {}
    RefineTabWidget* tab() const { return w->refine_tab(); }
    std::string first_message() const { return m.texts().empty() ? "" : m.texts().front(); }
  };

  // Nine silicon peaks (to 125° 2θ) with the given shift typed, the cell 5.428 calculated, paired.
  static void prepare(Fixture& f, double shift, bool eccentric) {
    std::vector<double> angles;
    for (const Peak& p : diamond_peaks(kSiliconA, kCuKa1, 125, shift, eccentric))
      angles.push_back(p.two_theta);
    type_peaks(*f.w, "1.540593", angles);
    QCOMPARE(f.s.measured_count(), 9);
    enter_cell(*f.w, "Cubic", "F d -3 m:2", "5.428", "1.540593", "20", "130");
    QVERIFY2(f.s.allowed_count() >= 9, f.first_message().c_str());
    auto_select(*f.w, "0.3");
    QCOMPARE(f.s.selected_count(), 9);
  }

  QString path(const char* name) const { return dir_->path(name); }

 private slots:
  void init() {
    dir_.reset();  // back to the first folder before the next one is made current
    dir_ = std::make_unique<TempCurrentFolder>();
    QVERIFY(dir_->valid());
  }
  void cleanup() { dir_.reset(); }

  void panel_layout_hints_and_default_flags() {
    Fixture f;
    RefineTabWidget* tab = f.tab();
    struct Hint { QPushButton* b; const char* hint; bool visible; };
    const Hint hints[] = {
        {tab->refine_button(), "Lauch the refinement process", true},
        {tab->use_refined_button(), "Replace the initial parameters by the refined parameters", true},
        {tab->restore_button(), "Restore the initial cell parameters", true},
        {tab->report_button(), "Edit (and print) the refinement report", false},
        {tab->excel_button(), "export results to Excel", false},
        {tab->print_screen_button(), "Print screen", false},
    };
    for (const Hint& h : hints) {
      QCOMPARE(h.b->toolTip(), QString(h.hint));
      QCOMPARE(!h.b->isHidden(), h.visible);
    }
    QVERIFY(tab->initial_box(0)->isReadOnly());
    QVERIFY(!tab->initial_box(6)->isReadOnly());
    QVERIFY(!tab->initial_box(7)->isReadOnly());
    QCOMPARE(tab->initial_box(6)->text(), QString("0"));

    // After "Calc." the free parameters of the system are offered and checked.
    type_peaks(*f.w, "1.540593", {28.442, 47.302});
    enter_cell(*f.w, "Cubic", "F d -3 m:2", "5.428", "1.540593", "20", "130");
    const bool checked[8] = {true, false, false, false, false, false, false, false};
    const bool enabled[8] = {true, false, false, false, false, false, true, true};
    for (int i = 0; i < 8; ++i) {
      QVERIFY(tab->refine_flag(i)->isChecked() == checked[i]);
      QVERIFY(tab->refine_flag(i)->isEnabled() == enabled[i]);
    }
    QCOMPARE(tab->initial_box(0)->text(), QString("5.4280"));
    QCOMPARE(tab->initial_box(3)->text(), QString("90.000"));
    QCOMPARE(tab->initial_box(7)->text(), QString("1.54059"));
  }

  void refine_without_pairs_says_so() {
    Fixture f;
    click(f.tab()->refine_button());
    QCOMPARE(f.m.texts(), std::vector<std::string>{"No selected reflections!"});
    QVERIFY(f.tab()->report_button()->isHidden());
    QVERIFY(!QFile::exists(path("vornax.inp")));
  }

  void typed_boxes_refused_with_their_messages() {
    Fixture f;
    prepare(f, 0, false);
    RefineTabWidget* tab = f.tab();
    struct Case { const char* lambda; const char* shift; const char* message; const char* current; };
    const Case cases[] = {
        {"1.54x", "0", "Error on Lambda!", "1.54059"},
        // The wavelength is taken before the shift is read: it stays taken.
        {"1.5406", "0,0,1", "Error on Angular Shift!", "1.54060"},
    };
    for (const Case& c : cases) {
      f.m.clear();
      tab->initial_box(7)->setText(c.lambda);
      tab->initial_box(6)->setText(c.shift);
      click(tab->refine_button());
      QCOMPARE(f.m.texts(), std::vector<std::string>{c.message});
      QCOMPARE(f.w->lambda_box()->text(), QString(c.current));
      QVERIFY(tab->report_button()->isHidden());
      QVERIFY(!QFile::exists(path("vornax.inp")));
    }
  }

  void silicon_refined_through_the_window() {
    Fixture f;
    prepare(f, 0, false);
    RefineTabWidget* tab = f.tab();
    QTableWidget* before = tab->before_grid();
    QCOMPARE(headers(before),
             (QStringList{"Nb.", "h   k   l", "2T Obs", "2TObs-shift", "2T Calc", "Diff."}));
    QCOMPARE(row_texts(before, 0)[1].simplified(), QString("1 1 1"));

    refine(*f.w, 0);
    QVERIFY2(f.m.empty(), f.first_message().c_str());
    QVERIFY(f.s.results.refined);
    QVERIFY(std::fabs(f.s.results.cell.a - kSiliconA) < 2e-5);

    // The Refined boxes: a to the decimal of its error's second digit (9:4 at least),
    // the wavelength kept, the volume.
    QCOMPARE(tab->refined_box(0)->text(), same_decimals_as_sigma(tab, 0, f.s.results.cell.a));
    QVERIFY(std::fabs(tab->refined_box(0)->text().toDouble() - kSiliconA) < 2e-5);
    QCOMPARE(tab->refined_box(7)->text(), QString("1.54059"));
    QCOMPARE(tab->refined_box(8)->text(),
             same_decimals_as_sigma(tab, 8, std::pow(f.s.results.cell.a, 3)));
    QVERIFY(!tab->sigma_box(0)->text().isEmpty());
    QVERIFY(tab->sigma_box(0)->text().toDouble() < 1e-3);

    // "After refinement": every pair with its indices and a difference within the
    // rounding of the typed angles.
    QTableWidget* after = tab->after_grid();
    QCOMPARE(headers(after), (QStringList{"No.", "h k l", "2TObs-shift", "2TCalc", "Dif."}));
    QCOMPARE(after->rowCount(), 24);  // at least 25 rows with the header
    const auto peaks = diamond_peaks(kSiliconA, kCuKa1, 125);
    for (int r = 0; r < 9; ++r) {
      const QStringList row = row_texts(after, r);
      QCOMPARE(row[0].trimmed(), QString::number(r + 1));
      const auto& p = peaks[static_cast<size_t>(r)];
      // The generator picks its own representative of the form (0 2 2 for 2 2 0).
      const QStringList hkl = row[1].simplified().split(' ');
      QCOMPARE(hkl.size(), 3);
      int n = 0;
      for (const QString& i : hkl) n += i.toInt() * i.toInt();
      QCOMPARE(n, p.h * p.h + p.k * p.k + p.l * p.l);
      QCOMPARE(row[2].trimmed(), QString::number(p.two_theta, 'f', 3));
      QVERIFY2(std::fabs(row[3].toDouble() - p.two_theta) <= 0.0015, qPrintable(row.join('|')));
      QVERIFY2(std::fabs(row[4].toDouble()) <= 0.0015, qPrintable(row.join('|')));
    }
    QVERIFY(row_texts(after, 9)[0].isEmpty());
    QVERIFY(tab->deviation_after_box()->text().toDouble() < 0.001);
    QVERIFY(!tab->deviation_before_box()->text().isEmpty());

    // The result buttons appear; the report and the export show the results.
    QVERIFY(!tab->report_button()->isHidden());
    QVERIFY(!tab->excel_button()->isHidden());
    QVERIFY(!tab->print_screen_button()->isHidden());
    click(tab->report_button());
    QVERIFY(!f.w->report_viewer()->isHidden());
    QVERIFY(f.w->report_viewer()->text().contains("Final values"));
    QVERIFY(QFile::exists(path("Excel.txt")));

    click(tab->excel_button());
    Tfexcel* excel = f.w->excel_window();
    QVERIFY(!excel->isHidden());
    QCOMPARE(excel->windowTitle(), QString("Transfert to Excel"));
    const QString exported = excel->text_area()->toPlainText();
    QVERIFY(exported.contains("Final values"));
    QVERIFY(exported.contains('\t'));
    click(excel->copy_button());
    QCOMPARE(QApplication::clipboard()->text(), exported);
    click(excel->cancel_button());
    QVERIFY(excel->isHidden());
    QVERIFY2(f.m.empty(), f.first_message().c_str());

    // θ mode halves the angles of the grids.
    f.w->measured_tab()->findChild<QRadioButton*>("radio_theta")->click();
    QCOMPARE(headers(tab->after_grid())[3], QString("TCalc"));
    // The corrected angle is the engine's: the observed one less the refined shift.
    // (The typed angles were rounded to 0.001°.)
    QVERIFY(std::fabs(row_texts(tab->after_grid(), 0)[2].toDouble() -
                      (peaks[0].two_theta - f.s.results.zero_shift) / 2) < 1e-3);

    // The report gone from the disk: the export says so, as every refinement message does.
    QVERIFY(QFile::remove(path("vornax.out")));
    click(tab->excel_button());
    QCOMPARE(f.m.texts(), std::vector<std::string>{"No results"});
    QVERIFY(f.m.log[0].first == RecordingMessages::Kind::Warning);
  }

  // "Weights: fitted" needs a σ on every pair; with them the tab shows the goodness of
  // fit, and back on "unit" the line goes.
  void weights_choice_refuses_unfitted_pairs_then_shows_the_goodness_of_fit() {
    Fixture f;
    prepare(f, 0, false);
    RefineTabWidget* tab = f.tab();
    f.w->tabs()->setCurrentIndex(Tform1::kRefineTab);
    QComboBox* weights = tab->weights_combo();
    QCOMPARE(weights->currentText(), QString("unit"));
    weights->setFocus();
    QTest::keyClick(weights, Qt::Key_Down);
    QCOMPARE(weights->currentText(), QString("fitted"));

    click(tab->refine_button());
    QCOMPARE(f.m.texts(), std::vector<std::string>{
                              "9 pairs have no fitted error: fit the peaks (search --fit) or use --weights unit"});
    QVERIFY(!f.s.results.refined);
    QVERIFY(!QFile::exists(path("vornax.inp")));
    QVERIFY(tab->weighting_label()->text().isEmpty());
    f.m.log.clear();

    // The typed angles carry 3 decimals: a σ of 0.001° as if a fit had found it.
    for (MeasuredPeak& p : f.s.measured.peaks) p.sigma = 0.001;
    auto_select(*f.w, "0.3");
    f.w->tabs()->setCurrentIndex(Tform1::kRefineTab);
    click(tab->refine_button());
    QVERIFY2(f.m.empty(), f.first_message().c_str());
    QVERIFY(f.s.results.refined);
    const QString line = tab->weighting_label()->text();
    QVERIFY2(line.startsWith(QString::fromUtf8("weighting: fitted (sigma floor 0.001°), goodness of fit ")),
             qPrintable(line));
    QVERIFY(line.section(' ', -1).toDouble() > 0);
    QVERIFY(!tab->weighting_label()->isHidden());

    weights->setFocus();
    QTest::keyClick(weights, Qt::Key_Up);
    click(tab->refine_button());
    QVERIFY(f.s.results.refined);
    QVERIFY(tab->weighting_label()->text().isEmpty());
  }

  // "Save CIF" through the main window's file dialog: hidden until a refinement
  // succeeded, nothing written on Cancel, the refined cell read back by gemmi, a file
  // of the run refused, and hidden again once the results were used.
  void save_cif_writes_the_refined_cell() {
    Fixture f;
    ScriptedFileDialogs dialogs;
    f.w->set_file_dialogs(&dialogs);
    RefineTabWidget* tab = f.tab();
    QVERIFY(tab->save_cif_button()->isHidden());
    prepare(f, 0, false);
    refine(*f.w, 0);
    QVERIFY(f.s.results.refined);
    QVERIFY(!tab->save_cif_button()->isHidden());

    dialogs.answers = {std::nullopt, path("silicon").toStdString(), path("vornax.out").toStdString()};
    click(tab->save_cif_button());
    QVERIFY(!QFile::exists(path("silicon.cif")));
    click(tab->save_cif_button());
    QVERIFY2(f.m.empty(), f.first_message().c_str());
    QCOMPARE(dialogs.titles.at(0), std::string("Save CIF"));
    QCOMPARE(dialogs.shown_filters.at(0), std::vector<std::string>{"CIF files (*.cif)"});
    gemmi::cif::Document doc = gemmi::cif::read_file(path("silicon.cif").toStdString());
    gemmi::cif::Block& b = doc.blocks.at(0);
    QCOMPARE(b.name, std::string("silicon"));
    const double a = gemmi::cif::as_number(*b.find_value("_cell_length_a"));
    QVERIFY2(std::fabs(a - f.s.results.cell.a) < 2e-5, b.find_value("_cell_length_a")->c_str());
    QVERIFY(std::fabs(a - kSiliconA) < 2e-5);
    QCOMPARE(*b.find_value("_space_group_crystal_system"), std::string("cubic"));
    QCOMPARE(gemmi::cif::as_int(*b.find_value("_refine_ls_number_reflns")), 9);
    QCOMPARE(int(b.find_loop("_refln_index_h").length()), 9);

    // The run's own report is not replaced.
    click(tab->save_cif_button());
    QCOMPARE(f.m.texts().size(), size_t(1));
    QVERIFY(file_lines(path("vornax.out")).join("\n").contains("Final values"));

    click(tab->use_refined_button());
    QVERIFY(tab->save_cif_button()->isHidden());
  }

  void shift_refined_with_both_models() {
    struct Case { int model; bool eccentric; const char* label; const char* key; };
    const Case cases[] = {{1, false, "2Δθ", "  0.0000  1.0000"},
                          {2, true, "e/R(°)", "  0.0000  2.0000"}};
    for (const Case& c : cases) {
      init();
      {
        Fixture f;
        prepare(f, 0.040, c.eccentric);
        refine(*f.w, c.model);
        QVERIFY2(f.m.empty(), f.first_message().c_str());
        RefineTabWidget* tab = f.tab();
        QCOMPARE(tab->shift_label()->text(), QString::fromUtf8(c.label));
        QCOMPARE(file_lines(path("vornax.inp")).value(8), QString(c.key));
        QVERIFY(std::fabs(f.s.results.cell.a - kSiliconA) < 2e-5);
        QVERIFY(std::fabs(f.s.results.zero_shift - 0.040) < 0.002);
        QCOMPARE(tab->refined_box(0)->text(), same_decimals_as_sigma(tab, 0, f.s.results.cell.a));
        QVERIFY(std::fabs(tab->refined_box(0)->text().toDouble() - kSiliconA) < 2e-5);
        QVERIFY(std::fabs(tab->refined_box(6)->text().toDouble() - 0.040) < 0.002);
        // The corrected angles in "After refinement" lie on the calculated ones.
        for (int r = 0; r < 9; ++r)
          QVERIFY(std::fabs(row_texts(tab->after_grid(), r)[4].toDouble()) <= 0.0015);

        // In θ mode the refined shift is shown halved, its sigma is not.
        const QString sigma = tab->sigma_box(6)->text();
        f.w->measured_tab()->findChild<QRadioButton*>("radio_theta")->click();
        QVERIFY(std::fabs(tab->refined_box(6)->text().toDouble() - f.s.results.zero_shift / 2) < 1e-6);
        QCOMPARE(tab->sigma_box(6)->text(), sigma);
      }
      cleanup();
    }
  }

  void use_refined_values_then_restore() {
    Fixture f;
    prepare(f, 0.040, false);
    refine(*f.w, 1);
    QVERIFY2(f.m.empty(), f.first_message().c_str());
    RefineTabWidget* tab = f.tab();
    const double refined_a = f.s.results.cell.a;
    const double shift = f.s.results.zero_shift;
    const double first_read = f.s.measured.peaks[0].two_theta_read;

    f.w->tabs()->setCurrentIndex(Tform1::kSelectionTab);
    click(tab->use_refined_button());
    QCOMPARE(f.w->tabs()->currentIndex(), int(Tform1::kRefineTab));
    QCOMPARE(f.s.cell.a, refined_a);
    QCOMPARE(f.s.selected_count(), 0);
    QVERIFY(std::fabs(f.s.measured.peaks[0].two_theta - (first_read - shift)) < 1e-9);
    QCOMPARE(tab->initial_box(0)->text(), QString("5.4312"));
    QCOMPARE(tab->initial_box(6)->text(), QString("0"));
    QVERIFY(tab->refined_box(0)->text().isEmpty());
    QVERIFY(tab->sigma_box(0)->text().isEmpty());
    QVERIFY(tab->report_button()->isHidden());
    QVERIFY(tab->excel_button()->isHidden());
    QVERIFY(f.s.allowed_count() > 0);  // recalculated with the refined cell
    QCOMPARE(f.w->cell_tab()->field(0)->text().trimmed(), QString("5.4312"));
    // Adopted values are not offered again: the emptied boxes stay empty through a θ / 2θ
    // switch, and "Use refined" does nothing until the next refinement.
    f.w->measured_tab()->findChild<QRadioButton*>("radio_theta")->click();
    f.w->measured_tab()->findChild<QRadioButton*>("radio_two_theta")->click();
    QVERIFY(tab->refined_box(0)->text().isEmpty());
    QVERIFY(tab->sigma_box(6)->text().isEmpty());

    // A second round from the adopted cell needs no shift any more.
    auto_select(*f.w, "0.05");
    QCOMPARE(f.s.selected_count(), 9);
    refine(*f.w, 0);
    QVERIFY(std::fabs(f.s.results.cell.a - kSiliconA) < 2e-5);

    click(tab->restore_button());
    QCOMPARE(f.s.cell.a, 5.428);
    QCOMPARE(f.s.measured.peaks[0].two_theta, first_read);
    QCOMPARE(tab->initial_box(0)->text(), QString("5.4280"));
    QVERIFY(tab->report_button()->isHidden());
  }

  void highlighted_pair_is_painted() {
    Fixture f;
    prepare(f, 0, false);
    refine(*f.w, 0);
    QTableWidget* after = f.tab()->after_grid();
    QTest::mouseClick(after->viewport(), Qt::LeftButton, {},
                      after->visualItemRect(after->item(2, 1)).center());
    QCOMPARE(f.s.highlighted_pair, 3);
    for (QTableWidget* t : {f.tab()->before_grid(), after}) {
      QCOMPARE(t->item(2, 1)->background().color(), QColor(255, 203, 238));
      QVERIFY(t->item(2, 1)->textAlignment() & Qt::AlignLeft);
      QVERIFY(t->item(1, 1)->background().style() == Qt::NoBrush);
      QCOMPARE(t->item(1, 1)->textAlignment(), int(Qt::AlignCenter));
    }
  }
};

QTEST_MAIN(TestRefineTab)
#include "test_refine_tab.moc"

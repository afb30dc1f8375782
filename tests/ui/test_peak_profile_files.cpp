// Peak and profile files through the main window: the file dialog and the wavelength
// window answered as a user would, what the grids and "Current values" then show, what a
// cancel leaves, the two reports, a DIF2 saved and read again, and "Current values" OK.
#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

#include "files/peak_files.hpp"
#include "files/peak_fixtures.hpp"
#include "files/profile_fixtures.hpp"
#include "support/scripted_file_dialogs.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/report_viewer.hpp"
#include "ui/tflilambda.hpp"
#include "ui/tform1.hpp"
#include "ui_driver.hpp"

using namespace vornax;
using vornax::driver::MainWindowFixture;
using vornax::driver::TempCurrentFolder;

namespace {

void write_file(const QString& path, const std::string& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// A line of the fixed-column text peak list: 2θ in characters 23..30, intensity in 57..66.
std::string xfit_line(const char* angle, const char* intensity) {
  std::string l(66, ' ');
  const std::string a(angle), i(intensity);
  l.replace(30 - a.size(), a.size(), a);
  l.replace(66 - i.size(), i.size(), i);
  return l;
}

// What the user does in the wavelength window once it is up: a source row (-1 none),
// then OK or closing the window. `asked` records that it came up.
void answer_wavelength_window(Tform1& w, int row, bool ok, bool* asked = nullptr,
                              const QString& lambda = QString()) {
  QTimer::singleShot(0, &w, [&w, row, ok, asked, lambda] {
    Tflilambda* d = w.lambda_window();
    if (!d->isVisible()) return;
    if (asked) *asked = true;
    if (row >= 0) {
      QListWidget* list = d->source_list();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualItemRect(list->item(row)).center());
    }
    if (!lambda.isNull()) d->lambda_box()->setText(lambda);
    if (ok)
      QTest::mouseClick(d->ok_button(), Qt::LeftButton);
    else
      d->close();
  });
}

constexpr int kCu = 1;  // row of "Cu" in the source list

struct Window {
  TempCurrentFolder folder;
  MainWindowFixture f{false};
  ScriptedFileDialogs dialogs;
  Window() { f.w->set_file_dialogs(&dialogs); }
  Tform1& w() { return *f.w; }
  QString path(const QString& name) const { return folder.path(name); }
  // The next file dialog answers `name` in the test's folder (empty: Cancel).
  void choose(const QString& name) {
    dialogs.answers.push_back(name.isEmpty() ? std::nullopt
                                             : std::optional<std::string>(path(name).toStdString()));
  }
  void run(const char* action) {
    QAction* a = w().action(QString::fromLatin1(action));
    QVERIFY2(a, action);
    QVERIFY2(a->isEnabled(), action);
    a->trigger();
    driver::settle();
  }
  double first_grid_angle() {
    QTableWidgetItem* item = w().measured_tab()->grid()->item(0, 0);
    return item ? item->text().toDouble() : -1;
  }
};

}  // namespace

class TestPeakProfileFiles : public QObject {
  Q_OBJECT
 private slots:
  // The wavelength window alone: "Cu" fills the three boxes; OK without a source keeps
  // only λ; a wavelength that is no number keeps the window open.
  void wavelength_window_answers() {
    Window x;
    Tflilambda* d = x.w().lambda_window();
    QCOMPARE(d->windowTitle(), QString("Lambda missing"));
    answer_wavelength_window(x.w(), kCu, true);
    auto cu = d->choose({}, false);
    QVERIFY(cu);
    QCOMPARE(cu->lambda, 1.5418);
    QCOMPARE(cu->lambda1, 1.54056);
    QCOMPARE(cu->lambda2, 1.54439);
    QCOMPARE(cu->ratio, 0.5);
    QCOMPARE(cu->anode, std::string("Cu"));
    QCOMPARE(d->target(), 1);

    // Fresh on every question: nothing chosen, boxes hidden, λ1 and λ2 "0".
    bool checked = false;
    QTimer::singleShot(0, d, [d, &checked] {
      checked = d->source_list()->currentRow() == -1 && d->lambda_box()->isHidden() &&
                d->lambda1_box()->isHidden() && d->lambda1_box()->text() == "0" &&
                d->lambda2_box()->text() == "0";
      d->lambda_box()->setText("1.2345");
      QTest::mouseClick(d->ok_button(), Qt::LeftButton);
    });
    auto none = d->choose({}, true);
    QVERIFY(checked);
    QVERIFY(none);
    QCOMPARE(none->lambda, 1.2345);
    QCOMPARE(none->anode, std::string("?"));
    QCOMPARE(none->ratio, 1.0);
    QCOMPARE(none->lambda1, 0.0);
    QCOMPARE(d->target(), 2);

    // "Other" and a bad or non-positive λ: message, window still open; then closed.
    for (const char* bad : {"abc", "0", "-1.5"}) {
      x.f.m.clear();
      bool still_open = false;
      QTimer::singleShot(0, d, [d, bad, &still_open] {
        QListWidget* list = d->source_list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(5)).center());
        d->lambda_box()->setText(bad);
        QTest::mouseClick(d->ok_button(), Qt::LeftButton);
        still_open = d->isVisible();
        d->close();
      });
      QVERIFY(!d->choose({}, false));
      QVERIFY2(still_open, bad);
      QCOMPARE(x.f.m.texts(), std::vector<std::string>{"Lambda error!"});
    }
  }

  // The seven kinds of peak file, each through its menu entry: the dialog starts on the
  // kind's filter, the wavelength window is asked for the kinds without a wavelength,
  // and the grid, "Peak data" and "Current values" show what was read.
  void seven_peak_kinds_load_through_the_window() {
    struct Case {
      const char* action;
      const char* file;
      std::string bytes;
      int filter;           // 0-based filter shown first
      bool asks_lambda;
      double first_angle;   // the grid shows the peaks by angle
      size_t count;
      const char* lambda;   // "Current values"
    };
    const std::string xfit = "Peak list\r\n" + xfit_line("26.640", "100.0") + "\r\n\r\n" +
                             xfit_line("20.860", "35.0") + "\r\n";
    const Case cases[] = {
        {"action_open_peaks_bruker", "p.dif", peak_test::dif2({{26.64, 100}, {20.86, 35}}), 0,
         false, 20.86, 2, "1.54056"},
        {"action_open_peaks_xfit", "p.txt", xfit, 1, true, 20.86, 2, "1.54180"},
        {"action_open_peaks_winfit", "p.dat",
         "Sample Position FWHM Area Beta Intensity\nq1 26.64 0.1 12 0.2 100\nq1 20.86 0.1 5 0.2 35\n",
         2, true, 20.86, 2, "1.54180"},
        {"action_open_peaks_philips", "p.di",
         peak_test::di({{5328, 1000}, {4172, 350}}, 0, 0, 1.54056, 1.54439, 0.5), 3, false, 20.86,
         2, "1.54056"},
        {"action_open_peaks_column", "p.prn", "26.64\r\n20.86\r\n", 4, true, 20.86, 2, "1.54180"},
        {"action_popup_peaks_columns", "p.col", "  26.64\n  20.86\n\n", 5, true, 20.86, 2, "1.54180"},
        {"action_popup_open_indexed_list", "p.lst", "1 1 1 28.44\r\n2 2 0 47.30\r\n", 6, true,
         28.44, 2, "1.54180"},
    };
    Window x;
    for (const Case& c : cases) {
      write_file(x.path(c.file), c.bytes);
      x.f.m.clear();
      x.choose(c.file);
      bool asked = false;
      if (c.asks_lambda) answer_wavelength_window(x.w(), kCu, true, &asked);
      x.run(c.action);
      QCOMPARE(x.dialogs.shown_filters.back().size(), kPeakFileKinds.size());
      QCOMPARE(x.dialogs.shown_filters.back()[static_cast<size_t>(c.filter)],
               std::string(kPeakFileKinds[static_cast<size_t>(c.filter)].dialog_filter));
      QVERIFY2(asked == c.asks_lambda, c.file);
      QVERIFY2(x.f.s.measured.peaks.size() == c.count, c.file);
      QVERIFY2(std::abs(x.first_grid_angle() - c.first_angle) < 1e-3, c.file);
      QCOMPARE(x.w().lambda_box()->text().trimmed(), QString(c.lambda));
      QVERIFY2(!x.w().peak_data_panel()->isHidden(), c.file);
      QVERIFY2(x.f.s.measured.file_name == x.path(c.file).toStdString(), c.file);
      const bool lst = std::string(c.file) == "p.lst";
      const auto texts = x.f.m.texts();
      QVERIFY2(lst ? texts == std::vector<std::string>{
                                  "Are you sure that your file contains h, k, l and 2Theta list ?"}
                   : texts.empty(),
               texts.empty() ? c.file : texts.front().c_str());
      if (lst) QCOMPARE(x.f.s.indexed_list.size(), size_t{2});
    }
  }

  // The five profile kinds, the column kind last; the panel, the point count and the
  // current wavelength come from the file (the column file from the wavelength window).
  void five_profile_kinds_load_through_the_window() {
    struct Case {
      const char* action;
      const char* file;
      std::string bytes;
      bool asks_lambda;
      size_t points;
      const char* lambda;
    };
    using vornax::test::crlf;
    const Case cases[] = {
        {"action_open_profile_bruker", "s.raw", vornax::test::raw2_fixture({100, 200, 300, 400}),
         false, 4, "1.54184"},
        {"action_open_profile_rietveld", "s.dat",
         crlf({"SampleIdent Quartz DataFileName q.dat", "", "Alpha1 1.54056 Alpha2 1.54439 Ratio 0.5",
               "", "10.0 0.02 10.06", "100 200 300 400"}),
         false, 4, "1.54184"},
        {"action_open_profile_cpi", "s.cpi",
         crlf({"SIETRONICS XRD SCAN", "10.000", "10.060", "0.020", "Cu", "1.54180", "0:00", "1",
               "SampleIdent Quartz", "SCANDATA", "100", "200", "300", "400"}),
         false, 4, "1.54180"},
        {"action_open_profile_philips", "s.rd", vornax::test::rd_fixture("V3", {100, 200, 300}),
         false, 3, "1.54184"},
        {"action_open_profile_column", "s.xy", "# scan\n10 100\n10.02 200\t5\n10.04 300\n", true, 3,
         "1.54180"},
    };
    Window x;
    QCOMPARE(x.w().action("action_open_profile_column")->text(),
             QString("C&olumn Format (*.xy *.xye *.prn *.txt)"));
    for (size_t i = 0; i < std::size(cases); ++i) {
      const Case& c = cases[i];
      write_file(x.path(c.file), c.bytes);
      x.f.m.clear();
      x.choose(c.file);
      bool asked = false;
      if (c.asks_lambda) answer_wavelength_window(x.w(), kCu, true, &asked);
      x.run(c.action);
      const auto& filters = x.dialogs.shown_filters.back();
      QCOMPARE(filters.size(), kProfileFileFilters.size());
      QCOMPARE(filters[4], std::string("Column Format (*.xy *.xye *.prn *.txt)"));
      QVERIFY2(asked == c.asks_lambda, c.file);
      QVERIFY2(x.f.m.empty(), x.f.m.empty() ? c.file : x.f.m.texts().front().c_str());
      QVERIFY2(x.f.s.profile.points.size() == c.points, c.file);
      QVERIFY2(!x.w().profile_panel()->isHidden(), c.file);
      QCOMPARE(x.w().lambda_box()->text().trimmed(), QString(c.lambda));
    }
  }

  // A cancelled file dialog, a closed wavelength window or a damaged file keep the peaks,
  // the profile, the wavelength and what the grid shows.
  void cancel_or_closed_window_keeps_everything() {
    Window x;
    write_file(x.path("p.dif"), peak_test::dif2({{26.64, 100}, {20.86, 35}}));
    write_file(x.path("q.txt"), "Peak list\r\n" + xfit_line("33.000", "10.0") + "\r\n");
    write_file(x.path("s.xy"), "10 100\n10.02 200\n");
    write_file(x.path("bad.dif"), "DIF2 short");
    x.choose("p.dif");
    x.run("action_open_peaks_bruker");
    const std::string before_file = x.f.s.measured.file_name;
    const QString before_lambda = x.w().lambda_box()->text();

    x.choose("");  // Cancel
    x.run("action_open_peaks_xfit");
    x.choose("q.txt");
    bool asked = false;
    answer_wavelength_window(x.w(), kCu, false, &asked);  // closed
    x.run("action_open_peaks_xfit");
    QVERIFY(asked);
    x.choose("s.xy");
    asked = false;
    answer_wavelength_window(x.w(), -1, false, &asked);
    x.run("action_open_profile_column");
    QVERIFY(asked);
    QVERIFY(x.f.m.empty());
    x.choose("bad.dif");
    x.run("action_open_peaks_bruker");
    QCOMPARE(x.f.m.texts().size(), size_t{1});

    QCOMPARE(x.f.s.measured.peaks.size(), size_t{2});
    QCOMPARE(x.f.s.measured.file_name, before_file);
    QVERIFY(x.f.s.profile.points.empty());
    QCOMPARE(x.w().lambda_box()->text(), before_lambda);
    QVERIFY(std::abs(x.first_grid_angle() - 20.86) < 1e-3);
  }

  // Files past a limit of their kind, through File > Open: the text kinds keep their
  // first entries and say which limit cut them; a DIF file holding fewer records than
  // its header announces is refused and the peaks loaded before stay as they were.
  void files_past_their_limits_are_told() {
    std::string winfit = "Sample Position FWHM Area Beta Intensity\r\n";
    for (int i = 0; i < 60; ++i) winfit += "q " + std::to_string(10 + i) + ".5 0.1 1 0.2 50\r\n";
    std::string lst;
    for (int i = 0; i < 120; ++i)
      lst += "   1   0   0" + QString::asprintf("%10.4f", 10 + i * 0.5).toStdString() + "\r\n";
    // Five records announced, three present.
    const std::string dif = peak_test::dif2({{30, 10}, {40, 20}, {50, 30}}, 96, 1.54056f,
                                            1.54439f, 0.5f, "Cu", 5);
    struct Case {
      const char* action;
      const char* file;
      std::string bytes;
      bool asks_lambda;
      size_t peaks;          // in the list afterwards
      double first_angle;    // first row of the grid
      const char* message;   // the one message besides the indexed-list question
    };
    const Case cases[] = {
        {"action_open_peaks_winfit", "many.dat", winfit, true, 50, 10.5, kTooManyWinfitLines},
        {"action_popup_open_indexed_list", "many.lst", lst, true, 100, 10.0, kTooManyIndexedLines},
        {"action_open_peaks_bruker", "short.dif", dif, false, 2, 20.86,
         "short.dif: file too short (the header announces 5 peaks, the file holds 3)"},
    };
    for (const Case& c : cases) {
      Window x;
      write_file(x.path("p.dif"), peak_test::dif2({{26.64, 100}, {20.86, 35}}));
      x.choose("p.dif");
      x.run("action_open_peaks_bruker");
      QVERIFY(x.f.m.empty());
      const std::string before_file = x.f.s.measured.file_name;

      write_file(x.path(c.file), c.bytes);
      x.choose(c.file);
      if (c.asks_lambda) answer_wavelength_window(x.w(), kCu, true);
      x.run(c.action);
      std::vector<std::string> texts = x.f.m.texts();
      std::erase(texts, std::string("Are you sure that your file contains h, k, l and 2Theta list ?"));
      QVERIFY2(texts == std::vector<std::string>{c.message},
               texts.empty() ? c.file : texts.front().c_str());
      QVERIFY2(x.f.s.measured.peaks.size() == c.peaks, c.file);
      QVERIFY2(std::abs(x.first_grid_angle() - c.first_angle) < 1e-3, c.file);
      const bool refused = c.peaks == 2;
      QVERIFY2((x.f.s.measured.file_name == before_file) == refused, c.file);
      if (std::string(c.file) == "many.lst") QCOMPARE(x.f.s.indexed_list.size(), size_t{100});
    }
  }

  // dif.out and raw.out are written in the working folder and shown in the viewer.
  void reports_open_in_the_report_viewer() {
    Window x;
    x.run("action_edit_measured");
    x.run("action_edit_raw");
    QCOMPARE(x.f.m.texts(), (std::vector<std::string>{"No measured peaks!", "No diagram!"}));
    write_file(x.path("p.dif"), peak_test::dif2({{26.64, 100}}));
    write_file(x.path("s.raw"), vornax::test::raw2_fixture({100, 200, 300, 400, 500, 600, 700}));
    x.choose("p.dif");
    x.run("action_open_peaks_bruker");
    x.choose("s.raw");
    x.run("action_open_profile_bruker");
    struct Case { const char* action; const char* report; const char* line1; };
    for (const Case c : {Case{"action_edit_measured", "dif.out", "File name    :p.dif"},
                         Case{"action_edit_raw", "raw.out", "File name    :s.raw"}}) {
      x.run(c.action);
      ReportViewer* v = x.w().report_viewer();
      QVERIFY(v->isVisible());
      QCOMPARE(QFileInfo(v->path()).fileName(), QString(c.report));
      QCOMPARE(QFileInfo(v->path()).absolutePath(), QFileInfo(x.folder.path()).absoluteFilePath());
      QCOMPARE(v->text().split('\n').first().trimmed(), QString(c.line1));
      v->hide();
    }
  }

  // Saved as DIF2 (".dif" added) and read back: the same peaks; "No" to the overwrite
  // question writes nothing.
  void saved_dif2_reloads_to_the_same_peaks() {
    Window x;
    write_file(x.path("p.dif"), peak_test::dif2({{26.64, 100}, {20.86, 35}, {50.14, 17}}));
    x.choose("p.dif");
    x.run("action_open_peaks_bruker");
    const std::vector<MeasuredPeak> original = x.f.s.measured.peaks;
    x.f.m.clear();
    x.choose("copy");
    x.run("action_save_peaks_bruker");
    QCOMPARE(x.dialogs.shown_filters.back(), std::vector<std::string>{"Bruker Format (*.dif)"});
    QCOMPARE(x.f.m.texts(), std::vector<std::string>{"The peak positions were saved in the file " +
                                                     x.path("copy.dif").toStdString()});
    x.run("action_erase_peak");
    QVERIFY(x.f.s.measured.peaks.empty());
    x.choose("copy.dif");
    x.run("action_open_peaks_bruker");
    QCOMPARE(x.f.s.measured.peaks.size(), original.size());
    for (size_t i = 0; i < original.size(); ++i) {
      QCOMPARE(x.f.s.measured.peaks[i].two_theta, original[i].two_theta);
      QCOMPARE(x.f.s.measured.peaks[i].intensity, original[i].intensity);
    }
    x.f.m.clear();
    x.f.m.answers = {Answer::No};
    x.choose("p.dif");
    x.run("action_save_peaks_column");  // the name lacks .prn: a new file, no question
    x.choose("copy.dif");
    x.run("action_save_peaks_bruker");
    QCOMPARE(x.f.m.texts(),
             std::vector<std::string>{"This file already exists. Do you want to continue?"});
    QCOMPARE(x.f.s.measured.file_name, x.path("p.dif.prn").toStdString());
  }

  // "Current values": a wavelength that is not above 0 is refused; OK with a new range
  // keeps only the peaks inside it.
  void current_values_ok_rereads_the_range() {
    Window x;
    write_file(x.path("p.dif"), peak_test::dif2({{55, 40}, {25, 100}, {70, 10}, {15, 20}}));
    x.choose("p.dif");
    x.run("action_open_peaks_bruker");
    x.w().lambda_box()->setText("-1");
    emit x.w().lambda_box()->editingFinished();
    QCOMPARE(x.f.m.texts(), std::vector<std::string>{"Error at lambda"});
    QCOMPARE(x.f.s.wavelengths.lambda, 1.54056f * 1.0);
    x.f.m.clear();
    x.w().lambda_box()->setText("1.5406");
    x.w().range_min_box()->setText("20");
    x.w().range_max_box()->setText("60");
    QVERIFY(x.w().range_ok_button()->isEnabled());
    QTest::mouseClick(x.w().range_ok_button(), Qt::LeftButton);
    QCOMPARE(x.f.m.texts(),
             std::vector<std::string>{"The initial values will be lost. Do you want to continue?"});
    QCOMPARE(x.f.s.measured.peaks.size(), size_t{2});
    QCOMPARE(x.w().measured_tab()->grid()->item(0, 0)->text().toDouble(), 25.0);
    QCOMPARE(x.w().measured_tab()->grid()->item(1, 0)->text().toDouble(), 55.0);
    QCOMPARE(x.w().range_min_box()->text(), QString("20.00"));
    QCOMPARE(x.w().lambda_box()->text().trimmed(), QString("1.54060"));
  }
};

QTEST_MAIN(TestPeakProfileFiles)
#include "test_peak_profile_files.moc"

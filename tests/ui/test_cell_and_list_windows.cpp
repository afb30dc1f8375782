// Cell files and indexed lists through the real windows: the cell saved and loaded back,
// the selection editor with its backup, the indexed-list entry window, and the merge.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/session.hpp"
#include "ui/selection_tab_widget.hpp"
#include "ui/tfedit_grid3.hpp"
#include "ui/tfliste_monoc.hpp"
#include "ui_driver.hpp"
#include "support/recording_messages.hpp"
#include "support/scripted_file_dialogs.hpp"

using namespace vornax;
using namespace vornax::driver;

namespace {

const double kPi = std::acos(-1.0);

// Bragg angle by hand: 2θ = 2 asin(λ √(h²+k²+l²) / 2a).
double cubic_two_theta(double a, double lambda, int h, int k, int l) {
  return 2 * std::asin(lambda * std::sqrt(double(h * h + k * k + l * l)) / (2 * a)) * 180 / kPi;
}

QStringList file_lines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromLatin1(f.readAll()).split("\r\n");
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

void write_text(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

// Back to the main window, as a user clicks it after closing another window.
void activate(QWidget& w) {
  QApplication::setActiveWindow(&w);
  QVERIFY(QTest::qWaitForWindowActive(&w));
}

QStringList grid_texts(const QTableWidget* t) {
  QStringList out;
  for (int r = 0; r < t->rowCount(); ++r)
    for (int c = 0; c < t->columnCount(); ++c)
      out << (t->item(r, c) ? t->item(r, c)->text() : QString());
  return out;
}

struct Pair {
  int h, k, l;
  float obs;
  bool operator==(const Pair&) const = default;
};
std::vector<Pair> pairs(const WorkSession& s) {
  std::vector<Pair> out;
  for (const auto& p : s.selected) out.push_back({p.h, p.k, p.l, float(p.two_theta_obs)});
  return out;
}

}  // namespace

class TestCellAndListWindows : public QObject {
  Q_OBJECT

  std::unique_ptr<TempCurrentFolder> dir_;

  struct Fixture : MainWindowFixture {
    ScriptedFileDialogs dialogs;
    Fixture() : MainWindowFixture(true) { w->set_file_dialogs(&dialogs); }
    std::string first_message() const { return m.texts().empty() ? "" : m.texts().front(); }
  };

  QString path(const char* name) const { return dir_->path(name); }

  // Silicon peaks to 125° typed, the cell `a` calculated in F d -3 m, paired.
  static void silicon_selection(Fixture& f, const char* a) {
    std::vector<double> angles;
    for (const Peak& p : diamond_peaks(kSiliconA, kCuKa1, 125)) angles.push_back(p.two_theta);
    type_peaks(*f.w, "1.540593", angles);
    enter_cell(*f.w, "Cubic", "F d -3 m:2", a, "1.540593", "20", "130");
    QVERIFY2(f.s.allowed_count() >= 9, f.first_message().c_str());
    auto_select(*f.w, "0.3");
    QCOMPARE(f.s.selected_count(), 9);
    f.m.clear();
  }

 private slots:
  void init() {
    dir_.reset();
    dir_ = std::make_unique<TempCurrentFolder>();
    QVERIFY(dir_->valid());
  }
  void cleanup() { dir_.reset(); }

  // Save the cell, erase the calculated reflections, type another cell, load the file:
  // the fields and the grid are those of the saved cell, and "Calc." gives them again.
  void saved_cell_loads_back_to_the_same_grid() {
    Fixture f;
    Tform1& w = *f.w;
    enter_cell(w, "Cubic", "F d -3 m:2", "5.4312", "1.540593", "20", "130");
    QVERIFY2(f.s.allowed_count() > 0, f.first_message().c_str());
    const QStringList grid = grid_texts(w.cell_tab()->grid());

    f.dialogs.answers = {path("silicon").toStdString()};
    w.action("action_save_cell")->trigger();
    QCOMPARE(f.dialogs.shown_filters.back(), std::vector<std::string>{"VORNAX Format (*.cry)"});
    const QStringList lines = file_lines(path("silicon.cry"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], QString("CUBI"));
    QCOMPARE(lines[2].toUpper().remove(' '), QString("FD-3M:2"));
    // Six fields of ten characters, four decimals.
    QCOMPARE(lines[3], QString("    5.4312    5.4312    5.4312   90.0000   90.0000   90.0000"));
    QCOMPARE(w.cell_tab()->findChild<QLabel*>("label_calc_title")->text(),
             QString("Calculated pattern (silicon.cry)"));

    click(w.cell_tab()->findChild<QPushButton*>("button_cell_erase"));
    QCOMPARE(f.s.allowed_count(), 0);
    QVERIFY(grid_texts(w.cell_tab()->grid()) != grid);

    // Another cell typed but not calculated: the load replaces it.
    type_into(w.cell_tab()->field(0), "6.0");
    w.cell_tab()->field(6)->setFocus();
    settle();
    f.dialogs.answers = {path("silicon.cry").toStdString()};
    f.dialogs.chosen_filters = {0};
    w.action("action_open_cell_vornax")->trigger();
    QCOMPARE(f.dialogs.shown_filters.back(),
             (std::vector<std::string>{"VorNax Format (*.cry)", "ICSD Format (*.ics)"}));
    QVERIFY2(f.m.empty(), f.first_message().c_str());
    QCOMPARE(w.cell_tab()->field(0)->text().trimmed(), QString("5.4312"));
    QCOMPARE(grid_texts(w.cell_tab()->grid()), grid);
    QCOMPARE(f.s.cell_file_name, path("silicon.cry").toStdString());

    click(w.cell_tab()->calc_button());
    QCOMPARE(grid_texts(w.cell_tab()->grid()), grid);
  }

  // A damaged cell file and an ICSD file chosen through the .cry entry: the first is
  // refused and leaves the session alone, the second is read as an ICSD file.
  void cell_files_refused_or_read_by_their_name() {
    Fixture f;
    Tform1& w = *f.w;
    enter_cell(w, "Cubic", "F d -3 m:2", "5.4312", "1.540593", "20", "130");
    const int calculated = f.s.allowed_count();
    f.m.clear();

    write_text(path("short.cry"), "title\r\nCUBI\r\nF d -3 m\r\n    4.0000    4.0000\r\n");
    f.dialogs.answers = {path("short.cry").toStdString()};
    w.action("action_open_cell_vornax")->trigger();
    QCOMPARE(f.m.texts(), std::vector<std::string>{"Cell parameters not found!"});
    QCOMPARE(f.s.cell.a, 5.4312);
    QCOMPARE(f.s.allowed_count(), calculated);

    f.m.clear();
    write_text(path("nacl.ics"),
               "TITL sodium chloride\r\n"
               "CELL a=5.640(1) b=5.640(1) c=5.640(1) a=90. b=90. g=90.\r\n"
               "SGR F m -3 m (225)\r\n");
    f.dialogs.answers = {path("nacl.ics").toStdString()};
    w.action("action_open_cell_vornax")->trigger();
    QCOMPARE(f.s.cell.a, 5.64);
    QCOMPARE(f.s.system, std::string("CUBI"));
    QCOMPARE(f.s.title, std::string(" sodium chloride"));
    // F m -3 m at 5.64 Å: the first line is (1 1 1).
    QVERIFY(f.s.allowed_count() > 0);
    const auto& first = f.s.allowed.front();
    QCOMPARE(first.h * first.h + first.k * first.k + first.l * first.l, 3);
  }

  // The editor: the "Calc" box on entering the 2θ box, Add/Modif replacing a pair,
  // "Calc." and "Auto Sel." off meanwhile; Cancel brings the list back.
  void editor_cancel_restores_the_list() {
    Fixture f;
    Tform1& w = *f.w;
    silicon_selection(f, "5.428");
    const std::vector<Pair> before = pairs(f.s);

    click(w.selection_tab()->add_modif_button());
    Tfedit_grid3* ed = w.selection_editor();
    QVERIFY(ed->isVisible());
    QCOMPARE(ed->pos(), QPoint(725, 110));
    QVERIFY(!w.cell_tab()->calc_button()->isEnabled());
    QVERIFY(!w.selection_tab()->auto_sel_button()->isEnabled());

    type_into(ed->h_box(), "1");
    type_into(ed->k_box(), "1");
    type_into(ed->l_box(), "1");
    type_into(ed->obs_box(), "28.300");
    const double calc = cubic_two_theta(5.428, kCuKa1, 1, 1, 1);
    QCOMPARE(ed->calc_box()->text(), QString::asprintf("%8.3f", calc));

    click(ed->add_button());
    QCOMPARE(f.s.selected_count(), 9);  // replaced, not added
    const auto it = std::find_if(f.s.selected.begin(), f.s.selected.end(),
                                 [](const SelectedPair& p) { return p.h * p.h + p.k * p.k + p.l * p.l == 3; });
    QVERIFY(it != f.s.selected.end());
    QCOMPARE(float(it->two_theta_obs), 28.3f);
    QVERIFY(ed->h_box()->text().isEmpty());
    // The selected grid shows the new observed angle.
    QVERIFY(grid_texts(w.selection_tab()->selected_grid()).contains(QString::asprintf("%8.3f", 28.3)));

    // "Add/Modif" of the tab again while the editor is open keeps the first backup.
    click(w.selection_tab()->add_modif_button());
    QVERIFY(ed->isVisible());

    // An empty observed box: the message, and the pair stays.
    type_into(ed->h_box(), "2");
    type_into(ed->k_box(), "2");
    type_into(ed->l_box(), "0");
    ed->obs_box()->clear();
    f.m.clear();
    click(ed->add_button());
    QVERIFY(!f.m.empty());
    QCOMPARE(f.s.selected_count(), 9);

    click(ed->cancel_button());
    QVERIFY(!ed->isVisible());
    QVERIFY(pairs(f.s) == before);
    QVERIFY(w.cell_tab()->calc_button()->isEnabled());
    QVERIFY(w.selection_tab()->auto_sel_button()->isEnabled());
  }

  // OK closes the editor even with no pair; after a change it offers to save the list.
  void editor_ok_closes_and_offers_the_save() {
    struct Case { bool with_peaks; bool modify; bool saved; };
    const Case cases[] = {{false, false, false}, {true, false, false}, {true, true, true}};
    for (const Case& c : cases) {
      init();
      Fixture f;
      Tform1& w = *f.w;
      if (c.with_peaks) {
        silicon_selection(f, "5.428");
      } else {
        enter_cell(w, "Cubic", "F d -3 m:2", "5.428", "1.540593", "20", "130");
        f.m.clear();
      }
      click(w.selection_tab()->add_modif_button());
      Tfedit_grid3* ed = w.selection_editor();
      QVERIFY(ed->isVisible());
      QString line_220;
      if (c.modify) {
        // The pair of the (2 2 0) family, under the indices the pairing gave it.
        const auto it = std::find_if(f.s.selected.begin(), f.s.selected.end(), [](const SelectedPair& p) {
          return p.h * p.h + p.k * p.k + p.l * p.l == 8;
        });
        QVERIFY(it != f.s.selected.end());
        type_into(ed->h_box(), QString::number(it->h));
        type_into(ed->k_box(), QString::number(it->k));
        type_into(ed->l_box(), QString::number(it->l));
        line_220 = QString::asprintf("%4d%4d%4d   47.3000", it->h, it->k, it->l);
        type_into(ed->obs_box(), "47.300");
        click(ed->add_button());
      }
      f.m.clear();
      f.dialogs.answers = {path("edited").toStdString()};
      click(ed->ok_button());
      QVERIFY(!ed->isVisible());
      QVERIFY(w.cell_tab()->calc_button()->isEnabled());
      QCOMPARE(QFile::exists(path("edited.lst")), c.saved);
      if (c.saved) {
        QCOMPARE(f.m.texts().front(), std::string("Do you want to save the indexed list?"));
        const QStringList lines = file_lines(path("edited.lst"));
        QCOMPARE(lines.size(), 9);
        QVERIFY(lines.contains(line_220));
      } else {
        QVERIFY2(f.m.empty(), f.first_message().c_str());
      }
    }
  }

  // A list typed in the entry window, saved, then refined from a cell 0.003 Å off: the
  // refinement finds silicon again. The list holds lines above 100°.
  void typed_list_is_saved_and_refined() {
    Fixture f;
    Tform1& w = *f.w;
    const auto peaks = diamond_peaks(kSiliconA, kCuKa1, 125);
    QCOMPARE(peaks.size(), size_t(9));

    w.action("action_new_indexed_list")->trigger();
    Tfliste_monoc* e = w.indexed_list_window();
    QVERIFY(e->isVisible());
    QTableWidget* g = e->grid();
    QCOMPARE(g->rowCount(), kEntryGridRows);
    QCOMPARE(g->columnCount(), 4);
    QCOMPARE(g->horizontalHeaderItem(3)->text(), QString("2Theta"));
    QCOMPARE(g->columnWidth(0), 30);
    QCOMPARE(g->columnWidth(3), 60);
    for (int r = 0; r < int(peaks.size()); ++r) {
      const Peak& p = peaks[size_t(r)];
      const QString texts[4] = {QString::number(p.h), QString::number(p.k), QString::number(p.l),
                                QString::number(p.two_theta, 'f', 3)};
      for (int c = 0; c < 4; ++c) g->setItem(r, c, new QTableWidgetItem(texts[c]));
    }
    // A row below a gap is not read.
    for (int c = 0; c < 4; ++c) g->setItem(20, c, new QTableWidgetItem("3"));
    type_into(e->wavelength_box(), "1.540593");

    f.dialogs.answers = {path("silicon").toStdString()};
    click(e->ok_button());
    QVERIFY2(!e->isVisible(), f.first_message().c_str());
    QCOMPARE(f.s.measured_count(), 9);
    QCOMPARE(f.s.measured.file_name, path("silicon.lst").toStdString());
    QCOMPARE(f.s.range_min, peaks.front().two_theta - 0.1);
    // The measured grid shows the typed angles.
    QCOMPARE(w.measured_tab()->grid()->item(0, 0)->text().trimmed(),
             QString::number(peaks.front().two_theta, 'f', 3));

    // Every line reads back as four numbers, those above 100° too.
    const QStringList lines = file_lines(path("silicon.lst"));
    QCOMPARE(lines.size(), 9);
    for (int i = 0; i < 9; ++i) {
      const QStringList fields = lines[i].split(' ', Qt::SkipEmptyParts);
      QCOMPARE(fields.size(), 4);
      QCOMPARE(fields[3].toDouble(), std::round(peaks[size_t(i)].two_theta * 10000) / 10000);
    }
    QVERIFY(peaks.back().two_theta > 100);

    // "Calc." pairs the list by its indices; the refinement finds silicon.
    activate(w);
    enter_cell(w, "Cubic", "F d -3 m:2", "5.428", "1.540593", "20", "130");
    QCOMPARE(f.s.selected_count(), 9);
    f.m.clear();
    refine(w, 0);
    QVERIFY2(f.s.results.refined, f.first_message().c_str());
    QVERIFY(std::abs(f.s.results.cell.a - kSiliconA) < 2e-4);
  }

  // The entry window with its save dialog cancelled: the peaks are taken and shown, the
  // window closes; with a bad wavelength it stays open and takes nothing.
  void entry_window_cancelled_save_and_bad_wavelength() {
    Fixture f;
    Tform1& w = *f.w;
    w.action("action_popup_new_indexed_list")->trigger();
    Tfliste_monoc* e = w.indexed_list_window();
    const char* row[4] = {"1", "1", "1", "28.442"};
    for (int c = 0; c < 4; ++c) e->grid()->setItem(0, c, new QTableWidgetItem(row[c]));

    type_into(e->wavelength_box(), "abc");
    click(e->ok_button());
    QCOMPARE(f.m.texts(), std::vector<std::string>{"Wavelength error"});
    QVERIFY(e->isVisible());
    QCOMPARE(f.s.measured_count(), 0);

    f.m.clear();
    type_into(e->wavelength_box(), "1.540593");
    f.dialogs.answers = {std::nullopt};
    click(e->ok_button());
    QVERIFY(!e->isVisible());
    QCOMPARE(f.s.measured_count(), 1);
    QVERIFY(f.s.measured.file_name.empty());
    QCOMPARE(w.measured_tab()->grid()->item(0, 0)->text().trimmed(), QString("28.442"));

    // Shown again: an empty grid.
    w.action("action_popup_new_indexed_list")->trigger();
    QVERIFY(!e->grid()->item(0, 0) || e->grid()->item(0, 0)->text().isEmpty());
  }

  // Merge: No to the tolerance question leaves the selection as it was; Yes replaces
  // the pair with the same indices and keeps the rest.
  void merge_no_rolls_back_yes_replaces() {
    Fixture f;
    Tform1& w = *f.w;
    silicon_selection(f, "5.4312");
    const std::vector<Pair> before = pairs(f.s);
    // (1 1 1) 1° away from its calculated angle; (3 1 1) as (1 3 1), close.
    const double t311 = cubic_two_theta(5.4312, kCuKa1, 3, 1, 1);
    write_text(path("other.lst"),
               QString::asprintf("   1   1   1   29.4424\r\n   1   3   1%10.4f\r\n", t311 + 0.01)
                   .toLatin1());

    f.m.answers = {Answer::No};
    f.dialogs.answers = {path("other.lst").toStdString()};
    click(w.selection_tab()->merge_button());
    QCOMPARE(f.dialogs.shown_filters.back(), std::vector<std::string>{"Indexed list (*.lst)"});
    const auto texts = f.m.texts();
    QVERIFY(std::count(texts.begin(), texts.end(),
                       std::string("Warning, something wrong: The difference between Calc. and Obs. "
                                   "angles is greater than Tolerance. Do you want to continue?")) >= 1);
    QVERIFY(pairs(f.s) == before);

    f.m.clear();
    f.m.answers = {Answer::Yes};
    f.dialogs.answers = {path("other.lst").toStdString()};
    click(w.selection_tab()->merge_button());
    const auto& sel = f.s.selected;
    QCOMPARE(sel.size(), size_t(9) + 1);  // (1 3 1) has indices of its own
    int ones = 0;
    for (const auto& p : sel)
      if (p.h == 1 && p.k == 1 && p.l == 1) {
        ++ones;
        QCOMPARE(float(p.two_theta_obs), 29.4424f);
      }
    QCOMPARE(ones, 1);
    QVERIFY(std::is_sorted(sel.begin(), sel.end(), [](const SelectedPair& a, const SelectedPair& b) {
      return a.two_theta_obs < b.two_theta_obs;
    }));
  }

  // Merge: of the pairs holding one h k l anywhere in the list only the last stays,
  // also when both were made before the merge (here (1 1 1) twice, by hand in Mode 3).
  void merge_removes_duplicates_across_the_whole_list() {
    Fixture f;
    Tform1& w = *f.w;
    silicon_selection(f, "5.4312");
    SelectionTabWidget* tab = w.selection_tab();
    w.tabs()->setCurrentIndex(Tform1::kSelectionTab);
    auto click_row = [](QTableWidget* t, int row) {
      const QPoint at = t->visualItemRect(t->item(row, 0)).center();
      QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
      settle();
      return at;
    };
    // The pair of the second peak (2 2 0) goes with a double click on its row ...
    QTableWidget* sel = tab->selected_grid();
    const QPoint at = click_row(sel, 1);
    QTest::mouseDClick(sel->viewport(), Qt::LeftButton, {}, at);
    settle();
    QCOMPARE(f.s.selected_count(), 8);
    // ... and that peak is paired with (1 1 1) in Mode 3.
    click(tab->findChild<QRadioButton*>("radio_mouse_mode3"));
    click_row(tab->measured_grid(), 1);
    click_row(tab->calculated_grid(), 0);
    auto count_111 = [&f] {
      return std::count_if(f.s.selected.begin(), f.s.selected.end(),
                           [](const SelectedPair& p) { return p.h == 1 && p.k == 1 && p.l == 1; });
    };
    QCOMPARE(f.s.selected_count(), 9);
    QCOMPARE(count_111(), 2);
    const float second_peak = float(f.s.measured.peaks[1].two_theta);

    // The file holds (4 0 0) with the indices the selection shows for it.
    const double t400 = cubic_two_theta(5.4312, kCuKa1, 4, 0, 0);
    const auto p400 = std::find_if(f.s.selected.begin(), f.s.selected.end(),
                                   [t400](const SelectedPair& p) { return std::fabs(p.two_theta_calc - t400) < 0.01; });
    QVERIFY(p400 != f.s.selected.end());
    write_text(path("one.lst"), QString::asprintf("%4d%4d%4d%10.4f\r\n", int(p400->h), int(p400->k),
                                                  int(p400->l), t400)
                                    .toLatin1());
    f.dialogs.answers = {path("one.lst").toStdString()};
    click(tab->merge_button());
    QCOMPARE(count_111(), 1);
    QCOMPARE(f.s.selected_count(), 8);  // (4 0 0) replaced, one (1 1 1) gone
    for (const auto& p : f.s.selected)
      if (p.h == 1 && p.k == 1 && p.l == 1) QCOMPARE(float(p.two_theta_obs), second_peak);
    QCOMPARE(sel->item(0, 1)->text().simplified(), QString("1 1 1"));
  }
};

QTEST_MAIN(TestCellAndListWindows)
#include "test_cell_and_list_windows.moc"

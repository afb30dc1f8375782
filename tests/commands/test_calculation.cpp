// The "Calc." sequence on the cell tab as data: checks and warnings, the grid, the
// forbidden-lines toggle, the space-group clicks, the pairing of an indexed list and
// the two indx.out layouts. Catalogue files are written into a private folder.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "core/calc_fixtures.hpp"
#include "commands/calculation.hpp"
#include "selection/indexed_pairing.hpp"
#include "core/catalogue.hpp"
#include "core/cell_entry.hpp"
#include "core/reflections.hpp"
#include "core/text_file.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace vornax::testing;

namespace {

using Kind = RecordingMessages::Kind;

struct Calc {
  TempFolder dir;
  WorkSession s;
  CellTab tab;
  RecordingMessages m;

  // Cubic chosen, F m -3 m clicked in the H-M list, a = 4, Cu Kα1, 0 .. 60.
  Calc() {
    write_test_catalogue(dir.path());
    reset_session(s, dir.path());
    tab.system_index = system_index("CUBI");
    s.system = "CUBI";
    fill_getspec_list(s, tab);
    fill_hm_list(s, tab);
    // As the click in the H-M list leaves them.
    tab.hm_selected = index_of(tab.hm_list, "F m -3 m");
    s.symbol = "F M -3 M";
    s.symbol_kind = "HM";
    tab.fields = {"4", "4", "4", "90", "90", "90", "1.5406", "0", "60"};
  }

  static int index_of(const std::vector<std::string>& list, const std::string& entry) {
    for (size_t i = 0; i < list.size(); ++i)
      if (trim(list[i].substr(0, 12)) == entry) return static_cast<int>(i);
    return -1;
  }

  std::vector<std::pair<Kind, std::string>> log() const { return m.log; }
};

const std::vector<std::string> kShortReportFm3m = {
    "Lambda:    1.54060",
    "Cell  :     4.0000    4.0000    4.0000    90.000    90.000    90.000",
    "Group : F M -3 M",
    "   Nb   h   k   l   Dhkl   Bragg",
    "    1   1   1   1  2.3094  38.969",
    "    2   0   0   2  2.0000  45.306",
};

std::string crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

}  // namespace

TEST(Calculation, CalcFillsTheListsTheFieldsAndTheDefaults) {
  Calc c;
  c.s.selected.push_back({});
  mark_pairs_automatic(c.s);  // as "Auto Sel." left it: no question
  auto out = calculate_reflections(c.s, c.tab, c.m);
  EXPECT_TRUE(c.m.empty()) << c.m.texts()[0];
  EXPECT_TRUE(out.calculated);
  EXPECT_TRUE(out.grid_filled);
  EXPECT_TRUE(out.show_cell_tab);
  EXPECT_FALSE(out.failed);
  ASSERT_EQ(c.s.allowed_count(), 2);
  EXPECT_EQ(c.s.operators.size(), 192u);
  EXPECT_TRUE(std::filesystem::exists(c.dir.path() / "hm.txt"));
  EXPECT_TRUE(c.s.selected.empty());
  EXPECT_EQ(c.s.initial_cell.a, 4);
  EXPECT_EQ(c.tab.grid_title, "Calulated diagram");
  EXPECT_EQ(c.tab.fields[0], "  4.0000");
  EXPECT_EQ(c.tab.fields[3], "  90.000");
  EXPECT_EQ(c.tab.fields[6], " 1.54060");
  EXPECT_EQ(c.tab.fields[8], "   60.00");
  EXPECT_EQ(c.tab.tied, (std::array<bool, 6>{false, true, true, false, true, true}));
  EXPECT_EQ(c.s.refine_checked,
            (std::array<bool, 8>{true, false, false, false, false, false, false, false}));
  EXPECT_EQ(c.s.refine_enabled,
            (std::array<bool, 8>{true, false, false, false, false, false, true, true}));
  EXPECT_EQ(calculated_lines_short(c.s), kShortReportFm3m);
}

TEST(Calculation, ChecksStopWithTheFirstFailingMessage) {
  struct Case {
    const char* what;
    std::array<std::string, 9> fields;
    bool no_system, no_group;
    double window_min_before;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"alpha 0", {"4", "4", "4", "0", "90", "90", "1.5406", "0", "60"}, false, false, 0,
       {"Cell parameters error!"}},
      {"alpha 0 and no group comes out as the cell",
       {"4", "4", "4", "0", "90", "90", "1.5406", "0", "60"}, false, true, 0,
       {"Cell parameters error!"}},
      {"no system", {"4", "4", "4", "90", "90", "90", "1.5406", "0", "60"}, true, true, 0,
       {"No system!"}},
      {"no group", {"4", "4", "4", "90", "90", "90", "1.5406", "0", "60"}, false, true, 0,
       {"No space group!"}},
      // A reader left the window's lower edge at 60; the range 50 .. 40 widens it to
      // 50 .. 40.
      {"window", {"4", "4", "4", "90", "90", "90", "1.5406", "50", "40"}, false, false, 60,
       {"Theta range error"}},
  };
  for (const auto& k : cases) {
    Calc c;
    c.tab.fields = k.fields;
    if (k.no_group) {
      c.tab.hm_selected = -1;
      c.s.symbol.clear();
    }
    if (k.no_system) {
      c.tab.system_index = -1;
      c.s.system.clear();
      c.tab.hm_list.clear();
      c.tab.getspec_list.clear();
      c.tab.hm_selected = c.tab.getspec_selected = -1;
    }
    c.s.window_min = k.window_min_before;
    c.s.allowed.push_back({1, 2, 3, 0, 1.5, 60});  // a former calculation's list
    auto out = calculate_reflections(c.s, c.tab, c.m);
    EXPECT_EQ(c.m.texts(), k.messages) << k.what;
    for (const auto& [kind, text] : c.m.log) EXPECT_EQ(kind, Kind::Error) << k.what;
    EXPECT_TRUE(out.failed) << k.what;
    EXPECT_FALSE(out.calculated) << k.what;
    EXPECT_EQ(c.s.allowed_count(), 1) << k.what;  // left as it was
  }
}

TEST(Calculation, WavelengthAndRangeWarnings) {
  struct Case {
    std::string lambda, min, max;
    std::string warning;
  };
  const Case cases[] = {
      {"0", "0", "60", "Warning: Current wavelength not defined"},
      {"1.5406", "0", "0", "Warning: Current Theta range not defined. "},
      {"1.5406", "", "", "Warning: Current Theta range not defined. "},
  };
  for (const auto& k : cases) {
    Calc c;
    c.s.cell_file_name = "C:\\cells\\spinel.cry";
    c.tab.fields[6] = k.lambda;
    c.tab.fields[7] = k.min;
    c.tab.fields[8] = k.max;
    auto out = calculate_reflections(c.s, c.tab, c.m);
    ASSERT_EQ(c.m.log.size(), 1u) << k.warning;
    EXPECT_EQ(c.m.log[0].first, Kind::Info);
    EXPECT_EQ(c.m.log[0].second, k.warning);
    EXPECT_FALSE(out.calculated);
    EXPECT_EQ(c.s.allowed_count(), 0);
    EXPECT_EQ(c.tab.grid_title, "Calc. diagram (spinel.cry)");
  }
}

TEST(Calculation, GridRowsHeadersAndThetaMode) {
  Calc c;
  calculate_reflections(c.s, c.tab, c.m);
  auto g = calculated_grid(c.s);
  ASSERT_EQ(g.row_count(), 15);
  EXPECT_EQ(g.rows[0], (std::vector<std::string>{"  h   k   l", "   Dhkl", "2Theta"}));
  EXPECT_EQ(g.rows[1], (std::vector<std::string>{"  1  1  1", " 2.3094", " 38.969"}));
  EXPECT_EQ(g.rows[2], (std::vector<std::string>{"  0  0  2", " 2.0000", " 45.306"}));
  EXPECT_EQ(g.rows[3], (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(calculated_grid_title(c.s), "Calulated diagram");

  c.s.angle_mode = AngleMode::Theta;
  g = calculated_grid(c.s);
  EXPECT_EQ(g.rows[0][2], "Theta");
  EXPECT_EQ(g.rows[1][2], " 19.484");

  // More rows than the minimum: one per reflection plus the header.
  c.s.allowed.assign(40, c.s.allowed[0]);
  EXPECT_EQ(calculated_grid(c.s).row_count(), 41);
}

TEST(Calculation, ForbiddenToggleAddsCyanRowsAndWritesTheFile) {
  Calc c;
  // Before any calculation the toggle stays down and writes nothing.
  EXPECT_FALSE(toggle_forbidden(c.s, true, c.m));
  EXPECT_FALSE(std::filesystem::exists(c.dir.path() / "forbidden.txt"));

  calculate_reflections(c.s, c.tab, c.m);
  ASSERT_TRUE(toggle_forbidden(c.s, true, c.m));
  EXPECT_TRUE(c.m.empty());
  ASSERT_EQ(c.s.forbidden.size(), 4u);
  const std::string file = read_bytes(c.dir.path() / "forbidden.txt");
  std::vector<std::string> expected = {"Forbiden reflections"};
  const char* d_tt[] = {"  4.0000  22.206", "  2.8284  31.607", "  1.7889  51.013",
                        "  1.6330  56.291"};
  for (size_t i = 0; i < 4; ++i) {
    const auto& r = c.s.forbidden[i];
    expected.push_back(format_int(r.h, 4) + format_int(r.k, 4) + format_int(r.l, 4) + d_tt[i]);
  }
  EXPECT_EQ(file, crlf(expected));
  // d = 4 is named by the last all-positive triple of its group.
  EXPECT_EQ(file.substr(0, 22 + 12), "Forbiden reflections\r\n   1   0   0");

  auto g = fill_calculated_grid(c.s, c.tab);
  EXPECT_EQ(c.tab.grid_title, "Calc. diagram (+ forbidden lines)");
  EXPECT_EQ(calculated_grid_title(c.s), c.tab.grid_title);
  ASSERT_EQ(c.s.merged.size(), 6u);
  const bool cyan[] = {true, true, false, false, true, true};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(g.style(static_cast<int>(i) + 1) == RowStyle::Forbidden, cyan[i]) << i;
    if (i > 0) {
      EXPECT_LT(c.s.merged[i - 1].two_theta, c.s.merged[i].two_theta);
    }
  }
  EXPECT_EQ(g.rows[3][1], " 2.3094");

  // Down again: allowed rows only, no cyan, the file rewritten with the same list.
  std::filesystem::remove(c.dir.path() / "forbidden.txt");
  EXPECT_FALSE(toggle_forbidden(c.s, false, c.m));
  EXPECT_EQ(read_bytes(c.dir.path() / "forbidden.txt"), file);
  g = fill_calculated_grid(c.s, c.tab);
  EXPECT_EQ(c.tab.grid_title, "Calulated diagram");
  EXPECT_EQ(g.rows[1][0], "  1  1  1");
  for (int r = 0; r < g.row_count(); ++r) EXPECT_EQ(g.style(r), RowStyle::Plain);

  // A new "Calc." puts the toggle down.
  toggle_forbidden(c.s, true, c.m);
  calculate_reflections(c.s, c.tab, c.m);
  EXPECT_FALSE(c.s.show_forbidden);
}

TEST(Calculation, ShortReportLayoutAndRemoval) {
  Calc c;
  calculate_reflections(c.s, c.tab, c.m);
  auto path = write_short_reflection_report(c.s, c.m);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, c.dir.path() / "indx.out");
  EXPECT_EQ(read_bytes(*path), crlf(kShortReportFm3m));

  // Without reflections the old file goes and nothing is written.
  c.s.allowed.clear();
  EXPECT_FALSE(write_short_reflection_report(c.s, c.m));
  EXPECT_FALSE(std::filesystem::exists(c.dir.path() / "indx.out"));
  EXPECT_TRUE(c.m.empty());
}

TEST(Calculation, CalculatedPeaksReportInTheWorkingFolder) {
  Calc c;
  calculate_reflections(c.s, c.tab, c.m);
  c.s.cell_file_name = "/home/u/spinel.cry";
  TempFolder elsewhere;  // the current folder is no longer the working folder
  auto path = write_calculated_report(c.s, c.m);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, c.dir.path() / "indx.out");
  EXPECT_FALSE(std::filesystem::exists(elsewhere.path() / "indx.out"));
  EXPECT_EQ(read_bytes(*path), crlf({
                                   "File name    :spinel.cry",
                                   "Space Group  :F M -3 M",
                                   "a            :  4.0000",
                                   "b            :  4.0000",
                                   "c            :  4.0000",
                                   "alpha        :  90.000",
                                   "beta         :  90.000",
                                   "gamma        :  90.000",
                                   "Lambda       : 1.54060",
                                   "Nb. of refl. :       2",
                                   "",
                                   "  N  h  k  l    Dhkl  2Theta   Theta",
                                   "  1  1  1  1  2.3094  38.969  19.484",
                                   "  2  0  0  2  2.0000  45.306  22.653",
                               }));

  c.s.allowed.clear();
  EXPECT_FALSE(write_calculated_report(c.s, c.m));
  EXPECT_EQ(c.m.texts(), std::vector<std::string>{"No calculated peaks!"});

  // A working folder that cannot take the file: the system's message, not "No results".
  c.m.clear();
  calculate_reflections(c.s, c.tab, c.m);
  c.s.working_folder = c.dir.path() / "missing" / "folder";
  EXPECT_FALSE(write_calculated_report(c.s, c.m));
  ASSERT_EQ(c.m.texts().size(), 1u);
  EXPECT_NE(c.m.texts()[0].find("indx.out"), std::string::npos);
}

TEST(Calculation, HmClickCalculatesWhenTheFieldsAreComplete) {
  Calc c;
  c.tab.hm_selected = -1;
  c.tab.getspec_selected = 0;
  c.s.allowed.push_back({});
  c.s.cell_file_name = "x.cry";
  const int pm3m = Calc::index_of(c.tab.hm_list, "P m -3 m");
  auto out = select_group_hm(c.s, c.tab, pm3m, c.m);
  EXPECT_TRUE(c.m.empty());
  EXPECT_EQ(c.s.symbol, "P M -3 M");
  EXPECT_EQ(c.s.symbol_kind, "HM");
  EXPECT_EQ(c.tab.getspec_selected, -1);
  EXPECT_EQ(c.tab.hm_selected, pm3m);
  EXPECT_TRUE(out.grid_filled);
  EXPECT_EQ(c.s.allowed_count(), 6);
  EXPECT_TRUE(c.s.cell_file_name.empty());

  // With the b field empty the symbol changes and nothing is calculated.
  Calc e;
  e.tab.fields[1] = "";
  out = select_group_hm(e.s, e.tab, pm3m, e.m);
  EXPECT_EQ(e.s.symbol, "P M -3 M");
  EXPECT_FALSE(out.calculated);
  EXPECT_EQ(e.s.allowed_count(), 0);
  EXPECT_TRUE(e.m.empty());
}

TEST(Calculation, GetspecClickUsesTheLibraryAndKeepsItsKind) {
  Calc c;
  write_bytes(c.dir.path() / "scfs2.dat", "old");
  const int fm3m = Calc::index_of(c.tab.getspec_list, "F m -3 m");
  ASSERT_GE(fm3m, 0);
  auto out = select_group_getspec(c.s, c.tab, fm3m, c.m);
  EXPECT_TRUE(c.m.empty()) << c.m.texts()[0];
  EXPECT_FALSE(std::filesystem::exists(c.dir.path() / "scfs2.dat"));
  EXPECT_TRUE(std::filesystem::exists(c.dir.path() / "hall.txt"));
  EXPECT_EQ(c.s.symbol_kind, "HALL");
  EXPECT_EQ(c.tab.hm_selected, -1);  // although the H-M list holds the same symbol
  EXPECT_EQ(c.tab.getspec_selected, fm3m);
  EXPECT_TRUE(out.grid_filled);
  EXPECT_EQ(calculated_lines_short(c.s), kShortReportFm3m);

  // "Calc." afterwards still works through the library.
  std::filesystem::remove(c.dir.path() / "hall.txt");
  calculate_reflections(c.s, c.tab, c.m);
  EXPECT_EQ(c.s.symbol_kind, "HALL");
  EXPECT_TRUE(std::filesystem::exists(c.dir.path() / "hall.txt"));
}

TEST(Calculation, IndexedListIsPairedAfterCalc) {
  Calc c;
  c.s.measured.file_name = "/data/quartz.lst";
  c.s.indexed_list = {{1, 1, 1, 38.95}, {2, 0, 0, 45.31}, {1, 0, 0, 22.2}};
  auto out = calculate_reflections(c.s, c.tab, c.m);
  EXPECT_TRUE(out.pairs_changed);
  ASSERT_EQ(c.s.selected_count(), 2);
  EXPECT_EQ(c.s.selected[0].h, 1);
  EXPECT_FLOAT_EQ(c.s.selected[0].two_theta_obs, 38.95f);
  EXPECT_NEAR(c.s.selected[0].two_theta_calc, 38.969, 1e-3);
  EXPECT_EQ(c.s.selected[1].l, 2);  // 2 0 0 is paired with the listed 0 0 2
  EXPECT_FLOAT_EQ(c.s.selected[1].two_theta_obs, 45.31f);
  EXPECT_EQ(c.s.current_measured_peak, 2);

  // Hexagonal: with no operator mapping h k l onto the listed k h l, the exchanged
  // indices still pair.
  WorkSession h;
  h.system = "HEXA";
  SymmetryOperator id;
  id.rows[0] = {1, 0, 0, 0};
  id.rows[1] = {0, 1, 0, 0};
  id.rows[2] = {0, 0, 1, 0};
  h.operators = {id};
  h.allowed = {{2, 1, 0, 0, 2.0, 40.0}};
  h.indexed_list = {{1, 2, 0, 40.1}};
  pair_indexed_list(h);
  ASSERT_EQ(h.selected_count(), 1);
  EXPECT_EQ(h.selected[0].h, 2);
  h.system = "TETR";
  h.selected.clear();
  pair_indexed_list(h);
  EXPECT_EQ(h.selected_count(), 0);

  // Indices transform as row vectors, (h k l)·R: under x-y, x, z of P 6 the listed
  // (1 0 0) is an image of (1 0 0)'s own form, never of (1 1 0), whose d differs.
  WorkSession p6;
  p6.system = "HEXA";
  p6.cell = {3, 3, 5, 90, 90, 120};
  SymmetryOperator six;
  six.rows[0] = {1, -1, 0, 0};
  six.rows[1] = {1, 0, 0, 0};
  six.rows[2] = {0, 0, 1, 0};
  p6.operators = {id, six};
  p6.allowed = {{1, 1, 0, 0, 1.5, 61.8}, {1, 0, 0, 0, 2.598, 34.5}};
  p6.indexed_list = {{1, 0, 0, 34.5}};
  pair_indexed_list(p6);
  ASSERT_EQ(p6.selected_count(), 1);
  EXPECT_EQ(p6.selected[0].h * 10 + p6.selected[0].k, 10) << "paired with (1 1 0)";
  EXPECT_FLOAT_EQ(p6.selected[0].two_theta_calc, 34.5f);
}

TEST(Calculation, MissingFilesStopTheCommand) {
  {
    Calc c;
    std::filesystem::remove(c.dir.path() / "c.pos");
    auto out = calculate_reflections(c.s, c.tab, c.m);
    EXPECT_TRUE(out.failed);
    ASSERT_EQ(c.m.texts().size(), 1u);
    EXPECT_NE(c.m.texts()[0].find("c.pos"), std::string::npos);
    EXPECT_EQ(c.s.allowed_count(), 0);
  }
  {
    // spgr2.dat missing: the window ends the program; the command lets it through.
    Calc c;
    std::filesystem::remove(c.dir.path() / "spgr2.dat");
    EXPECT_THROW(calculate_reflections(c.s, c.tab, c.m), CatalogueMissing);
  }
  {
    // A folder named c.pos where the file is looked for: the program's message, naming
    // it, instead of a stream exception.
    Calc c;
    std::filesystem::remove(c.dir.path() / "c.pos");
    std::filesystem::create_directory(c.dir.path() / "c.pos");
    auto out = calculate_reflections(c.s, c.tab, c.m);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(c.m.texts(), std::vector<std::string>{"Cannot open c.pos: not a regular file"});
    EXPECT_EQ(c.s.allowed_count(), 0);
  }
}

TEST(Calculation, IndexedListTakesTheObservedAngleFromItsPeak) {
  // A zero offset moved the peaks after the list was read: the pairs follow the peaks.
  Calc c;
  c.s.measured.file_name = "quartz.LST";
  c.s.indexed_list = {{1, 1, 1, 38.95}, {2, 0, 0, 45.31}, {0, 0, 2, 45.31}};
  for (double tt : {38.95, 45.31}) c.s.measured.peaks.push_back({tt + 0.02, tt, 100, 0});
  calculate_reflections(c.s, c.tab, c.m);
  ASSERT_EQ(c.s.selected_count(), 3);
  EXPECT_FLOAT_EQ(c.s.selected[0].two_theta_obs, 38.97f);
  EXPECT_FLOAT_EQ(c.s.selected[1].two_theta_obs, 45.33f);
  EXPECT_FLOAT_EQ(c.s.selected[2].two_theta_obs, 45.31f);  // no third peak: its own copy
  EXPECT_EQ(c.s.current_measured_peak, 3);
}

TEST(Calculation, GarbageInTheFieldsNeverBreaksTheCalculation) {
  // Seeded random field texts through "Calc." and the H-M click: every run ends quickly
  // with known messages; a failed "Calc." leaves the former lists; whatever is listed is
  // a real reflection.
  const std::vector<std::string> tokens = {
      "",     "0",     "-4",    "4",      "4.5",    "1e308", "1e-308", "abc", ".",  "-.",
      " .5",  "1,5",   "90",    "120",    "180",    "-90",   "1e6",    "60",  "400", "-30",
      "nan",  "inf",   "1.5406", "1e-200", "99999999999999999999999", "3..1", "2e", "7",
      "0.001", "  ",   "\xe9",  "-1.5406"};
  const std::set<std::string> known = {
      "Error on a",  "Error on b",       "Error on c",        "Error on alpha",
      "Error on beta", "Error on gamma", "Error on lambda",   "Error on theta_min",
      "Error on theta_max", "The wavelength =0", "Cell parameters error!", "No system!",
      "No space group!", "Theta range error", kTooManyReflections,
      "Warning: Current wavelength not defined", "Warning: Current Theta range not defined. "};
  std::mt19937 rng(4242);
  std::uniform_int_distribution<size_t> pick(0, tokens.size() - 1);
  Calc c;
  const int fm3m = Calc::index_of(c.tab.hm_list, "F m -3 m");
  for (int run = 0; run < 50; ++run) {
    // A sound calculation first, so that a failure has something to keep.
    c.tab.fields = {"4", "4", "4", "90", "90", "90", "1.5406", "0", "60"};
    c.s.window_min = c.s.window_max = 0;
    c.tab.hm_selected = fm3m;
    calculate_reflections(c.s, c.tab, c.m);
    ASSERT_EQ(c.s.allowed_count(), 2);
    const auto before = c.s.allowed;

    std::array<std::string, 9> fields;
    for (auto& f : fields) f = tokens[pick(rng)];
    c.tab.fields = fields;
    c.m.clear();
    const bool click = run % 2;  // the click empties the lists before it calculates
    const CalcOutcome out = click ? select_group_hm(c.s, c.tab, fm3m, c.m)
                                  : calculate_reflections(c.s, c.tab, c.m);
    std::string what;
    for (const auto& f : fields) what += "[" + f + "]";
    for (const auto& t : c.m.texts()) EXPECT_TRUE(known.count(t)) << what << ": " << t;
    if (out.failed && !click) {
      EXPECT_EQ(c.s.allowed_count(), static_cast<int>(before.size())) << what;
    }
    for (const auto& r : c.s.allowed) {
      ASSERT_TRUE(std::isfinite(r.d) && r.d > 0) << what;
      ASSERT_TRUE(std::isfinite(r.two_theta) && r.two_theta > 0 && r.two_theta <= 180) << what;
    }
  }
}

// A field error stops "Calc." before anything is calculated or rewritten: the session
// keeps the last calculated cell, wavelength and range, and the fields what was typed.
TEST(Calculation, AFieldErrorStopsCalcAndKeepsTheTypedFields) {
  Calc c;
  ASSERT_TRUE(calculate_reflections(c.s, c.tab, c.m).calculated);
  const auto allowed = c.s.allowed.size();
  ASSERT_GT(allowed, 0u);
  c.m.clear();

  const std::array<std::string, 9> typed = {"4.1", "5x", "6.2", "90", "90", "90",
                                            "0.7093", "0", "30"};
  for (const auto& empty_b : {false, true}) {
    c.tab.fields = typed;
    if (empty_b) c.tab.fields[1] = "";
    const auto out = calculate_reflections(c.s, c.tab, c.m);
    EXPECT_TRUE(out.failed);
    EXPECT_FALSE(out.calculated);
    EXPECT_EQ(c.m.texts(), std::vector<std::string>{"Error on b"});
    EXPECT_EQ(c.tab.fields[0], "4.1");  // nothing overwritten
    EXPECT_EQ(c.tab.fields[6], "0.7093");
    EXPECT_EQ(c.tab.fields[8], "30");
    EXPECT_EQ(c.s.cell.a, 4);  // no mix of typed and old values
    EXPECT_EQ(c.s.wavelengths.lambda, 1.5406);
    EXPECT_EQ(c.s.allowed.size(), allowed);
    c.m.clear();
  }
}

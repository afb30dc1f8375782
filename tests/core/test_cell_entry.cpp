// Crystal systems, the per-system field layout, the cell entry and system detection.
#include <gtest/gtest.h>

#include "core/cell_entry.hpp"
#include "core/session.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;

namespace {
std::array<std::string, 6> texts(const char* a, const char* b, const char* c, const char* al,
                                 const char* be, const char* ga) {
  return {a, b, c, al, be, ga};
}
}  // namespace

TEST(Systems, CodesAreTheFirstFourLettersUpperCased) {
  for (size_t i = 0; i < kSystemEntries.size(); ++i)
    EXPECT_EQ(system_code_from_entry(kSystemEntries[i]), kSystemCodes[i]);
  EXPECT_EQ(system_index("TETR"), 1);
  EXPECT_EQ(system_index("XXXX"), -1);
}

TEST(SystemLayout, TiedFieldsFixedValuesAndOfferedFlags) {
  struct Case {
    const char* sys;
    std::array<std::string, 6> in;
    std::array<std::string, 6> out;
    std::array<bool, 6> tied;
    std::array<bool, 6> flags;
  };
  const Case cases[] = {
      {"CUBI", texts("5.43", "", "", "", "", ""), texts("5.43", "5.43", "5.43", "90", "90", "90"),
       {0, 1, 1, 0, 1, 1}, {1, 0, 0, 0, 0, 0}},
      {"TETR", texts("4", "9", "7", "", "", ""), texts("4", "4", "7", "90", "90", "90"),
       {0, 1, 0, 1, 1, 1}, {1, 0, 1, 0, 0, 0}},
      {"HEXA", texts("4", "9", "7", "", "", ""), texts("4", "4", "7", "90", "90", "120"),
       {0, 1, 0, 1, 1, 1}, {1, 0, 1, 0, 0, 0}},
      {"ORTH", texts("4", "5", "6", "1", "2", "3"), texts("4", "5", "6", "90", "90", "90"),
       {0, 0, 0, 1, 1, 1}, {1, 1, 1, 0, 0, 0}},
      {"RHOM", texts("5", "1", "2", "80", "3", "4"), texts("5", "5", "5", "80", "80", "80"),
       {0, 1, 1, 0, 1, 1}, {1, 0, 0, 1, 0, 0}},
      {"MONO", texts("5", "6", "7", "90", "101.2", "90"), texts("5", "6", "7", "90", "101.2", "90"),
       {0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 1, 0}},
      {"MONO", texts("5", "6", "7", "90.001", "90", "95"), texts("5", "6", "7", "90.001", "90", "95"),
       {0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 0, 1}},
      {"MONO", texts("5", "6", "7", "93", "90", "90"), texts("5", "6", "7", "93", "90", "90"),
       {0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 0, 0}},
      {"TRIC", texts("5", "6", "7", "80", "85", "95"), texts("5", "6", "7", "80", "85", "95"),
       {0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    auto L = apply_system_layout(c.sys, c.in);
    EXPECT_EQ(L.texts, c.out) << c.sys;
    EXPECT_EQ(L.tied, c.tied) << c.sys;
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(L.flag_checked[i], c.flags[i]) << c.sys << " flag " << i;
      EXPECT_EQ(L.flag_enabled[i], c.flags[i]) << c.sys << " flag " << i;
    }
    // Shift and wavelength: enabled, never checked by the layout.
    EXPECT_TRUE(L.flag_enabled[6] && L.flag_enabled[7]);
    EXPECT_FALSE(L.flag_checked[6] || L.flag_checked[7]);
  }
}

TEST(Verification, LeavingAOrAlphaStoresAndCopies) {
  WorkSession s;
  RecordingMessages m;
  s.system = "CUBI";
  auto r = check_cell_field(s, kFieldA, "5.43", m);
  EXPECT_TRUE(r.ok);
  EXPECT_DOUBLE_EQ(s.cell.a, 5.43);
  EXPECT_EQ(r.copies[1], "5.43");
  EXPECT_EQ(r.copies[2], "5.43");

  s.system = "HEXA";
  r = check_cell_field(s, kFieldA, "4.9", m);
  EXPECT_EQ(r.copies[1], "4.9");
  EXPECT_FALSE(r.copies[2].has_value());

  s.system = "RHOM";
  r = check_cell_field(s, kFieldAlpha, "55.3", m);
  EXPECT_EQ(r.copies[4], "55.3");
  EXPECT_EQ(r.copies[5], "55.3");
  EXPECT_DOUBLE_EQ(s.cell.gamma, 55.3);

  r = check_cell_field(s, kFieldA, " .5", m);  // repaired before conversion
  EXPECT_TRUE(r.ok);
  EXPECT_DOUBLE_EQ(s.cell.a, 0.5);
  EXPECT_TRUE(m.empty());

  r = check_cell_field(s, kFieldA, "abc", m);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"Type error!"});
  EXPECT_DOUBLE_EQ(s.cell.a, 0.5);  // unchanged
}

TEST(ReadCellEntry, ReadsInOrderStopsAtEmptyAndReportsTheFirstBadField) {
  const char* kMessages[9] = {"Error on a",     "Error on b",      "Error on c",
                              "Error on alpha", "Error on beta",   "Error on gamma",
                              "Error on lambda", "Error on theta_min", "Error on theta_max"};
  CellEntryInput good;
  good.system_entry = "Monoc.";
  good.hm_selection = "  p 1 21/c 1 ";
  good.fields = {"5", "6", "7", "90", "101.2", "90", "1.540562", "10", "80"};

  {
    WorkSession s;
    RecordingMessages m;
    auto echo = read_cell_entry(s, good, m);
    ASSERT_TRUE(echo);
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(s.system, "MONO");
    EXPECT_EQ(s.symbol, "P 1 21/C 1");
    EXPECT_EQ(s.symbol_kind, "HM");
    EXPECT_DOUBLE_EQ(s.cell.beta, 101.2);
    EXPECT_EQ(echo->lambda, " 1.54056");
    EXPECT_EQ(echo->range_min, "   10.00");
    EXPECT_DOUBLE_EQ(s.window_max, 80);
  }
  for (size_t bad = 0; bad < 9; ++bad) {
    WorkSession s;
    RecordingMessages m;
    auto in = good;
    in.fields[bad] = "x1";
    EXPECT_FALSE(read_cell_entry(s, in, m));
    EXPECT_EQ(m.texts(), std::vector<std::string>{kMessages[bad]});
  }
  {
    // An empty b stops silently, and nothing read before it is stored: the session
    // never holds a cell the user did not enter whole.
    WorkSession s;
    s.cell.c = 42;
    RecordingMessages m;
    auto in = good;
    in.fields[1] = "";
    EXPECT_FALSE(read_cell_entry(s, in, m));
    EXPECT_TRUE(m.empty());
    EXPECT_DOUBLE_EQ(s.cell.a, 0);
    EXPECT_DOUBLE_EQ(s.cell.c, 42);
    // For "Calc." an empty cell field is named; an empty range is "not defined".
    in.empty_is_error = true;
    EXPECT_FALSE(read_cell_entry(s, in, m));
    EXPECT_EQ(m.texts(), std::vector<std::string>{"Error on b"});
    in = good;
    in.empty_is_error = true;
    in.fields[7] = in.fields[8] = "";
    EXPECT_TRUE(read_cell_entry(s, in, m));
    EXPECT_EQ(s.range_max, 0);
  }
  {
    // Getspec selection: the first 12 characters; θ mode doubles the range and echoes halves.
    WorkSession s;
    s.angle_mode = AngleMode::Theta;
    s.window_max = 200;
    RecordingMessages m;
    auto in = good;
    in.hm_selection.reset();
    in.getspec_selection = "F d -3 m:2  -F 4vw 2vw 3     OR2";
    auto echo = read_cell_entry(s, in, m);
    ASSERT_TRUE(echo);
    EXPECT_EQ(s.symbol, "F D -3 M:2");
    EXPECT_EQ(s.symbol_kind, "HALL");
    EXPECT_DOUBLE_EQ(s.range_min, 20);
    EXPECT_DOUBLE_EQ(s.range_max, 160);
    EXPECT_DOUBLE_EQ(s.window_max, 200);  // widening never narrows
    EXPECT_EQ(echo->range_max, "   80.00");
  }
}

TEST(ReadCellEntry, FieldsStillShowingTheStoredValuesKeepThem) {
  // The program writes the cell 8:4 / 8:3, lambda 8:5 and the range 8:2 into the fields;
  // reading them back must not round what the user typed.
  WorkSession s;
  s.cell = {5.431194, 5.431194, 5.431194, 90, 90, 90};
  s.wavelengths.lambda = 1.540593;
  s.angle_mode = AngleMode::Theta;
  s.range_min = 20.005;  // shown halved: 10.00
  s.range_max = 130;
  CellEntryInput in;
  auto cell = show_cell(s.cell);
  std::copy(cell.begin(), cell.end(), in.fields.begin());
  in.fields[6] = " 1.54059";
  in.fields[7] = "   10.00";
  in.fields[8] = "   65.00";
  RecordingMessages m;
  ASSERT_TRUE(read_cell_entry(s, in, m));
  EXPECT_EQ(s.cell.a, 5.431194);
  EXPECT_EQ(s.wavelengths.lambda, 1.540593);
  EXPECT_EQ(s.range_min, 20.005);
  EXPECT_EQ(s.range_max, 130);
  // A field the user changed is read as typed.
  in.fields[0] = "5.43";
  ASSERT_TRUE(read_cell_entry(s, in, m));
  EXPECT_EQ(s.cell.a, 5.43);
}

// A field retyped with the very digits shown is the user's value; a field the program
// wrote over since (the echo of lambda after a reading) is the program's again.
TEST(ReadCellEntry, RetypedFieldsAreReadAsTypedUntilTheProgramWritesThem) {
  WorkSession s;
  s.cell = {5.431194, 5.431194, 5.431194, 90, 90, 90};
  s.wavelengths.lambda = 1.540593;
  s.range_min = 20.004;
  s.range_max = 130;
  CellTab tab;
  auto cell = show_cell(s.cell);
  std::copy(cell.begin(), cell.end(), tab.fields.begin());
  tab.fields[6] = " 1.54059";
  tab.fields[7] = "   20.00";
  tab.fields[8] = "  130.00";
  tab.typed[0] = "  5.4312";  // the user typed what the field showed
  tab.typed[6] = " 1.54059";
  tab.typed[7] = "   20.00";
  RecordingMessages m;
  auto echo = read_cell_entry(s, tab.input(), m);
  ASSERT_TRUE(echo);
  EXPECT_EQ(s.cell.a, 5.4312);
  EXPECT_EQ(s.cell.b, 5.431194);  // not typed: kept
  EXPECT_EQ(s.wavelengths.lambda, 1.54059);
  EXPECT_EQ(s.range_min, 20.0);
  EXPECT_EQ(s.range_max, 130);

  // The typed text no longer shown (the program wrote its echo): the field is the
  // program's and keeps the stored value.
  s.wavelengths.lambda = 1.540593;
  tab.fields[6] = "1.54059";
  const CellEntryInput in = tab.input();
  EXPECT_FALSE(in.edited[6]);
  EXPECT_TRUE(in.edited[0]);
  ASSERT_TRUE(read_cell_entry(s, in, m));
  EXPECT_EQ(s.wavelengths.lambda, 1.540593);
}

TEST(ReadCellEntry, QuietReadingTakesABadAButStopsAtLaterBadFields) {
  std::array<std::string, 9> f = {"x", "6", "7", "90", "90", "90", "1.5406", "10", "80"};
  WorkSession s;
  EXPECT_TRUE(read_cell_entry_quietly(s, f));
  EXPECT_DOUBLE_EQ(s.cell.a, 0);
  f[0] = "5";
  f[2] = "y";
  EXPECT_FALSE(read_cell_entry_quietly(s, f));
  f[2] = "7";
  f[7] = "";
  EXPECT_FALSE(read_cell_entry_quietly(s, f));
}

TEST(ShowCell, LengthsWithFourAndAnglesWithThreeDecimals) {
  auto t = show_cell({5.431194, 5.431194, 12.5, 90, 101.25, 120});
  EXPECT_EQ(t, (std::array<std::string, 6>{"  5.4312", "  5.4312", " 12.5000", "  90.000",
                                           " 101.250", " 120.000"}));
}

TEST(DetectSystem, FromCellValues) {
  struct Case {
    CellParameters c;
    const char* current;
    const char* want;
  };
  const Case cases[] = {
      {{5, 5, 5, 90, 90, 90}, "", "CUBI"},
      {{5, 5.0005, 5, 90, 90, 90}, "", "CUBI"},  // below 0.001 counts as equal
      {{5, 5, 7, 90, 90, 90}, "", "TETR"},
      {{5, 6, 7, 90, 90, 90}, "", "ORTH"},
      {{5, 6, 6, 90, 90, 90}, "MONO", "MONO"},   // a ≠ b = c: left as it was
      {{4, 4, 7, 90, 90, 120}, "", "HEXA"},
      {{5, 5, 5, 80, 80, 80}, "", "RHOM"},
      {{5, 6, 7, 90, 101.2, 90}, "", "MONO"},
      {{5, 6, 7, 90.0001, 101.2, 90}, "", "TRIC"},  // angles compared exactly
      {{5, 6, 7, 80, 85, 95}, "", "TRIC"},
  };
  for (const auto& c : cases) EXPECT_EQ(detect_system(c.c, c.current), c.want);
}

TEST(Session, EraseGroupsClearExactlyTheirFields) {
  auto filled = [] {
    WorkSession s;
    s.cell = {5, 5, 5, 90, 90, 90};
    s.system = "CUBI";
    s.symbol = "F M -3 M";
    s.tolerance = 0.3;
    s.wavelengths = {1.54, 1.5405, 1.5443, 0.5, "Cu"};
    s.range_min = 10;
    s.range_max = 80;
    s.window_max = 90;
    s.measured.peaks.resize(3);
    s.measured.wavelengths.lambda = 1.54;
    s.measured.file_name = "a.dif";
    s.profile.points.resize(10);
    s.profile.file_name = "a.raw";
    s.allowed.resize(4);
    s.forbidden.resize(2);
    s.selected.resize(2);
    s.cell_file_name = "a.cry";
    return s;
  };
  {
    auto s = filled();
    erase_peak_data(s);
    EXPECT_EQ(s.measured_count(), 0);
    EXPECT_EQ(s.selected_count(), 0);
    EXPECT_EQ(s.measured.wavelengths.lambda, 0);
    EXPECT_TRUE(s.measured.file_name.empty());
    EXPECT_EQ(s.allowed_count(), 4);
    EXPECT_EQ(s.profile.points.size(), 10u);
  }
  {
    auto s = filled();
    erase_cell_parameters(s);
    EXPECT_EQ(s.allowed_count(), 0);
    EXPECT_TRUE(s.forbidden.empty());
    EXPECT_EQ(s.selected_count(), 0);
    EXPECT_TRUE(s.cell_file_name.empty());
    EXPECT_EQ(s.measured_count(), 3);
    EXPECT_DOUBLE_EQ(s.cell.a, 5);
  }
  {
    auto s = filled();
    erase_profile(s);
    EXPECT_TRUE(s.profile.points.empty());
    EXPECT_TRUE(s.profile.file_name.empty());
    EXPECT_EQ(s.measured_count(), 3);
  }
  {
    auto s = filled();
    erase_all(s);
    EXPECT_EQ(s.measured_count() + s.allowed_count() + s.selected_count(), 0);
    EXPECT_TRUE(s.profile.points.empty());
    EXPECT_EQ(s.wavelengths.lambda, 0);
    EXPECT_EQ(s.wavelengths.lambda1, 0);
    EXPECT_TRUE(s.wavelengths.anode.empty());
    EXPECT_DOUBLE_EQ(s.wavelengths.ratio, 0.5);  // the ratio survives
    EXPECT_EQ(s.range_max, 0);
    EXPECT_EQ(s.window_max, 0);
    // Cell, system, symbol and tolerance are kept.
    EXPECT_DOUBLE_EQ(s.cell.a, 5);
    EXPECT_EQ(s.system, "CUBI");
    EXPECT_EQ(s.symbol, "F M -3 M");
    EXPECT_DOUBLE_EQ(s.tolerance, 0.3);
  }
}

// Quitting asks only when peaks or pairs differ from what a file last held.
TEST(Session, UnsavedWorkIsWhatNoFileHolds) {
  auto peak = [](double tt, double area) {
    MeasuredPeak p;
    p.two_theta = p.two_theta_read = tt;
    p.intensity = area;
    return p;
  };
  const SelectedPair pair{1, 1, 1, 28.442f, 28.44f, 0, 0};
  WorkSession s;
  EXPECT_FALSE(holds_unsaved_work(s));  // nothing at all
  s.measured.peaks = {peak(28.442, 100), peak(47.302, 55)};
  EXPECT_TRUE(holds_unsaved_work(s));  // typed
  mark_peaks_on_file(s);
  EXPECT_FALSE(holds_unsaved_work(s));  // loaded or saved
  s.measured.peaks[0].two_theta = 28.5;  // a zero offset moves the working angle only
  EXPECT_FALSE(holds_unsaved_work(s));
  s.measured.peaks[1].intensity = 56;  // changed
  EXPECT_TRUE(holds_unsaved_work(s));
  mark_peaks_on_file(s);
  s.measured.peaks.push_back(peak(56.121, 30));  // one more
  EXPECT_TRUE(holds_unsaved_work(s));
  s.measured.peaks.pop_back();
  EXPECT_FALSE(holds_unsaved_work(s));
  s.selected = {pair};  // paired after the peaks were saved
  EXPECT_TRUE(holds_unsaved_work(s));
  mark_pairs_on_file(s);
  EXPECT_FALSE(holds_unsaved_work(s));
  s.selected[0].theta_calc_refined = 14.2f;  // refinement adds to the pairs, not the file
  EXPECT_FALSE(holds_unsaved_work(s));
  s.selected[0].l = 3;
  EXPECT_TRUE(holds_unsaved_work(s));
  erase_all(s);  // nothing left to lose
  EXPECT_FALSE(holds_unsaved_work(s));
}

TEST(Session, WideningNeverNarrowsTheWindow) {
  WorkSession s;
  s.window_min = 0;
  s.window_max = 80;
  s.range_min = 10;
  s.range_max = 60;
  widen_window_to_range(s);
  EXPECT_DOUBLE_EQ(s.window_min, 0);
  EXPECT_DOUBLE_EQ(s.window_max, 80);
  s.range_max = 100;
  widen_window_to_range(s);
  EXPECT_DOUBLE_EQ(s.window_max, 100);
}

TEST(RangeFields, FollowTheAngleModeWithoutLosingWhatWasTyped) {
  using M = AngleMode;
  struct Case {
    const char* text;
    double stored;
    M from, to;
    const char* want;
  };
  const Case cases[] = {
      {"   10.00", 20.006, M::Theta, M::TwoTheta, "   20.01"},  // as written: the stored value
      {"   20.01", 20.006, M::TwoTheta, M::Theta, "   10.00"},
      {"   80.00", 80, M::TwoTheta, M::Theta, "   40.00"},
      {"10", 0, M::TwoTheta, M::Theta, "    5.00"},     // typed, never read: converted
      {"10.01", 0, M::TwoTheta, M::Theta, "   5.005"},   // with the decimal it needs
      {"5.005", 0, M::Theta, M::TwoTheta, "   10.01"},
      {" .5", 40, M::Theta, M::TwoTheta, "    1.00"},    // repaired like any typed number
      {"", 40, M::Theta, M::TwoTheta, ""},
      {"abc", 40, M::Theta, M::TwoTheta, "abc"},
      {"12.3456", 40, M::Theta, M::Theta, "12.3456"},    // no change of mode
  };
  for (const Case& c : cases)
    EXPECT_EQ(range_text_for_mode(c.text, c.stored, c.from, c.to), c.want) << '"' << c.text << '"';
}

#include "selection/measured.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "core/format.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

using Rows = std::vector<MeasuredGridRow>;

// d from 2θ computed independently of the program's constant.
double bragg_d(double two_theta, double lambda) {
  return lambda / (2 * std::sin(two_theta / 2 * std::numbers::pi / 180));
}

MeasuredPeak peak(double tt, double intensity, double read = -1) {
  MeasuredPeak p;
  p.two_theta = tt;
  p.two_theta_read = read < 0 ? tt : read;
  p.intensity = intensity;
  return p;
}

struct ScanCase {
  const char* name;
  Rows rows;
  std::string lambda;
  AngleMode mode;
  std::vector<std::string> messages;
  bool ok;
  std::vector<std::pair<double, double>> peaks;  // stored 2θ, area
  std::vector<std::pair<int, bool>> shown_rows;  // grid row, number shown
  double range_min, range_max;                   // expected entered range afterwards
};

// The peaks each case starts from, as stored.
const std::vector<std::pair<double, double>> kUntouched = {{99, 1}, {98, 1}, {97, 1}};

class ThetaToDhkl : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ThetaToDhkl, ReadsTheGrid) {
  const ScanCase& c = GetParam();
  WorkSession s;
  s.angle_mode = c.mode;
  s.range_min = 5;  // what an earlier entry left; kept when nothing sets it
  s.range_max = 100;
  s.measured.peaks = {peak(99, 1), peak(98, 1), peak(97, 1)};  // replaced by a good scan
  RecordingMessages m;

  MeasuredScan scan = theta_to_dhkl(c.rows, c.lambda, s, m);

  EXPECT_EQ(m.texts(), c.messages);
  EXPECT_EQ(scan.ok, c.ok);
  ASSERT_EQ(s.measured_count(), static_cast<int>(c.peaks.size()));
  for (size_t i = 0; i < c.peaks.size(); ++i) {
    EXPECT_DOUBLE_EQ(s.measured.peaks[i].two_theta, c.peaks[i].first) << i;
    EXPECT_DOUBLE_EQ(s.measured.peaks[i].two_theta_read, c.peaks[i].first) << i;
    EXPECT_DOUBLE_EQ(s.measured.peaks[i].intensity, c.peaks[i].second) << i;
  }
  ASSERT_EQ(scan.rows.size(), c.shown_rows.size());
  for (size_t i = 0; i < c.shown_rows.size(); ++i) {
    EXPECT_EQ(scan.rows[i].row, c.shown_rows[i].first);
    EXPECT_EQ(scan.rows[i].number.has_value(), c.shown_rows[i].second);
    if (scan.rows[i].number) {
      EXPECT_EQ(*scan.rows[i].number, std::to_string(scan.rows[i].row));
    }
  }
  EXPECT_DOUBLE_EQ(s.range_min, c.range_min);
  EXPECT_DOUBLE_EQ(s.range_max, c.range_max);
  if (c.ok && !c.peaks.empty()) {
    EXPECT_DOUBLE_EQ(s.measured.range_min, c.range_min);
    EXPECT_DOUBLE_EQ(s.measured.range_max, c.range_max);
  }
}

const AngleMode TT = AngleMode::TwoTheta;
const AngleMode TH = AngleMode::Theta;

INSTANTIATE_TEST_SUITE_P(
    Cases, ThetaToDhkl,
    ::testing::Values(
        ScanCase{"BlankRowsSkipped", {{"20", "40"}, {"", ""}, {"  ", "7"}, {"60", "50"}}, "1.5406",
                 TT, {}, true, {{20, 40}, {60, 50}}, {{1, true}, {4, true}}, 18, 62},
        ScanCase{"MissingAreaIs100", {{"30", ""}}, "1.5406", TT, {}, true, {{30, 100}},
                 {{1, true}}, 28, 32},
        ScanCase{"ThetaModeDoublesTypedAngle", {{"10", "5"}}, "1.5406", TH, {}, true, {{20, 5}},
                 {{1, true}}, 18, 22},
        ScanCase{"CommaAndTrailingPointAccepted", {{"25,5", "12."}}, "1,5406", TT, {}, true,
                 {{25.5, 12}}, {{1, true}}, 23.5, 27.5},
        // A refused wavelength leaves the list the grid still shows.
        ScanCase{"LambdaZero", {{"20", ""}}, "0", TT, {"Type first the wavelength"}, false,
                 kUntouched, {}, 5, 100},
        ScanCase{"LambdaEmptyCountsAsZero", {{"", ""}}, "", TT, {"Type first the wavelength"},
                 false, kUntouched, {}, 5, 100},
        ScanCase{"LambdaNotANumber", {{"20", ""}}, "1.54x", TT, {"Error on Lambda"}, false,
                 kUntouched, {}, 5, 100},
        ScanCase{"LambdaNegative", {{"20", ""}}, "-1.5", TT, {"Error on Lambda"}, false,
                 kUntouched, {}, 5, 100},
        ScanCase{"BadAngleStopsAtItsRow", {{"20", ""}, {"", ""}, {"2O", ""}, {"40", ""}},
                 "1.5406", TT, {"Error at  row,3"}, false, {{20, 100}}, {{1, true}}, 5, 100},
        ScanCase{"BadAreaKeepsTheDButNotTheNumber", {{"20", "1"}, {"30", "abc"}}, "1.5406", TT,
                 {"Error at  row,2"}, false, {{20, 1}, {30, 0}}, {{1, true}, {2, false}}, 5, 100},
        ScanCase{"ZeroAngleHasNoD", {{"0", ""}}, "1.5406", TT, {"Error at  row,1"}, false, {}, {},
                 5, 100},
        ScanCase{"AngleOf180HasNoD", {{"90", ""}}, "1.5406", TH, {"Error at  row,1"}, false, {},
                 {}, 5, 100},
        ScanCase{"NegativeAngle", {{"-20", ""}}, "1.5406", TT, {"Error at  row,1"}, false, {}, {},
                 5, 100},
        ScanCase{"AngleWithInfiniteD", {{"1e-308", ""}}, "1.5406", TT, {"Error at  row,1"}, false,
                 {}, {}, 5, 100},
        ScanCase{"NoPeakLeavesTheRange", {{"", ""}, {"", ""}}, "1.5406", TT, {}, true, {}, {}, 5,
                 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ThetaToDhkl, StoresTheWavelengthAndShowsDAs7_3) {
  WorkSession s;
  RecordingMessages m;
  MeasuredScan scan = theta_to_dhkl({{"10", ""}}, "1.540593", s, m);
  ASSERT_TRUE(scan.ok);
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.540593);
  ASSERT_EQ(scan.rows.size(), 1u);
  EXPECT_EQ(scan.rows[0].d, format_fixed(bragg_d(10, 1.540593), 7, 3));
  EXPECT_EQ(scan.rows[0].d, "  8.838");

  // In θ mode the typed 10 is θ itself: d = λ / (2 sin 10°).
  s.angle_mode = AngleMode::Theta;
  scan = theta_to_dhkl({{"10", ""}}, "1.540593", s, m);
  EXPECT_EQ(scan.rows[0].d, format_fixed(1.540593 / (2 * std::sin(std::numbers::pi / 18)), 7, 3));
}

// The box shows 8:5; reading back what the program wrote must not round the
// wavelength the user typed with more decimals.
TEST(ThetaToDhkl, WavelengthBoxAsShownKeepsTheStoredWavelength) {
  struct Case { const char* box; double stored, expected; };
  for (Case c : {Case{" 1.54059", 1.540593, 1.540593}, Case{"1.54059", 1.540593, 1.540593},
                 Case{"1.5406", 1.540593, 1.5406}, Case{" 1.54059", 0, 1.54059}}) {
    WorkSession s;
    s.wavelengths.lambda = c.stored;
    RecordingMessages m;
    ASSERT_TRUE(theta_to_dhkl({{"20", ""}}, c.box, s, m).ok) << c.box;
    EXPECT_DOUBLE_EQ(s.wavelengths.lambda, c.expected) << c.box;
  }
}

TEST(ThetaToDhkl, ARetypedWavelengthBoxIsReadAsTyped) {
  WorkSession s;
  s.wavelengths.lambda = 1.540593;
  RecordingMessages m;
  ASSERT_TRUE(theta_to_dhkl({{"20", ""}}, " 1.54059", s, m, true).ok);
  EXPECT_EQ(s.wavelengths.lambda, 1.54059);
  // d follows the wavelength read: 1.54059 / (2 sin 10°) = 4.43571...
  EXPECT_EQ(theta_to_dhkl({{"20", ""}}, "1.54059", s, m, true).rows[0].d, "  4.436");
}

// A refused wavelength must not empty the list the grid still shows: the grid, the
// list and the commands that read the list would disagree.
TEST(ThetaToDhkl, ARefusedWavelengthLeavesThePeaksAsTheyWere) {
  struct Case { const char* box; const char* message; };
  for (Case c : {Case{"-1.5", "Error on Lambda"}, Case{"abc", "Error on Lambda"},
                 Case{"0", "Type first the wavelength"}, Case{"", "Type first the wavelength"}}) {
    WorkSession s;
    s.wavelengths.lambda = 1.5406;
    s.measured.peaks = {peak(28.442, 100), peak(47.302, 55), peak(56.121, 30), peak(69.13, 10)};
    s.range_min = 26.442;
    s.range_max = 71.13;
    const std::vector<MeasuredPeak> before = s.measured.peaks;
    RecordingMessages m;
    const MeasuredScan scan =
        theta_to_dhkl({{"28.442", "100"}, {"47.302", "55"}, {"99", ""}}, c.box, s, m, true);
    EXPECT_FALSE(scan.ok) << c.box;
    EXPECT_TRUE(scan.rows.empty()) << c.box;
    EXPECT_EQ(m.texts(), std::vector<std::string>{c.message}) << c.box;
    ASSERT_EQ(s.measured_count(), 4) << c.box;
    for (size_t i = 0; i < before.size(); ++i)
      EXPECT_EQ(s.measured.peaks[i].two_theta, before[i].two_theta) << c.box;
    EXPECT_EQ(s.wavelengths.lambda, 1.5406) << c.box;
    EXPECT_EQ(s.range_max, 71.13) << c.box;
  }
}

TEST(ThetaToDhkl, RefusesTheFiveHundredAndFirstPeak) {
  WorkSession s;
  RecordingMessages m;
  Rows rows;
  for (int i = 0; i < kMaxMeasuredPeaks + 1; ++i)
    rows.push_back({format_fixed(10 + i * 0.2, 7, 3), ""});
  MeasuredScan scan = theta_to_dhkl(rows, "1.5406", s, m);
  EXPECT_FALSE(scan.ok);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"Too many peaks (>500)"});
  EXPECT_EQ(s.measured_count(), kMaxMeasuredPeaks);
}

// Moving through a grid that shows a list read from a file must not round its peaks
// to the grid's three decimals, nor lose the position as read.
TEST(ThetaToDhkl, UntouchedRowsKeepTheirPeakExactly) {
  for (AngleMode mode : {AngleMode::TwoTheta, AngleMode::Theta}) {
    WorkSession s;
    s.angle_mode = mode;
    s.wavelengths.lambda = 1.5406;
    MeasuredPeak a = peak(28.44123, 37.6, 28.40123);
    a.line_code = 2;
    MeasuredPeak b = peak(47.30277, 55.2);
    s.measured.peaks = {a, b};
    GridText shown = measured_grid_text(s);
    Rows rows;
    for (int r = 1; r < shown.row_count(); ++r) rows.push_back({shown.cell(r, 0), shown.cell(r, 2)});
    rows[1].angle = mode == AngleMode::Theta ? "23.6" : "47.2";  // retyped: read anew

    RecordingMessages m;
    ASSERT_TRUE(theta_to_dhkl(rows, "1.5406", s, m).ok);
    ASSERT_EQ(s.measured_count(), 2);
    const MeasuredPeak& k = s.measured.peaks[0];
    EXPECT_EQ(k.two_theta, 28.44123);
    EXPECT_EQ(k.two_theta_read, 28.40123);
    EXPECT_EQ(k.intensity, 37.6);
    EXPECT_EQ(k.line_code, 2);
    EXPECT_DOUBLE_EQ(s.measured.peaks[1].two_theta, 47.2);
    EXPECT_DOUBLE_EQ(s.measured.peaks[1].intensity, 55.0);  // the shown area, as typed
    EXPECT_DOUBLE_EQ(s.range_min, 28.44123 - 2);
  }
}

TEST(ShowMeasuredList, EmptyListShowsNothing) {
  WorkSession s;
  EXPECT_FALSE(show_measured_list(s).has_value());
}

// The exchange sort is not stable: equal angles come out in the order it leaves them,
// and every field of a peak moves with it.
TEST(ShowMeasuredList, SortsWholePeaksWithTheExchangeOrder) {
  WorkSession s;
  s.wavelengths.lambda = 1.5406;
  s.measured.peaks = {peak(30, 1, 29), peak(20, 2, 19), peak(30, 3, 28), peak(10, 4, 9)};
  ASSERT_TRUE(show_measured_list(s).has_value());
  std::vector<double> areas, read;
  for (auto& p : s.measured.peaks) {
    areas.push_back(p.intensity);
    read.push_back(p.two_theta_read);
  }
  EXPECT_EQ(areas, (std::vector<double>{4, 2, 3, 1}));
  EXPECT_EQ(read, (std::vector<double>{9, 19, 28, 29}));
}

TEST(ShowMeasuredList, GridTextsInBothModes) {
  WorkSession s;
  s.wavelengths.lambda = 1.540593;
  s.measured.peaks = {peak(47.302, 55.4), peak(28.442, 100)};
  auto shown = show_measured_list(s);
  ASSERT_TRUE(shown);
  const GridText& g = shown->grid;
  EXPECT_EQ(g.widths, (std::vector<int>{52, 52, 43, 20}));
  EXPECT_EQ(g.row_count(), 20);
  EXPECT_EQ(g.rows[0], (std::vector<std::string>{"2Theta", "Dhkl", "Area", "Nb."}));
  EXPECT_EQ(g.rows[1], (std::vector<std::string>{" 28.442", "  3.1356", "     100", "1"}));
  EXPECT_EQ(g.rows[2], (std::vector<std::string>{" 47.302", "  1.9202", "      55", "2"}));
  EXPECT_EQ(g.rows[2][1], format_fixed(bragg_d(47.302, 1.540593), 8, 4));
  EXPECT_EQ(g.rows[3], (std::vector<std::string>(4)));
  EXPECT_EQ(shown->lambda_text, " 1.54059");

  const GridText& sel = shown->selection_grid;
  EXPECT_EQ(sel.widths, (std::vector<int>{24, 49, 49}));
  EXPECT_EQ(sel.row_count(), 25);
  EXPECT_EQ(sel.rows[0], (std::vector<std::string>{"Nb", "Dhkl", "2Theta"}));
  EXPECT_EQ(sel.rows[1], (std::vector<std::string>{"1", "  3.1356", "  28.442"}));

  s.angle_mode = AngleMode::Theta;
  shown = show_measured_list(s);
  EXPECT_EQ(shown->grid.rows[0][0], "Theta");
  EXPECT_EQ(shown->grid.rows[1][0], " 14.221");
  EXPECT_EQ(shown->grid.rows[1][1], "  3.1356");  // d does not depend on the mode
  EXPECT_EQ(shown->selection_grid.rows[0][2], "Theta");
  EXPECT_EQ(shown->selection_grid.rows[2][2], "  23.651");
  EXPECT_EQ(s.measured.peaks[0].two_theta, 28.442);  // stored values unchanged
}

TEST(ShowMeasuredList, RowCountsGrowWithTheList) {
  struct Case { int peaks, grid_rows, selection_rows; };
  for (Case c : {Case{1, 20, 25}, Case{17, 20, 25}, Case{18, 21, 25}, Case{24, 27, 25},
                 Case{30, 33, 31}}) {
    WorkSession s;
    s.wavelengths.lambda = 1.5406;
    for (int i = 0; i < c.peaks; ++i) s.measured.peaks.push_back(peak(10 + i, 100));
    auto shown = show_measured_list(s);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->grid.row_count(), c.grid_rows) << c.peaks;
    EXPECT_EQ(shown->selection_grid.row_count(), c.selection_rows) << c.peaks;
    EXPECT_EQ(shown->grid.cell(c.peaks, 3), std::to_string(c.peaks));
  }
}

TEST(PrepareMeasuredGrid, HeadersAndEmptyCells) {
  WorkSession s;
  s.angle_mode = AngleMode::Theta;
  GridText g = prepare_measured_grid(s, 20);
  EXPECT_EQ(g.row_count(), 20);
  EXPECT_EQ(g.rows[0], (std::vector<std::string>{"Theta", "Dhkl", "Area", "Nb."}));
  for (int r = 1; r < 20; ++r) EXPECT_EQ(g.rows[static_cast<size_t>(r)], std::vector<std::string>(4));
}

TEST(ShowCalculatedForSelection, TextsAndRows) {
  WorkSession s;
  s.allowed = {{1, 1, 1, 0, 3.1357013, 28.440940}, {-2, 0, 10, 0, 0.5, 100.25}};
  GridText g = show_calculated_for_selection(s);
  EXPECT_EQ(g.row_count(), 25);
  EXPECT_EQ(g.rows[0], (std::vector<std::string>{"h   k   l", "Dhkl", "2Theta"}));
  EXPECT_EQ(g.rows[1], (std::vector<std::string>{"  1  1  1", " 3.1357", "  28.441"}));
  EXPECT_EQ(g.rows[2], (std::vector<std::string>{" -2  0 10", " 0.5000", " 100.250"}));
  EXPECT_EQ(g.rows[3], std::vector<std::string>(3));

  s.angle_mode = AngleMode::Theta;
  g = show_calculated_for_selection(s);
  EXPECT_EQ(g.rows[0][2], "Theta");
  EXPECT_EQ(g.rows[2][2], "  50.125");

  s.allowed.assign(30, CalculatedReflection{});
  EXPECT_EQ(show_calculated_for_selection(s).row_count(), 31);
}

}  // namespace
}  // namespace vornax

namespace vornax {
namespace {

// Typed grids of every kind (garbage, cut numbers, huge exponents, empty cells, long
// texts): the scan never crashes, stops with one of its messages, and leaves only
// peaks it could convert (0 < 2θ < 180, with a d-spacing); the range moves only when
// the whole grid was read.
TEST(ThetaToDhkl, SeededRandomGridsNeverStoreBadPeaks) {
  const std::vector<std::string> pieces = {
      "",   " ",  "20", "45.5", "179.99", "180", "0", "-3", "1e308", "1e-308", "1.5e1",
      "abc", "2O", "12,5", ".", "-.", "5.", " 7 ", "1 2", "nan", "inf", "0x10", "\t9",
      std::string(300, '9'), std::string(1000, ' ') + "30", "\xE9", "3..4", "+", "e5"};
  const std::vector<std::string> known = {"Error on Lambda", "Type first the wavelength",
                                          "Too many peaks (>500)"};
  std::mt19937 rng(20031017);
  auto pick = [&] { return pieces[rng() % pieces.size()]; };
  for (int round = 0; round < 400; ++round) {
    WorkSession s;
    s.angle_mode = round % 2 ? AngleMode::Theta : AngleMode::TwoTheta;
    s.range_min = 5;
    s.range_max = 100;
    Rows rows(rng() % 30);
    for (auto& r : rows) r = {pick(), pick()};
    const std::string lambda = round % 5 == 0 ? pick() : "1.5406";
    RecordingMessages m;
    const MeasuredScan scan = theta_to_dhkl(rows, lambda, s, m);

    ASSERT_LE(m.texts().size(), 1u);
    EXPECT_EQ(scan.ok, m.texts().empty());
    for (const std::string& t : m.texts())
      EXPECT_TRUE(std::find(known.begin(), known.end(), t) != known.end() ||
                  t.rfind("Error at  row,", 0) == 0)
          << t;
    ASSERT_LE(s.measured_count(), static_cast<int>(rows.size()));
    for (const MeasuredPeak& p : s.measured.peaks) {
      EXPECT_GT(p.two_theta, 0);
      EXPECT_LT(p.two_theta, 180);
      EXPECT_TRUE(std::isfinite(p.intensity));
      EXPECT_TRUE(std::isfinite(measured_d_spacing(p.two_theta, s.wavelengths.lambda)));
    }
    if (!scan.ok || s.measured.peaks.empty()) {
      EXPECT_EQ(s.range_min, 5);
      EXPECT_EQ(s.range_max, 100);
    }
    // Whatever was stored can be shown.
    if (auto shown = show_measured_list(s)) {
      EXPECT_EQ(shown->grid.cell(1, 3), "1");
    }
  }
}

}  // namespace
}  // namespace vornax

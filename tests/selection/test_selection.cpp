#include "selection/selection.hpp"
#include "support/recording_messages.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

namespace vornax {
namespace {

CalculatedReflection refl(int h, int k, int l, double tt) {
  CalculatedReflection c;
  c.h = h;
  c.k = k;
  c.l = l;
  c.two_theta = tt;
  c.d = 1;
  return c;
}

WorkSession session_with(std::vector<double> peaks, std::vector<CalculatedReflection> calc,
                         double range_min = 10, double range_max = 100) {
  WorkSession s;
  for (double tt : peaks) {
    MeasuredPeak p;
    p.two_theta = p.two_theta_read = tt;
    p.intensity = 100;
    s.measured.peaks.push_back(p);
  }
  s.allowed = std::move(calc);
  s.range_min = range_min;
  s.range_max = range_max;
  return s;
}

using Pair = std::tuple<int, int, int, float, float>;  // h k l obs calc

std::vector<Pair> pairs(const WorkSession& s) {
  std::vector<Pair> out;
  for (const SelectedPair& p : s.selected)
    out.emplace_back(p.h, p.k, p.l, p.two_theta_obs, p.two_theta_calc);
  return out;
}

struct AutoCase {
  const char* name;
  std::vector<double> peaks;
  std::vector<CalculatedReflection> calc;
  std::string tolerance;
  AngleMode mode;
  std::vector<Pair> expected;
};

class SelectAutomatically : public ::testing::TestWithParam<AutoCase> {};

TEST_P(SelectAutomatically, Pairs) {
  const AutoCase& c = GetParam();
  WorkSession s = session_with(c.peaks, c.calc, 20, 60);
  s.angle_mode = c.mode;
  RecordingMessages m;
  EXPECT_TRUE(select_automatically(s, c.tolerance, m));
  EXPECT_TRUE(m.empty());
  EXPECT_EQ(pairs(s), c.expected);
}

const AngleMode TT = AngleMode::TwoTheta;

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectAutomatically,
    ::testing::Values(
        // The range 20 .. 60 is inclusive at both ends.
        AutoCase{"RangeBoundsInclusive", {20, 60}, {refl(1, 0, 0, 20), refl(2, 0, 0, 60)}, "0.1",
                 TT, {{1, 0, 0, 20.f, 20.f}, {2, 0, 0, 60.f, 60.f}}},
        AutoCase{"JustOutsideTheRange", {19.999, 60.001}, {refl(1, 0, 0, 20), refl(2, 0, 0, 60)},
                 "0.1", TT, {}},
        // Halfway between two reflections: the first in list order wins.
        AutoCase{"HalfwayTakesTheFirstInList", {30.25}, {refl(2, 0, 0, 30.5), refl(1, 1, 1, 30)},
                 "0.3", TT, {{2, 0, 0, 30.25f, 30.5f}}},
        AutoCase{"NearestWins", {30.4}, {refl(1, 1, 1, 30), refl(2, 0, 0, 30.5)}, "0.5", TT,
                 {{2, 0, 0, 30.4f, 30.5f}}},
        AutoCase{"DifferenceEqualToToleranceAccepted", {30.25}, {refl(1, 1, 1, 30)}, "0.25", TT,
                 {{1, 1, 1, 30.25f, 30.f}}},
        AutoCase{"DifferenceAboveToleranceRefused", {30.25}, {refl(1, 1, 1, 30)}, "0.125", TT, {}},
        // Decimal values: 20.1 - 20.0 is 0.1 plus 1.4e-15 in binary, still the tolerance.
        AutoCase{"DecimalDifferenceEqualToTolerance", {20.1}, {refl(1, 1, 1, 20.0)}, "0.1", TT,
                 {{1, 1, 1, 20.1f, 20.f}}},
        AutoCase{"TwoPeaksOneReflection", {30.05, 29.95}, {refl(1, 1, 1, 30), refl(2, 0, 0, 35)},
                 "0.1", TT, {{1, 1, 1, 29.95f, 30.f}, {1, 1, 1, 30.05f, 30.f}}},
        AutoCase{"ThetaModeDoublesTheTolerance", {30.125}, {refl(1, 1, 1, 30)}, "0.0625",
                 AngleMode::Theta, {{1, 1, 1, 30.125f, 30.f}}},
        AutoCase{"SameToleranceIn2ThetaIsTooSmall", {30.125}, {refl(1, 1, 1, 30)}, "0.0625", TT,
                 {}},
        AutoCase{"ZeroToleranceOnlyExact", {30, 40.001}, {refl(1, 1, 1, 30), refl(2, 0, 0, 40)},
                 "0", TT, {{1, 1, 1, 30.f, 30.f}}},
        AutoCase{"NegativeToleranceNothing", {30}, {refl(1, 1, 1, 30)}, "-1", TT, {}},
        AutoCase{"EmptyCalculatedListNoPairs", {30, 40}, {}, "2000", TT, {}},
        AutoCase{"PairsSortedByObservedAngle", {50, 25, 40},
                 {refl(1, 1, 1, 25), refl(2, 2, 0, 40), refl(3, 1, 1, 50)}, "0.1", TT,
                 {{1, 1, 1, 25.f, 25.f}, {2, 2, 0, 40.f, 40.f}, {3, 1, 1, 50.f, 50.f}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelectAutomatically, StoresToleranceInTwoThetaAndReplacesTheList) {
  WorkSession s = session_with({30.1, 45, 55}, {refl(1, 1, 1, 30), refl(2, 0, 0, 45)}, 20, 60);
  s.angle_mode = AngleMode::Theta;
  s.selected.resize(7);
  s.selected[0].two_theta_obs_shifted = 3;
  s.results.refined = true;
  RecordingMessages m;
  ASSERT_TRUE(select_automatically(s, " 0.100", m));
  EXPECT_DOUBLE_EQ(s.tolerance, 0.2);
  ASSERT_EQ(s.selected_count(), 2);
  for (const SelectedPair& p : s.selected) EXPECT_EQ(p.two_theta_obs_shifted, 0.f);
  // The last paired peak (45, the second in list order) is the current one; 55 is unpaired.
  EXPECT_EQ(s.current_measured_peak, 2);
  EXPECT_FALSE(s.results.refined);
}

TEST(SelectAutomatically, RefusedToleranceChangesNothing) {
  for (const char* text : {"", "   ", "0.1.2", "abc", "1e"}) {
    WorkSession s = session_with({30}, {refl(1, 1, 1, 30)});
    s.tolerance = 0.3;
    s.selected.resize(3);
    s.current_measured_peak = 0;
    RecordingMessages m;
    EXPECT_FALSE(select_automatically(s, text, m)) << text;
    EXPECT_EQ(m.texts(), std::vector<std::string>{"Error (angular tolerance)"}) << text;
    EXPECT_EQ(s.selected_count(), 3);
    EXPECT_DOUBLE_EQ(s.tolerance, 0.3);
    EXPECT_EQ(s.current_measured_peak, 0);
  }
}

TEST(SelectionAutomatique, NeedsMeasuredPeaks) {
  WorkSession s = session_with({}, {refl(1, 1, 1, 30)});
  s.selected.resize(2);
  RecordingMessages m;
  EXPECT_FALSE(pair_automatically(s, "0.1", m));
  EXPECT_EQ(m.texts(), std::vector<std::string>{"Error: No measured Bragg angle"});
  EXPECT_EQ(s.selected_count(), 2);

  s = session_with({30}, {refl(1, 1, 1, 30)});
  m.clear();
  EXPECT_TRUE(pair_automatically(s, "0.1", m));
  EXPECT_TRUE(m.empty());
  EXPECT_EQ(s.selected_count(), 1);
}

TEST(SortSelectedByAngle, ExchangeOrderMovesWholePairs) {
  WorkSession s;
  auto add = [&](int h, float obs) {
    SelectedPair p;
    p.h = static_cast<int32_t>(h);
    p.two_theta_obs = obs;
    p.two_theta_calc = obs + h;
    s.selected.push_back(p);
  };
  add(1, 30);
  add(2, 20);
  add(3, 30);
  add(4, 10);
  sort_selected_by_angle(s);
  std::vector<int> order;
  for (auto& p : s.selected) {
    order.push_back(p.h);
    EXPECT_EQ(p.two_theta_calc, p.two_theta_obs + p.h);
  }
  EXPECT_EQ(order, (std::vector<int>{4, 2, 3, 1}));  // equal angles come out swapped
}

TEST(ShowSelectedList, TextsInBothModes) {
  WorkSession s;
  auto add = [&](int h, int k, int l, float obs, float calc) {
    SelectedPair p;
    p.h = static_cast<int32_t>(h);
    p.k = static_cast<int32_t>(k);
    p.l = static_cast<int32_t>(l);
    p.two_theta_obs = obs;
    p.two_theta_calc = calc;
    s.selected.push_back(p);
  };
  add(1, 1, 1, 28.5f, 28.25f);
  add(-2, 0, 10, 47.25f, 47.5f);
  for (int i = 0; i < 8; ++i) add(4, 0, 0, 69.f, 69.f);

  GridText g = show_selected_list(s);
  EXPECT_EQ(g.widths, (std::vector<int>{25, 46, 46, 46, 46}));
  EXPECT_EQ(g.row_count(), 12);
  EXPECT_EQ(g.rows[0], (std::vector<std::string>{"Nb.", "h   k   l", "2T Obs", "2T Calc", "Diff."}));
  EXPECT_EQ(g.rows[1],
            (std::vector<std::string>{" 1", "  1  1  1", "  28.500", "  28.250", "   0.250"}));
  EXPECT_EQ(g.rows[2],
            (std::vector<std::string>{" 2", " -2  0 10", "  47.250", "  47.500", "  -0.250"}));
  EXPECT_EQ(g.rows[10][0], "10");
  EXPECT_EQ(g.rows[11], std::vector<std::string>(5));

  s.angle_mode = AngleMode::Theta;
  g = show_selected_list(s);
  EXPECT_EQ(g.rows[0], (std::vector<std::string>{"Nb.", "h   k   l", "T Obs", "T Calc", "Diff."}));
  EXPECT_EQ(g.rows[1],
            (std::vector<std::string>{" 1", "  1  1  1", "  14.250", "  14.125", "   0.125"}));

  s.selected.clear();
  EXPECT_EQ(show_selected_list(s).row_count(), 2);
}

TEST(ToleranceBox, StartText) { EXPECT_EQ(tolerance_box_text(WorkSession{}.tolerance), " 0.100"); }

}  // namespace
}  // namespace vornax

namespace vornax {
namespace {

// Any tolerance text: refused with its message and nothing changed, or accepted with
// pairs that all respect the range and the tolerance.
TEST(SelectAutomatically, SeededRandomTolerancesAndLists) {
  const std::vector<std::string> texts = {"",     "0.1", "abc", "1e308", "-0", "0,25", ".",
                                          "1e",   "5.",  " 2 ", "1e-400", "0x1", "1..2",
                                          std::string(400, '1'), "nan", "\xB0", "-.5"};
  std::mt19937 rng(4242);
  for (int round = 0; round < 300; ++round) {
    std::vector<double> peaks(rng() % 12);
    for (double& p : peaks) p = 5 + (rng() % 17000) / 100.0;
    std::vector<CalculatedReflection> calc;
    for (int i = 0, n = static_cast<int>(rng() % 15); i < n; ++i)
      calc.push_back(refl(i, 0, 0, 5 + (rng() % 17000) / 100.0));
    WorkSession s = session_with(peaks, calc, 20, 150);
    s.angle_mode = round % 3 ? AngleMode::TwoTheta : AngleMode::Theta;
    s.tolerance = 0.3;
    s.selected.resize(2);
    const std::string text = texts[rng() % texts.size()];
    RecordingMessages m;
    const bool done = pair_automatically(s, text, m);
    if (!done) {
      EXPECT_EQ(s.selected_count(), 2) << text;
      EXPECT_DOUBLE_EQ(s.tolerance, 0.3) << text;
      EXPECT_EQ(m.texts().size(), 1u);
      continue;
    }
    EXPECT_TRUE(m.empty());
    EXPECT_LE(s.selected_count(), static_cast<int>(peaks.size()));
    for (size_t i = 0; i < s.selected.size(); ++i) {
      const SelectedPair& p = s.selected[i];
      EXPECT_GE(p.two_theta_obs, 20.f);
      EXPECT_LE(p.two_theta_obs, 150.f);
      EXPECT_LE(std::fabs(double(p.two_theta_obs) - p.two_theta_calc), s.tolerance + 1e-4);
      if (i > 0) {
        EXPECT_LE(s.selected[i - 1].two_theta_obs, p.two_theta_obs);
      }
    }
  }
}

}  // namespace
}  // namespace vornax

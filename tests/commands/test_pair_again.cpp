// Pairing that says what it left, and "Pair again": peak lists generated from known
// cells (the allowed reflections from gemmi's extinction test, not ours), with a zero
// shift and a little noise, refined from start cells near and far.
#include <gtest/gtest.h>

#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "commands/refinement_road.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using refine_test::ScratchFolder;

namespace {

constexpr double kLambda = 1.540593, kShift = 0.03, kMinTwoTheta = 15, kMaxTwoTheta = 140;

struct Phase {
  const char* name;
  const char* system;
  const char* group;        // as the program's H-M list writes it
  const char* gemmi_group;  // the same group for gemmi
  CellParameters cell;
  const char* keys;
};

const Phase kPhases[] = {
    {"LaB6", "CUBI", "P m -3 m", "P m -3 m", {4.15689, 4.15689, 4.15689, 90, 90, 90}, "a,shift"},
    {"corundum", "HEXA", "R -3 c:H", "R -3 c:H", {4.7589, 4.7589, 12.991, 90, 90, 120}, "a,c,shift"},
    {"Y2O3", "CUBI", "I a -3", "I a -3", {10.6040, 10.6040, 10.6040, 90, 90, 90}, "a,shift"},
};

// The distinct line positions of a phase inside the range, shifted and with noise of
// 0.002°; lines closer than 0.15° to another would be one peak in a pattern and are left
// out. Returns the angles in increasing order.
std::vector<double> peak_list(const Phase& ph, uint32_t seed = 7) {
  const gemmi::GroupOps ops = gemmi::find_spacegroup_by_name(ph.gemmi_group)->operations();
  std::vector<double> lines;
  const int n = 12;
  for (int h = -n; h <= n; ++h)
    for (int k = -n; k <= n; ++k)
      for (int l = -n; l <= n; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const double d2 = refine_test::inverse_d2(ph.cell, h, k, l);
        const double s = kLambda * std::sqrt(d2) / 2;
        if (s >= 1) continue;
        const double tt = refine_test::two_theta(ph.cell, kLambda, h, k, l);
        if (tt < kMinTwoTheta || tt > kMaxTwoTheta - 1) continue;
        if (ops.is_systematically_absent({h, k, l})) continue;
        lines.push_back(tt);
      }
  std::sort(lines.begin(), lines.end());
  // Symmetry equivalents give the same angle to rounding.
  lines.erase(std::unique(lines.begin(), lines.end(), [](double a, double b) { return b - a < 1e-7; }),
              lines.end());
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 0.002);
  std::vector<double> peaks;
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool crowded = (i > 0 && lines[i] - lines[i - 1] < 0.15) ||
                         (i + 1 < lines.size() && lines[i + 1] - lines[i] < 0.15);
    if (!crowded) peaks.push_back(lines[i] + kShift + noise(rng));
  }
  return peaks;
}

std::string text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

SessionStart start_for(const Phase& ph, double factor) {
  SessionStart st;
  st.system = ph.system;
  st.group = ph.group;
  const CellParameters& c = ph.cell;
  st.cell = {text(c.a * factor), text(c.b * factor), text(c.c * factor),
             text(c.alpha), text(c.beta), text(c.gamma)};
  st.lambda = text(kLambda);
  st.range_min = text(kMinTwoTheta);
  st.range_max = text(kMaxTwoTheta);
  st.folder = std::filesystem::current_path();
  st.data_folder = VORNAX_SOURCE_DATA_DIR;
  return st;
}

struct RoadRun {
  RefinementRecord record;
  bool settled = false;
};

RoadRun refine_from(const Phase& ph, const std::vector<double>& peaks, double factor,
                const std::string& tolerance, int pair_again_runs) {
  RecordingMessages m;
  WorkSession s;
  CellTab tab;
  const SessionStart start = start_for(ph, factor);
  RoadRun out;
  if (!start_session(s, tab, start, m)) return out;
  for (double tt : peaks) s.measured.peaks.push_back({tt, tt, 100, 0});
  RoadSettings road;
  road.tolerance = tolerance;
  road.keys = parse_refine_keys(ph.keys);
  road.inputs = {start.lambda, "0"};
  road.pair_again = pair_again_runs;
  out.record = run_refinement_road(s, tab, start, road, m);
  return out;
}

double value(const RefinementRecord& r, RefinedQuantity q) { return r.values[index_of(q)]; }

}  // namespace

// A start cell 0.5 % off pairs only the first lines; pairing again with the refined cell
// and shift ends on the cell a start 0.01 % off gives, and on the cell of the peaks.
TEST(PairAgain, AFarStartEndsWhereANearStartEnds) {
  ScratchFolder folder;
  for (const Phase& ph : kPhases) {
    const auto peaks = peak_list(ph);
    ASSERT_GE(peaks.size(), 8u) << ph.name;
    const RoadRun near = refine_from(ph, peaks, 1.0001, "0.3", 10);
    ASSERT_EQ(near.record.status, RoadStatus::Refined) << ph.name << ": " << near.record.message;
    EXPECT_EQ(near.record.pairing.paired, static_cast<int>(peaks.size())) << ph.name;
    for (double factor : {1.005, 0.995}) {
      const std::string what = std::string(ph.name) + " from " + std::to_string(factor);
      // Without pairing again the far start leaves lines unpaired.
      const RoadRun once = refine_from(ph, peaks, factor, "0.3", 0);
      if (once.record.status == RoadStatus::Refined) {
        EXPECT_LT(once.record.pairing.paired, static_cast<int>(peaks.size())) << what;
      }
      const RoadRun far = refine_from(ph, peaks, factor, "0.3", 10);
      ASSERT_EQ(far.record.status, RoadStatus::Refined) << what << ": " << far.record.message;
      EXPECT_GE(far.record.paired_again, 1) << what;
      EXPECT_EQ(far.record.pairing.paired, static_cast<int>(peaks.size())) << what;
      for (RefinedQuantity q : {RefinedQuantity::A, RefinedQuantity::C, RefinedQuantity::Shift})
        EXPECT_NEAR(value(far.record, q), value(near.record, q), 1e-6) << what << " " << index_of(q);
      EXPECT_NEAR(value(far.record, RefinedQuantity::A), ph.cell.a, 3e-4) << what;
      EXPECT_NEAR(value(far.record, RefinedQuantity::C), ph.cell.c, 6e-4) << what;
      EXPECT_NEAR(value(far.record, RefinedQuantity::Shift), kShift, 0.01) << what;
    }
  }
}

// What the pairing left: the peaks of the range that found no reflection, counted and
// listed, and the warning once fewer than half are paired. The peaks are silicon's
// lines plus strangers placed where no reflection lies.
TEST(PairAgain, PairingSaysWhichPeaksItLeft) {
  ScratchFolder folder;
  const Phase si{"Si", "CUBI", "F d -3 m:2", "F d -3 m:2", {5.431194, 5.431194, 5.431194, 90, 90, 90}, "a,shift"};
  const std::vector<double> lines = peak_list(si);
  ASSERT_GE(lines.size(), 10u);
  struct Case {
    int strangers;    // peaks added between the lines
    bool outside;     // one more peak outside the range, which is not counted
    bool warning;
  } cases[] = {{0, false, false}, {3, true, false}, {static_cast<int>(lines.size()) + 2, false, true}};
  for (const Case& c : cases) {
    std::vector<double> peaks = lines;
    std::vector<double> strangers;
    for (int i = 0; i < c.strangers; ++i) {
      // Midway between two lines of silicon, at least a degree from both.
      const size_t k = static_cast<size_t>(i) % (lines.size() - 1);
      strangers.push_back((lines[k] + lines[k + 1]) / 2 + 0.1 * (i / static_cast<int>(lines.size() - 1)));
    }
    peaks.insert(peaks.end(), strangers.begin(), strangers.end());
    if (c.outside) peaks.push_back(kMaxTwoTheta + 5);
    std::sort(peaks.begin(), peaks.end());

    RecordingMessages m;
    WorkSession s;
    CellTab tab;
    const SessionStart start = start_for(si, 1.0);
    ASSERT_TRUE(start_session(s, tab, start, m));
    for (double tt : peaks) s.measured.peaks.push_back({tt, tt, 100, 0});
    RoadSettings road;
    road.tolerance = "0.1";
    road.refine = false;
    const RefinementRecord r = run_refinement_road(s, tab, start, road, m);
    ASSERT_EQ(r.status, RoadStatus::Paired) << r.message;
    const PairingSummary& p = r.pairing;
    EXPECT_EQ(p.paired, static_cast<int>(lines.size())) << c.strangers;
    EXPECT_EQ(p.peaks, static_cast<int>(lines.size() + strangers.size())) << c.strangers;
    std::sort(strangers.begin(), strangers.end());
    ASSERT_EQ(p.unpaired_two_theta.size(), strangers.size());
    for (size_t i = 0; i < strangers.size(); ++i) {
      EXPECT_DOUBLE_EQ(p.unpaired_two_theta[i], strangers[i]);
      EXPECT_DOUBLE_EQ(s.measured.peaks[static_cast<size_t>(p.unpaired[i])].two_theta, strangers[i]);
    }
    EXPECT_EQ(too_few_paired(p), c.warning) << c.strangers;
    EXPECT_EQ(pairing_summary_text(p), std::to_string(lines.size()) + " of " +
                                           std::to_string(lines.size() + strangers.size()) +
                                           " peaks paired");
  }
}

// Pairing again compares each angle corrected by the refined shift, and keeps the angle
// as measured in the pair: with a shift of 0.3°, a tolerance of 0.1° pairs nothing
// unless the shift is applied, and then every line.
TEST(PairAgain, ThePairingAgainComparesShiftedAngles) {
  ScratchFolder folder;
  const Phase& ph = kPhases[0];
  RecordingMessages m;
  WorkSession s;
  CellTab tab;
  const SessionStart start = start_for(ph, 1.0);
  ASSERT_TRUE(start_session(s, tab, start, m));
  ASSERT_FALSE(calculate_started(s, tab, start, m).failed);
  std::vector<double> peaks;
  for (const auto& r : s.allowed) peaks.push_back(r.two_theta + 0.3);
  for (double tt : peaks) s.measured.peaks.push_back({tt, tt, 100, 0});
  struct Case {
    ShiftMode mode;
    double shift;
    size_t pairs;
  } cases[] = {{ShiftMode::ConstantZeroShift, 0, 0},
               {ShiftMode::ConstantZeroShift, 0.3, s.allowed.size()},
               {ShiftMode::ConstantZeroShift, -0.3, 0},
               // cos θ < 1: an eccentricity of 0.3 corrects by less than 0.3, and by
               // less than 0.2 beyond 2θ = 96°.
               {ShiftMode::SampleEccentricity, 0.3, 0}};
  for (const Case& c : cases) {
    ASSERT_TRUE(select_automatically_shifted(s, "0.1", c.mode, c.shift, m));
    if (c.mode == ShiftMode::SampleEccentricity) {
      EXPECT_GT(s.selected.size(), 0u);
      EXPECT_LT(s.selected.size(), s.allowed.size());
      continue;
    }
    ASSERT_EQ(s.selected.size(), c.pairs) << c.shift;
    for (const SelectedPair& p : s.selected)
      EXPECT_NEAR(p.two_theta_obs - p.two_theta_calc, 0.3, 1e-4);
  }
}

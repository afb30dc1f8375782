// Weighted refinement through the commands: pairs take the σ of their peaks, fitted
// weights reach the record and its JSON, a pair without σ stops the run before any
// file is written, and vornax-cli refine --weights prints its one extra line.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include "support/silicon_start.hpp"
#include "commands/refinement_road.hpp"
#include "core/text_file.hpp"
#include "files/column_peaks.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using refine_test::ScratchFolder;
using namespace vornax::testing;

namespace {

// Silicon peaks with a zero shift, each with a σ growing with the angle and noise of
// that σ (fixed seed); `unfitted` peaks (from the first) have no σ.
std::vector<MeasuredPeak> silicon_peaks(size_t unfitted = 0) {
  std::mt19937 gen(42);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<MeasuredPeak> peaks;
  for (size_t i = 0; i < std::size(kSiHkl); ++i) {
    const int* m = kSiHkl[i];
    MeasuredPeak p;
    p.sigma = i < unfitted ? 0.0 : 0.002 + 0.001 * static_cast<double>(i);
    p.two_theta = p.two_theta_read = silicon_two_theta(m) + p.sigma * normal(gen);
    p.intensity = 100;
    p.line_code = 1;
    p.fwhm = 0.1;
    peaks.push_back(p);
  }
  return peaks;
}

using vornax::testing::silicon_start;

RefinementRecord road(WorkSession& s, RecordingMessages& m, const std::vector<MeasuredPeak>& peaks,
                      WeightMode weights, int pair_again = 0) {
  CellTab tab;
  const SessionStart start = silicon_start();
  EXPECT_TRUE(start_session(s, tab, start, m));
  s.measured.peaks = peaks;
  RoadSettings st;
  st.tolerance = "0.3";
  st.keys = parse_refine_keys("a,shift");
  st.inputs = {start.lambda, "0"};
  st.inputs.weights = weights;
  st.pair_again = pair_again;
  return run_refinement_road(s, tab, start, st, m);
}

}  // namespace

TEST(WeightedRefine, PairsCarryTheirPeaksSigmaAndTheRecordItsWeighting) {
  struct Case { WeightMode mode; int pair_again; const char* name; };
  for (const Case c : {Case{WeightMode::Unit, 0, "unit"}, Case{WeightMode::Fitted, 0, "fitted"},
                       Case{WeightMode::Fitted, 2, "fitted"}}) {
    ScratchFolder folder;
    RecordingMessages m;
    WorkSession s;
    const auto peaks = silicon_peaks();
    const RefinementRecord r = road(s, m, peaks, c.mode, c.pair_again);
    ASSERT_EQ(r.status, RoadStatus::Refined) << r.message;
    ASSERT_EQ(s.selected.size(), peaks.size());
    for (const SelectedPair& p : s.selected) EXPECT_EQ(p.sigma, fitted_sigma_at(s, p.two_theta_obs));
    EXPECT_EQ(s.selected.back().sigma, peaks.back().sigma);
    EXPECT_NEAR(r.values[index_of(RefinedQuantity::A)], kSiA, 2e-4);
    EXPECT_EQ(r.weighting, c.mode);

    const auto j = nlohmann::json::parse(record_json(s, r));
    EXPECT_EQ(j["weighting"], c.name);
    EXPECT_EQ(j["shift_model"], "constant");  // the keys before stay as they were
    if (c.mode == WeightMode::Unit) {
      EXPECT_TRUE(j["goodness_of_fit"].is_null());
      EXPECT_FALSE(r.goodness_of_fit);
    } else {
      ASSERT_TRUE(r.goodness_of_fit);
      EXPECT_EQ(j["goodness_of_fit"].get<double>(), *r.goodness_of_fit);
      // Noise drawn with the σ the weights use: a goodness of fit near 1.
      EXPECT_GT(*r.goodness_of_fit, 0.3);
      EXPECT_LT(*r.goodness_of_fit, 2.0);
      EXPECT_EQ(r.sigma_floor, kDefaultSigmaFloor);
    }
  }
}

TEST(WeightedRefine, PairsWithoutSigmaAreRefusedBeforeAnythingIsWritten) {
  struct Case { size_t unfitted; const char* message; };
  const Case cases[] = {
      {1, "1 pair has no fitted error: fit the peaks (search --fit) or use --weights unit"},
      {4, "4 pairs have no fitted error: fit the peaks (search --fit) or use --weights unit"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    RecordingMessages m;
    WorkSession s;
    const RefinementRecord r = road(s, m, silicon_peaks(c.unfitted), WeightMode::Fitted);
    EXPECT_EQ(r.status, RoadStatus::Failed);
    EXPECT_EQ(r.message, c.message);
    EXPECT_FALSE(std::filesystem::exists("vornax.inp"));
    EXPECT_FALSE(s.results.refined);
  }
}

TEST(WeightedRefine, CliWeightsOptionAddsOneLineOnlyWhenFitted) {
  ScratchFolder folder;
  fitted_peak_lines(silicon_peaks()).save("si.txt");
  fitted_peak_lines(silicon_peaks(2)).save("half.txt");
  const std::string cell =
      " --system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 "
      "--lambda 1.540593 --range 20 140 --tolerance 0.3 --refine a,shift";
  using vornax::testing::run_vornax_cli;
  const auto plain = run_vornax_cli("refine --peaks si.txt" + cell);
  ASSERT_EQ(plain.code, 0) << plain.err;
  const auto unit = run_vornax_cli("refine --peaks si.txt" + cell + " --weights unit");
  ASSERT_EQ(unit.code, 0) << unit.err;
  // Unit weights are the default: the same output but for the time stamp of line 1.
  EXPECT_EQ(unit.out.substr(unit.out.find('\n')), plain.out.substr(plain.out.find('\n')));
  EXPECT_EQ(plain.out.find("weighting"), std::string::npos);

  const auto fitted = run_vornax_cli("refine --peaks si.txt" + cell + " --weights fitted");
  ASSERT_EQ(fitted.code, 0) << fitted.err;
  const size_t at = fitted.out.find("weighting: fitted (sigma floor 0.001°), goodness of fit ");
  ASSERT_NE(at, std::string::npos) << fitted.out;
  const std::string gof = fitted.out.substr(at).substr(0, fitted.out.find('\n', at) - at);
  EXPECT_NE(gof.find_first_of("0123456789", 50), std::string::npos) << gof;
  EXPECT_NE(read_text_lines("vornax.out").back().find("goodness of fit"), std::string::npos);

  const auto refused = run_vornax_cli("refine --peaks half.txt" + cell + " --weights fitted");
  EXPECT_NE(refused.code, 0);
  EXPECT_NE(refused.err.find("2 pairs have no fitted error: fit the peaks (search --fit) or use --weights unit"),
            std::string::npos)
      << refused.err;
  const auto bad = run_vornax_cli("refine --peaks si.txt" + cell + " --weights heavy");
  EXPECT_NE(bad.code, 0);
  EXPECT_NE(bad.err.find("--weights must be unit or fitted"), std::string::npos) << bad.err;
}

// Refinement with 1/σ² weights: equal weights reproduce the unweighted fit, the σ floor,
// the weighted solution and its errors against an independent weighted least squares
// (zero shift and sample eccentricity), the consistency of the errors over many noisy
// data sets, the report line and the leave-one-out diagnostics under weights.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "core/text_file.hpp"
#include "refine/figures_of_merit.hpp"
#include "refine/refinement.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace refine_test;

namespace {

constexpr double kLambda = 1.540593;
const CellParameters kSilicon{5.431194, 5.431194, 5.431194, 90, 90, 90};
constexpr int kLines[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2},
                             {5, 1, 1}, {4, 4, 0}, {5, 3, 1}, {6, 2, 0}, {5, 3, 3}, {4, 4, 4}};
constexpr size_t kLineCount = std::size(kLines);

// σ of each line, degrees 2θ: sharp low-angle lines, broad noisy high-angle ones.
double line_sigma(size_t i) { return i < 8 ? 0.002 : 0.03; }

// Silicon from a = 5.428, a and the shift (constant or eccentricity) refined; observed
// angles exact plus a shift of 0.03° and Gaussian noise of each line's σ times `noise`.
RefinementProblem silicon(bool eccentricity, uint32_t seed, double noise) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  RefinementProblem p;
  p.system = "CUBI";
  p.direct = {5.428, 5.428, 5.428, 90, 90, 90};
  p.P[kSlotHalfLambda] = kLambda / 2;
  p.K[kSlotAStar] = kKeyRefined;
  p.K[kSlotShift] = eccentricity ? kKeyEccentricity : kKeyRefined;
  for (size_t i = 0; i < kLineCount; ++i) {
    const auto& m = kLines[i];
    const double tt = two_theta(kSilicon, kLambda, m[0], m[1], m[2], 0.03, eccentricity) +
                      noise * line_sigma(i) * normal(gen);
    p.obs.push_back({m[0], m[1], m[2], tt * kTwoThetaDegToThetaRad, 0});
  }
  return p;
}

std::vector<double> sigmas() {
  std::vector<double> s;
  for (size_t i = 0; i < kLineCount; ++i) s.push_back(line_sigma(i));
  return s;
}

RefinementRun run(RefinementProblem p) {
  ScratchFolder folder;
  RecordingMessages m;
  RefinementRun r = run_refinement(std::move(p), folder.path, m);
  EXPECT_TRUE(m.log.empty());
  EXPECT_FALSE(r.failed);
  return r;
}

}  // namespace

TEST(WeightedRefinement, EqualWeightsGiveTheUnweightedFit) {
  const RefinementRun plain = run(silicon(false, 7, 1.0));
  // Weights that are powers of two scale every sum exactly: the same numbers to the
  // last bit. Any other common weight gives them to rounding.
  struct Case { double weight; bool exact; };
  const double sigma_rad = 0.01 * kTwoThetaDegToThetaRad;
  for (const Case c : {Case{1.0, true}, Case{4.0, true}, Case{0.25, true},
                       Case{1.0 / (sigma_rad * sigma_rad), false}}) {
    RefinementProblem p = silicon(false, 7, 1.0);
    for (auto& o : p.obs) o.weight = c.weight;
    p.weighting = WeightMode::Fitted;
    const RefinementRun w = run(std::move(p));
    const double tol = c.exact ? 0.0 : 1e-12;
    for (int s : {int(kSlotAStar), int(kSlotShift)}) {
      EXPECT_NEAR(w.problem.P[s], plain.problem.P[s], tol * std::fabs(plain.problem.P[s])) << c.weight;
      EXPECT_NEAR(w.problem.E[s], plain.problem.E[s], 1e-9 * plain.problem.E[s] * !c.exact) << c.weight;
    }
    EXPECT_NEAR(w.volume_error, plain.volume_error, 1e-9 * plain.volume_error * !c.exact);
    EXPECT_NEAR(w.problem.residual, plain.problem.residual, tol * plain.problem.residual);
    EXPECT_NEAR(w.problem.goodness_of_fit, std::sqrt(c.weight) * plain.problem.residual,
                1e-12 * std::sqrt(c.weight) * plain.problem.residual);
    EXPECT_EQ(w.problem.cycles, plain.problem.cycles);
  }
  // Unit weighting: the goodness of fit is the residual itself.
  EXPECT_EQ(plain.problem.goodness_of_fit, plain.problem.residual);
}

TEST(WeightedRefinement, FittedWeightsFromSigmaWithItsFloor) {
  // σ in degrees 2θ -> σ_θ in radians = σ / 2 · π / 180; w = 1 / σ_θ².
  auto weight_of = [](double sigma_deg) {
    const double rad = sigma_deg / 2 * kPi / 180;
    return 1 / (rad * rad);
  };
  struct Case { double sigma, floor, expected_sigma; };
  const Case cases[] = {
      {0.01, 0.001, 0.01}, {0.001, 0.001, 0.001}, {0.0002, 0.001, 0.001},
      {0.0002, 0.0001, 0.0002}, {0.05, 0.1, 0.1},
  };
  for (const Case& c : cases) {
    RefinementProblem p = silicon(false, 1, 0);
    ASSERT_EQ(apply_fitted_weights(p, std::vector<double>(kLineCount, c.sigma), c.floor), 0);
    EXPECT_EQ(p.weighting, WeightMode::Fitted);
    EXPECT_EQ(p.sigma_floor, c.floor);
    // The engine's degree constant departs from π/360 in the tenth digit.
    for (const auto& o : p.obs) EXPECT_NEAR(o.weight, weight_of(c.expected_sigma), 1e-9 * o.weight) << c.sigma;
  }
  // A σ missing (0, negative, not a number, or no σ at all for the last observations)
  // leaves the problem unweighted and says how many are missing.
  struct Missing { std::vector<double> sigma; int count; };
  std::vector<double> one_zero(kLineCount, 0.01);
  one_zero[3] = 0;
  std::vector<double> bad(kLineCount, 0.01);
  bad[0] = -0.01;
  bad[5] = std::nan("");
  bad[6] = INFINITY;
  const Missing missing[] = {{one_zero, 1}, {bad, 3}, {std::vector<double>(10, 0.01), 2}, {{}, 12}};
  for (const Missing& c : missing) {
    RefinementProblem p = silicon(false, 1, 0);
    EXPECT_EQ(apply_fitted_weights(p, c.sigma), c.count);
    EXPECT_EQ(p.weighting, WeightMode::Unit);
    for (const auto& o : p.obs) EXPECT_EQ(o.weight, 1.0);
  }
}

TEST(WeightedRefinement, ShiftAndEccentricityMatchAnIndependentWeightedSolution) {
  for (bool eccentricity : {false, true}) {
    RefinementProblem p = silicon(eccentricity, 11, 1.0);
    ASSERT_EQ(apply_fitted_weights(p, sigmas()), 0);
    IndependentProblem q;
    q.system = "CUBI";
    for (const auto& o : p.obs) {
      q.hkl.push_back({o.h, o.k, o.l});
      q.theta_obs.push_back(o.theta_obs);
      q.weight.push_back(o.weight);
    }
    q.eccentricity = eccentricity;
    q.free = {0, 6};
    const Params start{5.428, 5.428, 5.428, 90, 90, 90, 0, kLambda / 2};
    const Params solved = solve_independently(q, start);
    const auto errors = independent_errors(q, solved);

    const RefinementRun r = run(std::move(p));
    EXPECT_TRUE(r.converged);
    EXPECT_NEAR(r.problem.direct.a, solved[0], 2e-7) << eccentricity;
    EXPECT_NEAR(r.problem.P[kSlotShift], solved[6], 1e-8) << eccentricity;
    EXPECT_NEAR(r.problem.E[kSlotAStar], errors[0], 0.01 * errors[0]) << eccentricity;
    EXPECT_NEAR(r.problem.E[kSlotShift], errors[6], 0.01 * errors[6]) << eccentricity;
    EXPECT_NEAR(r.volume_error, errors[8], 0.01 * errors[8]) << eccentricity;
    // The weighted fit leans on the sharp lines: it differs from the unweighted one.
    const RefinementRun plain = run(silicon(eccentricity, 11, 1.0));
    EXPECT_GT(std::fabs(plain.problem.direct.a - r.problem.direct.a), 1e-6);
  }
}

TEST(WeightedRefinement, ErrorsAreConsistentOverManyNoisyDataSets) {
  // 200 data sets with the σ of each line as its noise: the weighted a lies within two
  // of its standard errors of the truth as often as Student's t says, and nearer to it
  // than the unweighted a. The unweighted error, pooled over sharp and broad lines, is no
  // such measure.
  constexpr int kSets = 200;
  int weighted_within = 0, plain_within = 0;
  double weighted_ss = 0, plain_ss = 0, gof_sum = 0;
  for (uint32_t seed = 1; seed <= kSets; ++seed) {
    RefinementProblem p = silicon(false, seed, 1.0);
    const RefinementRun plain = run(p);
    ASSERT_EQ(apply_fitted_weights(p, sigmas()), 0);
    const RefinementRun weighted = run(std::move(p));
    const double dw = weighted.problem.direct.a - kSilicon.a;
    const double dp = plain.problem.direct.a - kSilicon.a;
    weighted_within += std::fabs(dw) <= 2 * weighted.problem.E[kSlotAStar];
    plain_within += std::fabs(dp) <= 2 * plain.problem.E[kSlotAStar];
    weighted_ss += dw * dw;
    plain_ss += dp * dp;
    gof_sum += weighted.problem.goodness_of_fit;
  }
  // With ten degrees of freedom the errors come from the scatter itself: |t| <= 2
  // holds for 92.7 % of the sets (Student's t), give or take 2 % over 200 of them.
  EXPECT_GE(weighted_within, 0.87 * kSets);
  EXPECT_LE(weighted_within, 0.97 * kSets);
  EXPECT_LT(plain_within, 0.85 * kSets);
  EXPECT_LT(weighted_ss, 0.5 * plain_ss);
  EXPECT_NEAR(gof_sum / kSets, 1.0, 0.1);
}

TEST(WeightedRefinement, TheReportGainsItsLineOnlyUnderFittedWeights) {
  for (bool fitted : {false, true}) {
    RefinementProblem p = silicon(false, 3, 1.0);
    if (fitted) {
      ASSERT_EQ(apply_fitted_weights(p, sigmas()), 0);
    }
    ScratchFolder folder;
    RecordingMessages m;
    const RefinementRun r = run_refinement(std::move(p), folder.path, m);
    const auto lines = read_text_lines(folder.path / "vornax.out");
    ASSERT_FALSE(lines.empty());
    size_t weights_lines = 0;
    for (const auto& l : lines) weights_lines += l.find("Weights") != std::string::npos;
    EXPECT_EQ(weights_lines, fitted ? 1u : 0u);
    if (fitted) {
      char gof[32];
      std::snprintf(gof, sizeof gof, "%.4f", r.problem.goodness_of_fit);
      EXPECT_EQ(lines.back(), "Weights 1/sigma**2 of the fitted positions (sigma floor 0.001° 2Th), "
                              "goodness of fit : " + std::string(gof));
    }
  }
}

TEST(WeightedRefinement, DeletionDiagnosticsUseTheWeights) {
  RefinementProblem p = silicon(false, 5, 1.0);
  p.obs[9].theta_obs += 0.01 * kTwoThetaDegToThetaRad;  // within its broad σ: no outlier
  p.obs[2].theta_obs += 0.012 * kTwoThetaDegToThetaRad; // six σ of a sharp line
  ASSERT_EQ(apply_fitted_weights(p, sigmas()), 0);
  direct_to_reciprocal(p);
  for (int i = 0; i < 6; ++i) p.P[i] = p.reciprocal[i];
  build_refined_vector(p);
  RecordingMessages m;
  ASSERT_FALSE(refine_cycles(p, "", m).singular);
  compute_calculated_angles(p, m);
  const RefinementDiagnostics d = deletion_diagnostics(p);
  ASSERT_TRUE(d.available);
  double trace = 0;
  for (const auto& pd : d.pairs) trace += pd.leverage;
  EXPECT_NEAR(trace, 2.0, 1e-9);
  for (size_t i = 0; i < d.pairs.size(); ++i) EXPECT_EQ(d.pairs[i].flagged, i == 2) << i;

  // Leaving a pair out for real gives the change the diagnostics predicted.
  RefinementProblem full = p;
  compute_errors(full);
  for (size_t drop : {0u, 2u, 11u}) {
    RefinementProblem q = p;
    q.obs.erase(q.obs.begin() + static_cast<long>(drop));
    refine_cycles(q, "", m);
    const double da = (q.P[kSlotAStar] - full.P[kSlotAStar]) / full.S[kSlotAStar];
    EXPECT_NEAR(d.pairs[drop].deletion_shift[0], da, 0.02 * std::fabs(da) + 1e-3) << drop;
  }
}

// Figures of merit against hand calculations, and the deletion diagnostics against a
// silicon refinement with one line paired wrongly and against real refits.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "core/format.hpp"
#include "refine/figures_of_merit.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using refine_test::kDeg;

namespace {

constexpr double kLambda = 1.540593;

// 2θ (degrees) of a line whose 1/d² is q.
double tt_of_q(double q) { return 2.0 * std::asin(kLambda * std::sqrt(q) / 2.0) / kDeg; }

}  // namespace

TEST(FiguresOfMerit, PrimitiveCubicByHand) {
  // Primitive cubic, a = 4 Å: Q_calc = (h² + k² + l²)/16. Six indexed lines with known
  // errors in Q, and one line at Q = 0.28 that no reflection explains.
  const double n2[] = {1, 2, 3, 4, 5, 6};
  const double eps[] = {+0.0002, -0.0001, +0.0003, 0.0, -0.0002, +0.0001};
  std::vector<ObservedLine> lines;
  double sum_dtt = 0;
  for (int i = 0; i < 6; ++i) {
    const double qc = n2[i] / 16.0;
    ObservedLine l{tt_of_q(qc + eps[i]), tt_of_q(qc)};
    sum_dtt += std::fabs(l.two_theta - *l.two_theta_calc);
    lines.push_back(l);
    if (i == 3) lines.push_back({tt_of_q(0.28), std::nullopt});
  }
  // Possible positions: 210 and 120 coincide, N = 7 cannot occur, 8 and 9 (twice:
  // 221 and 300) lie beyond the last observed line.
  std::vector<double> possible;
  for (double n : {1, 2, 3, 4, 5, 5, 6, 8, 9, 9}) possible.push_back(tt_of_q(n / 16.0));

  const FiguresOfMerit f = compute_figures_of_merit(lines, possible, kLambda);
  ASSERT_TRUE(f.valid);
  EXPECT_EQ(f.m_lines, 7);
  EXPECT_EQ(f.x20, 1);
  // ε̄ = (2 + 1 + 3 + 0 + 2 + 1)·1e-4 / 6 = 1.5e-4; last Q = 6/16 + 1e-4 = 0.3751;
  // N = 6 distinct lines up to it. M = 0.3751 / (2 · 1.5e-4 · 6) = 208.3889.
  EXPECT_EQ(f.possible_lines_m, 6);
  EXPECT_NEAR(f.mean_abs_delta_q, 1.5e-4, 1e-10);
  EXPECT_NEAR(f.m20, 0.3751 / 0.0018, 1e-3);
  // F7 = 7 / (mean |Δ2θ| · 6), the mean over the six indexed lines.
  EXPECT_EQ(f.f_lines, 7);
  EXPECT_EQ(f.possible_lines_f, 6);
  EXPECT_NEAR(f.mean_abs_delta_two_theta, sum_dtt / 6, 1e-12);
  EXPECT_NEAR(f.f_n, 7.0 / (sum_dtt / 6 * 6), 1e-9);
}

TEST(FiguresOfMerit, LineCountsAndDegenerateCases) {
  struct Case {
    const char* what;
    int observed;
    bool index_all;
    int m_lines, f_lines, x20;
    bool valid;
  };
  const Case cases[] = {
      {"20 of 25 for M, all 25 for F", 25, true, 20, 25, 0, true},
      {"F stops at 30", 40, true, 20, 30, 0, true},
      {"nothing indexed", 5, false, 5, 5, 5, false},
  };
  for (const Case& c : cases) {
    std::vector<ObservedLine> lines;
    std::vector<double> possible;
    for (int i = 1; i <= c.observed; ++i) {
      const double q = i / 64.0;  // a = 8 Å: 40 lines stay below 2θ = 76°
      possible.push_back(tt_of_q(q));
      ObservedLine l{tt_of_q(q * 1.0001), std::nullopt};
      if (c.index_all) l.two_theta_calc = tt_of_q(q);
      lines.push_back(l);
    }
    ASSERT_EQ(static_cast<int>(lines.size()), c.observed) << c.what;
    const FiguresOfMerit f = compute_figures_of_merit(lines, possible, kLambda);
    EXPECT_EQ(f.valid, c.valid) << c.what;
    if (!c.valid) continue;
    EXPECT_EQ(f.m_lines, c.m_lines) << c.what;
    EXPECT_EQ(f.f_lines, c.f_lines) << c.what;
    EXPECT_EQ(f.x20, c.x20) << c.what;
    EXPECT_EQ(f.possible_lines_m, c.m_lines) << c.what;
    // A perfect-looking fit with 1e-4 relative error in Q: M = Q20/(2·1e-4·ΣQ/20·20).
    double sum = 0;
    for (int i = 1; i <= c.m_lines; ++i) sum += i / 64.0 * 1e-4;
    EXPECT_NEAR(f.m20, (c.m_lines / 64.0 * 1.0001) / (2 * sum / c.m_lines * c.m_lines), 1e-3)
        << c.what;
  }
}

// LaB6 (P m -3 m, a = 4.15689 Å) at Cu Kα1: no reflection is absent, so the possible
// lines are one per value N = h² + k² + l², and N = 7 cannot be written so. The first
// eight lines are N = 1, 2, 3, 4, 5, 6, 8, 9 (221 and 300 share N = 9): eight possible
// lines up to the eighth, counted by hand.
TEST(FiguresOfMerit, PossibleLinesReachTheCalculatedAngleOfTheLastIndexedLine) {
  const double a = 4.15689;
  auto tt = [&](int n) { return 2.0 * std::asin(kLambda * std::sqrt(n) / (2.0 * a)) / kDeg; };
  std::vector<double> possible;
  for (int h = 0; h <= 3; ++h)  // N up to 27, 2θ below 180°
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l)
        if (h * h + k * k + l * l > 0) possible.push_back(tt(h * h + k * k + l * l));
  const int observed_n[] = {1, 2, 3, 4, 5, 6, 8, 9};
  struct Case {
    const char* what;
    double offset;        // observed − calculated, degrees
    bool last_indexed;
    int possible;         // Nposs for F8 and N8 for M8
    int unindexed;
  };
  const Case cases[] = {
      {"every line 0.01 low", -0.01, true, 8, 0},
      {"every line 0.01 high", +0.01, true, 8, 0},
      // The eighth line unindexed, just below the 221/300 position: that position is
      // not reached, so seven.
      {"last line low and unindexed", -0.01, false, 7, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ObservedLine> lines;
    for (int n : observed_n) lines.push_back({tt(n) + c.offset, tt(n)});
    if (!c.last_indexed) lines.back().two_theta_calc.reset();
    const FiguresOfMerit f = compute_figures_of_merit(lines, possible, kLambda);
    ASSERT_TRUE(f.valid);
    EXPECT_EQ(f.m_lines, 8);
    EXPECT_EQ(f.f_lines, 8);
    EXPECT_EQ(f.x20, c.unindexed);
    EXPECT_EQ(f.possible_lines_f, c.possible);
    EXPECT_EQ(f.possible_lines_m, c.possible);
    // F8 = 8 / (0.01 · Nposs): 100 with every line indexed.
    EXPECT_NEAR(f.mean_abs_delta_two_theta, 0.01, 1e-9);
    EXPECT_NEAR(f.f_n, 8.0 / (0.01 * c.possible), 1e-6);
    // The report says M8 and F8, not M20.
    const auto text = quality_lines({f, {}}, RefinementProblem{});
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[0].substr(0, 3), "M8 ");
    EXPECT_EQ(text[1], "F(N) F8 " + format_fixed(8.0 / (0.01 * c.possible), 0, 1) + " (0.0100, " +
                           std::to_string(c.possible) + ")");
  }
}

namespace {

// Silicon (F d -3 m) at Cu Kα1, a and a zero shift refined; observed angles exact
// plus a +0.02° shift, rounded to 0.001°, and `bad` (1-based, 0 = none) moved by
// `offset` degrees as a line paired with the wrong reflection would be.
RefinementProblem silicon_problem(int bad, double offset) {
  const CellParameters si{5.431194, 5.431194, 5.431194, 90, 90, 90};
  const int hkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2},
                        {5, 1, 1}, {4, 4, 0}, {5, 3, 1}, {6, 2, 0}, {5, 3, 3}, {4, 4, 4}};
  RefinementProblem p;
  p.system = "CUBI";
  p.direct = {5.428, 5.428, 5.428, 90, 90, 90};
  direct_to_reciprocal(p);
  for (int i = 0; i < 6; ++i) p.P[i] = p.reciprocal[i];
  p.P[kSlotHalfLambda] = kLambda / 2;
  p.K[kSlotAStar] = kKeyRefined;
  p.K[kSlotShift] = kKeyRefined;
  build_refined_vector(p);
  int n = 0;
  for (const auto& m : hkl) {
    double tt = refine_test::two_theta(si, kLambda, m[0], m[1], m[2], 0.02);
    tt = std::round(tt * 1000) / 1000;
    if (++n == bad) tt += offset;
    p.obs.push_back({m[0], m[1], m[2], tt * kTwoThetaDegToThetaRad, 0});
  }
  RecordingMessages msg;
  const auto out = refine_cycles(p, "", msg);
  EXPECT_FALSE(out.singular);
  return p;
}

}  // namespace

TEST(DeletionDiagnostics, FlagsTheWronglyPairedLineAndNoOther) {
  for (int bad : {1, 6, 12}) {
    const RefinementProblem p = silicon_problem(bad, 0.12);
    const RefinementDiagnostics d = deletion_diagnostics(p);
    ASSERT_TRUE(d.available);
    ASSERT_EQ(d.pairs.size(), p.obs.size());
    for (size_t i = 0; i < d.pairs.size(); ++i)
      EXPECT_EQ(d.pairs[i].flagged, static_cast<int>(i) + 1 == bad) << "bad " << bad << " pair " << i + 1;
  }
  // The clean set flags nothing.
  const RefinementDiagnostics clean = deletion_diagnostics(silicon_problem(0, 0));
  ASSERT_TRUE(clean.available);
  for (const auto& pd : clean.pairs) EXPECT_FALSE(pd.flagged);
}

TEST(DeletionDiagnostics, LeveragesSumToTheParameterCountAndDeletionMatchesARefit) {
  const RefinementProblem p = silicon_problem(6, 0.05);
  const RefinementDiagnostics d = deletion_diagnostics(p);
  ASSERT_TRUE(d.available);
  ASSERT_EQ(d.refined_slots, (std::vector<int>{kSlotAStar, kSlotShift}));
  double trace = 0;
  for (const auto& pd : d.pairs) {
    EXPECT_GT(pd.leverage, 0.0);
    EXPECT_LT(pd.leverage, 1.0);
    trace += pd.leverage;
  }
  EXPECT_NEAR(trace, 2.0, 1e-9);

  // Leave each of three pairs out for real and refine again: the change of a* and of
  // the shift, in standard errors of the full fit, is what the diagnostics predicted.
  RefinementProblem full = p;
  compute_errors(full);
  for (size_t drop : {0u, 5u, 11u}) {
    RefinementProblem q = p;
    q.obs.erase(q.obs.begin() + static_cast<long>(drop));
    RecordingMessages m;
    refine_cycles(q, "", m);
    const double da = (q.P[kSlotAStar] - full.P[kSlotAStar]) / full.S[kSlotAStar];
    const double ds = (q.P[kSlotShift] - full.P[kSlotShift]) / full.S[kSlotShift];
    EXPECT_NEAR(d.pairs[drop].deletion_shift[0], da, 0.02 * std::fabs(da) + 1e-3) << drop;
    EXPECT_NEAR(d.pairs[drop].deletion_shift[1], ds, 0.02 * std::fabs(ds) + 1e-3) << drop;
  }
}

TEST(DeletionDiagnostics, TooFewPairsOrSingularGiveNothing) {
  RefinementProblem p = silicon_problem(0, 0);
  p.obs.resize(3);  // two parameters need four pairs for a leave-one-out σ
  EXPECT_FALSE(deletion_diagnostics(p).available);
  RefinementProblem q = silicon_problem(0, 0);
  q.K[kSlotAStar] = kKeyFixed;
  q.K[kSlotBStar] = kKeyRefined;  // tied to a* in a cubic cell: no effect on any angle
  build_refined_vector(q);
  EXPECT_FALSE(deletion_diagnostics(q).available);
}

// The residual in σ of each pair against a real leave-one-out refit: the pair's
// deleted residual (its θ_obs less the θ_calc of the fit without it) over its
// standard error from that fit, σ₍ᵢ₎ √(1 + gᵀ(DᵀD)⁻¹g), g the pair's derivatives. Only
// the refit's own design matrix enters: an independent route to the same number.
TEST(DeletionDiagnostics, ResidualInSigmaIsThatOfALeaveOneOutRefit) {
  struct Case {
    int bad;
    double offset;
  };
  for (const Case c : {Case{6, 0.05}, Case{1, 0.03}, Case{0, 0}}) {
    const RefinementProblem p = silicon_problem(c.bad, c.offset);
    const RefinementDiagnostics d = deletion_diagnostics(p);
    ASSERT_TRUE(d.available);
    for (size_t drop = 0; drop < p.obs.size(); ++drop) {
      SCOPED_TRACE(::testing::Message() << "bad " << c.bad << " dropped " << drop + 1);
      RefinementProblem q = p;
      q.obs.erase(q.obs.begin() + static_cast<long>(drop));
      RecordingMessages m;
      refine_cycles(q, "", m);
      compute_calculated_angles(q, m);
      compute_design_matrix(q);
      double ata[2][2] = {};
      for (const auto& row : q.D)
        for (int j = 0; j < 2; ++j)
          for (int k = 0; k < 2; ++k) ata[j][k] += row[j] * row[k];
      const double det = ata[0][0] * ata[1][1] - ata[0][1] * ata[1][0];
      const double inv[2][2] = {{ata[1][1] / det, -ata[0][1] / det}, {-ata[1][0] / det, ata[0][0] / det}};
      double ss = 0;
      for (const auto& o : q.obs) ss += (o.theta_obs - o.theta_calc) * (o.theta_obs - o.theta_calc);
      const double sigma = std::sqrt(ss / (q.count() - 2));

      RefinementProblem one = q;
      one.obs = {p.obs[drop]};
      compute_calculated_angles(one, m);
      compute_design_matrix(one);
      const auto& g = one.D[0];
      const double quad = g[0] * (inv[0][0] * g[0] + inv[0][1] * g[1]) + g[1] * (inv[1][0] * g[0] + inv[1][1] * g[1]);
      const double deleted = one.obs[0].theta_obs - one.obs[0].theta_calc;
      const double expected = deleted / (sigma * std::sqrt(1 + quad));
      EXPECT_NEAR(d.pairs[drop].residual_in_sigma, expected, 0.02 * std::fabs(expected) + 1e-3);
    }
  }
}

// Whole refinements through the refinement command: silicon with a zero shift and with
// a sample eccentricity, monoclinic and triclinic cells from a perturbed start, and a
// wavelength refinement. Every result is compared with an independent least-squares
// solution of the same data.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "core/messages.hpp"
#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"
#include "refine/refinement.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace refine_test;

namespace {

const CellParameters kSilicon{5.431194, 5.431194, 5.431194, 90, 90, 90};
constexpr double kCuKa1 = 1.540593;

// Fd-3m: h k l all odd, or all even with h + k + l = 4n; one of each form.
bool silicon_allowed(int h, int k, int l) {
  const bool odd = (h % 2) && (k % 2) && (l % 2);
  const bool even = !(h % 2) && !(k % 2) && !(l % 2) && (h + k + l) % 4 == 0;
  return odd || even;
}

// Silicon peaks from the true cell plus a shift, rounded to 0.001°, each paired with
// the nearest reflection of the starting cell within 0.3°.
std::vector<SelectedPair> silicon_pairs(double start_a, double shift, bool eccentricity) {
  const CellParameters start{start_a, start_a, start_a, 90, 90, 90};
  struct Refl { int h, k, l; double tt; };
  std::vector<Refl> calc;
  std::vector<double> peaks;
  for (int h = 1; h <= 7; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        if (!silicon_allowed(h, k, l)) continue;
        const double tt = two_theta(start, kCuKa1, h, k, l);
        if (tt > 20 && tt < 140) calc.push_back({h, k, l, tt});
        const double obs = two_theta(kSilicon, kCuKa1, h, k, l, shift, eccentricity);
        if (obs > 20 && obs < 140) peaks.push_back(std::round(obs * 1000) / 1000);
      }
  std::sort(peaks.begin(), peaks.end());
  peaks.erase(std::unique(peaks.begin(), peaks.end()), peaks.end());  // 511 and 333 coincide
  std::vector<SelectedPair> pairs;
  for (double obs : peaks) {
    const Refl* best = nullptr;
    for (const auto& r : calc)
      if (!best || std::fabs(obs - r.tt) < std::fabs(obs - best->tt)) best = &r;
    if (best && std::fabs(obs - best->tt) <= 0.3) {
      SelectedPair p;
      p.h = static_cast<int32_t>(best->h);
      p.k = static_cast<int32_t>(best->k);
      p.l = static_cast<int32_t>(best->l);
      p.two_theta_obs = static_cast<float>(obs);
      p.two_theta_calc = static_cast<float>(best->tt);
      pairs.push_back(p);
    }
  }
  return pairs;
}

struct RunSetup {
  std::string system;
  CellParameters start;
  std::vector<SelectedPair> pairs;
  std::array<bool, 8> keys;
  ShiftMode mode = ShiftMode::ConstantZeroShift;
  std::string lambda = "1.540593";
  std::string shift = "0";
};

RefineOutcome refine(WorkSession& s, const RunSetup& u, RecordingMessages& m) {
  reset_session(s, std::filesystem::current_path());
  s.system = u.system;
  s.cell = u.start;
  s.initial_cell = u.start;
  s.wavelengths.lambda = kCuKa1;
  s.measured.file_name = "/data/sample.dif";
  s.selected = u.pairs;
  s.refine_checked = u.keys;
  s.shift_mode = u.mode;
  return refine_pairs(s, {u.lambda, u.shift}, m);
}

// The independent solution of the engine's own data (as it read them from vornax.inp).
IndependentProblem independent_of(const RefinementProblem& p, const std::vector<int>& free,
                                  bool eccentricity) {
  IndependentProblem q;
  q.system = p.system;
  for (const auto& o : p.obs) {
    q.hkl.push_back({o.h, o.k, o.l});
    q.theta_obs.push_back(o.theta_obs);
  }
  q.eccentricity = eccentricity;
  q.free = free;
  return q;
}

Params engine_params(const RefinementProblem& p) {
  const auto& c = p.direct;
  return {c.a, c.b, c.c, c.alpha, c.beta, c.gamma, p.P[kSlotShift], p.P[kSlotHalfLambda]};
}

void expect_same_solution(const Params& engine, const Params& indep, const std::vector<int>& free) {
  for (int f : free)
    EXPECT_NEAR(engine[f], indep[f], 1e-6 * std::fabs(indep[f])) << "parameter " << f;
}

Params start_params(const CellParameters& c, double shift, double half_lambda) {
  return {c.a, c.b, c.c, c.alpha, c.beta, c.gamma, shift, half_lambda};
}

}  // namespace

TEST(Refinement, SiliconWithZeroShiftOrEccentricity) {
  for (bool ecc : {false, true}) {
    SCOPED_TRACE(ecc ? "eccentricity" : "zero shift");
    ScratchFolder folder;
    RunSetup u;
    u.system = "CUBI";
    u.start = {5.428, 5.428, 5.428, 90, 90, 90};
    u.pairs = silicon_pairs(5.428, 0.040, ecc);
    u.keys = {true, false, false, false, false, false, true, false};
    u.mode = ecc ? ShiftMode::SampleEccentricity : ShiftMode::ConstantZeroShift;
    ASSERT_GE(u.pairs.size(), 10u);
    WorkSession s;
    RecordingMessages m;
    const auto out = refine(s, u, m);
    ASSERT_EQ(out.status, RefineStatus::Refined) << (m.empty() ? "" : m.texts()[0]);
    EXPECT_TRUE(m.empty());
    const auto& p = out.run.problem;
    EXPECT_EQ(p.K[kSlotShift], ecc ? kKeyEccentricity : kKeyRefined);
    EXPECT_NEAR(p.direct.a, 5.431194, 2e-5);
    EXPECT_DOUBLE_EQ(p.direct.b, p.direct.a);
    EXPECT_NEAR(p.P[kSlotShift] * kThetaRadToTwoThetaDeg, 0.040, 0.002);

    const std::vector<int> free = {0, 6};
    const auto indep = solve_independently(independent_of(p, free, ecc),
                                           start_params(u.start, 0, p.P[kSlotHalfLambda]));
    expect_same_solution(engine_params(p), indep, free);

    // The session got the report's (rounded) values.
    EXPECT_TRUE(s.results.refined);
    EXPECT_NEAR(s.results.cell.a, p.direct.a, 5e-5);
    EXPECT_NEAR(s.results.zero_shift, 0.040, 0.002);
  }
}

namespace {

// A cell refined from a perturbed start with a zero shift: it comes back to the true
// cell and equals the independent least-squares solution.
struct PerturbedCase {
  const char* system;
  CellParameters truth, start;
  std::array<bool, 8> keys;
  std::vector<int> free;
  double max_two_theta, shift;
  int pairs;
};

void check_perturbed_refinement(const PerturbedCase& c) {
  SCOPED_TRACE(c.system);
  ScratchFolder folder;
  RunSetup u;
  u.system = c.system;
  u.start = c.start;
  u.pairs = make_pairs(c.truth, c.start, kCuKa1, 4, c.max_two_theta, c.shift, false, 0.0001,
                       c.pairs);
  u.keys = c.keys;
  WorkSession s;
  RecordingMessages m;
  const auto out = refine(s, u, m);
  ASSERT_EQ(out.status, RefineStatus::Refined) << (m.empty() ? "" : m.texts()[0]);
  EXPECT_TRUE(m.empty());
  const auto& d = out.run.problem.direct;
  const double lengths[3][2] = {{d.a, c.truth.a}, {d.b, c.truth.b}, {d.c, c.truth.c}};
  for (const auto& l : lengths) EXPECT_NEAR(l[0], l[1], 1e-4);
  const double angles[3][2] = {{d.alpha, c.truth.alpha}, {d.beta, c.truth.beta},
                               {d.gamma, c.truth.gamma}};
  for (const auto& an : angles) EXPECT_NEAR(an[0], an[1], 0.01);
  EXPECT_NEAR(out.run.problem.P[kSlotShift] * kThetaRadToTwoThetaDeg, c.shift, 0.002);

  const auto indep = solve_independently(independent_of(out.run.problem, c.free, false),
                                         start_params(c.start, 0, kCuKa1 / 2));
  expect_same_solution(engine_params(out.run.problem), indep, c.free);
}

}  // namespace

TEST(Refinement, MonoclinicAndTriclinicFromAPerturbedStart) {
  const PerturbedCase cases[] = {
      {"MONO", {7.1, 9.3, 5.6, 90, 104.5, 90}, {7.13, 9.27, 5.62, 90, 104.8, 90},
       {true, true, true, false, true, false, true, false}, {0, 1, 2, 4, 6}, 80, 0.025, 120},
      {"TRIC", {6.2, 7.4, 8.9, 95.3, 103.7, 88.2}, {6.22, 7.38, 8.92, 95.0, 104.0, 88.5},
       {true, true, true, true, true, true, true, false}, {0, 1, 2, 3, 4, 5, 6}, 80, 0.025, 120},
  };
  for (const auto& c : cases) check_perturbed_refinement(c);
}

// A fixed shift enters the fit as a constant whatever the mode; everything shown after
// the run (the After grid, its deviation, "Use refined") follows that same model.
TEST(Refinement, CorrectionsAfterTheRunFollowTheEnginesModel) {
  ScratchFolder folder;
  RunSetup u;
  u.system = "CUBI";
  u.start = {5.431194, 5.431194, 5.431194, 90, 90, 90};
  u.pairs = silicon_pairs(5.431194, 0.05, false);  // a constant shift of 0.05°
  u.keys = {true, false, false, false, false, false, false, false};  // shift held
  u.mode = ShiftMode::SampleEccentricity;
  u.shift = "0.05";
  WorkSession s;
  RecordingMessages m;
  const auto out = refine(s, u, m);
  ASSERT_EQ(out.status, RefineStatus::Refined);
  EXPECT_FALSE(s.results.eccentricity);
  const auto after = after_refinement_grid(s);
  for (size_t i = 0; i < s.selected.size(); ++i)
    EXPECT_NEAR(std::stod(after.rows[i + 1][4]), 0.0, 1e-3) << i;  // angles rounded to 0.001°
  EXPECT_LT(std::stod(deviation_after_text(s)), 1e-3);  // cos θ applied: 0.0118
  s.measured.peaks = {{47.35, 47.35, 100, 1}};
  ASSERT_TRUE(adopt_refined_values(s).done);
  EXPECT_NEAR(s.measured.peaks[0].two_theta, 47.30, 1e-9);  // a constant, not 0.05·cos θ
}

// After a run the session knows the figures of merit and the pairs to look at first:
// a silicon line moved by 0.12° (an impurity taken for silicon) is the one shown orange.
TEST(Refinement, TheWrongPairIsMarkedInTheAfterGrid) {
  ScratchFolder folder;
  RunSetup u;
  u.system = "CUBI";
  u.start = {5.428, 5.428, 5.428, 90, 90, 90};
  u.pairs = silicon_pairs(5.428, 0.04, false);
  ASSERT_GE(u.pairs.size(), 10u);
  u.pairs[5].two_theta_obs += 0.12f;
  u.keys = {true, false, false, false, false, false, true, false};
  WorkSession s;
  RecordingMessages m;
  ASSERT_EQ(refine(s, u, m).status, RefineStatus::Refined);
  ASSERT_EQ(s.results.suspect.size(), s.selected.size());
  const auto after = after_refinement_grid(s);
  for (size_t i = 0; i < s.selected.size(); ++i) {
    EXPECT_EQ(s.results.suspect[i], i == 5) << i;
    EXPECT_EQ(after.style(static_cast<int>(i) + 1) == RowStyle::Suspect, i == 5) << i;
  }
  // They go with the results.
  clear_results(s);
  EXPECT_TRUE(s.results.suspect.empty());
  EXPECT_TRUE(s.results.figures_of_merit.empty());
}

// Standard errors carry the covariance through the system's ties: σ of a, c, the
// angles and the volume equal those of an independent fit parametrised by the free
// direct parameters. (Carried by the refined slot alone, σ(α) of a rhombohedral cell
// came out about half the true value, and σ(V) of a cubic cell a third.)
TEST(Refinement, StandardErrorsFollowTheTies) {
  const PerturbedCase cases[] = {
      {"RHOM", {5.2, 5.2, 5.2, 58.5, 58.5, 58.5}, {5.22, 5.22, 5.22, 58.3, 58.3, 58.3},
       {true, false, false, true, false, false, true, false}, {0, 3, 6}, 100, 0.02, 40},
      {"HEXA", {3.0, 3.0, 5.0, 90, 90, 120}, {3.01, 3.01, 4.98, 90, 90, 120},
       {true, false, true, false, false, false, true, false}, {0, 2, 6}, 100, 0.02, 40},
      {"TETR", {4.1, 4.1, 6.3, 90, 90, 90}, {4.12, 4.12, 6.28, 90, 90, 90},
       {true, false, true, false, false, false, true, false}, {0, 2, 6}, 100, 0.02, 40},
      {"MONO", {7.1, 9.3, 5.6, 90, 104.5, 90}, {7.13, 9.27, 5.62, 90, 104.8, 90},
       {true, true, true, false, true, false, true, false}, {0, 1, 2, 4, 6}, 80, 0.025, 80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.system);
    ScratchFolder folder;
    RunSetup u;
    u.system = c.system;
    u.start = c.start;
    // Observed angles rounded to 0.001°, as a diffractometer reports them: a residual.
    u.pairs = make_pairs(c.truth, c.start, kCuKa1, 4, c.max_two_theta, c.shift, false, 0.001,
                         c.pairs);
    u.keys = c.keys;
    WorkSession s;
    RecordingMessages m;
    const auto out = refine(s, u, m);
    ASSERT_EQ(out.status, RefineStatus::Refined);
    const auto& p = out.run.problem;
    const auto q = independent_of(p, c.free, false);
    const auto sigma = independent_errors(q, engine_params(p));
    for (int f : c.free) {
      if (f >= 6) continue;
      ASSERT_GT(sigma[f], 0.0);
      EXPECT_NEAR(p.E[f], sigma[f], 0.01 * sigma[f]) << "parameter " << f;
    }
    EXPECT_NEAR(out.run.volume_error, sigma[8], 0.01 * sigma[8]);
  }
}

// The wavelength is fitted alone first (cell fixed at its start), then the cell and the
// shift with the wavelength held: two independent fits in the same order.
TEST(Refinement, WavelengthRefinementRunsTheWavelengthAloneFirst) {
  ScratchFolder folder;
  const double true_lambda = 1.5406;
  const CellParameters start{5.4305, 5.4305, 5.4305, 90, 90, 90};
  std::vector<SelectedPair> pairs;
  for (const auto& hkl : std::vector<std::array<int, 3>>{{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0},
                                                         {3, 3, 1}, {4, 2, 2}, {5, 1, 1}, {4, 4, 0},
                                                         {5, 3, 1}, {6, 2, 0}, {5, 3, 3}}) {
    SelectedPair p;
    p.h = static_cast<int32_t>(hkl[0]);
    p.k = static_cast<int32_t>(hkl[1]);
    p.l = static_cast<int32_t>(hkl[2]);
    p.two_theta_obs = static_cast<float>(
        std::round(two_theta(kSilicon, true_lambda, hkl[0], hkl[1], hkl[2], 0.01) * 1000) / 1000);
    p.two_theta_calc = static_cast<float>(two_theta(start, kCuKa1, hkl[0], hkl[1], hkl[2]));
    pairs.push_back(p);
  }
  RunSetup u;
  u.system = "CUBI";
  u.start = start;
  u.pairs = pairs;
  u.keys = {true, false, false, false, false, false, true, true};
  u.lambda = "1.5400";
  WorkSession s;
  RecordingMessages m;
  const auto out = refine(s, u, m);
  ASSERT_EQ(out.status, RefineStatus::Refined) << (m.empty() ? "" : m.texts()[0]);
  EXPECT_TRUE(out.run.wavelength_stage);
  const auto& p = out.run.problem;
  EXPECT_EQ(p.K[kSlotHalfLambda], kKeyFixed);  // the second stage holds it
  EXPECT_EQ(p.npar, 2);

  // Stage 1: λ alone, shift fixed at its typed value (0), cell at the start.
  auto first = independent_of(p, {7}, false);
  const Params after_first = solve_independently(first, start_params(start, 0, 1.5400 / 2));
  EXPECT_NEAR(p.P[kSlotHalfLambda], after_first[7], 1e-6 * after_first[7]);
  // Stage 2: a and the shift, λ held at the first stage's value.
  auto second = independent_of(p, {0, 6}, false);
  const Params indep = solve_independently(second, after_first);
  expect_same_solution(engine_params(p), indep, {0, 6});

  // The trace holds only the second stage: two derivatives per observation line.
  const auto trace = read_text_lines("mouchard");
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "Cycle Nb 1");
  EXPECT_EQ(trace[2].size(), 20u);
  // The report warns, and the wavelength is read back.
  const auto report = read_text_lines("vornax.out");
  EXPECT_NE(std::find(report.begin(), report.end(), "Warning"), report.end());
  EXPECT_NEAR(s.results.lambda, 2 * p.P[kSlotHalfLambda], 5e-6);
  EXPECT_GT(s.results.errors[index_of(RefinedQuantity::Lambda)], 0.0);
}

TEST(Refinement, CubicTiesHoldAfterEveryUpdate) {
  RefinementProblem p;
  p.system = "CUBI";
  p.direct = {5.43, 5.43, 5.43, 90, 90, 90};
  direct_to_reciprocal(p);
  for (int i = 0; i < 6; ++i) p.P[i] = p.reciprocal[i];
  p.P[kSlotHalfLambda] = kCuKa1 / 2;
  p.K[kSlotAStar] = kKeyRefined;
  build_refined_vector(p);
  for (const auto& pr : silicon_pairs(5.43, 0, false))
    p.obs.push_back({pr.h, pr.k, pr.l, pr.two_theta_obs * kTwoThetaDegToThetaRad, 0});
  RecordingMessages m;
  const auto out = refine_cycles(p, "", m);
  EXPECT_FALSE(out.singular);
  for (int i : {1, 2}) EXPECT_EQ(p.reciprocal[i], p.reciprocal[0]);
  for (int i : {4, 5}) EXPECT_EQ(p.reciprocal[i], p.reciprocal[3]);
  EXPECT_NEAR(1 / p.reciprocal[0], 5.431194, 2e-4);
}

TEST(Refinement, RefiningATiedSlotAloneIsSingular) {
  // b is tied to a in a cubic cell: refining it alone has no effect on any angle.
  ScratchFolder folder;
  RunSetup u;
  u.system = "CUBI";
  u.start = {5.428, 5.428, 5.428, 90, 90, 90};
  u.pairs = silicon_pairs(5.428, 0, false);
  u.keys = {false, true, false, false, false, false, false, false};
  WorkSession s;
  RecordingMessages m;
  const auto out = refine(s, u, m);
  EXPECT_EQ(out.status, RefineStatus::Singular);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"Singular Matrix"});
  EXPECT_FALSE(s.results.refined);
  // The report holds its initial part only; the trace ends on the singular matrix.
  const auto report = read_text_lines("vornax.out");
  EXPECT_EQ(std::find_if(report.begin(), report.end(),
                         [](const std::string& l) { return l.find("Final values") != std::string::npos; }),
            report.end());
  EXPECT_EQ(read_text_lines("mouchard").back(), "Matrice singulière");
  std::ifstream raw("mouchard", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(raw)), {});
  EXPECT_NE(bytes.find("Matrice singuli\xE8re\r\n"), std::string::npos);  // Windows-1252
}

TEST(Refinement, ErrorsOfAnOrthogonalCellAndTheVolume) {
  RefinementProblem p;
  p.system = "ORTH";
  p.direct = {4, 5, 6, 90, 90, 90};
  direct_to_reciprocal(p);
  p.K = {1, 1, 1, 0, 0, 0, 0, 0};
  build_refined_vector(p);
  p.obs.assign(5, {});
  p.M = {};
  p.M[0][0] = 4e-4;
  p.M[1][1] = 9e-4;
  p.M[2][2] = 1e-4;
  // residual 1e-4 over N - npar = 2
  p.obs[0].theta_obs = std::sqrt(2.0) * 1e-4;
  compute_errors(p);
  EXPECT_NEAR(p.residual, 1e-4, 1e-15);
  const double S[3] = {1e-4 * 0.02, 1e-4 * 0.03, 1e-4 * 0.01};
  const double lengths[3] = {4, 5, 6};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(p.S[i], S[i], 1e-15);
    EXPECT_NEAR(p.E[i], S[i] * lengths[i] * lengths[i], 1e-9);  // S / a*^2
  }
  EXPECT_EQ(p.E[3], 0.0);
  // dV/da = bc, and so on, summed in quadrature.
  const double expected = std::sqrt(std::pow(30 * p.E[0], 2) + std::pow(24 * p.E[1], 2) +
                                    std::pow(20 * p.E[2], 2));
  EXPECT_NEAR(compute_volume_error(p), expected, 1e-6 * expected);
}

// Each column of the design matrix is the derivative of θ_calc with respect to its slot,
// taken through the system's ties (a tied slot follows its master): compared with
// central differences of the observation equation itself.
TEST(DesignMatrix, ColumnsAreTheDerivativesThroughTheTies) {
  struct Case {
    const char* system;
    CellParameters cell;
    std::vector<int> slots;  // in slot order
    int shift_key;
  };
  const Case cases[] = {
      {"CUBI", {5.43, 5.43, 5.43, 90, 90, 90}, {0, 6, 7}, kKeyRefined},
      {"TETR", {4.91, 4.91, 6.71, 90, 90, 90}, {0, 2, 6}, kKeyEccentricity},
      {"HEXA", {3.21, 3.21, 5.21, 90, 90, 120}, {0, 2, 7}, kKeyRefined},
      {"RHOM", {5.1, 5.1, 5.1, 78, 78, 78}, {0, 3, 6}, kKeyRefined},
      {"ORTH", {4.1, 5.2, 6.3, 90, 90, 90}, {0, 1, 2}, kKeyRefined},
      {"MONO", {7.1, 9.3, 5.6, 90, 104.5, 90}, {0, 1, 2, 4, 6}, kKeyRefined},
      {"TRIC", {6.2, 7.4, 8.9, 95.3, 103.7, 88.2}, {0, 1, 2, 3, 4, 5, 6, 7}, kKeyEccentricity},
  };
  const int hkl[][3] = {{1, 0, 0}, {0, 1, 1}, {0, 0, 2}, {1, 1, 1}, {2, -1, 0}, {1, -1, 2}, {2, 1, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.system);
    RefinementProblem p;
    p.system = c.system;
    p.direct = c.cell;
    direct_to_reciprocal(p);
    for (int i = 0; i < 6; ++i) p.P[i] = p.reciprocal[i];
    p.P[kSlotShift] = 3e-4;
    p.P[kSlotHalfLambda] = kCuKa1 / 2;
    for (int slot : c.slots) p.K[slot] = slot == kSlotShift ? c.shift_key : kKeyRefined;
    build_refined_vector(p);
    for (size_t i = 0; i < std::size(hkl); ++i)
      p.obs.push_back({hkl[i][0], hkl[i][1], hkl[i][2], 0.2 + 0.05 * static_cast<double>(i), 0});
    RecordingMessages m;
    compute_calculated_angles(p, m);
    compute_design_matrix(p);

    auto angles_with = [&](int slot, double delta) {
      RefinementProblem q = p;
      q.P[slot] += delta;
      for (int i = 0; i < 6; ++i) q.reciprocal[i] = q.P[i];  // as a cycle's update does
      compute_calculated_angles(q, m);
      std::vector<double> t;
      for (const auto& o : q.obs) t.push_back(o.theta_calc);
      return t;
    };
    for (size_t j = 0; j < c.slots.size(); ++j) {
      const int slot = c.slots[j];
      const double step = 1e-6 * std::max(std::fabs(p.P[slot]), 1e-3);
      const auto up = angles_with(slot, step), down = angles_with(slot, -step);
      for (size_t i = 0; i < p.obs.size(); ++i) {
        const double numeric = (up[i] - down[i]) / (2 * step);
        EXPECT_NEAR(p.D[i][j], numeric, 1e-6 * std::max(1.0, std::fabs(numeric)))
            << "slot " << slot << ", reflection " << i;
      }
    }
    EXPECT_TRUE(m.empty());
  }
}

// The systems whose ties couple slots, refined from a perturbed start, reach the
// least-squares minimum of the tied problem.
TEST(Refinement, TiedSystemsReachTheIndependentSolution) {
  const PerturbedCase cases[] = {
      {"TETR", {4.9134, 4.9134, 6.7102, 90, 90, 90}, {4.92, 4.92, 6.70, 90, 90, 90},
       {true, false, true, false, false, false, true, false}, {0, 2, 6}, 110, 0.02, 80},
      {"HEXA", {3.2094, 3.2094, 5.2108, 90, 90, 120}, {3.20, 3.20, 5.22, 90, 90, 120},
       {true, false, true, false, false, false, true, false}, {0, 2, 6}, 110, 0.02, 80},
      {"RHOM", {5.4211, 5.4211, 5.4211, 83.52, 83.52, 83.52}, {5.43, 5.43, 5.43, 83.3, 83.3, 83.3},
       {true, false, false, true, false, false, true, false}, {0, 3, 6}, 110, 0.02, 80},
  };
  for (const auto& c : cases) check_perturbed_refinement(c);
}

// With the wavelength alone keyed there is no second stage: the report holds the
// wavelength fit and the trace is that of its cycles.
TEST(Refinement, WavelengthAloneKeepsItsTrace) {
  ScratchFolder folder;
  RunSetup u;
  u.system = "CUBI";
  u.start = kSilicon;
  u.pairs = silicon_pairs(kSilicon.a, 0, false);
  u.keys = {false, false, false, false, false, false, false, true};
  u.lambda = "1.5400";
  WorkSession s;
  RecordingMessages m;
  const auto out = refine(s, u, m);
  ASSERT_EQ(out.status, RefineStatus::Refined) << (m.empty() ? "" : m.texts()[0]);
  EXPECT_NEAR(s.results.lambda, kCuKa1, 2e-5);
  EXPECT_TRUE(out.run.converged);
  const auto trace = read_text_lines("mouchard");
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "Cycle Nb 1");
  EXPECT_EQ(trace[2].size(), 10u);  // one derivative per observation line
}

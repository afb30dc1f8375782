#include "refine/figures_of_merit.hpp"

#include <algorithm>
#include <cmath>

#include "core/cell.hpp"
#include "core/format.hpp"
#include "refine/least_squares.hpp"

namespace vornax {

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

// 1/d² of a line at 2θ (degrees).
double q_of(double two_theta, double lambda) {
  const double s = 2.0 * std::sin(two_theta * kRad / 2.0) / lambda;
  return s * s;
}

// Distinct positions up to `limit` (inclusive); positions closer than 1e-6° coincide,
// so that reflections of one d spacing (333 and 511 in a cubic cell) count once.
int possible_lines_up_to(const std::vector<double>& sorted, double limit) {
  int n = 0;
  double last = -1;
  for (double t : sorted) {
    if (t > limit + 1e-9) break;
    if (n == 0 || t - last > 1e-6) ++n;
    last = t;
  }
  return n;
}

struct SilentMessages : Messages {
  void error(std::string_view) override {}
  void warning(std::string_view) override {}
  void info(std::string_view) override {}
  Answer ask(std::string_view) override { return Answer::Cancel; }
  void beep() override {}
};

}  // namespace

FiguresOfMerit compute_figures_of_merit(const std::vector<ObservedLine>& lines,
                                        const std::vector<double>& possible_two_theta,
                                        double lambda) {
  FiguresOfMerit f;
  if (lines.empty()) f.note = "no observed lines";
  else if (possible_two_theta.empty()) f.note = "no calculated reflections";
  else if (!(lambda > 0)) f.note = "no wavelength";
  if (!f.note.empty()) return f;
  std::vector<double> possible = possible_two_theta;
  std::sort(possible.begin(), possible.end());

  f.m_lines = std::min<int>(kM20Lines, static_cast<int>(lines.size()));
  f.f_lines = std::min<int>(kFigureOfMeritMaxLines, static_cast<int>(lines.size()));

  double sum_q = 0, sum_t = 0;
  int indexed_m = 0, indexed_f = 0;
  // The possible lines are counted up to the last observed line or, when its own
  // calculated position lies above it, up to that position: a line observed a little
  // low must not leave out the reflection it is indexed by.
  double limit_m = lines[static_cast<size_t>(f.m_lines - 1)].two_theta;
  double limit_f = lines[static_cast<size_t>(f.f_lines - 1)].two_theta;
  for (int i = 0; i < f.f_lines; ++i) {
    const ObservedLine& l = lines[static_cast<size_t>(i)];
    const bool in_m = i < f.m_lines;
    if (!l.two_theta_calc) {
      if (in_m) ++f.x20;
      continue;
    }
    sum_t += std::fabs(l.two_theta - *l.two_theta_calc);
    ++indexed_f;
    limit_f = std::max(limit_f, *l.two_theta_calc);
    if (in_m) {
      sum_q += std::fabs(q_of(l.two_theta, lambda) - q_of(*l.two_theta_calc, lambda));
      ++indexed_m;
      limit_m = std::max(limit_m, *l.two_theta_calc);
    }
  }
  if (indexed_f == 0) {
    // Both figures describe the first lines of the pattern: unindexed lines there (an
    // impurity, noise found by a peak search) leave nothing to measure the fit by.
    f.note = "none of the first " + std::to_string(f.f_lines) + " observed lines is paired";
    return f;
  }
  f.valid = true;

  const double last_m = lines[static_cast<size_t>(f.m_lines - 1)].two_theta;
  f.possible_lines_m = possible_lines_up_to(possible, limit_m);
  f.possible_lines_f = possible_lines_up_to(possible, limit_f);
  if (indexed_m > 0) {
    f.mean_abs_delta_q = sum_q / indexed_m;
    if (f.mean_abs_delta_q > 0 && f.possible_lines_m > 0)
      f.m20 = q_of(last_m, lambda) / (2.0 * f.mean_abs_delta_q * f.possible_lines_m);
  }
  f.mean_abs_delta_two_theta = sum_t / indexed_f;
  if (f.mean_abs_delta_two_theta > 0 && f.possible_lines_f > 0)
    f.f_n = f.f_lines / (f.mean_abs_delta_two_theta * f.possible_lines_f);
  return f;
}

RefinementDiagnostics deletion_diagnostics(const RefinementProblem& problem) {
  RefinementDiagnostics out;
  RefinementProblem p = problem;
  const int n = p.npar;
  const int N = p.count();
  // The deleted fit needs N − 1 − npar ≥ 1 degrees of freedom.
  if (n < 1 || N < n + 2) return out;
  for (int s = 0; s < kSlotCount; ++s)
    if (p.K[s] != kKeyFixed) out.refined_slots.push_back(s);
  if (static_cast<int>(out.refined_slots.size()) != n) return out;

  SilentMessages quiet;
  compute_calculated_angles(p, quiet);
  compute_design_matrix(p);
  // A weighted fit is the ordinary one of rows and residuals scaled by sqrt(w); the
  // leave-one-out formulas below then hold unchanged. A weight of 1 scales exactly.
  std::vector<double> e(static_cast<size_t>(N));
  for (size_t i = 0; i < p.obs.size(); ++i) {
    const double root = std::sqrt(p.obs[i].weight);
    for (int j = 0; j < n; ++j) p.D[i][static_cast<size_t>(j)] *= root;
    e[i] = root * (p.obs[i].theta_obs - p.obs[i].theta_calc);
  }
  NormalMatrix a{};
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k) {
      double sum = 0;
      for (const auto& row : p.D) sum += row[j] * row[k];
      a[j][k] = sum;
    }
  if (invert_normal_matrix(a, n)) return out;

  double ss = 0;
  for (double ei : e) ss += ei * ei;
  const int dof = N - n;
  const double s2 = ss / dof;
  std::array<double, kSlotCount> sigma{};
  for (int j = 0; j < n; ++j) sigma[j] = std::sqrt(std::max(0.0, s2 * a[j][j]));

  out.pairs.resize(static_cast<size_t>(N));
  for (int i = 0; i < N; ++i) {
    PairDiagnostic& d = out.pairs[static_cast<size_t>(i)];
    const auto& x = p.D[static_cast<size_t>(i)];
    std::array<double, kSlotCount> ax{};  // (DᵀD)⁻¹ x_i
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k) ax[j] += a[j][k] * x[k];
    double h = 0;
    for (int j = 0; j < n; ++j) h += x[j] * ax[j];
    d.leverage = h;
    const double ei = e[static_cast<size_t>(i)];
    const double free = 1.0 - h;
    // A pair with leverage 1 alone fixes a parameter: leaving it out is undefined.
    if (free < 1e-10) continue;
    double max_shift = 0;
    for (int j = 0; j < n; ++j) {
      // β(without i) − β = −(DᵀD)⁻¹ x_i e_i / (1 − h_ii)
      const double change = -ax[j] * ei / free;
      d.deletion_shift[j] = sigma[j] > 0 ? change / sigma[j] : 0.0;
      max_shift = std::max(max_shift, std::fabs(d.deletion_shift[j]));
    }
    const double s2_without = (ss - ei * ei / free) / (dof - 1);
    if (s2_without > 0)
      d.residual_in_sigma = ei / std::sqrt(s2_without * free);
    else if (ei != 0)
      d.residual_in_sigma = ei > 0 ? HUGE_VAL : -HUGE_VAL;
    d.flagged = max_shift > kDeletionFlag || std::fabs(d.residual_in_sigma) > kResidualFlag;
  }
  out.available = true;
  return out;
}

RefinementQuality refinement_quality(const WorkSession& s, const RefinementProblem& problem) {
  RefinementQuality q;
  const double lambda = s.results.lambda > 0 ? s.results.lambda : s.wavelengths.lambda;
  const double shift = s.results.zero_shift;
  const bool eccentricity = s.shift_mode == ShiftMode::SampleEccentricity;

  ReciprocalCell rc;
  ReciprocalMatrix B{};
  compute_reciprocal(s.results.cell, rc, B);
  // Refined position of h k l, without the shift; NaN when it lies beyond 180°.
  auto position = [&](int h, int k, int l) {
    const double q2 = inverse_d_squared(B, h, k, l);
    const double x = lambda * std::sqrt(std::max(0.0, q2)) / 2.0;
    return q2 > 0 && x < 1.0 ? 2.0 * std::asin(x) / kRad : std::nan("");
  };

  std::vector<ObservedLine> lines;
  lines.reserve(s.measured.peaks.size());
  for (const MeasuredPeak& m : s.measured.peaks) {
    ObservedLine l;
    l.two_theta = m.two_theta -
                  (eccentricity ? shift * std::cos(m.two_theta * kRad / 2.0) : shift);
    // A peak paired more than once counts with its closest reflection.
    for (const SelectedPair& pr : s.selected) {
      if (std::fabs(pr.two_theta_obs - m.two_theta) > 1e-4) continue;
      const double calc = position(pr.h, pr.k, pr.l);
      if (std::isnan(calc)) continue;
      if (!l.two_theta_calc ||
          std::fabs(calc - l.two_theta) < std::fabs(*l.two_theta_calc - l.two_theta))
        l.two_theta_calc = calc;
    }
    lines.push_back(l);
  }
  std::sort(lines.begin(), lines.end(),
            [](const ObservedLine& a, const ObservedLine& b) { return a.two_theta < b.two_theta; });

  std::vector<double> possible;
  possible.reserve(s.allowed.size());
  for (const CalculatedReflection& r : s.allowed) {
    const double t = position(r.h, r.k, r.l);
    if (!std::isnan(t)) possible.push_back(t);
  }
  q.figures = compute_figures_of_merit(lines, possible, lambda);
  q.diagnostics = deletion_diagnostics(problem);
  return q;
}

std::vector<std::string> quality_lines(const RefinementQuality& q, const RefinementProblem& problem) {
  std::vector<std::string> out;
  const FiguresOfMerit& f = q.figures;
  if (f.valid) {
    out.push_back("M" + std::to_string(f.m_lines) + " " + format_fixed(f.m20, 0, 1) + "  X" +
                  std::to_string(f.m_lines) + " " + std::to_string(f.x20) + "  mean |dQ| " +
                  format_fixed(f.mean_abs_delta_q, 0, 6) + "  N" + std::to_string(f.m_lines) + " " +
                  std::to_string(f.possible_lines_m));
    out.push_back("F(N) F" + std::to_string(f.f_lines) + " " + format_fixed(f.f_n, 0, 1) + " (" +
                  format_fixed(f.mean_abs_delta_two_theta, 0, 4) + ", " +
                  std::to_string(f.possible_lines_f) + ")");
  } else {
    out.push_back("M20 not available");
  }
  const RefinementDiagnostics& d = q.diagnostics;
  if (!d.available) {
    out.push_back("Pair diagnostics not available");
    return out;
  }
  out.push_back("Pair   h   k   l  leverage  resid/sig  max shift/sig");
  std::string flagged;
  for (size_t i = 0; i < d.pairs.size(); ++i) {
    const PairDiagnostic& p = d.pairs[i];
    const auto& o = problem.obs[i];
    double worst = 0;
    for (size_t j = 0; j < d.refined_slots.size(); ++j) worst = std::max(worst, std::fabs(p.deletion_shift[j]));
    out.push_back(format_int(static_cast<long long>(i + 1), 4) + format_int(o.h, 4) + format_int(o.k, 4) +
                  format_int(o.l, 4) + format_fixed(p.leverage, 10, 4) +
                  format_fixed(p.residual_in_sigma, 11, 2) + format_fixed(worst, 15, 2) +
                  (p.flagged ? " *" : ""));
    if (p.flagged) flagged += " " + std::to_string(i + 1);
  }
  out.push_back("Flagged pairs:" + (flagged.empty() ? std::string(" none") : flagged));
  return out;
}

}  // namespace vornax

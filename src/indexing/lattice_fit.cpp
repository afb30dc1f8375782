#include "indexing/lattice_fit.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace vornax::indexing {

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

// The lines a list of at most a few dozen can need: far below this for any cell within the
// limits (a triclinic cell of 3000 Å³ has a few hundred up to its 30th line).
constexpr size_t kMaxReflections = 20000;
constexpr int kMaxParameters = 7;  // six metric coefficients and the zero

// The row of the design matrix: dQ / dp for each model coefficient.
int design_row(MetricModel m, const Hkl& r, double* row) {
  const double h = r.h, k = r.k, l = r.l;
  switch (m) {
    case MetricModel::Cubic: row[0] = h * h + k * k + l * l; return 1;
    case MetricModel::Tetragonal: row[0] = h * h + k * k; row[1] = l * l; return 2;
    case MetricModel::Hexagonal: row[0] = h * h + k * k + h * k; row[1] = l * l; return 2;
    case MetricModel::Orthorhombic: row[0] = h * h; row[1] = k * k; row[2] = l * l; return 3;
    case MetricModel::Monoclinic:
      row[0] = h * h; row[1] = k * k; row[2] = l * l; row[3] = h * l; return 4;
    case MetricModel::Triclinic:
      row[0] = h * h; row[1] = k * k; row[2] = l * l;
      row[3] = k * l; row[4] = h * l; row[5] = h * k; return 6;
  }
  return 0;
}

// Solves the symmetric system n x = b (size s) by elimination with partial pivoting.
bool solve(std::array<std::array<double, kMaxParameters + 1>, kMaxParameters>& n, int s,
           double* x) {
  for (int c = 0; c < s; ++c) {
    int p = c;
    for (int r = c + 1; r < s; ++r)
      if (std::abs(n[r][c]) > std::abs(n[p][c])) p = r;
    if (std::abs(n[p][c]) < 1e-300) return false;
    std::swap(n[p], n[c]);
    for (int r = c + 1; r < s; ++r) {
      const double f = n[r][c] / n[c][c];
      for (int j = c; j <= s; ++j) n[r][j] -= f * n[c][j];
    }
  }
  for (int c = s - 1; c >= 0; --c) {
    double v = n[c][s];
    for (int j = c + 1; j < s; ++j) v -= n[c][j] * x[j];
    x[c] = v / n[c][c];
    if (!std::isfinite(x[c])) return false;
  }
  return true;
}

// Least squares of the indexed lines with a free zero or a fixed one.
bool solve_lines(MetricModel model, const Fit& fit, const Lines& lines, bool free_zero,
                 double fixed_zero, double* p, double& zero) {
  const int m = parameter_count(model);
  const int s = m + (free_zero ? 1 : 0);
  std::array<std::array<double, kMaxParameters + 1>, kMaxParameters> n{};
  // Scale the columns so that the normal matrix is well conditioned.
  std::array<double, kMaxParameters> scale{};
  double row[kMaxParameters];
  for (size_t i = 0; i < lines.q.size(); ++i) {
    if (!fit.indexed[i]) continue;
    design_row(model, fit.hkl[i], row);
    for (int j = 0; j < m; ++j) scale[j] = std::max(scale[j], std::abs(row[j]));
  }
  if (free_zero) scale[m] = 1;
  for (int j = 0; j < s; ++j)
    if (scale[j] == 0) return false;  // a coefficient no indexed line depends on
  int used = 0;
  for (size_t i = 0; i < lines.q.size(); ++i) {
    if (!fit.indexed[i]) continue;
    ++used;
    design_row(model, fit.hkl[i], row);
    if (free_zero) row[m] = lines.slope[i];
    double y = lines.q[i] - (free_zero ? 0 : fixed_zero * lines.slope[i]);
    // Residuals in degrees 2θ: divide each equation by its slope.
    const double w = 1 / lines.slope[i];
    for (int j = 0; j < s; ++j) row[j] *= w / scale[j];
    y *= w;
    for (int r = 0; r < s; ++r) {
      for (int c = 0; c < s; ++c) n[r][c] += row[r] * row[c];
      n[r][s] += row[r] * y;
    }
  }
  if (used < s) return false;
  double x[kMaxParameters];
  if (!solve(n, s, x)) return false;
  for (int j = 0; j < m; ++j) p[j] = x[j] / scale[j];
  zero = free_zero ? x[m] : fixed_zero;
  return true;
}

}  // namespace

int parameter_count(MetricModel m) {
  Hkl r;
  double row[kMaxParameters];
  return design_row(m, r, row);
}

QMetric metric_of_parameters(MetricModel m, const double* p) {
  switch (m) {
    case MetricModel::Cubic: return {p[0], p[0], p[0], 0, 0, 0};
    case MetricModel::Tetragonal: return {p[0], p[0], p[1], 0, 0, 0};
    case MetricModel::Hexagonal: return {p[0], p[0], p[1], 0, 0, p[0]};
    case MetricModel::Orthorhombic: return {p[0], p[1], p[2], 0, 0, 0};
    case MetricModel::Monoclinic: return {p[0], p[1], p[2], 0, p[3], 0};
    case MetricModel::Triclinic: return {p[0], p[1], p[2], p[3], p[4], p[5]};
  }
  return {};
}

void parameters_of_metric(MetricModel m, const QMetric& q, double* p) {
  switch (m) {
    case MetricModel::Cubic: p[0] = (q.A + q.B + q.C) / 3; return;
    case MetricModel::Tetragonal: p[0] = (q.A + q.B) / 2; p[1] = q.C; return;
    case MetricModel::Hexagonal: p[0] = (q.A + q.B + q.F) / 3; p[1] = q.C; return;
    case MetricModel::Orthorhombic: p[0] = q.A; p[1] = q.B; p[2] = q.C; return;
    case MetricModel::Monoclinic: p[0] = q.A; p[1] = q.B; p[2] = q.C; p[3] = q.E; return;
    case MetricModel::Triclinic:
      p[0] = q.A; p[1] = q.B; p[2] = q.C; p[3] = q.D; p[4] = q.E; p[5] = q.F; return;
  }
}

Lines make_lines(const std::vector<double>& two_theta, double lambda) {
  Lines l;
  l.lambda = lambda;
  l.two_theta = two_theta;
  std::sort(l.two_theta.begin(), l.two_theta.end());
  for (double t : l.two_theta) {
    const double th = t * kRad / 2;
    l.q.push_back(4 * std::sin(th) * std::sin(th) / (lambda * lambda));
    // d/d(2θ) of 4 sin²θ / λ² = 2 sin 2θ / λ² per radian.
    l.slope.push_back(2 * std::sin(2 * th) / (lambda * lambda) * kRad);
  }
  return l;
}

Fit assign_indices(Centring centring, const QMetric& metric, double zero, const Lines& lines,
                   double tolerance) {
  Fit f;
  f.metric = metric;
  f.zero = zero;
  const size_t n = lines.q.size();
  f.hkl.assign(n, {});
  f.error.assign(n, 0);
  f.indexed.assign(n, false);
  if (n == 0) return f;
  const double q_max = (lines.q.back() - zero * lines.slope.back()) + 4 * tolerance * lines.slope.back();
  // A trial with hundreds of thousands of reflections below the last line is no cell for
  // a list of a few dozen lines, and sorting them would stall the search: it indexes
  // nothing.
  std::vector<Reflection> refl;
  reflections_up_to(metric, centring, q_max, refl, kMaxReflections);
  if (refl.empty()) return f;
  std::sort(refl.begin(), refl.end(), [](const Reflection& a, const Reflection& b) { return a.q < b.q; });
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const double q = lines.q[i] - zero * lines.slope[i];
    auto it = std::lower_bound(refl.begin(), refl.end(), q,
                               [](const Reflection& r, double v) { return r.q < v; });
    const Reflection* best = nullptr;
    if (it != refl.end()) best = &*it;
    if (it != refl.begin() && (!best || q - (it - 1)->q < best->q - q)) best = &*(it - 1);
    const double err = (q - best->q) / lines.slope[i];
    f.hkl[i] = best->hkl;
    f.error[i] = err;
    if (std::abs(err) <= tolerance) {
      f.indexed[i] = true;
      ++f.indexed_count;
      sum += std::abs(err);
    }
  }
  f.mean_error = f.indexed_count ? sum / f.indexed_count : 0;
  f.ok = true;
  return f;
}

Fit refine_lattice(MetricModel model, Centring centring, const QMetric& start, double start_zero,
                   const Lines& lines, const FitSettings& settings, int cycles) {
  double p[kMaxParameters];
  parameters_of_metric(model, start, p);
  Fit f = assign_indices(centring, metric_of_parameters(model, p), start_zero, lines,
                         settings.start_tolerance > 0 ? settings.start_tolerance : settings.tolerance);
  if (!f.ok) return f;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    double zero = f.zero;
    double np[kMaxParameters];
    const bool free_zero = settings.zero_range > 0;
    if (!solve_lines(model, f, lines, free_zero, 0, np, zero)) return f.ok = false, f;
    if (std::abs(zero) > settings.zero_range) {
      // The zero would leave its range: hold it at the bound and fit the cell alone.
      zero = std::clamp(zero, -settings.zero_range, settings.zero_range);
      if (!solve_lines(model, f, lines, false, zero, np, zero)) return f.ok = false, f;
    }
    Fit next = assign_indices(centring, metric_of_parameters(model, np), zero, lines,
                              settings.tolerance);
    if (!next.ok) return f.ok = false, f;
    const bool same = next.indexed == f.indexed && std::equal(
        next.hkl.begin(), next.hkl.end(), f.hkl.begin(),
        [](const Hkl& a, const Hkl& b) { return a.h == b.h && a.k == b.k && a.l == b.l; });
    f = std::move(next);
    if (same && cycle > 0) break;
  }
  return f;
}

Merit figures_of_merit(const Fit& fit, Centring centring, const Lines& lines, double tolerance,
                       double merge) {
  Merit m;
  const size_t n = lines.q.size();
  if (n == 0 || fit.indexed_count == 0) return m;
  auto corrected = [&](size_t i) { return lines.q[i] - fit.zero * lines.slope[i]; };
  // As in the index assignment: a cell with more reflections than that below the last
  // line is no cell for the list, and counting them would hold the search for seconds.
  std::vector<Reflection> refl;
  reflections_up_to(fit.metric, centring, corrected(n - 1) * 1.0001, refl, kMaxReflections);
  if (refl.empty()) return m;
  std::vector<double> qs;
  for (const Reflection& r : refl) qs.push_back(r.q);
  std::sort(qs.begin(), qs.end());
  // Reflections of equal Q make one line, and with `merge` those closer than it.
  std::vector<double> distinct;
  for (double q : qs) {
    const double sin_theta = std::min(1.0, lines.lambda * std::sqrt(q) / 2);
    const double slope = 4 * sin_theta * std::sqrt(1 - sin_theta * sin_theta) /
                         (lines.lambda * lines.lambda) * kRad;
    if (distinct.empty() || q - distinct.back() > std::max(1e-9 * q, merge * slope))
      distinct.push_back(q);
  }
  auto possible_up_to = [&](double q) {
    return std::max(1.0, static_cast<double>(std::upper_bound(distinct.begin(), distinct.end(),
                                                              q * (1 + 1e-9)) - distinct.begin()));
  };
  // An unindexed line counts with the tolerance as its error, so that leaving lines
  // aside does not raise the figures. No position is known to better than a fiftieth of
  // the tolerance (0.0012° at Cu): below it the errors are chance, and exact lines would
  // rank the derivative lattices that index them (all index them exactly) by that chance
  // instead of by their calculated lines.
  const double floor = tolerance / 50;
  auto error_2theta = [&](size_t i) {
    return fit.indexed[i] ? std::max(std::abs(fit.error[i]), floor) : tolerance;
  };
  // M(20): Q of the 20th line / (2 · mean |ΔQ| · calculated lines up to it).
  const size_t n20 = std::min<size_t>(20, n);
  double sum_q = 0;
  for (size_t i = 0; i < n20; ++i) sum_q += error_2theta(i) * lines.slope[i];
  const double q20 = corrected(n20 - 1);
  m.m20 = q20 / (2 * std::max(sum_q / n20, 1e-12 * q20) * possible_up_to(q20));
  // F(N) = N / (mean |Δ2θ| · possible lines up to the Nth).
  double sum_t = 0;
  for (size_t i = 0; i < n; ++i) sum_t += error_2theta(i);
  m.m_lines = static_cast<int>(n20);
  m.n = static_cast<int>(n);
  m.fn_error = sum_t / n;
  m.fn_possible = static_cast<int>(possible_up_to(corrected(n - 1)));
  m.fn = n / (std::max(m.fn_error, 1e-9) * m.fn_possible);
  return m;
}

}  // namespace vornax::indexing

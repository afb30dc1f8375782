// Test data for the refinement: Bragg angles computed independently from a cell (a
// metric tensor with the exact π), a scratch folder to run in, and an independent
// least-squares solution (Gauss-Newton on numerical derivatives, parametrised by the
// direct cell) to compare the engine with.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "support/metric.hpp"

namespace refine_test {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// A fresh folder for the fixed-name files; the test runs in it and leaves it after.
struct ScratchFolder {
  std::filesystem::path old, path;
  ScratchFolder() {
    old = std::filesystem::current_path();
    std::string tmpl = (std::filesystem::temp_directory_path() / "vornax_refine_XXXXXX").string();
    path = mkdtemp(tmpl.data());
    std::filesystem::current_path(path);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::current_path(old, ec);
    std::filesystem::remove_all(path, ec);
  }
};

// 1/d² from the inverse of the direct metric tensor; `deg` converts the angles.
inline double inverse_d2(const vornax::CellParameters& c, double h, double k, double l,
                         double deg = kDeg) {
  return vornax::testing::inverse_d2_from_metric(c, h, k, l, deg);
}

// Bragg angle 2θ in degrees, plus a shift (constant or times cos θ).
inline double two_theta(const vornax::CellParameters& c, double lambda, int h, int k, int l,
                        double shift = 0, bool eccentricity = false) {
  const double tt = 2.0 * std::asin(lambda * std::sqrt(inverse_d2(c, h, k, l)) / 2.0) / kDeg;
  return tt + (eccentricity ? shift * std::cos(tt * kDeg / 2.0) : shift);
}

// Pairs with observed angles computed from `truth`, calculated angles from `start`,
// every h k l of |index| <= limit (one of each ±pair) below 2θ max, sorted by angle.
inline std::vector<vornax::SelectedPair> make_pairs(const vornax::CellParameters& truth,
                                                   const vornax::CellParameters& start,
                                                   double lambda, int limit, double tt_max,
                                                   double shift, bool eccentricity,
                                                   double rounding, size_t max_pairs) {
  std::vector<vornax::SelectedPair> pairs;
  for (int h = 0; h <= limit; ++h)
    for (int k = -limit; k <= limit; ++k)
      for (int l = -limit; l <= limit; ++l) {
        if (h == 0 && (k < 0 || (k == 0 && l <= 0))) continue;
        const double tt = two_theta(truth, lambda, h, k, l, shift, eccentricity);
        if (!(tt < tt_max)) continue;
        vornax::SelectedPair p;
        p.h = static_cast<int32_t>(h);
        p.k = static_cast<int32_t>(k);
        p.l = static_cast<int32_t>(l);
        p.two_theta_obs = static_cast<float>(rounding > 0 ? std::round(tt / rounding) * rounding : tt);
        p.two_theta_calc = static_cast<float>(two_theta(start, lambda, h, k, l));
        pairs.push_back(p);
      }
  std::sort(pairs.begin(), pairs.end(),
            [](const auto& a, const auto& b) { return a.two_theta_obs < b.two_theta_obs; });
  if (pairs.size() > max_pairs) pairs.resize(max_pairs);
  return pairs;
}

// --- the independent least-squares solution ------------------------------------------

// The observation equation in θ (radians) as the program states it, with its own
// degree factor for the cell angles (so a "90°" angle has a cosine of 1.3e-8, as in
// the program), but parametrised by the direct cell and solved by other means.
constexpr double kProgramDeg = 0.01745329237161969;

// Parameters: a, b, c (Å), alpha, beta, gamma (degrees), shift (radians of θ), λ/2 (Å).
using Params = std::array<double, 8>;

struct IndependentProblem {
  std::string system;
  std::vector<std::array<int, 3>> hkl;
  std::vector<double> theta_obs;  // radians
  bool eccentricity = false;
  std::vector<int> free;          // indices into Params
  std::vector<double> weight;     // per observation; empty: all 1
  double w(size_t i) const { return weight.empty() ? 1.0 : weight[i]; }
};

// The system's constraints in direct space.
inline Params tie(const std::string& system, Params p) {
  if (system == "CUBI" || system == "RHOM") {
    p[1] = p[2] = p[0];
    p[4] = p[5] = p[3];
  } else if (system == "TETR" || system == "HEXA") {
    p[1] = p[0];
  }
  return p;
}

inline double calc_theta(const IndependentProblem& q, const Params& raw, size_t i) {
  const Params p = tie(q.system, raw);
  const vornax::CellParameters c{p[0], p[1], p[2], p[3], p[4], p[5]};
  const auto& m = q.hkl[i];
  const double t = std::asin(p[7] * std::sqrt(inverse_d2(c, m[0], m[1], m[2], kProgramDeg)));
  return t + (q.eccentricity ? p[6] * std::cos(q.theta_obs[i]) : p[6]);
}

// Gauss-Newton with central-difference derivatives and Gaussian elimination with
// partial pivoting on the normal equations, iterated until the steps vanish.
inline Params solve_independently(const IndependentProblem& q, Params p) {
  const size_t n = q.free.size(), N = q.hkl.size();
  for (int iter = 0; iter < 100; ++iter) {
    std::vector<std::vector<double>> J(N, std::vector<double>(n));
    std::vector<double> r(N);
    for (size_t i = 0; i < N; ++i) r[i] = q.theta_obs[i] - calc_theta(q, p, i);
    for (size_t j = 0; j < n; ++j) {
      const int f = q.free[j];
      const double step = 1e-6 * std::max(std::fabs(p[f]), 1e-3);
      Params up = p, down = p;
      up[f] += step;
      down[f] -= step;
      for (size_t i = 0; i < N; ++i)
        J[i][j] = (calc_theta(q, up, i) - calc_theta(q, down, i)) / (2 * step);
    }
    std::vector<std::vector<double>> A(n, std::vector<double>(n + 1, 0.0));
    for (size_t j = 0; j < n; ++j) {
      for (size_t k = 0; k < n; ++k)
        for (size_t i = 0; i < N; ++i) A[j][k] += q.w(i) * J[i][j] * J[i][k];
      for (size_t i = 0; i < N; ++i) A[j][n] += q.w(i) * J[i][j] * r[i];
    }
    for (size_t col = 0; col < n; ++col) {
      size_t best = col;
      for (size_t row = col + 1; row < n; ++row)
        if (std::fabs(A[row][col]) > std::fabs(A[best][col])) best = row;
      std::swap(A[col], A[best]);
      for (size_t row = 0; row < n; ++row) {
        if (row == col) continue;
        const double f = A[row][col] / A[col][col];
        for (size_t k = col; k <= n; ++k) A[row][k] -= f * A[col][k];
      }
    }
    double biggest = 0;
    for (size_t j = 0; j < n; ++j) {
      const double delta = A[j][n] / A[j][j];
      p[q.free[j]] += delta;
      biggest = std::max(biggest, std::fabs(delta) / std::max(std::fabs(p[q.free[j]]), 1e-3));
    }
    if (biggest < 1e-14) break;
  }
  return tie(q.system, p);
}

// Standard errors of the free parameters and of the volume at the solution `p`:
// s² (JᵀWJ)⁻¹ in the direct parametrisation, s² = Σ w r² / (N - n). The volume's error
// is its gradient (through the ties) times that covariance. Returns the eight
// parameters' errors (0 for fixed ones) and the volume's as the ninth.
inline std::array<double, 9> independent_errors(const IndependentProblem& q, const Params& p) {
  const size_t n = q.free.size(), N = q.hkl.size();
  std::vector<std::vector<double>> J(N, std::vector<double>(n));
  double ss = 0;
  for (size_t i = 0; i < N; ++i) {
    const double r = q.theta_obs[i] - calc_theta(q, p, i);
    ss += q.w(i) * r * r;
  }
  auto step_of = [&](int f) { return 1e-6 * std::max(std::fabs(p[f]), 1e-3); };
  for (size_t j = 0; j < n; ++j) {
    const int f = q.free[j];
    Params up = p, down = p;
    up[f] += step_of(f);
    down[f] -= step_of(f);
    for (size_t i = 0; i < N; ++i)
      J[i][j] = (calc_theta(q, up, i) - calc_theta(q, down, i)) / (2 * step_of(f));
  }
  // (JᵀJ)⁻¹ by Gauss-Jordan on [JᵀJ | I].
  std::vector<std::vector<double>> A(n, std::vector<double>(2 * n, 0.0));
  for (size_t a = 0; a < n; ++a) {
    for (size_t b = 0; b < n; ++b)
      for (size_t i = 0; i < N; ++i) A[a][b] += q.w(i) * J[i][a] * J[i][b];
    A[a][n + a] = 1;
  }
  for (size_t col = 0; col < n; ++col) {
    size_t best = col;
    for (size_t row = col + 1; row < n; ++row)
      if (std::fabs(A[row][col]) > std::fabs(A[best][col])) best = row;
    std::swap(A[col], A[best]);
    const double d = A[col][col];
    for (double& v : A[col]) v /= d;
    for (size_t row = 0; row < n; ++row) {
      if (row == col) continue;
      const double f = A[row][col];
      for (size_t k = 0; k < 2 * n; ++k) A[row][k] -= f * A[col][k];
    }
  }
  const double s2 = ss / static_cast<double>(N - n);
  std::array<double, 9> out{};
  for (size_t j = 0; j < n; ++j) out[q.free[j]] = std::sqrt(s2 * A[j][n + j]);
  auto volume = [&](const Params& raw) {
    const Params t = tie(q.system, raw);
    const double d = kProgramDeg;
    const double ca = std::cos(t[3] * d), cb = std::cos(t[4] * d), cg = std::cos(t[5] * d);
    return t[0] * t[1] * t[2] * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
  };
  std::vector<double> g(n);
  for (size_t j = 0; j < n; ++j) {
    const int f = q.free[j];
    Params up = p, down = p;
    up[f] += step_of(f);
    down[f] -= step_of(f);
    g[j] = (volume(up) - volume(down)) / (2 * step_of(f));
  }
  double var = 0;
  for (size_t a = 0; a < n; ++a)
    for (size_t b = 0; b < n; ++b) var += g[a] * A[a][n + b] * g[b];
  out[8] = std::sqrt(s2 * var);
  return out;
}

}  // namespace refine_test

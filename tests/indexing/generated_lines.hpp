// Line lists of known answer for the indexing tests and benchmark: a random cell of a
// Bravais type, its reflections with the centring's absences, the first lines with
// position errors, a zero error and impurity lines.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "indexing/bravais.hpp"
#include "indexing/lattice.hpp"

namespace indexing_test {

using namespace vornax::indexing;
using vornax::CrystalSystemId;

constexpr double kCuKa1 = 1.540593;
constexpr double kPi = 3.14159265358979323846;

// A small fixed generator, so that the samples are the same on every platform.
struct Random {
  uint64_t state;
  double uniform() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return double(state >> 11) / double(1ULL << 53);
  }
  double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }
};

inline Mat3 primitive_metric(const CellParams& cell, Centring c) {
  return primitive_metric(metric_of_cell(cell), c);
}

// Not within `gap` (relative) of each other: no accidental higher symmetry.
inline bool apart(double x, double y, double gap) { return std::abs(x - y) > gap * std::max(x, y); }

inline CellParams random_cell(CrystalSystemId system, Random& r) {
  using S = CrystalSystemId;
  for (;;) {
    CellParams c;
    c.a = r.between(4, 13);
    c.b = r.between(4, 13);
    c.c = r.between(4, 13);
    switch (system) {
      case S::Cubic: c.b = c.c = c.a; break;
      case S::Tetragonal: c.b = c.a; break;
      case S::Hexagonal: case S::Rhombohedral:
        c.b = c.a; c.gamma = 120;
        if (system == S::Rhombohedral) c.c = r.between(8, 30);
        break;
      case S::Monoclinic: c.beta = r.between(93, 120); break;
      case S::Triclinic:
        c.alpha = r.between(75, 115); c.beta = r.between(75, 115); c.gamma = r.between(75, 115);
        break;
      default: break;
    }
    bool ok = true;
    if (system != S::Cubic)
      ok = apart(c.a, c.c, 0.03) && (c.b == c.a || (apart(c.a, c.b, 0.03) && apart(c.b, c.c, 0.03)));
    for (double angle : {c.alpha, c.beta, c.gamma})
      if (angle != 90 && angle != 120 && (std::abs(angle - 90) < 3)) ok = false;
    const Mat3 g = metric_of_cell(c);
    if (ok && determinant(g) > 0 && volume_of_metric(g) < 1800) return c;
  }
}

struct Sample {
  CellParams cell;
  Centring centring = Centring::P;
  std::vector<double> two_theta;  // measured, sorted
  double zero = 0;
  int impurities = 0;
};

// The first `count` distinct lines of the cell at Cu Kα1 (reflections closer than 0.02°
// make one line), each moved by up to ±error, all by the zero, with `impurities` lines
// added between the first and the last. Empty when the cell has too few lines below 150°.
// `absent`, when given, extinguishes a space group's reflections besides the centring's;
// lines stop at `max_two_theta`.
inline Sample generate(const CellParams& cell, Centring centring, int count, double error,
                       double zero, int impurities, Random& r,
                       const std::function<bool(int h, int k, int l)>& absent = {},
                       double max_two_theta = 150) {
  Sample s{cell, centring, {}, zero, impurities};
  const auto m = q_metric_of_cell(cell);
  const double q_max = 4 * std::pow(std::sin(max_two_theta / 2 * kPi / 180), 2) / (kCuKa1 * kCuKa1);
  std::vector<Reflection> refl;
  reflections_up_to(*m, centring, q_max, refl);
  std::vector<double> tt;
  for (const Reflection& x : refl)
    if (!absent || !absent(x.hkl.h, x.hkl.k, x.hkl.l))
      tt.push_back(2 * std::asin(kCuKa1 * std::sqrt(x.q) / 2) * 180 / kPi);
  std::sort(tt.begin(), tt.end());
  std::vector<double> lines;
  for (double t : tt)
    if (lines.empty() || t - lines.back() > 0.02) lines.push_back(t);
  if (static_cast<int>(lines.size()) < count) return s;
  lines.resize(count);
  for (double t : lines) s.two_theta.push_back(t + r.between(-error, error) + zero);
  for (int i = 0; i < impurities; ++i) {
    double t;
    do {
      t = r.between(lines.front(), lines.back());
    } while (std::any_of(lines.begin(), lines.end(), [&](double x) { return std::abs(x - t) < 0.15; }));
    s.two_theta.push_back(t + zero);
  }
  std::sort(s.two_theta.begin(), s.two_theta.end());
  return s;
}

// A random sample of a Bravais type: errors 0.01–0.03°, zero within ±0.1°, 0–3 impurities.
// A cell whose lattice has an accidental higher symmetry (an oF cell with a = b√3 is
// hexagonal) is drawn again.
inline Sample random_sample(const BravaisType& type, int count, Random& r) {
  for (;;) {
    const CellParams cell = random_cell(type.system, r);
    const Mat3 reduced = niggli_metric(primitive_metric(cell, type.centring));
    if (conventional_cells(reduced, 0.01, 1.0).front().type.symbol != type.symbol) continue;
    const double error = r.between(0.01, 0.03);
    const double zero = r.between(-0.1, 0.1);
    const int impurities = static_cast<int>(r.uniform() * 4);
    Sample s = generate(cell, type.centring, count, error, zero, impurities, r);
    if (!s.two_theta.empty()) return s;
  }
}

}  // namespace indexing_test

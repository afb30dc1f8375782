#include "indexing/bravais.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

namespace vornax::indexing {

namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;
using IVec = std::array<int, 3>;
using IMat = std::array<IVec, 3>;

// Lattice translations of a cell in twelfths of its axes.
using Translations = std::set<IVec>;

Translations expected(Centring c) {
  switch (c) {
    case Centring::P: return {{0, 0, 0}};
    case Centring::A: return {{0, 0, 0}, {0, 6, 6}};
    case Centring::B: return {{0, 0, 0}, {6, 0, 6}};
    case Centring::C: return {{0, 0, 0}, {6, 6, 0}};
    case Centring::I: return {{0, 0, 0}, {6, 6, 6}};
    case Centring::F: return {{0, 0, 0}, {0, 6, 6}, {6, 0, 6}, {6, 6, 0}};
    case Centring::R: return {{0, 0, 0}, {8, 4, 4}, {4, 8, 8}};
  }
  return {};
}

int det(const IMat& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The primitive basis vectors in the coordinates of the cell whose axes are the rows of
// m are the rows of m⁻¹; they generate the cell's lattice translations.
Translations translations(const IMat& m, int d) {
  IMat adj;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      adj[i][j] = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
    }
  Translations t{{0, 0, 0}};
  std::vector<IVec> gens;
  for (int j = 0; j < 3; ++j) {
    IVec v;
    for (int k = 0; k < 3; ++k) v[k] = ((adj[j][k] * (12 / d)) % 12 + 12) % 12;
    gens.push_back(v);
  }
  bool grew = true;
  while (grew) {
    grew = false;
    const Translations now = t;
    for (const IVec& a : now)
      for (const IVec& g : gens) {
        const IVec s{(a[0] + g[0]) % 12, (a[1] + g[1]) % 12, (a[2] + g[2]) % 12};
        if (t.insert(s).second) grew = true;
      }
  }
  return t;
}

struct Candidate {
  IMat m;
  double score = 0;  // misfit to the system's shape, in tolerances
  double length = 0;  // sum of the axes
  bool found = false;
};

}  // namespace

const std::vector<BravaisType>& bravais_types() {
  using S = CrystalSystemId;
  using C = Centring;
  using M = MetricModel;
  static const std::vector<BravaisType> types{
      {S::Cubic, C::P, "cP", M::Cubic},         {S::Cubic, C::I, "cI", M::Cubic},
      {S::Cubic, C::F, "cF", M::Cubic},         {S::Hexagonal, C::P, "hP", M::Hexagonal},
      {S::Rhombohedral, C::R, "hR", M::Hexagonal}, {S::Tetragonal, C::P, "tP", M::Tetragonal},
      {S::Tetragonal, C::I, "tI", M::Tetragonal},  {S::Orthorhombic, C::P, "oP", M::Orthorhombic},
      {S::Orthorhombic, C::C, "oC", M::Orthorhombic},
      {S::Orthorhombic, C::I, "oI", M::Orthorhombic},
      {S::Orthorhombic, C::F, "oF", M::Orthorhombic}, {S::Monoclinic, C::P, "mP", M::Monoclinic},
      {S::Monoclinic, C::C, "mC", M::Monoclinic},     {S::Triclinic, C::P, "aP", M::Triclinic},
  };
  return types;
}

std::vector<ConventionalCell> conventional_cells(const Mat3& reduced, double length_tol,
                                                 double angle_tol) {
  const Mat3 g = niggli_metric(reduced);
  std::vector<IVec> vecs;
  // Small coefficients on the Niggli basis reach the conventional axes of every type;
  // one of each pair ±v.
  for (int u = 0; u <= 3; ++u)
    for (int v = -3; v <= 3; ++v)
      for (int w = -3; w <= 3; ++w)
        if (u > 0 || v > 0 || (v == 0 && w > 0)) vecs.push_back({u, v, w});
  const size_t n = vecs.size();
  std::vector<double> len(n);
  auto dot = [&](const IVec& x, const IVec& y) {
    double s = 0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) s += x[i] * g[i][j] * y[j];
    return s;
  };
  std::vector<std::vector<double>> gram(n, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i; j < n; ++j) gram[i][j] = gram[j][i] = dot(vecs[i], vecs[j]);
  for (size_t i = 0; i < n; ++i) len[i] = std::sqrt(gram[i][i]);
  auto angle = [&](size_t i, size_t j) {
    return std::acos(std::clamp(gram[i][j] / (len[i] * len[j]), -1.0, 1.0)) * kDeg;
  };
  // The angle of vector b to the shortest vectors of the plane net spanned by u and v
  // (Lagrange–Gauss reduction, on the coefficients of u and v), degrees off 90 at most.
  auto net_misfit = [&](size_t b, size_t u, size_t v) {
    const double g[2][2] = {{gram[u][u], gram[u][v]}, {gram[u][v], gram[v][v]}};
    const double gb[2] = {gram[b][u], gram[b][v]};
    auto ip = [&](const std::array<double, 2>& x, const std::array<double, 2>& y) {
      return x[0] * (g[0][0] * y[0] + g[0][1] * y[1]) + x[1] * (g[1][0] * y[0] + g[1][1] * y[1]);
    };
    std::array<double, 2> r1{1, 0}, r2{0, 1};
    for (int step = 0; step < 64; ++step) {
      if (ip(r1, r1) > ip(r2, r2)) std::swap(r1, r2);
      const double ratio = ip(r1, r2) / ip(r1, r1);
      // Reduced when r2 is off r1 by at most half of r1 (a tie would flip back and forth).
      if (!(std::abs(ratio) > 0.5 + 1e-9)) break;
      const double m = std::round(ratio);
      r2 = {r2[0] - m * r1[0], r2[1] - m * r1[1]};
    }
    double worst = 0;
    for (const auto& r : {r1, r2}) {
      const double c = (gb[0] * r[0] + gb[1] * r[1]) / (len[b] * std::sqrt(ip(r, r)));
      worst = std::max(worst, std::abs(std::acos(std::clamp(c, -1.0, 1.0)) * kDeg - 90));
    }
    return worst;
  };
  auto rel = [](double x, double y) { return std::abs(x - y) / std::max(x, y); };

  const auto& types = bravais_types();
  std::vector<Candidate> best(types.size());
  auto offer = [&](size_t type, const IMat& m, double score, double length) {
    Candidate& b = best[type];
    if (!b.found || score < b.score - 1e-9 || (score < b.score + 1e-9 && length < b.length - 1e-9)) {
      b = {m, score, length, true};
    }
  };
  auto centring_of = [&](const IMat& m) -> std::optional<std::pair<int, Translations>> {
    const int d = det(m);
    if (d <= 0 || d > 4) return std::nullopt;
    return std::make_pair(d, translations(m, d));
  };
  auto offer_if_centred = [&](const IMat& m, std::initializer_list<size_t> candidates,
                              double score) {
    const auto c = centring_of(m);
    if (!c) return;
    double total = 0;
    for (const IVec& v : m) total += std::sqrt(dot(v, v));
    // Of the settings with the shortest axes, a monoclinic one with β up to 120°.
    const double cos_beta = dot(m[0], m[2]) / std::sqrt(dot(m[0], m[0]) * dot(m[2], m[2]));
    const double beta_penalty = cos_beta < -0.5 - 1e-9 ? 1e6 : 0;
    for (size_t t : candidates)
      if (centring_multiplicity(types[t].centring) == c->first &&
          expected(types[t].centring) == c->second)
        offer(t, m, score, total + (types[t].system == CrystalSystemId::Monoclinic ? beta_penalty : 0));
  };

  auto neg = [](const IVec& v) { return IVec{-v[0], -v[1], -v[2]}; };
  // Three mutually perpendicular axes: cubic, tetragonal, orthorhombic; and one axis
  // perpendicular to two others: monoclinic (b unique). Vectors are taken up to their
  // sign; the sign of one axis then makes the cell right-handed.
  std::vector<std::vector<size_t>> perp(n);
  // Within angle_tol of 90° is |cos| <= sin(angle_tol), without an arc cosine per pair.
  const double max_cos = std::sin(angle_tol / kDeg);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      if (i != j && std::abs(gram[i][j]) <= max_cos * len[i] * len[j]) perp[i].push_back(j);
  for (size_t i = 0; i < n; ++i)
    for (size_t j : perp[i]) {
      for (size_t k : perp[i]) {
        if (k == j) continue;
        // b unique: i is the two-fold axis, j and k the other two, β obtuse.
        IVec a = vecs[j], b = vecs[i], c = vecs[k];
        if (angle(j, k) < 90) a = neg(a);
        if (det(IMat{a, b, c}) < 0) b = neg(b);
        if (det(IMat{a, b, c}) == 0) continue;  // j and k on one line: no cell
        // The two-fold axis is measured against the shortest vectors of the net it is
        // normal to: among long vectors some are within a degree of any direction by
        // chance, and a lattice far from monoclinic would pass as one.
        const double mono_score = net_misfit(i, j, k) / angle_tol;
        if (mono_score <= 1) offer_if_centred(IMat{a, b, c}, {11, 12}, mono_score);
        if (std::abs(angle(j, k) - 90) > angle_tol) continue;
        IMat m{vecs[i], vecs[j], vecs[k]};
        if (det(m) < 0) m[2] = neg(m[2]);
        const double ang = std::max({std::abs(angle(i, j) - 90), std::abs(angle(i, k) - 90),
                                     std::abs(angle(j, k) - 90)}) / angle_tol;
        offer_if_centred(m, {7, 8, 9, 10}, ang);
        const double tet = rel(len[i], len[j]) / length_tol;
        if (tet <= 1) offer_if_centred(m, {5, 6}, std::max(ang, tet));
        const double cub = std::max(tet, std::max(rel(len[i], len[k]), rel(len[j], len[k])) / length_tol);
        if (cub <= 1) offer_if_centred(m, {0, 1, 2}, std::max(ang, cub));
      }
    }
  // Two equal axes at 120° and a third perpendicular to both: hexagonal and rhombohedral.
  for (size_t k = 0; k < n; ++k)
    for (size_t i : perp[k])
      for (size_t j : perp[k]) {
        if (i == j) continue;
        const double gamma = angle(i, j);
        const bool flip = gamma < 90;  // 60° between i and j: 120° between i and -j
        if (std::abs((flip ? 180 - gamma : gamma) - 120) > angle_tol) continue;
        const double len_score = rel(len[i], len[j]) / length_tol;
        if (len_score > 1) continue;
        IMat m{vecs[i], flip ? neg(vecs[j]) : vecs[j], vecs[k]};
        if (det(m) < 0) m[2] = neg(m[2]);
        const double ang = std::max({std::abs((flip ? 180 - gamma : gamma) - 120),
                                     std::abs(angle(i, k) - 90), std::abs(angle(j, k) - 90)}) /
                           angle_tol;
        offer_if_centred(m, {3, 4}, std::max(ang, len_score));
        // The rhombohedral centring is obverse in one of (a, b, c) and (-a, -b, c).
        offer_if_centred(IMat{neg(m[0]), neg(m[1]), m[2]}, {4}, std::max(ang, len_score));
      }

  std::vector<ConventionalCell> out;
  for (size_t t = 0; t + 1 < types.size(); ++t) {
    if (!best[t].found) continue;
    IMat m = best[t].m;
    if (types[t].symbol == "oP") {
      // Primitive orthorhombic axes in the order a < b < c, kept right-handed.
      std::sort(m.begin(), m.end(), [&](const IVec& x, const IVec& y) { return dot(x, x) < dot(y, y); });
      if (det(m) < 0) m[2] = neg(m[2]);
    }
    Mat3 cg{};
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) cg[a][b] = dot(m[a], m[b]);
    out.push_back({types[t], cg});
  }
  out.push_back({types.back(), g});
  return out;
}

}  // namespace vornax::indexing

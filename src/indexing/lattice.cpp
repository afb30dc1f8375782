#include "indexing/lattice.hpp"

#include <gemmi/cellred.hpp>

#include <algorithm>
#include <cmath>

namespace vornax::indexing {

namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;

Mat3 product_transposed(const std::array<std::array<int, 3>, 3>& m, const Mat3& g) {
  // m g mᵀ: the metric of the basis whose vectors are the rows of m.
  Mat3 t{}, out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) t[i][j] += m[i][k] * g[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) out[i][j] += t[i][k] * m[j][k];
  return out;
}

double dot(const Mat3& g, const std::array<int, 3>& u, const std::array<int, 3>& v) {
  double s = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s += u[i] * g[i][j] * v[j];
  return s;
}

}  // namespace

int centring_multiplicity(Centring c) {
  switch (c) {
    case Centring::P: return 1;
    case Centring::R: return 3;
    case Centring::F: return 4;
    default: return 2;
  }
}

bool centring_allows(Centring c, int h, int k, int l) {
  switch (c) {
    case Centring::P: return true;
    case Centring::A: return (k + l) % 2 == 0;
    case Centring::B: return (h + l) % 2 == 0;
    case Centring::C: return (h + k) % 2 == 0;
    case Centring::I: return (h + k + l) % 2 == 0;
    case Centring::F: return (h + k) % 2 == 0 && (k + l) % 2 == 0;
    case Centring::R: return (-h + k + l) % 3 == 0;
  }
  return true;
}

Mat3 metric_matrix(const QMetric& m) {
  return {{{m.A, m.F / 2, m.E / 2}, {m.F / 2, m.B, m.D / 2}, {m.E / 2, m.D / 2, m.C}}};
}

QMetric q_metric(const Mat3& g) {
  return {g[0][0], g[1][1], g[2][2], 2 * g[1][2], 2 * g[0][2], 2 * g[0][1]};
}

double determinant(const Mat3& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

std::optional<Mat3> inverse_positive(const Mat3& m) {
  // Positive definite: leading minors positive (Sylvester).
  const double m2 = m[0][0] * m[1][1] - m[0][1] * m[1][0];
  const double det = determinant(m);
  if (!(m[0][0] > 0) || !(m2 > 0) || !(det > 0)) return std::nullopt;
  const double scale = m[0][0] * m[1][1] * m[2][2];
  if (det < 1e-12 * scale) return std::nullopt;
  Mat3 r;
  r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  r[1][0] = r[0][1];
  r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  r[2][0] = r[0][2];
  r[2][1] = r[1][2];
  r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  return r;
}

std::optional<Mat3> direct_metric(const QMetric& m) { return inverse_positive(metric_matrix(m)); }

CellParams cell_of_metric(const Mat3& g) {
  CellParams c;
  c.a = std::sqrt(g[0][0]);
  c.b = std::sqrt(g[1][1]);
  c.c = std::sqrt(g[2][2]);
  auto angle = [](double d, double x, double y) {
    return std::acos(std::clamp(d / (x * y), -1.0, 1.0)) * kDeg;
  };
  c.alpha = angle(g[1][2], c.b, c.c);
  c.beta = angle(g[0][2], c.a, c.c);
  c.gamma = angle(g[0][1], c.a, c.b);
  return c;
}

Mat3 metric_of_cell(const CellParams& c) {
  const double ca = std::cos(c.alpha / kDeg), cb = std::cos(c.beta / kDeg),
               cg = std::cos(c.gamma / kDeg);
  return {{{c.a * c.a, c.a * c.b * cg, c.a * c.c * cb},
           {c.a * c.b * cg, c.b * c.b, c.b * c.c * ca},
           {c.a * c.c * cb, c.b * c.c * ca, c.c * c.c}}};
}

double volume_of_metric(const Mat3& g) { return std::sqrt(std::max(0.0, determinant(g))); }

std::optional<QMetric> q_metric_of_cell(const CellParams& c) {
  const auto inv = inverse_positive(metric_of_cell(c));
  if (!inv) return std::nullopt;
  return q_metric(*inv);
}

void reflections_up_to(const QMetric& m, Centring c, double q_max, std::vector<Reflection>& out,
                       size_t limit) {
  out.clear();
  const auto g = direct_metric(m);
  if (!g) return;
  // |h| <= a √Qmax bounds every index of a reciprocal point inside the sphere.
  const int h_max = static_cast<int>(std::sqrt(q_max * (*g)[0][0]));
  const int k_max = static_cast<int>(std::sqrt(q_max * (*g)[1][1]));
  for (int h = 0; h <= h_max; ++h) {
    for (int k = (h == 0 ? 0 : -k_max); k <= k_max; ++k) {
      // The l of the points inside: C l² + (D k + E h) l + rest <= Qmax.
      const double b = m.D * k + m.E * h;
      const double rest = m.A * h * h + m.B * k * k + m.F * h * k - q_max;
      const double disc = b * b - 4 * m.C * rest;
      if (disc < 0) continue;
      const double root = std::sqrt(disc);
      int l1 = static_cast<int>(std::ceil((-b - root) / (2 * m.C)));
      const int l2 = static_cast<int>(std::floor((-b + root) / (2 * m.C)));
      if (h == 0 && k == 0) l1 = std::max(l1, 1);  // one of each Friedel pair
      for (int l = l1; l <= l2; ++l) {
        if (!centring_allows(c, h, k, l)) continue;
        const double q = m.q(h, k, l);
        if (q > 0 && q <= q_max) out.push_back({q, {h, k, l}});
      }
      if (out.size() > limit) {
        out.clear();
        return;
      }
    }
  }
}

Mat3 primitive_metric(const Mat3& g, Centring c) {
  // Rows: a primitive basis in the axes of the centred cell.
  const double h = 0.5, t = 1.0 / 3;
  Mat3 p{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  switch (c) {
    case Centring::A: p = {{{1, 0, 0}, {0, h, h}, {0, -h, h}}}; break;
    case Centring::B: p = {{{h, 0, h}, {0, 1, 0}, {-h, 0, h}}}; break;
    case Centring::C: p = {{{h, h, 0}, {-h, h, 0}, {0, 0, 1}}}; break;
    case Centring::I: p = {{{-h, h, h}, {h, -h, h}, {h, h, -h}}}; break;
    case Centring::F: p = {{{0, h, h}, {h, 0, h}, {h, h, 0}}}; break;
    case Centring::R: p = {{{2 * t, t, t}, {-t, t, t}, {-t, -2 * t, t}}}; break;
    case Centring::P: break;
  }
  Mat3 out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) out[i][j] += p[i][k] * g[k][l] * p[j][l];
  return out;
}

Mat3 niggli_metric(const Mat3& g) {
  gemmi::GruberVector v(std::array<double, 6>{g[0][0], g[1][1], g[2][2], 2 * g[1][2],
                                              2 * g[0][2], 2 * g[0][1]});
  v.niggli_reduce(1e-5 * (g[0][0] + g[1][1] + g[2][2]) / 3);
  return {{{v.A, v.zeta / 2, v.eta / 2}, {v.zeta / 2, v.B, v.xi / 2}, {v.eta / 2, v.xi / 2, v.C}}};
}

bool same_lattice(const Mat3& g1, const Mat3& g2, double rel_tol) {
  const double v1 = volume_of_metric(g1), v2 = volume_of_metric(g2);
  if (std::abs(v1 - v2) > 4 * rel_tol * std::max(v1, v2)) return false;
  const Mat3 a = niggli_metric(g1), b = niggli_metric(g2);
  // Reduced cells on either side of a boundary of the reduction differ by a small
  // change of basis: look for vectors of the first lattice with the lengths and dot
  // products of the second's reduced basis.
  std::array<std::vector<std::array<int, 3>>, 3> match;
  for (int u = -2; u <= 2; ++u)
    for (int v = -2; v <= 2; ++v)
      for (int w = -2; w <= 2; ++w) {
        const std::array<int, 3> x{u, v, w};
        const double len2 = dot(a, x, x);
        for (int i = 0; i < 3; ++i)
          if (std::abs(len2 - b[i][i]) <= 2 * rel_tol * b[i][i]) match[i].push_back(x);
      }
  auto close_dot = [&](const std::array<int, 3>& x, const std::array<int, 3>& y, int i, int j) {
    return std::abs(dot(a, x, y) - b[i][j]) <= 2 * rel_tol * std::sqrt(b[i][i] * b[j][j]);
  };
  for (const auto& x : match[0])
    for (const auto& y : match[1]) {
      if (!close_dot(x, y, 0, 1)) continue;
      for (const auto& z : match[2]) {
        if (!close_dot(x, z, 0, 2) || !close_dot(y, z, 1, 2)) continue;
        const int det = x[0] * (y[1] * z[2] - y[2] * z[1]) - x[1] * (y[0] * z[2] - y[2] * z[0]) +
                        x[2] * (y[0] * z[1] - y[1] * z[0]);
        if (det == 1 || det == -1) return true;
      }
    }
  return false;
}

bool is_supercell(const Mat3& small, const Mat3& big, double rel_tol) {
  const double ratio = volume_of_metric(big) / volume_of_metric(small);
  const int n = static_cast<int>(std::lround(ratio));
  if (n < 2 || n > 4 || std::abs(ratio - n) > 4 * rel_tol * n) return false;
  const Mat3 s = niggli_metric(small);
  // Every sublattice of index n has a basis given by a lower-triangular Hermite form.
  for (int d0 = 1; d0 <= n; ++d0)
    for (int d1 = 1; d1 <= n; ++d1) {
      if (n % (d0 * d1) != 0) continue;
      const int d2 = n / (d0 * d1);
      for (int x = 0; x < d0; ++x)
        for (int y = 0; y < d0; ++y)
          for (int z = 0; z < d1; ++z) {
            const std::array<std::array<int, 3>, 3> h{{{d0, 0, 0}, {x, d1, 0}, {y, z, d2}}};
            if (same_lattice(product_transposed(h, s), big, rel_tol)) return true;
          }
    }
  return false;
}

}  // namespace vornax::indexing

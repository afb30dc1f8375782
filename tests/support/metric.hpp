// An independent 1/d²: the inverse of the direct metric tensor, with the exact π, for
// checking the program's reciprocal-cell route.
#pragma once

#include <cmath>

#include "core/session.hpp"

namespace vornax::testing {

inline double inverse_d2_from_metric(const CellParameters& c, double h, double k, double l,
                                     double deg = std::acos(-1.0) / 180.0) {
  const double ca = std::cos(c.alpha * deg), cb = std::cos(c.beta * deg), cg = std::cos(c.gamma * deg);
  const double G[3][3] = {{c.a * c.a, c.a * c.b * cg, c.a * c.c * cb},
                          {c.a * c.b * cg, c.b * c.b, c.b * c.c * ca},
                          {c.a * c.c * cb, c.b * c.c * ca, c.c * c.c}};
  const double det = G[0][0] * (G[1][1] * G[2][2] - G[1][2] * G[2][1]) -
                     G[0][1] * (G[1][0] * G[2][2] - G[1][2] * G[2][0]) +
                     G[0][2] * (G[1][0] * G[2][1] - G[1][1] * G[2][0]);
  double inv[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
      inv[i][j] = (G[i1][j1] * G[i2][j2] - G[i1][j2] * G[i2][j1]) / det;
    }
  const double v[3] = {h, k, l};
  double s = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s += v[i] * inv[i][j] * v[j];
  return s;
}

}  // namespace vornax::testing

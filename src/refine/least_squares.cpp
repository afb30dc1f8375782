#include "refine/least_squares.hpp"

#include <cmath>
#include <utility>

namespace vornax {

InversionResult invert_matrix(const InversionMatrix& input, int n, InversionMatrix& inverse) {
  InversionResult result;
  result.determinant = 1.0;
  if (n <= 0) return result;
  if (n > kMaxInversionOrder) n = kMaxInversionOrder;

  inverse = input;
  auto& a = inverse;
  std::array<bool, kMaxInversionOrder> used{};
  std::array<std::pair<int, int>, kMaxInversionOrder> pivots{};

  for (int pass = 0; pass < n; ++pass) {
    // Full pivoting: the first largest element among unused rows and columns.
    double biggest = 0.0;
    int prow = -1, pcol = -1;
    for (int j = 0; j < n; ++j) {
      if (used[j]) continue;
      for (int k = 0; k < n; ++k) {
        if (used[k]) continue;
        if (std::fabs(a[j][k]) > biggest) {
          biggest = std::fabs(a[j][k]);
          prow = j;
          pcol = k;
        }
      }
    }
    if (prow < 0) {
      result.determinant = 0.0;
      result.zero_pivot = true;
      return result;
    }
    used[pcol] = true;
    pivots[pass] = {prow, pcol};
    if (prow != pcol) {
      result.determinant = -result.determinant;
      std::swap(a[prow], a[pcol]);
    }
    const double pivot = a[pcol][pcol];
    result.determinant *= pivot;
    if (result.determinant > 1e30) result.determinant = 1.0;
    a[pcol][pcol] = 1.0;
    for (int k = 0; k < n; ++k) a[pcol][k] /= pivot;
    for (int i = 0; i < n; ++i) {
      if (i == pcol) continue;
      const double factor = a[i][pcol];
      a[i][pcol] = 0.0;
      for (int k = 0; k < n; ++k) a[i][k] -= factor * a[pcol][k];
    }
  }
  // Undo the column order the row swaps implied.
  for (int pass = n - 1; pass >= 0; --pass) {
    const auto [r, c] = pivots[pass];
    if (r != c)
      for (int i = 0; i < n; ++i) std::swap(a[i][r], a[i][c]);
  }
  return result;
}

bool invert_normal_matrix(NormalMatrix& m, int npar) {
  if (npar <= 0) return false;
  // Scale to unit diagonal so that the test judges conditioning, not the units of the
  // parameters (reciprocal lengths against radians against ångströms).
  std::array<double, kMaxRefinedSlots> scale{};
  for (int i = 0; i < npar; ++i) {
    if (m[i][i] == 0.0 || !std::isfinite(m[i][i])) return true;
    scale[i] = 1.0 / std::sqrt(std::fabs(m[i][i]));
  }
  InversionMatrix work{};
  for (int i = 0; i < npar; ++i)
    for (int j = 0; j < npar; ++j) work[i][j] = m[i][j] * scale[i] * scale[j];
  InversionMatrix inverse;
  const InversionResult res = invert_matrix(work, npar, inverse);
  if (res.zero_pivot || !(std::fabs(res.determinant) >= 1e-10)) return true;
  for (int i = 0; i < npar; ++i)
    for (int j = 0; j < npar; ++j) m[i][j] = inverse[i][j] * scale[i] * scale[j];
  return false;
}

}  // namespace vornax

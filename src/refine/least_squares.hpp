// Linear algebra of the refinement: Gauss-Jordan inversion with full pivoting and
// the wrapper that inverts the normal matrix in place and judges its singularity.
#pragma once

#include <array>
#include <string_view>

#include "core/messages.hpp"

namespace vornax {

// Largest order the general inversion handles.
constexpr int kMaxInversionOrder = 51;
// At most eight refined slots.
constexpr int kMaxRefinedSlots = 8;

using InversionMatrix = std::array<std::array<double, kMaxInversionOrder>, kMaxInversionOrder>;
using NormalMatrix = std::array<std::array<double, kMaxRefinedSlots>, kMaxRefinedSlots>;

struct InversionResult {
  double determinant = 0;  // of the input, accumulated during the elimination
  bool zero_pivot = false; // no non-zero element left to pivot on: the inverse is not valid
};

// Inverse of the leading n x n block of `input` (n <= 51) into `inverse`; `input` is
// not changed. Gauss-Jordan elimination with full pivoting: the first largest element
// in row-major order wins. A determinant growing above 1e30 is reset to 1.0.
InversionResult invert_matrix(const InversionMatrix& input, int n, InversionMatrix& inverse);

// Inverts the leading npar x npar block of the normal matrix in place. Returns true
// when the matrix is singular, and then leaves it as it was. The matrix is judged
// after scaling it to unit diagonal (M_ij / sqrt(M_ii M_jj)): singular when a diagonal
// element is 0 or the determinant of the scaled matrix is below 1e-10 in magnitude.
// Judged this way, the test does not depend on the units of the parameters.
bool invert_normal_matrix(NormalMatrix& m, int npar);


}  // namespace vornax

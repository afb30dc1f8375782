// Lattices as the indexing sees them: the reciprocal metric written as the six
// coefficients of Q = 1/d² in h k l, the direct cell it belongs to, the reflections a
// centred lattice gives, and the comparison of two lattices through their reduced cells.
#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <vector>

namespace vornax::indexing {

using Mat3 = std::array<std::array<double, 3>, 3>;

struct Hkl {
  int h = 0, k = 0, l = 0;
};

// Q(hkl) = A h² + B k² + C l² + D kl + E hl + F hk, in Å⁻²: A = a*², D = 2 b*·c* ...
struct QMetric {
  double A = 0, B = 0, C = 0, D = 0, E = 0, F = 0;
  double q(int h, int k, int l) const {
    return A * h * h + B * k * k + C * l * l + D * k * l + E * h * l + F * h * k;
  }
  double q(const Hkl& r) const { return q(r.h, r.k, r.l); }
};

struct CellParams {
  double a = 0, b = 0, c = 0, alpha = 90, beta = 90, gamma = 90;  // Å and degrees
};

// Lattice centrings of the conventional cells; R is the obverse rhombohedral centring of
// hexagonal axes, (2/3 1/3 1/3) and (1/3 2/3 2/3).
enum class Centring { P, A, B, C, I, F, R };
int centring_multiplicity(Centring c);
// False when the centring extinguishes the reflection.
bool centring_allows(Centring c, int h, int k, int l);

Mat3 metric_matrix(const QMetric& m);  // the symmetric reciprocal metric tensor G*
QMetric q_metric(const Mat3& g_star);
// Inverse of a symmetric positive definite matrix; nothing when it is not one.
std::optional<Mat3> inverse_positive(const Mat3& m);
double determinant(const Mat3& m);

// Direct metric tensor G (a·a, a·b ...) and cell parameters.
std::optional<Mat3> direct_metric(const QMetric& m);
CellParams cell_of_metric(const Mat3& g);
Mat3 metric_of_cell(const CellParams& c);
double volume_of_metric(const Mat3& g);  // √det G
std::optional<QMetric> q_metric_of_cell(const CellParams& c);

struct Reflection {
  double q = 0;
  Hkl hkl;
};
// One of each Friedel pair with 0 < Q <= q_max, allowed by the centring, unsorted.
// Nothing when the metric is not positive definite, or when there are more than `limit`.
void reflections_up_to(const QMetric& m, Centring c, double q_max, std::vector<Reflection>& out,
                       size_t limit = SIZE_MAX);

// The direct metric of a primitive cell of the lattice of a centred cell.
Mat3 primitive_metric(const Mat3& conventional, Centring c);

// Niggli-reduced direct metric of a primitive lattice (Křivý & Gruber 1976, through
// gemmi's GruberVector).
Mat3 niggli_metric(const Mat3& g);

// True when two primitive direct metrics describe the same lattice within a relative
// tolerance on lengths (angles compared as the matching dot products).
bool same_lattice(const Mat3& g1, const Mat3& g2, double rel_tol);
// True when `big` is a sublattice of `small` of index 2 to 4 (a supercell of it), both
// primitive, within the same tolerance.
bool is_supercell(const Mat3& small, const Mat3& big, double rel_tol);

}  // namespace vornax::indexing

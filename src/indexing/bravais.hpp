// The conventional cells a primitive lattice fits: lattice vectors with small
// coefficients on its reduced basis are combined into cells whose metric has the shape
// of a crystal system (equal lengths, right or 120° angles) and whose extra lattice
// points are one of the standard centrings.
#pragma once

#include <string_view>
#include <vector>

#include "core/crystal_system.hpp"
#include "indexing/lattice.hpp"
#include "indexing/lattice_fit.hpp"

namespace vornax::indexing {

struct BravaisType {
  CrystalSystemId system;
  Centring centring;
  std::string_view symbol;  // cP ... aP; hR on hexagonal axes
  MetricModel model;
};

// From the highest symmetry to the lowest.
const std::vector<BravaisType>& bravais_types();

struct ConventionalCell {
  BravaisType type;
  Mat3 metric;  // direct metric of the conventional cell
};

// The best setting of every Bravais type the reduced primitive metric fits within the
// tolerances (relative on lengths, degrees on angles), in the order of bravais_types().
// The triclinic cell (the Niggli cell) is always among them.
std::vector<ConventionalCell> conventional_cells(const Mat3& reduced, double length_tol,
                                                 double angle_tol);

}  // namespace vornax::indexing

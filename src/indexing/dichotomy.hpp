// Indexing by successive dichotomy (Louër & Louër 1972; Louër & Vargas 1982; Boultif &
// Louër 1991, 2004): the direct-cell parameters of each crystal system are scanned in
// boxes, shell of volume after shell, and a box is kept while every measured line (but a
// few impurities) falls within the range of Q = 1/d² that some hkl takes over the box;
// kept boxes are halved in every parameter until they are small, and their centres are
// refined by least squares. Unlike the zone search it needs no line of a basis vector, so
// the absences of screw axes and glide planes do not hide the cell.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <utility>
#include <vector>

#include "core/crystal_system.hpp"
#include "indexing/lattice.hpp"
#include "indexing/lattice_fit.hpp"

namespace vornax::indexing {

struct DichotomySettings {
  // Searched in this order, among Cubic, Tetragonal, Hexagonal, Orthorhombic and
  // Monoclinic (b unique); other systems are left aside. A centred lattice is found as
  // the P cell of its conventional axes, whose reflections include all of its own; so a
  // rhombohedral lattice as the P cell of its hexagonal axes (three times its volume,
  // and its c within max_axis).
  std::vector<CrystalSystemId> systems{CrystalSystemId::Cubic, CrystalSystemId::Tetragonal,
                                       CrystalSystemId::Hexagonal, CrystalSystemId::Orthorhombic,
                                       CrystalSystemId::Monoclinic};
  double min_volume = 0, max_volume = 2000;  // Å³, of the P cell searched
  double min_axis = 2, max_axis = 20;        // Å
  int impurities = 2;        // lines a cell may leave unindexed
  double zero_range = 0.15;  // degrees 2θ: the zero error the search allows and refines
  double tolerance = 0.06;   // degrees 2θ: a line of the refined cell farther than it is unindexed
  int threads = 1;           // the cells found do not depend on it (unless stopped)
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  const std::atomic<bool>* cancel = nullptr;
};

// A refined cell: primitive, in the conventional axes of its system (monoclinic with b
// unique, a <= c and β >= 90° at the start of the refinement).
struct DichotomyCell {
  CrystalSystemId system = CrystalSystemId::None;
  MetricModel model = MetricModel::Triclinic;
  QMetric metric;
  CellParams cell;
  double volume = 0;
  double zero = 0;  // corrected 2θ = measured 2θ - zero
  Fit fit;
  double m20 = 0;
};

struct DichotomyResult {
  std::vector<DichotomyCell> cells;  // one per lattice, highest M(20) first, at most 50
  bool stopped = false;  // the deadline passed or the search was cancelled
  double covered = 0;    // share of the volume range searched, averaged over the systems
  long boxes = 0;        // boxes tested
};

// `q_tolerance` is the tolerance of each line in Q (Å⁻²); a line without one takes
// settings.tolerance of its 2θ. The zero error within ±zero_range is one more parameter
// of the boxes (it moves each line by dQ/d2θ · zero), and is refined with the cell.
// Lines beyond the first 64 are used in the refinement only.
DichotomyResult dichotomy_search(const Lines& lines, const std::vector<double>& q_tolerance,
                                 const DichotomySettings& settings);

// A box of the parameters a system scans: cubic a; tetragonal and hexagonal a, c;
// orthorhombic a, b, c; monoclinic a, b, c, β (Å, degrees, 90 <= β < 180).
struct ParameterBox {
  std::array<double, 4> lo{}, hi{};
};
int box_parameter_count(CrystalSystemId system);

// The range of Q(hkl) over the box, never narrower than the exact one. Taken apart from
// the search so that its bounds can be checked.
std::pair<double, double> q_range(CrystalSystemId system, const ParameterBox& box, const Hkl& r);

// The box test of the search: whether the lines, each widened by its tolerance and the
// zero range, are indexed over the box by the settings' rules.
bool box_survives(CrystalSystemId system, const ParameterBox& box, const Lines& lines,
                  const std::vector<double>& q_tolerance, const DichotomySettings& settings);

}  // namespace vornax::indexing

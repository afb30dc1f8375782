// Indexing: the unit cells that index a list of measured line positions, ranked by
// de Wolff's M(20). The method is described in docs/indexing.md.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/crystal_system.hpp"
#include "indexing/bravais.hpp"
#include "indexing/lattice.hpp"

namespace vornax::indexing {

struct IndexSettings {
  double lambda = 0;  // Å
  // Systems whose cells are offered; a lattice is given in the most symmetric of them
  // its lines allow.
  std::vector<CrystalSystemId> systems{
      CrystalSystemId::Cubic,        CrystalSystemId::Tetragonal, CrystalSystemId::Orthorhombic,
      CrystalSystemId::Hexagonal,    CrystalSystemId::Rhombohedral,
      CrystalSystemId::Monoclinic,   CrystalSystemId::Triclinic};
  // Limits of the lattice, on its reduced (primitive) cell: a centred cell offered may be
  // larger.
  double max_axis = 25;      // Å: organic cells reach 20–25 Å (lactose b = 21.5 Å)
  double max_volume = 3000;  // Å³
  double min_volume = 0;     // Å³
  // No lattice has a translation shorter than the shortest bond between two atoms: a
  // cell below it indexes a few lines by having few reflections, not by being right.
  double min_axis = 2;       // Å
  int impurities = 2;        // lines a cell may leave unindexed
  // Degrees 2θ, both; below 0 they follow the wavelength: kCuTolerance and kCuZeroRange
  // at Cu Kα1, in proportion to λ elsewhere, so that they stand for the same error in
  // 1/d whatever the radiation.
  double zero_range = -1;    // the zero is searched and refined within ±this
  double tolerance = -1;     // a line farther from every reflection is unindexed
  int max_lines = 30;        // the first lines used
  int top = 10;              // candidates returned
  int threads = 1;
  double time_budget = 60;   // seconds; 0: no limit
};

inline constexpr double kCuKalpha1 = 1.540593;
inline constexpr double kCuTolerance = 0.06;
inline constexpr double kCuZeroRange = 0.15;
// The tolerance and zero range a search uses: those given, or those of the wavelength.
double index_tolerance(const IndexSettings& s);
double index_zero_range(const IndexSettings& s);

struct IndexedCell {
  BravaisType type;
  CellParams cell;
  double volume = 0;
  // The ranking figure: M(N) discounted for the parameters fitted, M(N)·(N − p)/N.
  double figure = 0;
  double m20 = 0;                 // de Wolff's M(N)
  int m_lines = 0;                // its N: 20, or the lines used when fewer
  double fn = 0;
  int fn_lines = 0;               // N of F(N)
  double fn_error = 0;            // mean |Δ2θ| of F(N), degrees
  int fn_possible = 0;            // calculated lines up to the Nth
  std::vector<double> unindexed;  // measured 2θ of the lines the cell leaves unindexed
  double zero = 0;                // corrected 2θ = measured 2θ - zero
  Mat3 reduced{};                 // Niggli-reduced direct metric of the primitive lattice
};

enum class IndexStop { Done, Budget, Cancel };

struct IndexResult {
  std::vector<IndexedCell> candidates;  // best first
  int lines_used = 0;
  int beyond_largest_axis = 0;  // lines of a d above the largest axis: left aside
  long trials = 0;
  bool out_of_time = false;  // the budget ran out: the candidates are those found by then
  bool cancelled = false;    // stopped on request: the candidates are those found by then
  IndexStop stop = IndexStop::Done;
  // The share of the search run: trial sets of the zone passes, then the volume range
  // of the dichotomy, each for the systems asked.
  double zone_covered = 0;
  double dichotomy_covered = 0;
  double tolerance = 0;      // degrees 2θ, as used
  double zero_range = 0;
};

// A search in progress as another thread sees it: the share of the trial sets done, and a
// request to stop that the search answers within a few milliseconds.
struct IndexProgress {
  std::atomic<long> done{0};
  std::atomic<long> total{0};
  std::atomic<bool> cancel{false};
};

// Fewer than this many lines cannot fix a cell.
inline constexpr int kMinIndexingLines = 6;

IndexResult index_lines(const std::vector<double>& two_theta, const IndexSettings& settings,
                        IndexProgress* progress = nullptr);

}  // namespace vornax::indexing

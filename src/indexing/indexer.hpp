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
  double max_axis = 20;      // Å
  double max_volume = 2000;  // Å³
  // No lattice has a translation shorter than the shortest bond between two atoms: a
  // cell below it indexes a few lines by having few reflections, not by being right.
  double min_axis = 2;       // Å
  int impurities = 2;        // lines a cell may leave unindexed
  double zero_range = 0.1;   // degrees 2θ: the zero is searched and refined within ±this
  double tolerance = 0.06;   // degrees 2θ: a line farther from every reflection is unindexed
  int max_lines = 30;        // the first lines used
  int top = 10;              // candidates returned
  int threads = 1;
  double time_budget = 60;   // seconds; 0: no limit
};

struct IndexedCell {
  BravaisType type;
  CellParams cell;
  double volume = 0;
  double m20 = 0, fn = 0;
  int fn_lines = 0;               // N of F(N)
  std::vector<double> unindexed;  // measured 2θ of the lines the cell leaves unindexed
  double zero = 0;                // corrected 2θ = measured 2θ - zero
  Mat3 reduced{};                 // Niggli-reduced direct metric of the primitive lattice
};

struct IndexResult {
  std::vector<IndexedCell> candidates;  // best first
  int lines_used = 0;
  long trials = 0;
  bool out_of_time = false;  // the budget ran out: the candidates are those found by then
  bool cancelled = false;    // stopped on request: the candidates are those found by then
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

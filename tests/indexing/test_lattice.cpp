// The lattice tools of the indexing: the conventional cell of each Bravais type found again
// from its reduced primitive cell, lattices compared through reduced cells, supercells,
// and the figures of merit against a hand calculation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "indexing/bravais.hpp"
#include "indexing/generated_lines.hpp"
#include "indexing/lattice.hpp"
#include "indexing/lattice_fit.hpp"

using namespace indexing_test;

namespace {

std::array<double, 3> sorted_lengths(const CellParams& c) {
  std::array<double, 3> l{c.a, c.b, c.c};
  std::sort(l.begin(), l.end());
  return l;
}

}  // namespace

TEST(IndexingLattice, EveryBravaisTypeIsFoundAgainFromItsReducedPrimitiveCell) {
  Random r{7};
  for (const BravaisType& type : bravais_types()) {
    for (int trial = 0; trial < 5; ++trial) {
      const CellParams cell = random_cell(type.system, r);
      const Mat3 reduced = niggli_metric(primitive_metric(cell, type.centring));
      const auto cells = conventional_cells(reduced, 0.001, 0.05);
      ASSERT_FALSE(cells.empty());
      const ConventionalCell& best = cells.front();
      EXPECT_EQ(best.type.symbol, type.symbol) << "trial " << trial;
      if (best.type.symbol != type.symbol) continue;
      const CellParams found = cell_of_metric(best.metric);
      const auto want = sorted_lengths(cell), got = sorted_lengths(found);
      // Monoclinic and triclinic cells have other settings of the same lattice; the
      // volume is the same in all of them.
      if (type.system != CrystalSystemId::Monoclinic && type.system != CrystalSystemId::Triclinic) {
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-6 * want[i]) << type.symbol;
      }
      EXPECT_NEAR(volume_of_metric(best.metric), volume_of_metric(metric_of_cell(cell)),
                  1e-6 * volume_of_metric(metric_of_cell(cell)))
          << type.symbol;
      if (type.system == CrystalSystemId::Monoclinic) {
        EXPECT_NEAR(found.alpha, 90, 1e-6);
        EXPECT_NEAR(found.gamma, 90, 1e-6);
        EXPECT_GE(found.beta, 90);
      }
    }
  }
}

TEST(IndexingLattice, LatticesAreComparedThroughTheirReducedCells) {
  const CellParams cubic{5, 5, 5, 90, 90, 90};
  const Mat3 p = metric_of_cell(cubic);
  // The F-centred cubic cell of a = 5·√2 has the primitive cell of a rhombohedron of
  // edge 5 at 60°; an I cell of a = 2·5/√3 one at 109.47°.
  const struct {
    const char* what;
    Mat3 x, y;
    bool same, super;
  } cases[] = {
      {"a different basis", p, metric_of_cell({5, 5, 5, 90, 90, 90}), true, false},
      {"0.1 % longer", p, metric_of_cell({5.005, 5.005, 5.005, 90, 90, 90}), true, false},
      {"1 % longer", p, metric_of_cell({5.05, 5.05, 5.05, 90, 90, 90}), false, false},
      {"a skewed basis of it", p, metric_of_cell({5, 5, std::sqrt(50.0), 90, 45, 90}), true, false},
      {"F cell", primitive_metric(CellParams{5 * std::sqrt(2.0), 5 * std::sqrt(2.0), 5 * std::sqrt(2.0), 90, 90, 90}, Centring::F),
       metric_of_cell({5, 5, 5, 60, 60, 60}), true, false},
      {"doubled c", p, metric_of_cell({5, 5, 10, 90, 90, 90}), false, true},
      {"doubled along a face diagonal", p, metric_of_cell({5 * std::sqrt(2.0), 5 * std::sqrt(2.0), 5, 90, 90, 90}),
       false, true},
      {"tripled b", p, metric_of_cell({5, 15, 5, 90, 90, 90}), false, true},
      {"five times: too large an index", p, metric_of_cell({5, 5, 25, 90, 90, 90}), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(same_lattice(c.x, c.y, 0.003), c.same) << c.what;
    EXPECT_EQ(is_supercell(c.x, c.y, 0.003), c.super) << c.what;
    EXPECT_FALSE(is_supercell(c.y, c.x, 0.003)) << c.what;
  }
}

TEST(IndexingLattice, CentringsExtinguishTheirReflections) {
  // h k l and whether P A B C I F R allow it.
  const struct {
    Hkl hkl;
    std::array<bool, 7> allowed;
  } cases[] = {
      {{1, 0, 0}, {true, true, false, false, false, false, false}},
      {{1, 1, 0}, {true, false, false, true, true, false, true}},
      {{1, 1, 1}, {true, true, true, true, false, true, false}},
      {{2, 0, 0}, {true, true, true, true, true, true, false}},
      {{0, 1, 2}, {true, false, true, false, false, false, true}},
      {{1, 0, 1}, {true, false, true, false, true, false, true}},
      {{-1, 0, 2}, {true, true, false, false, false, false, true}},
      {{1, 0, 2}, {true, true, false, false, false, false, false}},
      {{-1, 1, 1}, {true, true, true, true, false, true, true}},
  };
  const Centring all[] = {Centring::P, Centring::A, Centring::B, Centring::C,
                          Centring::I, Centring::F, Centring::R};
  for (const auto& c : cases)
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(centring_allows(all[i], c.hkl.h, c.hkl.k, c.hkl.l), c.allowed[i])
          << c.hkl.h << c.hkl.k << c.hkl.l << " centring " << i;
}

TEST(IndexingLattice, FiguresOfMeritFollowTheirDefinitionsOnAHandCalculation) {
  // Cubic P a = 4 Å at λ = 1.540593: lines N = 1 2 3 4 5 6 8 (7 is no sum of three
  // squares). Every measured line is 0.01° above its position, except that the fourth is
  // an impurity 0.5° away.
  const double a = 4, lambda = kCuKa1;
  std::vector<double> tt;
  for (int n : {1, 2, 3, 4, 5, 6, 8}) {
    const double t = 2 * std::asin(lambda * std::sqrt(n) / (2 * a)) * 180 / kPi;
    tt.push_back(t + (n == 4 ? 0.5 : 0.01));
  }
  const Lines lines = make_lines(tt, lambda);
  const double qa = 1 / (a * a);
  const Fit fit = assign_indices(Centring::P, {qa, qa, qa, 0, 0, 0}, 0, lines, 0.05);
  ASSERT_TRUE(fit.ok);
  EXPECT_EQ(fit.indexed_count, 6);
  EXPECT_FALSE(fit.indexed[3]);
  const Merit m = figures_of_merit(fit, Centring::P, lines, 0.05);
  // Seven lines up to N = 8: seven possible lines (N = 1..6, 8); ΔQ = slope · 0.01°, and
  // slope · 0.05° (the tolerance) for the unindexed line.
  double sum_dq = 0;
  for (size_t i = 0; i < tt.size(); ++i) sum_dq += lines.slope[i] * (i == 3 ? 0.05 : 0.01);
  EXPECT_NEAR(m.m20, (8 * qa) / (2 * (sum_dq / 7) * 7), 1e-3 * m.m20);
  EXPECT_EQ(m.n, 7);
  EXPECT_NEAR(m.fn, 7 / ((6 * 0.01 + 0.05) / 7 * 7), 1e-3 * m.fn);
}

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

TEST(IndexingLattice, AMonoclinicAxisMustBeNormalToTheShortVectorsOfItsNet) {
  // A net of r1 (5 Å) and r2 (6 Å) at 100°, and b (7 Å) off normal to them by the
  // given angles. With r1 off by -2.5 times as much as r2 in b·r, b is within a degree
  // of the long vectors r1 + 3 r2 and r1 + 2 r2 (which span the same net) for r2 off 3°:
  // a lattice far from monoclinic that long axes would pass as one.
  const struct {
    const char* what;
    double r2_off;    // degrees off 90 between b and r2
    double r1_times;  // b·r1 as a multiple of b·r2
    bool monoclinic;
  } cases[] = {
      {"b normal to the net", 0, 0, true},
      {"b 0.5° off r2: within the tolerance", 0.5, 0, true},
      {"b 3° off r2 and 9° off r1, under 1° off r1 + 3 r2 and r1 + 2 r2", 3, -2.5, false},
  };
  const double deg = kPi / 180;
  for (const auto& c : cases) {
    const std::array<double, 3> r1{5, 0, 0}, r2{6 * std::cos(100 * deg), 0, 6 * std::sin(100 * deg)};
    const double e2 = 7 * 6 * std::sin(c.r2_off * deg), e1 = c.r1_times * e2;
    std::array<double, 3> b{e1 / 5, 0, 0};
    b[2] = (e2 - r2[0] * b[0]) / r2[2];
    b[1] = std::sqrt(49 - b[0] * b[0] - b[2] * b[2]);
    const std::array<std::array<double, 3>, 3> v{r1, b, r2};
    Mat3 g{};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) g[i][j] = v[i][0] * v[j][0] + v[i][1] * v[j][1] + v[i][2] * v[j][2];
    const auto cells = conventional_cells(niggli_metric(g), 0.01, 1.0);
    const auto mono = std::find_if(cells.begin(), cells.end(), [](const ConventionalCell& x) {
      return x.type.system == CrystalSystemId::Monoclinic;
    });
    EXPECT_EQ(mono != cells.end(), c.monoclinic) << c.what;
    if (mono != cells.end()) {
      // In its own setting: the two shortest vectors of the net, β up to 120°.
      const CellParams m = cell_of_metric(mono->metric);
      EXPECT_LE(m.beta, 120 + 1e-6) << c.what;
      EXPECT_NEAR(std::min(m.a, m.c), 5, 0.05) << c.what;
    }
  }
}

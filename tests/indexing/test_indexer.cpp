// The search end to end on generated line lists of known cell: one list of every Bravais
// type is indexed by its own cell first, with the zero and the impurity lines found; the
// result does not depend on the threads; a budget that runs out says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "indexing/generated_lines.hpp"
#include "indexing/indexer.hpp"

using namespace indexing_test;

namespace {

IndexSettings settings_for_tests() {
  IndexSettings s;
  s.lambda = kCuKa1;
  s.impurities = 3;
  s.threads = 2;
  return s;
}

}  // namespace

TEST(Indexer, EveryBravaisTypeIsIndexedByItsOwnCellFirst) {
  // The full statistics are in bench/bench_indexing; here one list of each type, each
  // with position errors, a zero error and impurity lines.
  Random r{2024};
  for (const BravaisType& type : bravais_types()) {
    const Sample s = random_sample(type, 25, r);
    const IndexResult res = index_lines(s.two_theta, settings_for_tests());
    ASSERT_FALSE(res.candidates.empty()) << type.symbol;
    const IndexedCell& best = res.candidates.front();
    EXPECT_TRUE(same_lattice(best.reduced, primitive_metric(s.cell, s.centring), 0.003))
        << type.symbol << ": found " << best.type.symbol << ' ' << best.cell.a << ' '
        << best.cell.b << ' ' << best.cell.c << ' ' << best.cell.alpha << ' ' << best.cell.beta
        << ' ' << best.cell.gamma;
    EXPECT_EQ(best.type.symbol, type.symbol)
        << s.cell.a << ' ' << s.cell.b << ' ' << s.cell.c << ' ' << s.cell.alpha << ' '
        << s.cell.beta << ' ' << s.cell.gamma << " zero " << s.zero << " impurities " << s.impurities;
    EXPECT_NEAR(best.zero, s.zero, 0.03) << type.symbol;
    // The impurity lines, and only lines, are left unindexed.
    EXPECT_LE(best.unindexed.size(), static_cast<size_t>(s.impurities)) << type.symbol;
    for (double t : best.unindexed)
      EXPECT_NE(std::find(s.two_theta.begin(), s.two_theta.end(), t), s.two_theta.end());
    EXPECT_GT(best.m20, 10) << type.symbol;
    EXPECT_FALSE(res.out_of_time);
    EXPECT_EQ(res.stop, IndexStop::Done);
    // The list is in the order of the figure it shows.
    EXPECT_TRUE(std::is_sorted(res.candidates.begin(), res.candidates.end(),
                               [](const IndexedCell& a, const IndexedCell& b) { return a.figure > b.figure; }))
        << type.symbol;
  }
}

TEST(Indexer, ResultIsTheSameOnAnyNumberOfThreads) {
  Random r{5};
  const Sample s = random_sample(bravais_types()[12], 25, r);  // mC
  IndexSettings one = settings_for_tests();
  one.threads = 1;
  IndexSettings three = one;
  three.threads = 3;
  const IndexResult a = index_lines(s.two_theta, one), b = index_lines(s.two_theta, three);
  ASSERT_EQ(a.candidates.size(), b.candidates.size());
  EXPECT_EQ(a.trials, b.trials);
  for (size_t i = 0; i < a.candidates.size(); ++i) {
    EXPECT_EQ(a.candidates[i].type.symbol, b.candidates[i].type.symbol);
    EXPECT_EQ(a.candidates[i].cell.a, b.candidates[i].cell.a);
    EXPECT_EQ(a.candidates[i].m20, b.candidates[i].m20);
  }
}

TEST(Indexer, LimitsAreKept) {
  Random r{11};
  // An orthorhombic P cell of axes 5.2, 7.7 and 11.3 Å with exact lines.
  const CellParams cell{5.2, 7.7, 11.3, 90, 90, 90};
  const Sample s = generate(cell, Centring::P, 25, 0, 0, 0, r);
  const struct {
    const char* what;
    void (*change)(IndexSettings&);
    bool finds_it;
  } cases[] = {
      {"defaults", [](IndexSettings&) {}, true},
      {"axis below c", [](IndexSettings& x) { x.max_axis = 11; }, false},
      {"volume below the cell's", [](IndexSettings& x) { x.max_volume = 400; }, false},
      {"shortest axis above a", [](IndexSettings& x) { x.min_axis = 5.5; }, false},
      {"smallest volume above the cell's", [](IndexSettings& x) { x.min_volume = 460; }, false},
      {"smallest volume below the cell's", [](IndexSettings& x) { x.min_volume = 440; }, true},
      {"cubic and tetragonal only", [](IndexSettings& x) {
         x.systems = {vornax::CrystalSystemId::Cubic, vornax::CrystalSystemId::Tetragonal};
       }, false},
      {"monoclinic only: the cell in a lower system", [](IndexSettings& x) {
         x.systems = {vornax::CrystalSystemId::Monoclinic};
       }, true},
  };
  for (const auto& c : cases) {
    IndexSettings st = settings_for_tests();
    c.change(st);
    const IndexResult res = index_lines(s.two_theta, st);
    const bool found = !res.candidates.empty() &&
                       same_lattice(res.candidates[0].reduced, metric_of_cell(cell), 0.003);
    EXPECT_EQ(found, c.finds_it) << c.what;
    for (const IndexedCell& x : res.candidates) {
      const CellParams reduced = cell_of_metric(x.reduced);
      EXPECT_LE(std::max({reduced.a, reduced.b, reduced.c}), st.max_axis + 1e-9) << c.what;
      EXPECT_GE(std::min({reduced.a, reduced.b, reduced.c}), st.min_axis - 1e-9) << c.what;
      EXPECT_LE(volume_of_metric(x.reduced), st.max_volume + 1e-9) << c.what;
      EXPECT_GE(volume_of_metric(x.reduced), st.min_volume - 1e-9) << c.what;
      EXPECT_NE(std::find(st.systems.begin(), st.systems.end(), x.type.system), st.systems.end())
          << c.what;
    }
  }
  // A budget that runs out at once says so, whatever it found.
  IndexSettings hurried = settings_for_tests();
  hurried.time_budget = 1e-9;
  EXPECT_TRUE(index_lines(s.two_theta, hurried).out_of_time);
  // A full run counts every trial set done; a cancelled one says it was cancelled, not
  // out of time.
  IndexProgress progress;
  EXPECT_FALSE(index_lines(s.two_theta, settings_for_tests(), &progress).cancelled);
  EXPECT_GT(progress.total.load(), 0);
  EXPECT_EQ(progress.done.load(), progress.total.load());
  IndexProgress cancelled;
  cancelled.cancel = true;
  const IndexResult stopped = index_lines(s.two_theta, settings_for_tests(), &cancelled);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_FALSE(stopped.out_of_time);
  // Angles no diffractometer measures are left aside; a wavelength that is not a number
  // searches nothing.
  std::vector<double> spoiled = s.two_theta;
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {std::nan(""), inf, -inf, 0.0, 180.0, -12.5, 200.0}) spoiled.push_back(bad);
  const IndexResult clean = index_lines(spoiled, settings_for_tests());
  ASSERT_FALSE(clean.candidates.empty());
  EXPECT_TRUE(same_lattice(clean.candidates[0].reduced, metric_of_cell(cell), 0.003));
  EXPECT_EQ(clean.lines_used, static_cast<int>(s.two_theta.size()));
  IndexSettings no_lambda = settings_for_tests();
  no_lambda.lambda = std::nan("");
  EXPECT_TRUE(index_lines(s.two_theta, no_lambda).candidates.empty());
  // Too few lines, or no wavelength: nothing is searched.
  const std::vector<double> five(s.two_theta.begin(), s.two_theta.begin() + 5);
  EXPECT_TRUE(index_lines(five, settings_for_tests()).candidates.empty());
}

TEST(Indexer, ToleranceAndZeroRangeFollowTheWavelength) {
  // The same plane spacings measured at Cu Kα1 and at a synchrotron's 0.5 Å: the
  // tolerances stand for the same error in 1/d, so both give the same cell first.
  Random r{8};  // three impurity lines and a zero of -0.084°
  const BravaisType mp = bravais_types()[11];
  ASSERT_EQ(mp.symbol, "mP");
  const Sample s = random_sample(mp, 25, r);
  for (const double lambda : {kCuKa1, 1.148, 0.5}) {
    std::vector<double> lines;
    for (double t : s.two_theta)
      lines.push_back(2 * std::asin(std::sin(t / 2 * kPi / 180) * lambda / kCuKa1) * 180 / kPi);
    IndexSettings st = settings_for_tests();
    st.lambda = lambda;
    const IndexResult res = index_lines(lines, st);
    EXPECT_NEAR(res.tolerance, 0.06 * lambda / kCuKa1, 1e-9);
    EXPECT_NEAR(res.zero_range, 0.15 * lambda / kCuKa1, 1e-9);
    ASSERT_FALSE(res.candidates.empty()) << lambda;
    EXPECT_TRUE(same_lattice(res.candidates[0].reduced, primitive_metric(s.cell, s.centring), 0.003))
        << lambda << ": found " << res.candidates[0].type.symbol << ' ' << res.candidates[0].cell.a;
  }
}

TEST(Indexer, AHexagonalCellComesBeforeTheOrthorhombicCellOfTheSameLines) {
  // A hexagonal lattice and the orthorhombic one of half its volume (a/2, a√3/2, c) give
  // the same d-spacings: the symmetric cell is the answer. (A face-centred cubic lattice
  // found through lattices of a quarter and a half of its volume is the real pyrochlore
  // of the real-pattern tests.)
  const CellParams cell{6.12, 6.12, 9.47, 90, 90, 120};
  Random r{3};
  const Sample s = generate(cell, Centring::P, 25, 0.01, -0.08, 0, r);
  const IndexResult res = index_lines(s.two_theta, settings_for_tests());
  ASSERT_FALSE(res.candidates.empty());
  EXPECT_EQ(res.candidates[0].type.symbol, "hP");
  EXPECT_TRUE(same_lattice(res.candidates[0].reduced, primitive_metric(cell, Centring::P), 0.003));
}

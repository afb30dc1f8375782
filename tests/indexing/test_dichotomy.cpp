// The dichotomy search on line lists of known cells whose space groups remove the lines
// of the basis vectors; its Q bounds against cells drawn inside the boxes; the box of
// the true cell surviving the test; the deadline and the cancel flag.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "indexing/dichotomy.hpp"
#include "indexing/generated_lines.hpp"

using namespace indexing_test;
using S = vornax::CrystalSystemId;

namespace {

using Absent = std::function<bool(int h, int k, int l)>;

bool odd(int n) { return n % 2 != 0; }

// The first `count` lines of a cell whose space group extinguishes `absent` as well as
// the centring's reflections, up to 120° 2θ.
Sample lines_of_group(const CellParams& cell, Centring centring, const Absent& absent, int count,
                      double error, double zero, int impurities, Random& r) {
  return generate(cell, centring, count, error, zero, impurities, r, absent, 120);
}

// The P cell of the system searched with the axes of the conventional cell.
bool finds(const DichotomyResult& res, const CellParams& cell, size_t* rank = nullptr) {
  for (size_t i = 0; i < res.cells.size(); ++i)
    if (same_lattice(*direct_metric(res.cells[i].metric), metric_of_cell(cell), 0.003)) {
      if (rank) *rank = i;
      return true;
    }
  return false;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

// Cells drawn anywhere inside a box (corners included) give Q within its bounds, for
// every system and reflections of both signs of hl (the monoclinic cross term).
TEST(DichotomyBounds, QRangeHoldsEveryCellOfTheBox) {
  Random r{77};
  for (S system : {S::Cubic, S::Tetragonal, S::Hexagonal, S::Orthorhombic, S::Monoclinic}) {
    const int np = box_parameter_count(system);
    int checked = 0;
    for (int trial = 0; trial < 300; ++trial) {
      ParameterBox box;
      for (int i = 0; i < np; ++i) {
        const bool angle = system == S::Monoclinic && i == 3;
        const double width = angle ? r.between(0.05, 5) : r.between(0.01, 0.4);
        box.lo[i] = angle ? r.between(90, 125) : r.between(2, 19);
        box.hi[i] = box.lo[i] + width;
      }
      for (int point = 0; point < 20; ++point) {
        std::array<double, 4> p{};
        for (int i = 0; i < np; ++i) {
          const double u = point < 16 ? ((point >> i) & 1) : r.uniform();  // corners first
          p[i] = box.lo[i] + u * (box.hi[i] - box.lo[i]);
        }
        CellParams cell;
        switch (system) {
          case S::Cubic: cell = {p[0], p[0], p[0], 90, 90, 90}; break;
          case S::Tetragonal: cell = {p[0], p[0], p[1], 90, 90, 90}; break;
          case S::Hexagonal: cell = {p[0], p[0], p[1], 90, 90, 120}; break;
          case S::Orthorhombic: cell = {p[0], p[1], p[2], 90, 90, 90}; break;
          default: cell = {p[0], p[1], p[2], 90, p[3], 90}; break;
        }
        const QMetric m = *q_metric_of_cell(cell);
        for (int n = 0; n < 10; ++n) {
          const Hkl hkl{static_cast<int>(r.between(-7, 8)), static_cast<int>(r.between(-7, 8)),
                        static_cast<int>(r.between(-7, 8))};
          const auto [lo, hi] = q_range(system, box, hkl);
          const double q = m.q(hkl);
          ASSERT_LE(lo, q * (1 + 1e-12)) << int(system) << ' ' << hkl.h << hkl.k << hkl.l;
          ASSERT_GE(hi, q * (1 - 1e-12)) << int(system) << ' ' << hkl.h << hkl.k << hkl.l;
          ++checked;
        }
      }
    }
    EXPECT_EQ(checked, 300 * 20 * 10);
  }
}

// Boxes of every size around the true parameters, placed at random, pass the test on
// lines with position errors, a zero error and impurity lines.
TEST(DichotomyBounds, BoxOfTheTrueCellSurvives) {
  Random r{31};
  const struct {
    const char* symbol;
    S system;
  } types[] = {{"cP", S::Cubic}, {"tI", S::Tetragonal}, {"hR", S::Hexagonal},
               {"oP", S::Orthorhombic}, {"oC", S::Orthorhombic}, {"mP", S::Monoclinic},
               {"mC", S::Monoclinic}};
  DichotomySettings settings;
  settings.impurities = 3;
  settings.zero_range = 0.1;
  for (const auto& t : types) {
    const BravaisType& type = *std::find_if(bravais_types().begin(), bravais_types().end(),
                                            [&](const BravaisType& b) { return b.symbol == t.symbol; });
    for (int sample = 0; sample < 5; ++sample) {
      const Sample s = random_sample(type, 20, r);
      const Lines lines = make_lines(s.two_theta, kCuKa1);
      const CellParams& c = s.cell;
      std::array<double, 4> truth{};
      switch (t.system) {
        case S::Cubic: truth = {c.a}; break;
        case S::Tetragonal: case S::Hexagonal: truth = {c.a, c.c}; break;
        case S::Orthorhombic: truth = {c.a, c.b, c.c}; break;
        default: truth = {c.a, c.b, c.c, c.beta}; break;
      }
      for (int level = 0; level <= 5; ++level) {
        ParameterBox box;
        for (int i = 0; i < box_parameter_count(t.system); ++i) {
          const double width = (t.system == S::Monoclinic && i == 3 ? 5.0 : 0.4) / (1 << level);
          box.lo[i] = truth[i] - r.uniform() * width;
          box.hi[i] = box.lo[i] + width;
        }
        EXPECT_TRUE(box_survives(t.system, box, lines, {}, settings))
            << t.symbol << " sample " << sample << " level " << level;
      }
    }
  }
}

// Lists whose space groups extinguish the lines of one or more basis vectors (so that
// a zone search finds no basis among the first lines), with zero errors and impurity
// lines: the dichotomy finds the true cell, ranked first, and its zero; but not when the
// list has more impurity lines than allowed.
TEST(Dichotomy, FindsCellsWhoseBasisLinesAreAbsent) {
  const struct {
    const char* what;
    S system;
    CellParams cell;
    Centring centring;
    Absent absent;
    double zero;
    int impurities;
    double min_volume, max_volume;
    int allowed = 2;
    bool found = true;
  } cases[] = {
      {"P2_1/c, no 100 001 010", S::Monoclinic, {10.2, 7.4, 14.1, 90, 103, 90}, Centring::P,
       [](int h, int k, int l) { return (k == 0 && odd(l)) || (h == 0 && l == 0 && odd(k)); },
       0.1, 1, 900, 1200},
      {"P2_12_12_1, no 100 010 001", S::Orthorhombic, {6.3, 9.8, 13.7, 90, 90, 90}, Centring::P,
       [](int h, int k, int l) {
         const int zeros = (h == 0) + (k == 0) + (l == 0);
         return zeros == 2 && odd(h + k + l);
       },
       -0.1, 2, 0, 2000},
      {"P2_12_12_1 with an impurity line too many", S::Orthorhombic, {6.3, 9.8, 13.7, 90, 90, 90},
       Centring::P,
       [](int h, int k, int l) {
         const int zeros = (h == 0) + (k == 0) + (l == 0);
         return zeros == 2 && odd(h + k + l);
       },
       -0.1, 2, 0, 2000, 1, false},
      {"P6_3/m, no 001", S::Hexagonal, {9.1, 9.1, 6.4, 90, 90, 120}, Centring::P,
       [](int h, int k, int l) { return h == 0 && k == 0 && odd(l); }, 0.08, 1, 0, 3000},
      {"I4_1/a, no 101 110 002", S::Tetragonal, {7.2, 7.2, 11.9, 90, 90, 90}, Centring::I,
       [](int h, int k, int l) { return (l == 0 && odd(h)) || (h == 0 && k == 0 && l % 4 != 0); },
       -0.05, 2, 0, 3000},
      {"Fd-3m, no 200", S::Cubic, {10.8, 10.8, 10.8, 90, 90, 90}, Centring::F,
       [](int h, int k, int l) {
         // 0kl with k + l != 4n, in any order of the indices.
         return (h == 0 && (k + l) % 4 != 0) || (k == 0 && (h + l) % 4 != 0) ||
                (l == 0 && (h + k) % 4 != 0);
       },
       0.1, 1, 0, 3000},
  };
  Random r{123};
  for (const auto& c : cases) {
    const Sample s = lines_of_group(c.cell, c.centring, c.absent, 20, 0.02, c.zero, c.impurities, r);
    DichotomySettings settings;
    settings.systems = {c.system};
    settings.min_volume = c.min_volume;
    settings.max_volume = c.max_volume;
    settings.max_axis = 15;
    settings.impurities = c.allowed;
    settings.threads = 2;
    const auto t0 = std::chrono::steady_clock::now();
    const DichotomyResult res = dichotomy_search(make_lines(s.two_theta, kCuKa1), {}, settings);
    size_t rank = 0;
    EXPECT_FALSE(res.stopped) << c.what;
    EXPECT_DOUBLE_EQ(res.covered, 1) << c.what;
    if (!c.found) {
      EXPECT_FALSE(finds(res, c.cell)) << c.what;
      for (const DichotomyCell& cell : res.cells)
        EXPECT_GE(cell.fit.indexed_count, 21) << c.what;  // 22 lines, one left aside at most
      continue;
    }
    ASSERT_TRUE(finds(res, c.cell, &rank)) << c.what << ": " << res.cells.size() << " cells";
    EXPECT_EQ(rank, 0u) << c.what;
    const DichotomyCell& best = res.cells[rank];
    EXPECT_NEAR(best.zero, c.zero, 0.03) << c.what;
    EXPECT_GE(best.fit.indexed_count, 20) << c.what;  // every line of the cell
    EXPECT_LT(seconds_since(t0), 30) << c.what;
  }
}

// The search's result does not depend on the threads.
TEST(Dichotomy, SameCellsOnAnyNumberOfThreads) {
  Random r{8};
  const BravaisType& op = *std::find_if(bravais_types().begin(), bravais_types().end(),
                                        [](const BravaisType& b) { return b.symbol == "oP"; });
  const Sample s = random_sample(op, 20, r);
  const Lines lines = make_lines(s.two_theta, kCuKa1);
  DichotomySettings one;
  one.systems = {S::Tetragonal, S::Orthorhombic};
  DichotomySettings three = one;
  three.threads = 3;
  const DichotomyResult a = dichotomy_search(lines, {}, one), b = dichotomy_search(lines, {}, three);
  EXPECT_TRUE(finds(a, s.cell));
  EXPECT_EQ(a.boxes, b.boxes);
  ASSERT_EQ(a.cells.size(), b.cells.size());
  for (size_t i = 0; i < a.cells.size(); ++i) {
    EXPECT_EQ(a.cells[i].m20, b.cells[i].m20);
    EXPECT_EQ(a.cells[i].cell.a, b.cells[i].cell.a);
    EXPECT_EQ(a.cells[i].zero, b.cells[i].zero);
  }
}

// A search that would take many seconds (monoclinic up to 3000 Å³ on a triclinic list,
// which no cell indexes) stops soon after its deadline or the cancel request, says so,
// and has covered part of the range only.
TEST(Dichotomy, DeadlineAndCancelStopItEarly) {
  Random r{99};
  const Sample s = random_sample(bravais_types().back(), 20, r);  // aP
  const Lines lines = make_lines(s.two_theta, kCuKa1);
  std::atomic<bool> cancel{false};
  const struct {
    const char* what;
    double deadline_s;  // from the start
    double cancel_after_s;
  } cases[] = {
      {"deadline before the start", -1, 100},
      {"deadline during the search", 0.3, 100},
      {"cancelled during the search", 100, 0.3},
      {"cancelled before the start", 100, 0},
  };
  for (const auto& c : cases) {
    DichotomySettings settings;
    settings.systems = {S::Monoclinic};
    settings.max_volume = 3000;
    settings.threads = 2;
    settings.cancel = &cancel;
    cancel = c.cancel_after_s == 0;
    const auto t0 = std::chrono::steady_clock::now();
    settings.deadline = t0 + std::chrono::milliseconds(static_cast<long>(c.deadline_s * 1000));
    std::atomic<bool> finished{false};
    std::thread canceller([&] {
      while (!finished && seconds_since(t0) < c.cancel_after_s)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!finished) cancel = true;
    });
    const DichotomyResult res = dichotomy_search(lines, {}, settings);
    const double took = seconds_since(t0);
    finished = true;
    canceller.join();
    EXPECT_TRUE(res.stopped) << c.what;
    EXPECT_LT(res.covered, 1) << c.what;
    EXPECT_LT(took, std::max(0.0, std::min(c.deadline_s, c.cancel_after_s)) + 0.5) << c.what;
  }
}

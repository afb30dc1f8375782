// Reflection generation: enumeration, extinction test, duplicates, forbidden merge, the
// candidate limit, and an independent check of the extinctions against gemmi.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "calc_fixtures.hpp"
#include "core/cell.hpp"
#include "core/reflections.hpp"
#include "core/symmetry.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace vornax::testing;

namespace {

SymmetryOperator identity() {
  SymmetryOperator op;
  op.rows[0] = {1, 0, 0, 0};
  op.rows[1] = {0, 1, 0, 0};
  op.rows[2] = {0, 0, 1, 0};
  return op;
}

WorkSession session(const char* system, const char* symbol, CellParameters cell, double lambda,
                    double tt_min, double tt_max, std::vector<SymmetryOperator> ops) {
  WorkSession s;
  s.system = system;
  s.symbol = symbol;
  s.lattice_letter = symbol[0];
  s.cell = cell;
  s.wavelengths.lambda = lambda;
  s.window_min = tt_min;
  s.window_max = tt_max;
  s.operators = std::move(ops);
  return s;
}

bool contains(const CalculatedReflectionList& l, int h, int k, int l_) {
  return std::any_of(l.begin(), l.end(),
                     [&](const CalculatedReflection& r) { return r.h == h && r.k == k && r.l == l_; });
}

const CellParameters kCubic4{4, 4, 4, 90, 90, 90};

}  // namespace

TEST(Reflections, CubicA4WithoutExtinctionsGivesSixReflections) {
  auto s = session("CUBI", "P M -3 M", kCubic4, 1.5406, 0, 60, {identity()});
  compute_reciprocal(s);
  const double smax = 2 * std::sin(60 * kHalfDegToRad) / 1.5406;
  const IndexLimits lim = index_limits(s.B, smax);
  EXPECT_EQ(lim.h, 4);
  EXPECT_EQ(lim.k, 4);
  EXPECT_EQ(lim.l, 4);

  RecordingMessages m;
  s.show_forbidden = true;
  generate_allowed_reflections(s, m);
  EXPECT_TRUE(m.empty());
  EXPECT_FALSE(s.show_forbidden);
  const double d[] = {4, 2.82843, 2.3094, 2, 1.78885, 1.63299};
  const double tt[] = {22.206, 31.607, 38.969, 45.306, 51.013, 56.291};
  ASSERT_EQ(s.allowed_count(), 6);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(s.allowed[i].d, d[i], 1e-5) << i;
    EXPECT_NEAR(s.allowed[i].two_theta, tt[i], 1e-3) << i;
    EXPECT_EQ(s.allowed[i].mark, 0);
  }
}

TEST(Reflections, EmptyOperatorTableLeavesNothingAllowed) {
  auto s = session("CUBI", "P M -3 M", kCubic4, 1.5406, 0, 60, {});
  RecordingMessages m;
  generate_allowed_reflections(s, m);
  EXPECT_EQ(s.allowed_count(), 0);
  EXPECT_TRUE(structure_factor_vanishes({}, 1, 0, 0));
}

TEST(Reflections, TriclinicKeepsBothHk0AndMinusHMinusK0) {
  auto s = session("TRIC", "P 1", {5.1, 6.2, 7.3, 81, 97, 103}, 1.5406, 0, 40, {identity()});
  RecordingMessages m;
  generate_allowed_reflections(s, m);
  EXPECT_TRUE(contains(s.allowed, 1, 1, 0));
  EXPECT_TRUE(contains(s.allowed, -1, -1, 0));
  EXPECT_TRUE(contains(s.allowed, 1, -1, 0));
  EXPECT_TRUE(contains(s.allowed, -1, 1, 0));
  EXPECT_FALSE(contains(s.allowed, 0, 0, 0));
  for (size_t i = 1; i < s.allowed.size(); ++i) EXPECT_GE(s.allowed[i - 1].d, s.allowed[i].d);
}

TEST(Reflections, RhombohedralInHexagonalAxesExchangesHAndK) {
  const auto& sg = gemmi_group("R 3:H");
  auto ops = gemmi_sym_ops(sg);
  add_lattice_centring(ops, 'R', "HEXA");
  auto s = session("HEXA", "R 3", {4.9, 4.9, 13.6, 90, 90, 120}, 1.5406, 0, 60, ops);

  struct Case {
    int h, k, l;
    bool extinct;
    int h_out, k_out;
  };
  const Case cases[] = {
      {1, 2, 1, false, 2, 1},  // h-k+l = 0: exchanged
      {0, 1, 2, false, 0, 1},  // -h+k+l = 3 only: kept as it is
      {1, 0, 2, false, 0, 1},  // h-k+l = 3: exchanged
      {1, 1, 1, true, 1, 1},   // neither
      {1, 1, 3, false, 1, 1},  // both: exchange of equal h and k
  };
  for (const auto& c : cases) {
    int h = c.h, k = c.k, l = c.l;
    EXPECT_EQ(is_extinct(s, h, k, l), c.extinct) << c.h << c.k << c.l;
    EXPECT_EQ(h, c.h_out) << c.h << c.k << c.l;
    EXPECT_EQ(k, c.k_out) << c.h << c.k << c.l;
  }

  RecordingMessages m;
  generate_allowed_reflections(s, m);
  EXPECT_TRUE(contains(s.allowed, 2, 1, 1));   // enumerated as 1 2 1
  EXPECT_FALSE(contains(s.allowed, 1, 2, 1));
  EXPECT_EQ(s.lattice_letter, 'P');

  // The same symbol in rhombohedral axes has no lattice condition.
  auto r = session("RHOM", "R 3", {5.5, 5.5, 5.5, 55, 55, 55}, 1.5406, 0, 60, {identity()});
  int h = 1, k = 0, l = 0;
  EXPECT_FALSE(is_extinct(r, h, k, l));
}

TEST(Reflections, LatticeLettersAndScrewAxis) {
  struct Case {
    char letter;
    int h, k, l;
    bool extinct;
  };
  const Case cases[] = {
      {'P', 1, 0, 0, false}, {'A', 0, 1, 0, true},  {'A', 1, 1, 1, false}, {'B', 1, 0, 0, true},
      {'B', 1, 1, 1, false}, {'C', 1, 0, 0, true},  {'C', -1, 1, 0, false}, {'I', 1, 0, 0, true},
      {'I', 1, 1, 0, false}, {'F', 1, 1, 0, true},  {'F', -1, 1, 1, false}, {'F', 2, 0, 0, false},
      {'X', 1, 1, 1, true},
  };
  for (const auto& c : cases) {
    auto s = session("ORTH", "P", {4, 5, 6, 90, 90, 90}, 1.5, 0, 60, {identity()});
    s.lattice_letter = c.letter;
    int h = c.h, k = c.k, l = c.l;
    EXPECT_EQ(is_extinct(s, h, k, l), c.extinct) << c.letter << c.h << c.k << c.l;
  }
  // 2_1 along c: 0 0 l with l odd vanishes, other l and general reflections do not.
  SymmetryOperator screw;
  screw.rows[0] = {-1, 0, 0, 0};
  screw.rows[1] = {0, -1, 0, 0};
  screw.rows[2] = {0, 0, 1, 0.5};
  const std::vector<SymmetryOperator> p21 = {identity(), screw};
  EXPECT_TRUE(structure_factor_vanishes(p21, 0, 0, 1));
  EXPECT_TRUE(structure_factor_vanishes(p21, 0, 0, -3));
  EXPECT_FALSE(structure_factor_vanishes(p21, 0, 0, 2));
  EXPECT_FALSE(structure_factor_vanishes(p21, 1, 0, 1));
  int h = 0, k = 0, l = 0;
  auto s = session("ORTH", "P", {4, 5, 6, 90, 90, 90}, 1.5, 0, 60, p21);
  EXPECT_TRUE(is_extinct(s, h, k, l));
}

TEST(Reflections, NoExtinctionEntryIsTestedAsPrimitive) {
  auto s = session("CUBI", "NO EXT.", kCubic4, 1.5406, 0, 60, {identity()});
  RecordingMessages m;
  generate_allowed_reflections(s, m);
  EXPECT_EQ(s.allowed_count(), 6);
}

TEST(Reflections, RoundHalfEven) {
  const std::pair<double, long long> cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4},
                                                {2.4999, 2}, {2.5001, 3}, {-0.5, 0}, {0, 0}};
  for (auto [x, r] : cases) EXPECT_EQ(round_half_even(x), r) << x;
}

TEST(Reflections, EquivalenceMatricesPerSystem) {
  struct Case {
    const char* sys;
    std::array<int, 6> pair;
    bool equivalent;
  };
  const Case cases[] = {
      {"CUBI", {1, 0, 2, 2, 1, 0}, true},   {"CUBI", {1, 0, 2, 0, 2, 1}, true},
      {"CUBI", {1, 0, 2, -1, 0, -2}, false},  // the identity is not used
      {"CUBI", {1, 2, 3, -3, -2, -1}, true}, {"CUBI", {1, 1, 2, 1, 2, 2}, false},
      {"RHOM", {1, 0, 0, 0, 1, 0}, true},   {"RHOM", {1, 0, -1, -1, 0, 1}, true},
      {"TETR", {1, 2, 3, 2, 1, 3}, true},   {"TETR", {1, 2, 3, -2, -1, -3}, true},
      {"TETR", {1, 2, 3, 1, -2, 3}, false}, {"HEXA", {1, 2, 3, 2, 1, 3}, true},
      {"HEXA", {1, 2, 3, 1, 2, -3}, false}, {"MONO", {1, 2, 3, -1, 2, -3}, true},
      {"MONO", {1, 2, 3, 1, -2, 3}, true},  {"MONO", {1, 2, 3, -1, 2, 3}, false},
      {"ORTH", {1, 2, 3, 2, 1, 3}, false},  {"TRIC", {1, 2, 3, -1, -2, -3}, false},
  };
  for (const auto& c : cases) {
    const auto& p = c.pair;
    EXPECT_EQ(are_equivalent(c.sys, p[0], p[1], p[2], p[3], p[4], p[5]), c.equivalent)
        << c.sys << " " << p[0] << p[1] << p[2] << " / " << p[3] << p[4] << p[5];
  }
}

TEST(Reflections, LowerWindowEdgeExcludesLowAngles) {
  auto all = session("CUBI", "P M -3 M", kCubic4, 1.5406, 0, 60, {identity()});
  auto cut = all;
  cut.window_min = 35;
  RecordingMessages m;
  generate_allowed_reflections(all, m);
  generate_allowed_reflections(cut, m);
  ASSERT_EQ(cut.allowed_count(), 4);
  EXPECT_NEAR(cut.allowed[0].two_theta, 38.969, 1e-3);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(cut.allowed[i].d, all.allowed[i + 2].d);
}

TEST(Reflections, CandidateLimitEmptiesTheList) {
  // A large triclinic cell: the window below holds far more than 9998 reflections.
  auto s = session("TRIC", "P 1", {20.1, 21.2, 22.3, 81, 97, 103}, 1.5406, 0, 90, {identity()});
  s.allowed.push_back({});
  RecordingMessages m;
  generate_allowed_reflections(s, m);
  EXPECT_EQ(s.allowed_count(), 0);
  ASSERT_EQ(m.texts().size(), 1u);
  EXPECT_EQ(m.texts()[0], kTooManyReflections);

  // Narrower: fewer candidates, no message.
  s.window_max = 40;
  m.clear();
  generate_allowed_reflections(s, m);
  EXPECT_TRUE(m.empty());
  EXPECT_GT(s.allowed_count(), 1000);
  EXPECT_LE(s.allowed_count(), kMaxCandidates);

  m.clear();
  s.window_max = 90;
  generate_forbidden_reflections(s, m);
  EXPECT_TRUE(m.empty());  // nothing is forbidden in P 1: no candidates at all
}

TEST(Reflections, DegenerateCellGivesAMessageNotGarbage) {
  // Angles whose cosines make the volume imaginary.
  auto s = session("TRIC", "P 1", {5, 5, 5, 130, 130, 130}, 1.5406, 0, 60, {identity()});
  RecordingMessages m;
  generate_allowed_reflections(s, m);
  EXPECT_EQ(s.allowed_count(), 0);
  ASSERT_EQ(m.texts().size(), 1u);
  EXPECT_EQ(m.texts()[0], "Cell parameters error!");
}

TEST(Reflections, ForbiddenListMergesEqualDAndPrefersPositiveIndices) {
  // F-centred cubic cell: 1 0 0, 1 1 0, 2 1 0, 2 1 1 ... are forbidden by the lattice.
  auto ops = std::vector<SymmetryOperator>{identity()};
  add_lattice_centring(ops, 'F', "CUBI");
  auto s = session("CUBI", "F M -3 M", kCubic4, 1.5406, 0, 60, ops);
  RecordingMessages m;
  generate_allowed_reflections(s, m);
  ASSERT_EQ(s.allowed_count(), 2);  // 1 1 1 and 2 0 0
  generate_forbidden_reflections(s, m);
  EXPECT_EQ(s.allowed_count(), 2);
  const double d[] = {4, 2.82843, 1.78885, 1.63299};
  ASSERT_EQ(s.forbidden.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(s.forbidden[i].d, d[i], 1e-5);
    EXPECT_EQ(s.forbidden[i].mark, 1);
    EXPECT_GE(s.forbidden[i].h, 0);
    EXPECT_GE(s.forbidden[i].k, 0);
    EXPECT_GE(s.forbidden[i].l, 0);
  }

  // Triclinic, P-centred but with a lattice letter excluding h+k odd: the forbidden
  // 1 0 0 and -1 0 0 share d and become one record named by the positive triple.
  auto t = session("TRIC", "C 1", {5.1, 6.2, 7.3, 81, 97, 103}, 1.5406, 0, 40, {identity()});
  generate_forbidden_reflections(t, m);
  EXPECT_TRUE(contains(t.forbidden, 1, 0, 0));
  EXPECT_FALSE(contains(t.forbidden, -1, 0, 0));
}

// ---------------------------------------------------------------------------------
// Independent check against gemmi's own extinction rules.

namespace {

using Hkl = std::array<int, 3>;
using Mat = std::array<std::array<int, 3>, 3>;

Hkl apply(const Mat& m, const Hkl& v) {
  Hkl r{};
  for (size_t i = 0; i < 3; ++i) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
  return r;
}

Mat product(const Mat& a, const Mat& b) {
  Mat r{};
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j < 3; ++j)
      for (size_t k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
  return r;
}

// The point group of the lattice (with the inversion) acting on h k l: reflections
// related by it have the same d for any cell of the system.
std::vector<Mat> holohedry(const std::string& sys) {
  const Mat inv{{{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}}};
  const Mat swap_hk{{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}};
  const Mat neg_h{{{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  const Mat neg_l{{{1, 0, 0}, {0, 1, 0}, {0, 0, -1}}};
  const Mat cyclic{{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}};
  const Mat six{{{1, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};
  const Mat two_b{{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}};
  std::vector<Mat> gens{inv};
  if (sys == "CUBI") gens.insert(gens.end(), {swap_hk, neg_h, cyclic});
  else if (sys == "TETR") gens.insert(gens.end(), {swap_hk, neg_h, neg_l});
  else if (sys == "ORTH") gens.insert(gens.end(), {neg_h, neg_l});
  else if (sys == "HEXA") gens.insert(gens.end(), {six, swap_hk, neg_l});
  else if (sys == "RHOM") gens.insert(gens.end(), {swap_hk, cyclic});
  else if (sys == "MONO") gens.push_back(two_b);
  std::vector<Mat> group{Mat{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}};
  for (size_t i = 0; i < group.size(); ++i)
    for (const Mat& g : gens) {
      Mat p = product(group[i], g);
      if (std::find(group.begin(), group.end(), p) == group.end()) group.push_back(p);
    }
  return group;
}

Hkl class_key(const std::vector<Mat>& group, const Hkl& v) {
  Hkl best = v;
  for (const Mat& g : group) best = std::min(best, apply(g, v));
  return best;
}

struct GroupCase {
  const char* gemmi_name;
  const char* system;
  CellParameters cell;
};

const CellParameters kCub{10.3, 10.3, 10.3, 90, 90, 90};
const CellParameters kTet{4.3, 4.3, 7.7, 90, 90, 90};
const CellParameters kOrt{4.1, 5.3, 6.7, 90, 90, 90};
const CellParameters kHex{4.8, 4.8, 13.1, 90, 90, 120};
const CellParameters kRho{5.5, 5.5, 5.5, 55.3, 55.3, 55.3};
const CellParameters kMon{5.1, 6.2, 7.3, 90, 103.7, 90};
const CellParameters kTri{5.1, 6.2, 7.3, 81, 97, 103};

const GroupCase kGroups[] = {
    {"P 1", "TRIC", kTri},          {"P -1", "TRIC", kTri},
    {"P 1 2 1", "MONO", kMon},      {"P 1 21 1", "MONO", kMon},
    {"C 1 2 1", "MONO", kMon},      {"P 1 c 1", "MONO", kMon},
    {"P 1 21/c 1", "MONO", kMon},   {"C 1 2/c 1", "MONO", kMon},
    {"I 1 2/a 1", "MONO", kMon},    {"A 1 2/a 1", "MONO", kMon},
    {"P 1 21/m 1", "MONO", kMon},   {"P 2 2 2", "ORTH", kOrt},
    {"P 21 21 21", "ORTH", kOrt},   {"P n m a", "ORTH", kOrt},
    {"P b c a", "ORTH", kOrt},      {"C m c m", "ORTH", kOrt},
    {"C m c e", "ORTH", kOrt},      {"F d d d:1", "ORTH", kOrt},
    {"F m m 2", "ORTH", kOrt},      {"I b a m", "ORTH", kOrt},
    {"I m m a", "ORTH", kOrt},      {"A m a 2", "ORTH", kOrt},
    {"B m a b", "ORTH", kOrt},      {"P n n n:1", "ORTH", kOrt},
    {"P 4", "TETR", kTet},          {"P 42/n:2", "TETR", kTet},
    {"P 4/n b m:1", "TETR", kTet},  {"I 41/a m d:1", "TETR", kTet},
    {"I 41/a c d:2", "TETR", kTet}, {"P 42/m n m", "TETR", kTet},
    {"P 4/m c c", "TETR", kTet},    {"P -4 21 c", "TETR", kTet},
    {"I -4 2 d", "TETR", kTet},     {"P 6", "HEXA", kHex},
    {"P 63/m m c", "HEXA", kHex},   {"P 63/m c m", "HEXA", kHex},
    {"P 6/m c c", "HEXA", kHex},    {"P 31 2 1", "HEXA", kHex},
    {"P 63 2 2", "HEXA", kHex},     {"R 3:H", "HEXA", kHex},
    {"P -3 c 1", "HEXA", kHex},     {"P -3 1 c", "HEXA", kHex},
    {"P 31 1 2", "HEXA", kHex},     {"P 62 2 2", "HEXA", kHex},
    {"R -3 c:H", "HEXA", kHex},     {"R -3 m:H", "HEXA", kHex},
    {"R 3 c:H", "HEXA", kHex},      {"R 3:R", "RHOM", kRho},
    {"R -3 c:R", "RHOM", kRho},     {"R 3 c:R", "RHOM", kRho},
    {"R -3 m:R", "RHOM", kRho},     {"P m -3 m", "CUBI", kCub},
    {"F m -3 m", "CUBI", kCub},     {"F d -3 m:1", "CUBI", kCub},
    {"F d -3 m:2", "CUBI", kCub},   {"I a -3 d", "CUBI", kCub},
    {"P a -3", "CUBI", kCub},       {"I a -3", "CUBI", kCub},
    {"F d -3 c:1", "CUBI", kCub},   {"P n -3 n:1", "CUBI", kCub},
    {"P 21 3", "CUBI", kCub},       {"I 41 3 2", "CUBI", kCub},
    {"P 43 3 2", "CUBI", kCub},     {"F -4 3 c", "CUBI", kCub},
    {"I -4 3 d", "CUBI", kCub},     {"P m -3 n", "CUBI", kCub},
};

}  // namespace

TEST(ReflectionsVersusGemmi, AllowedReflectionsMatchSystematicAbsences) {
  constexpr double kLambda = 1.5406, kMaxTwoTheta = 100;
  std::set<std::string> letters, systems;
  for (const auto& gc : kGroups) {
    const auto& sg = gemmi_group(gc.gemmi_name);
    const gemmi::GroupOps gops = sg.operations();
    const std::string symbol = to_upper(sg.hm);

    WorkSession s;
    s.system = gc.system;
    s.symbol = symbol;
    s.lattice_letter = symbol_lattice_letter(s.symbol, s.system);
    s.operators = gemmi_sym_ops(sg);
    add_lattice_centring(s.operators, s.lattice_letter, s.system);
    ASSERT_EQ(s.operators.size(), gops.sym_ops.size() * gops.cen_ops.size()) << gc.gemmi_name;
    s.cell = gc.cell;
    s.wavelengths.lambda = kLambda;
    s.window_max = kMaxTwoTheta;
    letters.insert(std::string(1, symbol[0]));
    systems.insert(gc.system);

    RecordingMessages m;
    generate_allowed_reflections(s, m);
    ASSERT_TRUE(m.empty()) << gc.gemmi_name;
    ASSERT_GT(s.allowed_count(), 5) << gc.gemmi_name;

    const auto group = holohedry(gc.system);
    std::set<Hkl> ours, theirs;
    for (const auto& r : s.allowed) {
      const Hkl v{r.h, r.k, r.l};
      EXPECT_FALSE(gops.is_systematically_absent(v))
          << gc.gemmi_name << ": " << r.h << " " << r.k << " " << r.l << " is absent";
      ours.insert(class_key(group, v));
    }

    compute_reciprocal(s);
    const double smax = 2 * std::sin(kMaxTwoTheta * kHalfDegToRad) / kLambda;
    const IndexLimits lim = index_limits(s.B, smax);
    const int n = static_cast<int>(std::max({lim.h, lim.k, lim.l})) + 2;
    for (int h = -n; h <= n; ++h)
      for (int k = -n; k <= n; ++k)
        for (int l = -n; l <= n; ++l) {
          if (h == 0 && k == 0 && l == 0) continue;
          if (inverse_d_squared(s.B, h, k, l) > smax * smax) continue;
          if (gops.is_systematically_absent({h, k, l})) continue;
          theirs.insert(class_key(group, {h, k, l}));
        }
    std::vector<Hkl> missing, extra;
    std::set_difference(theirs.begin(), theirs.end(), ours.begin(), ours.end(),
                        std::back_inserter(missing));
    std::set_difference(ours.begin(), ours.end(), theirs.begin(), theirs.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << gc.gemmi_name << ": " << missing.size()
                                 << " classes missing, first " << missing[0][0] << " "
                                 << missing[0][1] << " " << missing[0][2];
    EXPECT_TRUE(extra.empty()) << gc.gemmi_name << ": " << extra.size() << " extra classes";
  }
  EXPECT_GE(std::size(kGroups), 40u);
  EXPECT_EQ(letters, (std::set<std::string>{"A", "B", "C", "F", "I", "P", "R"}));
  EXPECT_EQ(systems.size(), 7u);
}

// ---------------------------------------------------------------------------------
// The generators against the procedure written out literally, without the shortcuts
// of the real code (lattice test split from the structure factor, early end of the
// duplicate scan): same records in the same order, ties included.

namespace {

struct LiteralCandidate {
  int h, k, l;
  double d;
};

std::vector<LiteralCandidate> literal_candidates(WorkSession& s, bool allowed) {
  s.lattice_letter = s.symbol[0];
  if (s.system == (allowed ? "HEXA" : "RHOM")) s.lattice_letter = 'P';
  compute_reciprocal(s);
  const double lambda = s.wavelengths.lambda;
  const double smax = 2 * std::sin(s.window_max * kHalfDegToRad) / lambda;
  const double slo = 2 * std::sin(s.window_min * kHalfDegToRad) / lambda;
  const IndexLimits lim = index_limits(s.B, smax);
  const int hm = static_cast<int>(lim.h), km = static_cast<int>(lim.k),
            lm = static_cast<int>(lim.l);
  std::vector<LiteralCandidate> c;
  auto visit = [&](int h, int k, int l) {
    const bool extinct = is_extinct(s, h, k, l);
    if (extinct == allowed || (h == 0 && k == 0 && l == 0)) return;
    const double q = inverse_d_squared(s.B, h, k, l);
    if (q < slo * slo || q > smax * smax) return;
    c.push_back({h, k, l, 1 / std::sqrt(q)});
  };
  const std::string& sys = s.system;
  if (sys == "CUBI") {
    for (int h = 0; h <= hm; ++h)
      for (int k = 0; k <= km; ++k)
        for (int l = k; l <= lm; ++l) visit(h, k, l);
  } else if (sys == "TETR" || sys == "ORTH") {
    for (int h = 0; h <= hm; ++h)
      for (int k = 0; k <= km; ++k)
        for (int l = 0; l <= lm; ++l) visit(h, k, l);
  } else if (sys == "HEXA") {
    for (int h = 0; h <= hm; ++h)
      for (int k = h; k <= km; ++k)
        for (int l = 0; l <= lm; ++l) visit(h, k, l);
  } else if (sys == "RHOM") {
    for (int h = 0; h <= hm; ++h)
      for (int k = h; k <= hm; ++k)
        for (int l = -hm; l <= hm; ++l)
          if (!(h == 0 && k == 0 && l == 0) && !(l >= 0 && (l < h || l < k))) visit(h, k, l);
  } else if (sys == "MONO") {
    for (int i = 0; i <= 2 * hm; ++i)
      for (int k = 0; k <= km; ++k)
        for (int l = 0; l <= lm; ++l) visit(allowed ? hm - i : -hm + i, k, l);
  } else if (sys == "TRIC") {
    for (int h = -hm; h <= hm; ++h)
      for (int k = -km; k <= km; ++k)
        for (int l = 0; l <= lm; ++l) visit(h, k, l);
  }
  for (size_t i = 0; i + 1 < c.size(); ++i)
    for (size_t j = i + 1; j < c.size(); ++j)
      if (c[i].d < c[j].d) std::swap(c[i], c[j]);
  return c;
}

CalculatedReflectionList literal_allowed(WorkSession s) {
  auto c = literal_candidates(s, true);
  const size_t n = c.size();
  for (size_t i = 0; i + 1 < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (c[j].d != 0 && std::fabs(c[i].d - c[j].d) < 0.0001 &&
          are_equivalent(s.system, c[i].h, c[i].k, c[i].l, c[j].h, c[j].k, c[j].l))
        c[j].d = 0;
  CalculatedReflectionList out;
  for (const auto& x : c)
    if (x.d != 0)
      out.push_back({x.h, x.k, x.l, 0, x.d, two_theta_from_d(x.d, s.wavelengths.lambda)});
  return out;
}

CalculatedReflectionList literal_forbidden(WorkSession s) {
  auto c = literal_candidates(s, false);
  CalculatedReflectionList out;
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i].d == 0) continue;
    std::array<int, 3> rep{c[i].h, c[i].k, c[i].l};
    for (size_t j = i + 1; j < c.size(); ++j) {
      if (c[j].d == 0) continue;
      if (std::fabs(c[i].d - c[j].d) > 0.0001) break;
      if (c[j].h >= 0 && c[j].k >= 0 && c[j].l >= 0) rep = {c[j].h, c[j].k, c[j].l};
      c[j].d = 0;
    }
    out.push_back({rep[0], rep[1], rep[2], 1, c[i].d,
                   two_theta_from_d(c[i].d, s.wavelengths.lambda)});
  }
  return out;
}

bool same_records(const CalculatedReflectionList& a, const CalculatedReflectionList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].h != b[i].h || a[i].k != b[i].k || a[i].l != b[i].l || a[i].mark != b[i].mark ||
        a[i].d != b[i].d || a[i].two_theta != b[i].two_theta)
      return false;
  return true;
}

}  // namespace

TEST(Reflections, GeneratorsFollowTheLiteralProcedure) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> unit(0, 1);
  int compared = 0;
  for (const auto& gc : kGroups) {
    const auto& sg = gemmi_group(gc.gemmi_name);
    for (int variant = 0; variant < 2; ++variant) {
      WorkSession s;
      s.system = gc.system;
      s.symbol = to_upper(sg.hm);
      s.operators = gemmi_sym_ops(sg);
      add_lattice_centring(s.operators, symbol_lattice_letter(s.symbol, s.system), s.system);
      // Variant 0 keeps the cell (many exactly equal d), variant 1 stretches it.
      const double f = variant == 0 ? 1.0 : 0.7 + 0.6 * unit(rng);
      s.cell = gc.cell;
      s.cell.a *= f;
      s.cell.b *= f;
      s.cell.c *= f;
      s.wavelengths.lambda = 0.8 + 1.4 * unit(rng);
      s.window_min = variant == 0 ? 0 : 30 * unit(rng);
      s.window_max = s.window_min + 20 + 60 * unit(rng);

      const auto want_allowed = literal_allowed(s);
      const auto want_forbidden = literal_forbidden(s);
      RecordingMessages m;
      generate_allowed_reflections(s, m);
      generate_forbidden_reflections(s, m);
      ASSERT_TRUE(m.empty()) << gc.gemmi_name;
      EXPECT_TRUE(same_records(s.allowed, want_allowed))
          << gc.gemmi_name << " variant " << variant << ": " << s.allowed.size() << " vs "
          << want_allowed.size();
      EXPECT_TRUE(same_records(s.forbidden, want_forbidden))
          << gc.gemmi_name << " variant " << variant << ": " << s.forbidden.size() << " vs "
          << want_forbidden.size();
      ++compared;
    }
  }
  EXPECT_EQ(compared, 2 * static_cast<int>(std::size(kGroups)));
}

TEST(Reflections, CandidateLimitIsReachedAtThe9999thCandidate) {
  // P 1 in a large triclinic cell: every lattice point of the half space l >= 0 (and of
  // the plane l = 0 on both sides) is a candidate. The lower window edge is put between
  // two neighbouring 1/d² so that exactly 9998, then 9999, candidates remain.
  auto s = session("TRIC", "P 1", {20.1, 21.2, 22.3, 81, 97, 103}, 1.5406, 0, 80, {identity()});
  compute_reciprocal(s);
  const double smax = 2 * std::sin(s.window_max * kHalfDegToRad) / 1.5406;
  std::vector<double> q;
  const int n = 40;  // well beyond the generator's index limits for this window
  for (int h = -n; h <= n; ++h)
    for (int k = -n; k <= n; ++k)
      for (int l = 0; l <= n; ++l) {
        if (l == 0 && h == 0 && k == 0) continue;
        const double v = inverse_d_squared(s.B, h, k, l);
        if (v <= smax * smax) q.push_back(v);
      }
  std::sort(q.begin(), q.end(), std::greater<>());
  ASSERT_GT(q.size(), 10000u);
  auto lower_edge_keeping = [&](size_t count) {
    // Keep the `count` largest 1/d²; a tie across the cut would make the count
    // unreachable, so the test insists on a gap.
    EXPECT_LT(q[count], q[count - 1]);
    const double cut = std::sqrt(0.5 * (q[count] + q[count - 1]));
    return 2 * std::asin(cut * 1.5406 / 2) / kHalfDegToRad / 2;
  };
  struct Case {
    size_t candidates;
    bool limit;
  };
  for (const Case c : {Case{9998, false}, Case{9999, true}}) {
    s.window_min = lower_edge_keeping(c.candidates);
    RecordingMessages m;
    generate_allowed_reflections(s, m);
    if (c.limit) {
      EXPECT_EQ(s.allowed_count(), 0);
      EXPECT_EQ(m.texts(), std::vector<std::string>{kTooManyReflections});
    } else {
      EXPECT_EQ(s.allowed_count(), 9998);
      EXPECT_TRUE(m.empty());
      // The largest list the store takes, in exactly the literal procedure's order
      // (hk0 and -h-k0 share their d: the ties are many).
      EXPECT_TRUE(same_records(s.allowed, literal_allowed(s)));
    }
  }
}

TEST(Reflections, OutOfRangeInputsGiveEmptyListsOrTheLimitQuickly) {
  // Each case must end at once: an index box beyond reach is refused, not enumerated.
  auto base = session("CUBI", "P M -3 M", kCubic4, 1.5406, 0, 60, {identity()});
  RecordingMessages m;
  generate_allowed_reflections(base, m);
  ASSERT_EQ(base.allowed_count(), 6);

  struct Case {
    const char* what;
    double lambda, tt_min, tt_max;
    CellParameters cell;
    int count;  // -1: the list of `base`
    std::vector<std::string> messages;
  };
  const std::vector<std::string> none, limit{kTooManyReflections};
  const Case cases[] = {
      {"negative wavelength", -1.5406, 0, 60, kCubic4, 0, none},
      {"wavelength 1e-12", 1e-12, 0, 60, kCubic4, 0, limit},
      {"wavelength 1e-200", 1e-200, 0, 60, kCubic4, 0, limit},
      {"wavelength 1e-310", 1e-310, 0, 60, kCubic4, 0, limit},
      {"lower edge below 0", 1.5406, -30, 60, kCubic4, -1, none},
      {"upper edge 0", 1.5406, 0, 0, kCubic4, 0, none},
      {"cell of 1e6 A", 1.5406, 0, 60, {1e6, 1e6, 1e6, 90, 90, 90}, 0, limit},
      {"thin shell of a huge cell", 1.5406, 179.9, 180, {350, 360, 370, 90, 90, 90}, 0, limit},
  };
  for (const auto& c : cases) {
    auto s = session("CUBI", "P M -3 M", c.cell, c.lambda, c.tt_min, c.tt_max, {identity()});
    m.clear();
    generate_allowed_reflections(s, m);
    EXPECT_EQ(m.texts(), c.messages) << c.what;
    if (c.count < 0) {
      EXPECT_TRUE(same_records(s.allowed, base.allowed)) << c.what;
    } else {
      EXPECT_EQ(s.allowed_count(), c.count) << c.what;
    }
  }

  // An upper edge past 180 reaches 180 and no further back.
  auto to180 = session("CUBI", "P M -3 M", kCubic4, 1.5406, 0, 180, {identity()});
  auto past = to180;
  past.window_max = 400;
  generate_allowed_reflections(to180, m);
  generate_allowed_reflections(past, m);
  EXPECT_GT(to180.allowed_count(), 6);
  EXPECT_TRUE(same_records(past.allowed, to180.allowed));
  for (const auto& r : past.allowed) {
    EXPECT_GT(r.two_theta, 0);
    EXPECT_LE(r.two_theta, 180);
  }

  const std::pair<double, long long> saturated[] = {{1e30, 4000000000000000000LL},
                                                    {-1e300, -4000000000000000000LL},
                                                    {std::nan(""), 0}};
  for (auto [x, r] : saturated) EXPECT_EQ(round_half_even(x), r) << x;
}

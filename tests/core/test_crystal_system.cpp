// The table of crystal systems: its facts against each other and against the metric of
// a cell of each system, so that an entry mistyped in one column shows up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "core/cell.hpp"
#include "core/cell_entry.hpp"
#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/reflections.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;

namespace {

// A cell of each system with no accidental equality: the six texts typed before the
// layout, so the layout's copies and fixed angles make it one of the system's cells.
struct SystemCell {
  const char* code;
  CrystalSystemId id;
  const char* entry;
  const char* operator_file;
  std::array<std::string, 6> typed;
};
const SystemCell kCells[] = {
    {"CUBI", CrystalSystemId::Cubic, "Cubic", "c.pos", {"5.1", "6.2", "7.3", "81", "86", "97"}},
    {"TETR", CrystalSystemId::Tetragonal, "Tetra.", "q.pos", {"5.1", "6.2", "7.3", "81", "86", "97"}},
    {"ORTH", CrystalSystemId::Orthorhombic, "Ortho.", "o.pos", {"5.1", "6.2", "7.3", "81", "86", "97"}},
    {"HEXA", CrystalSystemId::Hexagonal, "Hexa.", "h.pos", {"5.1", "6.2", "7.3", "81", "86", "97"}},
    {"RHOM", CrystalSystemId::Rhombohedral, "Rhombo.", "r.pos", {"5.1", "6.2", "7.3", "81", "86", "97"}},
    {"MONO", CrystalSystemId::Monoclinic, "Monoc.", "m.pos", {"5.1", "6.2", "7.3", "90", "97", "90"}},
    {"TRIC", CrystalSystemId::Triclinic, "Tricl.", "t.pos", {"5.1", "6.2", "7.3", "81", "86", "97"}},
};

CellParameters laid_out_cell(const SystemCell& c) {
  const SystemLayout L = apply_system_layout(c.code, c.typed);
  std::array<double, 6> v{};
  for (size_t i = 0; i < 6; ++i) v[i] = *parse_real(L.texts[i]);
  return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

}  // namespace

TEST(CrystalSystemTable, CodesEntriesAndOperatorFilesInListOrder) {
  ASSERT_EQ(std::size(kCells), kCrystalSystems.size());
  for (size_t i = 0; i < std::size(kCells); ++i) {
    const SystemCell& c = kCells[i];
    SCOPED_TRACE(c.code);
    EXPECT_EQ(system_of(c.code), c.id);
    EXPECT_EQ(system_code(c.id), c.code);
    EXPECT_EQ(crystal_system(c.id).list_entry, c.entry);
    EXPECT_EQ(system_index(c.code), static_cast<int>(i));
    EXPECT_EQ(system_code_from_entry(c.entry), c.code);
    EXPECT_EQ(crystal_system(c.code).operator_file, c.operator_file);
  }
  // Codes are compared as the session keeps them: upper-case, four letters.
  for (const char* other : {"", "hexa", "HEX", "HEXAG", "XXXX"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(system_of(other), CrystalSystemId::None);
    EXPECT_TRUE(crystal_system(other).operator_file.empty());
    EXPECT_EQ(crystal_system(other).walk, IndexWalk::None);
  }
}

// The refinement ties hold on every cell the layout produces: a tie to a parameter the
// cell does not make equal would pull the refined cell out of its system.
TEST(CrystalSystemTable, RefinementTiesHoldOnTheLaidOutCell) {
  for (const SystemCell& c : kCells) {
    SCOPED_TRACE(c.code);
    ReciprocalCell rc;
    ReciprocalMatrix B{};
    compute_reciprocal(laid_out_cell(c), rc, B);
    const std::array<double, 6> r = {rc.a_star,     rc.b_star,    rc.c_star,
                                     rc.alpha_star, rc.beta_star, rc.gamma_star};
    const auto& tie_to = crystal_system(c.code).tie_to;
    for (size_t i = 0; i < 6; ++i) {
      const auto master = static_cast<size_t>(tie_to[i]);
      ASSERT_LE(master, i) << "a tie copies an earlier parameter";
      EXPECT_NEAR(r[i], r[master], 1e-9 * std::fabs(r[master])) << "parameter " << i;
    }
  }
}

// A quantity offered for refinement is typed freely and is refined by itself: one a tie
// overwrites would have no effect on the fit and make its matrix singular.
TEST(CrystalSystemTable, OfferedQuantitiesAreFreeFieldsAndTieMasters) {
  for (const SystemCell& c : kCells) {
    SCOPED_TRACE(c.code);
    const CrystalSystem& sys = crystal_system(c.code);
    const SystemLayout L = apply_system_layout(c.code, c.typed);
    int offered = 0;
    for (size_t i = 0; i < kCellQuantities; ++i) {
      if (!L.flag_enabled[i]) continue;
      ++offered;
      EXPECT_FALSE(L.tied[i]) << "field " << i;
      EXPECT_EQ(sys.copy_from[i], static_cast<int>(i)) << "field " << i;
      EXPECT_EQ(sys.tie_to[i], static_cast<int>(i)) << "field " << i;
    }
    // One length per independent axis, plus the free angles.
    const int expected[] = {1, 2, 3, 2, 2, 4, 6};
    EXPECT_EQ(offered, expected[static_cast<size_t>(sys.id)]);
  }
}

// The walk and the equivalences together must reach every distinct d of the window:
// every h k l of a box around the window has a listed reflection of the same d.
TEST(CrystalSystemTable, GeneratedListReachesEveryDistinctSpacing) {
  for (const SystemCell& c : kCells) {
    SCOPED_TRACE(c.code);
    WorkSession s;
    s.system = c.code;
    s.symbol = "NO EXT.";
    s.cell = laid_out_cell(c);
    s.wavelengths.lambda = 1.5406;
    s.window_min = 0;
    s.window_max = 50;
    SymmetryOperator identity;
    identity.rows[0] = {1, 0, 0, 0};
    identity.rows[1] = {0, 1, 0, 0};
    identity.rows[2] = {0, 0, 1, 0};
    s.operators = {identity};
    RecordingMessages m;
    generate_allowed_reflections(s, m);
    ASSERT_TRUE(m.log.empty());
    ASSERT_FALSE(s.allowed.empty());

    const double smax = 2 * std::sin(25 * 3.14159265358979 / 180) / 1.5406;
    int checked = 0;
    for (int h = -8; h <= 8; ++h)
      for (int k = -8; k <= 8; ++k)
        for (int l = -8; l <= 8; ++l) {
          if (h == 0 && k == 0 && l == 0) continue;
          const double q = inverse_d_squared(s.B, h, k, l);
          if (q > smax * smax * 0.999) continue;  // clear of the window's edge
          const double d = 1 / std::sqrt(q);
          ++checked;
          const bool reached =
              std::any_of(s.allowed.begin(), s.allowed.end(),
                          [&](const CalculatedReflection& r) { return std::fabs(r.d - d) < 1e-6; });
          EXPECT_TRUE(reached) << h << " " << k << " " << l << " d " << d;
        }
    EXPECT_GT(checked, 20);
  }
}

// The seven crystal systems and everything the program does differently for each of
// them, in one table looked up by the four-letter code the session keeps.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace vornax {

// In the order of the system list; None for a code that names no system.
enum class CrystalSystemId { Cubic, Tetragonal, Orthorhombic, Hexagonal, Rhombohedral, Monoclinic,
                             Triclinic, None };

// Lines (1-based, inclusive) of a system's block in spgr2.dat; {1, 1} for no system.
struct CatalogueBlock {
  int first = 1, last = 1;
};

// How the reflection generator walks h k l inside the index limits (hm, km, lm).
enum class IndexWalk {
  None,            // no system: nothing is generated
  CubicWedge,      // h 0..hm, k 0..km, l k..lm
  PositiveOctant,  // h 0..hm, k 0..km, l 0..lm
  HexagonalWedge,  // h 0..hm, k h..km, l 0..lm
  RhombohedralWedge,  // h 0..hm, k h..hm, l -hm..hm, skipping 0 <= l < max(h, k)
  HalfH,           // h -hm..hm (descending for the allowed list), k 0..km, l 0..lm
  HalfHK,          // h -hm..hm, k -km..km, l 0..lm
};

// An index transformation (h' k' l') = M (h k l).
using IndexMatrix = std::array<std::array<int, 3>, 3>;

struct CrystalSystem {
  CrystalSystemId id;
  std::string_view code;        // what the session keeps and the files carry
  std::string_view list_entry;  // the entry of the system list

  // Cell entry. Each of the six fields (a b c alpha beta gamma) takes the text of
  // field copy_from[i] (itself when free); fixed_angles, when not empty, are written
  // into the three angle fields; grey fields are not typed into.
  std::array<int, 6> copy_from;
  std::array<std::string_view, 3> fixed_angles;
  std::array<bool, 6> grey;
  // Cell quantities offered for refinement; with offers_odd_angle the one angle that
  // differs from 90 degrees is offered too.
  std::array<bool, 6> offered;
  bool offers_odd_angle;

  // Block of spgr2.dat: the catalogue is addressed by fixed line numbers (line 557 is
  // in no block).
  CatalogueBlock catalogue_block;
  std::string_view operator_file;  // .pos file of the H-M list

  // Hexagonal axes: an R lattice is centred at (2/3 1/3 1/3) and (1/3 2/3 2/3), its
  // reflection condition may exchange h and k, and indexed lists are matched with h
  // and k exchanged too.
  bool hexagonal_axes;
  // Rhombohedral axes: every symbol stands for a primitive cell.
  bool always_primitive;

  IndexWalk walk;
  // Index transformations that give an equivalent reflection (with or without a change
  // of sign of all three).
  std::span<const IndexMatrix> equivalences;

  // Reciprocal cell parameters a* b* c* alpha* beta* gamma*: each takes the value of
  // parameter tie_to[i] during the refinement (itself when free).
  std::array<int, 6> tie_to;
};

namespace system_tables {
// h k l -> k l h, l h k, and the three exchanges of two indices.
inline constexpr IndexMatrix kCyclic1{{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}};
inline constexpr IndexMatrix kCyclic2{{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}};
inline constexpr IndexMatrix kSwapKL{{{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}};
inline constexpr IndexMatrix kSwapHK{{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}};
inline constexpr IndexMatrix kSwapHL{{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}};
// The two-fold axis along b: -h k -l.
inline constexpr IndexMatrix kTwofoldB{{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}};

inline constexpr std::array<IndexMatrix, 5> kCubic = {kCyclic1, kCyclic2, kSwapKL, kSwapHK,
                                                      kSwapHL};
inline constexpr std::array<IndexMatrix, 5> kRhombohedral = {kCyclic1, kCyclic2, kSwapHK,
                                                             kSwapHL, kSwapKL};
inline constexpr std::array<IndexMatrix, 1> kExchangeHK = {kSwapHK};
inline constexpr std::array<IndexMatrix, 1> kMonoclinic = {kTwofoldB};

inline constexpr std::array<int, 6> kFree = {0, 1, 2, 3, 4, 5};
inline constexpr std::array<bool, 6> kAll = {true, true, true, true, true, true};
inline constexpr std::array<bool, 6> kNone = {};
}  // namespace system_tables

inline constexpr std::array<CrystalSystem, 7> kCrystalSystems = [] {
  namespace t = system_tables;
  using enum CrystalSystemId;
  using W = IndexWalk;
  return std::array<CrystalSystem, 7>{{
      {Cubic, "CUBI", "Cubic",
       {0, 0, 0, 3, 4, 5}, {"90", "90", "90"}, {false, true, true, false, true, true},
       {true, false, false, false, false, false}, false,
       {558, 637}, "c.pos", false, false, W::CubicWedge, t::kCubic, {0, 0, 0, 3, 3, 3}},
      {Tetragonal, "TETR", "Tetra.",
       {0, 0, 2, 3, 4, 5}, {"90", "90", "90"}, {false, true, false, true, true, true},
       {true, false, true, false, false, false}, false,
       {371, 480}, "q.pos", false, false, W::PositiveOctant, t::kExchangeHK, {0, 0, 2, 3, 3, 5}},
      {Orthorhombic, "ORTH", "Ortho.",
       t::kFree, {"90", "90", "90"}, {false, false, false, true, true, true},
       {true, true, true, false, false, false}, false,
       {179, 370}, "o.pos", false, false, W::PositiveOctant, {}, t::kFree},
      {Hexagonal, "HEXA", "Hexa.",
       {0, 0, 2, 3, 4, 5}, {"90", "90", "120"}, {false, true, false, true, true, true},
       {true, false, true, false, false, false}, false,
       {481, 547}, "h.pos", true, false, W::HexagonalWedge, t::kExchangeHK, {0, 0, 2, 3, 3, 5}},
      {Rhombohedral, "RHOM", "Rhombo.",
       {0, 0, 0, 3, 3, 3}, {}, {false, true, true, false, true, true},
       {true, false, false, true, false, false}, false,
       {548, 556}, "r.pos", false, true, W::RhombohedralWedge, t::kRhombohedral, {0, 0, 0, 3, 3, 3}},
      {Monoclinic, "MONO", "Monoc.",
       t::kFree, {}, t::kNone,
       {true, true, true, false, false, false}, true,
       {19, 178}, "m.pos", false, false, W::HalfH, t::kMonoclinic, t::kFree},
      {Triclinic, "TRIC", "Tricl.",
       t::kFree, {}, t::kNone,
       t::kAll, false,
       {1, 18}, "t.pos", false, false, W::HalfHK, {}, t::kFree},
  }};
}();

// The facts for a code that names no system (empty, or not one of the seven): no
// layout, nothing offered, no catalogue block or operator file, nothing generated.
inline constexpr CrystalSystem kNoCrystalSystem{
    CrystalSystemId::None, "", "", system_tables::kFree, {}, system_tables::kNone,
    system_tables::kNone, false, {1, 1}, "", false, false, IndexWalk::None, {},
    system_tables::kFree};

// The system of a code, compared exactly (the session keeps codes upper-cased); None
// for a code that names none.
CrystalSystemId system_of(std::string_view code);
// Its entry; kNoCrystalSystem for a code that names none.
const CrystalSystem& crystal_system(std::string_view code);
const CrystalSystem& crystal_system(CrystalSystemId id);
// The code of a system, as the session keeps it.
std::string system_code(CrystalSystemId id);

// The codes and list entries in list order.
inline constexpr std::array<const char*, 7> kSystemCodes = [] {
  std::array<const char*, 7> a{};
  for (size_t i = 0; i < a.size(); ++i) a[i] = kCrystalSystems[i].code.data();
  return a;
}();
inline constexpr std::array<const char*, 7> kSystemEntries = [] {
  std::array<const char*, 7> a{};
  for (size_t i = 0; i < a.size(); ++i) a[i] = kCrystalSystems[i].list_entry.data();
  return a;
}();

}  // namespace vornax

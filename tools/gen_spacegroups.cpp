// Writes the space-group catalogue spgr2.dat and the seven operator files (.pos) from
// gemmi's space-group tables. Every line is checked against gemmi before anything is
// written: the Hall symbol expands to a group of the block's crystal system, its
// lattice centring is the one the program adds for the H-M symbol's first letter, and
// settings that gemmi's table lacks equal a reference group after a change of basis.
//
//   gen_spacegroups <data folder>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gemmi/symmetry.hpp>

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace {

using gemmi::CrystalSystem;
using gemmi::GroupOps;
using gemmi::Op;
using gemmi::SpaceGroup;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

// One catalogue line.
struct Entry {
  std::string hm;    // H-M symbol as listed (at most 12 characters)
  std::string hall;  // Hall symbol (at most 20 characters)
  int number = 0;    // International Tables number
  bool real = true;  // a setting of its own (false: another spelling of a listed setting)
  std::string note;  // free text after the read columns
  std::string cob;   // settings missing from gemmi: change of basis from the reference
};

struct Block {
  const char* system;  // the program's code
  int first, last;     // line numbers in spgr2.dat
  const char* pos;     // operator file
  std::vector<Entry> entries;
};

const std::vector<SpaceGroup>& table() {
  static const std::vector<SpaceGroup> t(std::begin(gemmi::spacegroup_tables::main),
                                         std::end(gemmi::spacegroup_tables::main));
  return t;
}

const SpaceGroup& by_xhm(const std::string& xhm) {
  for (const SpaceGroup& sg : table())
    if (sg.xhm() == xhm) return sg;
  fail("not in gemmi's table: " + xhm);
}

// Names in gemmi's table taken from the PDB for origin-shifted settings ("C 2 2 21a)");
// they are no symbols a user would look for, so the blocks leave them out.
bool is_pdb_oddity(const SpaceGroup& sg) {
  static const std::set<std::string> odd = {"P 21212(a)", "C 2 2 21a)", "C 2 2 2a", "F 2 2 2a",
                                            "I 2 2 2a",   "P 42 21 2a", "I 2 3a",   "A b a m"};
  return odd.count(sg.hm) != 0;
}

std::string qualifier_note(const SpaceGroup& sg) {
  if (sg.ext == 'H') return "hexagonal axes";
  if (sg.ext == 'R') return "rhombohedral axes";
  std::string q = sg.qualifier;
  std::string n = sg.is_reference_setting() ? "standard setting"
                  : q.empty() ? "from the standard by " + std::string(sg.basisop_str())
                              : "setting " + q;
  if (sg.ext == '1' || sg.ext == '2') n += std::string(", origin choice ") + sg.ext;
  return n;
}

Entry from_gemmi(const SpaceGroup& sg) {
  return Entry{sg.xhm(), sg.hall, sg.number, true, qualifier_note(sg), ""};
}

Entry spelling(const std::string& hm, const std::string& of, const char* kind) {
  const SpaceGroup& sg = by_xhm(of);
  return Entry{hm, sg.hall, sg.number, false, std::string(kind) + " of " + of, ""};
}

std::vector<std::string> tokens(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == ' ') ++i;
    size_t b = i;
    while (i < s.size() && s[i] != ' ') ++i;
    if (b < i) out.push_back(s.substr(b, i - b));
  }
  return out;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
  return s;
}

// ---------------------------------------------------------------------------------
// The blocks.

// Change of basis from a primitive tetragonal cell to the C cell (and I to F) that is
// rotated by 45 degrees about c, as gemmi's own C 4 2 2 uses.
constexpr const char* kTetragonalC = "x/2+y/2,-x/2+y/2,z";

std::vector<Entry> triclinic() {
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table())
    if (sg.crystal_system() == CrystalSystem::Triclinic) v.push_back(from_gemmi(sg));
  // The ASCII spelling of the bar ("P 1bar") of the six centrosymmetric cells.
  for (const SpaceGroup& sg : table())
    if (sg.number == 2)
      v.push_back(spelling(replace_all(sg.hm, "-1", "1bar"), sg.xhm(), "spelling"));
  return v;
}

std::vector<Entry> monoclinic() {
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table())
    if (sg.crystal_system() == CrystalSystem::Monoclinic) v.push_back(from_gemmi(sg));
  // gemmi lists C 1 1 2 and C 1 1 21 (the face that holds the unique axis c centred) and
  // F 1 2/m 1; the same cells for the other axes and for C 2 and C m:
  const Entry added[] = {
      {"B 1 2 1", "B 2y", 3, true, "B cell, unique axis b", "x/2-z/2,y,x/2+z/2"},
      {"B 1 21 1", "B 2yb", 4, true, "B cell, unique axis b", "x/2-z/2,y,x/2+z/2"},
      {"A 2 1 1", "A 2x", 3, true, "A cell, unique axis a", "y,-x/2+z/2,x/2+z/2"},
      {"A 21 1 1", "A 2xa", 4, true, "A cell, unique axis a", "y,-x/2+z/2,x/2+z/2"},
      {"F 1 2 1", "F 2y", 5, true, "F cell, unique axis b", "x-z/2,y,z/2"},
      {"F 1 m 1", "F -2y", 8, true, "F cell, unique axis b", "x-z/2,y,z/2"},
  };
  v.insert(v.end(), std::begin(added), std::end(added));
  // Short symbols: every setting with unique axis b ("P 21/c" for "P 1 21/c 1"), and the
  // B cells with unique axis c, which the short B symbols mean by the PDB's custom.
  for (const SpaceGroup& sg : table()) {
    if (sg.crystal_system() != CrystalSystem::Monoclinic) continue;
    auto t = tokens(sg.hm);
    if (t.size() != 4) continue;
    if (t[1] == "1" && t[3] == "1" && t[2] != "1")
      v.push_back(spelling(t[0] + " " + t[2], sg.xhm(), "short symbol"));
    else if (t[0] == "B" && t[1] == "1" && t[2] == "1" && t[3] != "n")
      v.push_back(spelling("B " + t[3], sg.xhm(), "short symbol"));
  }
  return v;
}

std::vector<Entry> orthorhombic() {
  // gemmi has more orthorhombic settings than the block holds: every setting of the
  // centrosymmetric groups 47 to 64 (P m m m ... C m c a, the common ones in inorganic
  // work), and of the others the standard setting and its two cyclic axis permutations.
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table()) {
    if (sg.crystal_system() != CrystalSystem::Orthorhombic || is_pdb_oddity(sg)) continue;
    std::string q = sg.qualifier;
    bool cyclic = q.empty() || q == "cab" || q == "bca";
    if (cyclic || (sg.number >= 47 && sg.number <= 64)) v.push_back(from_gemmi(sg));
  }
  return v;
}

std::vector<Entry> tetragonal() {
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table())
    if (sg.crystal_system() == CrystalSystem::Tetragonal && !is_pdb_oddity(sg))
      v.push_back(from_gemmi(sg));
  // C and F cells of the groups whose symbols keep their letters in the larger cell
  // (the second and third symmetry directions exchange places), beyond gemmi's six.
  struct Cell {
    const char* hm;
    const char* hall;
    int number;
  };
  const Cell added[] = {
      {"C 4", "C 4", 75},          {"C 41", "C 4w", 76},           {"C 42", "C 4c", 77},
      {"C 43", "C 4cw", 78},       {"F 4", "F 4", 79},             {"F 41", "F 4d", 80},
      {"C -4", "C -4", 81},        {"F -4", "F -4", 82},           {"C 4/m", "-C 4", 83},
      {"C 42/m", "-C 4c", 84},     {"F 4/m", "-F 4", 87},          {"C 41 2 2", "C 4w 2\"", 91},
      {"C 41 2 21", "C 4aw 2", 92}, {"C 42 2 2", "C 4c 2\"", 93},  {"C 42 2 21", "C 4ac 2", 94},
      {"C 43 2 2", "C 4cw 2\"", 95}, {"C 43 2 21", "C 4acw 2", 96}, {"F 41 2 2", "F 4d 2", 98},
      {"C 4 m m", "C 4 -2", 99},   {"F 4 m m", "F 4 -2", 107},     {"C -4 m 2", "C -4 -2", 111},
      {"F -4 2 m", "F -4 2", 119}, {"F -4 m 2", "F -4 -2", 121},
  };
  for (const Cell& c : added) {
    std::string from = gemmi::get_spacegroup_reference_setting(c.number).xhm();
    v.push_back(Entry{c.hm, c.hall, c.number, true, std::string(c.hm[0] == 'C' ? "C" : "F") +
                                                        " cell of " + from,
                      kTetragonalC});
  }
  return v;
}

std::vector<Entry> hexagonal_axes() {
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table()) {
    auto cs = sg.crystal_system();
    if ((cs == CrystalSystem::Trigonal || cs == CrystalSystem::Hexagonal) && sg.ext != 'R')
      v.push_back(from_gemmi(sg));
  }
  // Full symbols, and the R symbols without suffix, which mean hexagonal axes.
  v.push_back(spelling("P -3 1 2/m", "P -3 1 m", "full symbol"));
  v.push_back(spelling("P -3 1 2/c", "P -3 1 c", "full symbol"));
  v.push_back(spelling("P -3 2/m 1", "P -3 m 1", "full symbol"));
  v.push_back(spelling("P -3 2/c 1", "P -3 c 1", "full symbol"));
  v.push_back(spelling("R -3 2/m:H", "R -3 m:H", "full symbol"));
  v.push_back(spelling("R -3 2/c:H", "R -3 c:H", "full symbol"));
  for (const SpaceGroup& sg : table())
    if (sg.ext == 'H') v.push_back(spelling(sg.hm, sg.xhm(), "hexagonal axes, spelling"));
  v.push_back(spelling("R -3 2/m", "R -3 m:H", "full symbol"));
  v.push_back(spelling("R -3 2/c", "R -3 c:H", "full symbol"));
  return v;
}

std::vector<Entry> rhombohedral_axes() {
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table())
    if (sg.ext == 'R') v.push_back(from_gemmi(sg));
  v.push_back(spelling("R -3 2/m:R", "R -3 m:R", "full symbol"));
  v.push_back(spelling("R -3 2/c:R", "R -3 c:R", "full symbol"));
  return v;
}

std::vector<Entry> cubic() {
  std::vector<Entry> v;
  for (const SpaceGroup& sg : table())
    if (sg.crystal_system() == CrystalSystem::Cubic && !is_pdb_oddity(sg))
      v.push_back(from_gemmi(sg));
  // Older notation without the bar of the 3-fold axes ("F m 3 m").
  for (const SpaceGroup& sg : table())
    if (sg.crystal_system() == CrystalSystem::Cubic && !is_pdb_oddity(sg) &&
        std::string(sg.hm).find("-3") != std::string::npos)
      v.push_back(spelling(replace_all(sg.xhm(), "-3", "3"), sg.xhm(), "older notation"));
  // Full symbols that fit the 12 characters of the H-M column.
  const std::pair<const char*, const char*> full[] = {
      {"P 2/m -3", "P m -3"},         {"P 2/n -3:1", "P n -3:1"},     {"P 2/n -3:2", "P n -3:2"},
      {"F 2/m -3", "F m -3"},         {"F 2/d -3:1", "F d -3:1"},     {"F 2/d -3:2", "F d -3:2"},
      {"I 2/m -3", "I m -3"},         {"P 21/a -3", "P a -3"},        {"I 21/a -3", "I a -3"},
      {"P 4/m -3 2/m", "P m -3 m"},   {"F 4/m -3 2/m", "F m -3 m"},   {"F 4/m -3 2/c", "F m -3 c"},
      {"I 4/m -3 2/m", "I m -3 m"},
  };
  for (auto& [hm, of] : full) v.push_back(spelling(hm, of, "full symbol"));
  // And the older notation of the two most used full symbols.
  v.push_back(spelling("P 4/m 3 2/m", "P m -3 m", "older full symbol"));
  v.push_back(spelling("F 4/m 3 2/m", "F m -3 m", "older full symbol"));
  return v;
}

// ---------------------------------------------------------------------------------
// Checks.

std::string key(const std::string& hm) {
  std::string k;
  for (char c : hm)
    if (c != ' ') k += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return k;
}

bool system_fits(const char* system, CrystalSystem cs) {
  std::string s = system;
  if (s == "TRIC") return cs == CrystalSystem::Triclinic;
  if (s == "MONO") return cs == CrystalSystem::Monoclinic;
  if (s == "ORTH") return cs == CrystalSystem::Orthorhombic;
  if (s == "TETR") return cs == CrystalSystem::Tetragonal;
  if (s == "HEXA") return cs == CrystalSystem::Trigonal || cs == CrystalSystem::Hexagonal;
  if (s == "RHOM") return cs == CrystalSystem::Trigonal;
  if (s == "CUBI") return cs == CrystalSystem::Cubic;
  return true;  // the line outside the blocks
}

// The centring the program adds for a symbol in a block (none for R in rhombohedral axes).
char program_centring(const Entry& e, const std::string& system) {
  char c = e.hm[0];
  if (c == 'R') {
    if (system == "HEXA") return 'R';
    if (system == "RHOM") return 'P';
    fail(e.hm + ": R symbol outside the hexagonal and rhombohedral blocks");
  }
  if (std::string("PABCIF").find(c) == std::string::npos) fail(e.hm + ": unknown lattice letter");
  return c;
}

int centring_count(char c) {
  switch (c) {
    case 'P': return 1;
    case 'F': return 4;
    case 'R': return 3;
    default: return 2;
  }
}

GroupOps check_entry(const Entry& e, const std::string& system) {
  if (e.hm.size() > 12) fail(e.hm + ": H-M symbol longer than 12 characters");
  if (e.hall.size() > 20) fail(e.hm + ": Hall symbol longer than 20 characters");
  GroupOps g = gemmi::symops_from_hall(e.hall.c_str());
  if (!system_fits(system.c_str(), gemmi::crystal_system(gemmi::point_group(e.number))))
    fail(e.hm + ": group " + std::to_string(e.number) + " is not of the system " + system);
  if (!e.cob.empty()) {
    GroupOps ref = gemmi::get_spacegroup_reference_setting(e.number).operations();
    ref.change_basis_forward(gemmi::parse_triplet(e.cob));
    if (!g.is_same_as(ref))
      fail(e.hm + ": " + e.hall + " is not group " + std::to_string(e.number));
  }
  if (const SpaceGroup* sg = gemmi::find_spacegroup_by_name(e.hm))
    if (!gemmi::symops_from_hall(sg->hall).is_same_as(g))
      fail(e.hm + ": gemmi reads this name as another setting");
  const char c = program_centring(e, system);
  if (g.find_centering() != c) fail(e.hm + ": Hall lattice differs from the H-M letter");
  if (static_cast<int>(g.sym_ops.size()) * centring_count(c) > 192)
    fail(e.hm + ": more than 192 operators");
  return g;
}

// ---------------------------------------------------------------------------------
// Writers.

std::string padded(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

// Columns: 1-4 line number, 6-17 H-M, 27-46 Hall, 47-49 group number, 51- note.
std::string catalogue_line(int line_number, const Entry& e) {
  char code[8];
  std::snprintf(code, sizeof code, "%03d", e.number);
  std::string s = vornax::format_int(line_number, 4) + " " + padded(e.hm, 12) +
                  std::string(9, ' ') + padded(e.hall, 20) + code + " " + e.note;
  return s;
}

std::string row_expression(const std::array<int, 3>& row, int tran) {
  static const std::map<std::array<int, 3>, const char*> forms = {
      {{1, 0, 0}, "X"},  {{0, 1, 0}, "Y"},  {{0, 0, 1}, "Z"},    {{-1, 0, 0}, "-X"},
      {{0, -1, 0}, "-Y"}, {{0, 0, -1}, "-Z"}, {{1, -1, 0}, "X-Y"}, {{-1, 1, 0}, "Y-X"},
  };
  static const std::map<int, const char*> suffixes = {
      {0, ""},       {12, "+1/2"}, {8, "+1/3"}, {16, "+2/3"},
      {6, "+1/4"},   {18, "+3/4"}, {4, "+1/6"}, {20, "+5/6"},
  };
  std::array<int, 3> r{row[0] / Op::DEN, row[1] / Op::DEN, row[2] / Op::DEN};
  auto f = forms.find(r);
  if (f == forms.end()) fail("rotation row outside the eight row forms");
  int t = ((tran % Op::DEN) + Op::DEN) % Op::DEN;
  auto s = suffixes.find(t);
  if (s == suffixes.end()) fail("translation outside the fourteen suffixes");
  return std::string(f->second) + s->second;
}

bool inversion_at_origin(const GroupOps& g) {
  for (const Op& op : g.sym_ops) {
    if (op.rot != Op::identity().negated_rot()) continue;
    for (const Op::Tran& c : g.cen_ops) {
      Op shifted = op;
      shifted.tran = {op.tran[0] - c[0], op.tran[1] - c[1], op.tran[2] - c[2]};
      shifted.wrap();
      if (shifted.tran == Op::Tran{0, 0, 0}) return true;
    }
  }
  return false;
}

void add_pos_block(vornax::TextFile& f, const Entry& e, const GroupOps& g) {
  const bool centro = inversion_at_origin(g);
  std::vector<Op> listed;
  for (const Op& op : g.sym_ops) {
    if (centro) {
      // Half of the operators: the program adds each one's image by the inversion.
      bool partner_listed = std::any_of(listed.begin(), listed.end(), [&](const Op& o) {
        return o.rot == op.negated_rot();
      });
      if (partner_listed) continue;
    }
    listed.push_back(op);
  }
  f.add("");
  f.add(e.hm);
  f.add(centro ? "1" : "0");
  f.add(std::to_string(listed.size()));
  for (const Op& op : listed)
    f.add(row_expression(op.rot[0], op.tran[0]) + ", " + row_expression(op.rot[1], op.tran[1]) +
          ", " + row_expression(op.rot[2], op.tran[2]));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_spacegroups <data folder>\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  try {
    std::vector<Block> blocks = {
        {"TRIC", 1, 18, "t.pos", triclinic()},
        {"MONO", 19, 178, "m.pos", monoclinic()},
        {"ORTH", 179, 370, "o.pos", orthorhombic()},
        {"TETR", 371, 480, "q.pos", tetragonal()},
        {"HEXA", 481, 547, "h.pos", hexagonal_axes()},
        {"RHOM", 548, 556, "r.pos", rhombohedral_axes()},
        {"", 557, 557, nullptr, {}},
        {"CUBI", 558, 637, "c.pos", cubic()},
    };
    // Line 557 lies outside every block: no list shows it, the library still finds it.
    {
      const SpaceGroup& sg = by_xhm("A b a m");
      blocks[6].entries.push_back(Entry{sg.hm, sg.hall, sg.number, false,
                                        "spelling of A c a m (no list shows this line)", ""});
    }

    vornax::TextFile catalogue;
    std::set<std::string> keys;
    for (Block& b : blocks) {
      std::stable_sort(b.entries.begin(), b.entries.end(),
                       [](const Entry& x, const Entry& y) { return x.number < y.number; });
      const int wanted = b.last - b.first + 1;
      if (static_cast<int>(b.entries.size()) != wanted)
        fail(std::string("block ") + b.system + ": " + std::to_string(b.entries.size()) +
             " lines for " + std::to_string(wanted));
      vornax::TextFile pos;
      if (b.pos) {
        // "No ext." allows every reflection: the identity alone.
        pos.add("");
        pos.add("No ext.");
        pos.add("0");
        pos.add("1");
        pos.add("X, Y, Z");
      }
      int line = b.first;
      for (const Entry& e : b.entries) {
        GroupOps g = check_entry(e, b.system);
        if (!keys.insert(key(e.hm)).second) fail(e.hm + ": H-M symbol listed twice");
        if (static_cast<int>(catalogue.lines.size()) + 1 != line) fail("line numbering");
        catalogue.add(catalogue_line(line++, e));
        if (b.pos && e.real) add_pos_block(pos, e, g);
      }
      if (b.pos) pos.save(out / b.pos);
    }
    catalogue.save(out / "spgr2.dat");
    std::printf("wrote spgr2.dat (%zu lines) and seven .pos files into %s\n",
                catalogue.lines.size(), out.string().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_spacegroups: %s\n", e.what());
    return 1;
  }
  return 0;
}

// The supplied catalogue and operator files, expanded through the program's own routes
// (scfs.dat from the library routine, operator files with the centrosymmetric halving,
// lattice centring, the 192 limit) and compared with gemmi's operations of the same
// setting, found independently of the catalogue's Hall column where gemmi knows the name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gemmi/symmetry.hpp>

#include "calc_fixtures.hpp"
#include "core/catalogue.hpp"
#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/session.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
namespace fs = std::filesystem;

namespace {

const fs::path kData = VORNAX_SOURCE_DATA_DIR;

// An operator as integers: rotation, and translation in 24ths modulo 1.
using OpKey = std::array<int, 12>;

OpKey key_of(const SymmetryOperator& op) {
  OpKey k{};
  for (size_t r = 0; r < 3; ++r) {
    for (size_t c = 0; c < 3; ++c) k[r * 3 + c] = static_cast<int>(std::lround(op.rows[r][c]));
    double t = op.rows[r][3] * 24;
    long n = std::lround(t);
    EXPECT_NEAR(t, static_cast<double>(n), 1e-3) << "translation " << op.rows[r][3];
    k[9 + r] = static_cast<int>(((n % 24) + 24) % 24);
  }
  return k;
}

std::vector<OpKey> keys_of(const std::vector<SymmetryOperator>& ops) {
  std::vector<OpKey> v;
  for (const auto& op : ops) v.push_back(key_of(op));
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<OpKey> keys_of(const gemmi::GroupOps& g) {
  std::vector<OpKey> v;
  for (const gemmi::Op& op : g) {
    OpKey k{};
    for (size_t r = 0; r < 3; ++r) {
      for (size_t c = 0; c < 3; ++c) k[r * 3 + c] = op.rot[r][c] / gemmi::Op::DEN;
      k[9 + r] = ((op.tran[r] % 24) + 24) % 24;
    }
    v.push_back(k);
  }
  std::sort(v.begin(), v.end());
  return v;
}

std::string no_blanks_upper(std::string_view s) {
  std::string o;
  for (char c : s)
    if (c != ' ') o += c;
  return to_upper(o);
}

std::string system_of_line(int n) {
  for (const char* code : kSystemCodes) {
    CatalogueBlock b = catalogue_block(code);
    if (n >= b.first && n <= b.last) return code;
  }
  return "";
}

// Spellings gemmi does not read, brought to names it does: the ASCII bar, full symbols,
// the older cubic notation without the bar of the 3-fold axes.
std::string gemmi_spelling(const std::string& hm, const std::string& system) {
  std::string out;
  std::string token;
  auto flush = [&] {
    if (token.empty()) return;
    if (token == "1bar") token = "-1";
    // full symbols of cubic and trigonal groups: "2/m" -> "m", "4/m" -> "m", "21/a" -> "a"
    const bool full_symbol_kind = system == "CUBI" || system == "HEXA" || system == "RHOM";
    if (auto slash = token.find('/'); slash != std::string::npos && full_symbol_kind)
      token = token.substr(slash + 1);
    if (system == "CUBI" && token.rfind("3", 0) == 0) token = "-" + token;
    out += (out.empty() ? "" : " ") + token;
    token.clear();
  };
  for (char c : hm) {
    if (c == ' ') flush();
    else token += c;
  }
  flush();
  return out;
}

// Settings gemmi's table lacks: the reference setting of the group after a change of
// basis (the tetragonal C and F cells are turned by 45 degrees about c).
const std::map<std::string, std::string> kCellChanges = {
    {"B 1 2 1", "x/2-z/2,y,x/2+z/2"}, {"B 1 21 1", "x/2-z/2,y,x/2+z/2"},
    {"A 2 1 1", "y,-x/2+z/2,x/2+z/2"}, {"A 21 1 1", "y,-x/2+z/2,x/2+z/2"},
    {"F 1 2 1", "x-z/2,y,z/2"},        {"F 1 m 1", "x-z/2,y,z/2"},
};

struct Expected {
  gemmi::GroupOps ops;
  int number = 0;
};

// gemmi's group for a catalogue line, from its H-M symbol where gemmi can read it.
Expected expected_group(const std::string& hm, const std::string& system, int code) {
  const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(hm);
  if (!sg) sg = gemmi::find_spacegroup_by_name(gemmi_spelling(hm, system));
  if (sg) return {sg->operations(), sg->number};
  std::string cob;
  if (auto it = kCellChanges.find(hm); it != kCellChanges.end()) cob = it->second;
  else if (system == "TETR") cob = "x/2+y/2,-x/2+y/2,z";
  if (cob.empty()) {
    ADD_FAILURE() << hm << ": no reference in gemmi";
    return {};
  }
  gemmi::GroupOps g = gemmi::get_spacegroup_reference_setting(code).operations();
  g.change_basis_forward(gemmi::parse_triplet(cob));
  return {g, code};
}

struct CatalogueLine {
  int number;
  std::string system, hm, hall;
  int code;
};

std::vector<CatalogueLine> catalogue() {
  std::vector<CatalogueLine> out;
  auto lines = read_text_lines(kData / "spgr2.dat");
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    int n = static_cast<int>(i + 1);
    out.push_back({n, system_of_line(n), trim(l.substr(5, 12)), trim(l.substr(26, 20)),
                   std::stoi(l.substr(46, 3))});
  }
  return out;
}

class SuppliedData : public ::testing::Test {
 protected:
  SuppliedData() {
    reset_session(s, folder_.path());
    s.data_folder = kData;
  }
  vornax::testing::TempFolder folder_;
  WorkSession s;
  RecordingMessages m;
};

}  // namespace

TEST(SuppliedCatalogue, LayoutBlocksAndUniqueSymbols) {
  auto lines = read_text_lines(kData / "spgr2.dat");
  ASSERT_EQ(lines.size(), 637u);
  std::set<std::string> seen;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + l);
    ASSERT_GE(l.size(), 49u);
    EXPECT_EQ(l[4], ' ');
    EXPECT_NE(l[5], ' ');
    EXPECT_EQ(trim(l.substr(17, 9)), "");  // the H-M symbol stays inside its 12 columns
    EXPECT_NE(l[26], ' ');
    for (size_t c = 46; c < 49; ++c) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(l[c])));
    EXPECT_TRUE(seen.insert(no_blanks_upper(l.substr(5, 12))).second) << "H-M symbol twice";
  }
}

TEST_F(SuppliedData, EveryCatalogueLineThroughTheLibraryRouteMatchesGemmi) {
  int checked = 0;
  for (const CatalogueLine& c : catalogue()) {
    SCOPED_TRACE(std::to_string(c.number) + " " + c.hm + " (" + c.hall + ")");
    s.system = c.system.empty() ? "ORTH" : c.system;  // line 557 holds "A b a m"
    s.symbol = to_upper(c.hm);
    s.symbol_kind = "HALL";
    load_operators_getspec(s, m);
    ASSERT_TRUE(m.empty()) << m.texts().front();
    ASSERT_LE(s.operators.size(), static_cast<size_t>(kMaxOperators));
    Expected e = expected_group(c.hm, c.system, c.code);
    EXPECT_EQ(e.number, c.code) << "code column";
    EXPECT_EQ(keys_of(s.operators), keys_of(e.ops));
    EXPECT_EQ(keys_of(gemmi::symops_from_hall(c.hall.c_str())), keys_of(e.ops));
    ++checked;
  }
  EXPECT_EQ(checked, 637);
}

TEST_F(SuppliedData, EveryOperatorFileBlockThroughTheHmRouteMatchesGemmi) {
  const auto lines_of_catalogue = catalogue();
  int blocks = 0;
  for (const char* system : kSystemCodes) {
    SCOPED_TRACE(system);
    const std::string file = operator_file_name(system);
    auto lines = read_text_lines(kData / file);
    int halved = 0, in_file = 0;
    for (size_t i = 0; i + 2 < lines.size(); ++i) {
      if (!trim(lines[i]).empty()) continue;
      const std::string symbol = trim(lines[i + 1]);
      const bool flag = trim(lines[i + 2]) != "0";
      SCOPED_TRACE(file + ": " + symbol);
      s.system = system;
      s.symbol = to_upper(symbol);
      s.symbol_kind = "HM";
      load_operators_hm(s, m);
      ASSERT_TRUE(m.empty()) << m.texts().front();
      ++in_file;
      if (is_no_extinction(symbol)) {
        ASSERT_EQ(s.operators.size(), 1u);
        EXPECT_EQ(keys_of(s.operators), (std::vector<OpKey>{{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}}));
        continue;
      }
      auto line = std::find_if(lines_of_catalogue.begin(), lines_of_catalogue.end(),
                               [&](const CatalogueLine& c) {
                                 return c.system == system &&
                                        no_blanks_upper(c.hm) == no_blanks_upper(symbol);
                               });
      ASSERT_NE(line, lines_of_catalogue.end()) << "not in the catalogue block";
      Expected e = expected_group(line->hm, line->system, line->code);
      EXPECT_EQ(keys_of(s.operators), keys_of(e.ops));
      // The inversion at the origin is used wherever the group has it.
      bool inversion = false;
      for (const gemmi::Op& op : e.ops)
        inversion |= op.rot == gemmi::Op::identity().negated_rot() &&
                     op.tran == gemmi::Op::Tran{0, 0, 0};
      EXPECT_EQ(flag, inversion);
      halved += flag;
      ++blocks;
    }
    EXPECT_GT(halved, 0) << "no centrosymmetric block";
    EXPECT_GT(in_file, 1);
  }
  EXPECT_EQ(blocks, 12 + 116 + 192 + 110 + 52 + 7 + 42);
}

TEST_F(SuppliedData, RhombohedralGroupsUnderHexagonalAndRhombohedralAxes) {
  struct Case {
    const char* system;
    const char* kind;
    const char* symbol;
    size_t count;
  };
  const Case cases[] = {
      {"HEXA", "HM", "R -3 M:H", 36},   // a third listed, two centring copies
      {"RHOM", "HM", "R -3 M:R", 12},   // the primitive rhombohedral cell: no centring
      {"HEXA", "HALL", "R -3 M", 36},
      {"RHOM", "HALL", "R -3 2/M:R", 12},
      {"CUBI", "HM", "F M -3 M", 192},  // 24 listed, halved flag, four F copies
      {"CUBI", "HALL", "F D -3 C:2", 192},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symbol);
    s.system = c.system;
    s.symbol = c.symbol;
    if (std::string(c.kind) == "HM") load_operators_hm(s, m);
    else load_operators_getspec(s, m);
    EXPECT_EQ(s.operators.size(), c.count);
  }
  EXPECT_TRUE(m.empty());
}

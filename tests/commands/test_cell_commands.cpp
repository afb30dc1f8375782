// Cell files and indexed lists through the commands: files written here as text, the
// supplied catalogue, and the session left as it was whenever a file is refused.
#include <gtest/gtest.h>

#include <cmath>

#include "commands/cell_files.hpp"
#include "commands/indexed_list_commands.hpp"
#include "core/calc_fixtures.hpp"
#include "core/text_file.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

using testing::read_bytes;
using testing::TempFolder;
using testing::write_bytes;

constexpr double kCuKa1 = 1.540593;

struct CellCommands : ::testing::Test {
  TempFolder folder;
  WorkSession s;
  CellTab tab;
  RecordingMessages m;
  void SetUp() override {
    reset_session(s, folder.path());
    s.data_folder = VORNAX_SOURCE_DATA_DIR;
    s.wavelengths.lambda = kCuKa1;
    s.range_min = s.window_min = 10;
    s.range_max = s.window_max = 80;
  }
  static double two_theta_silicon(int h, int k, int l, double a) {
    const double d = a / std::sqrt(h * h + k * k + l * l);
    return 2 * std::asin(kCuKa1 / (2 * d)) * 180 / std::acos(-1.0);
  }
};

const char* kSiliconCry =
    "Silicon\r\ncubi\r\nF d -3 m\r\n"
    "    5.4312    5.4312    5.4312   90.0000   90.0000   90.0000\r\n";

TEST_F(CellCommands, CryFileIsLookedUpAndCalculated) {
  write_bytes("si.cry", kSiliconCry);
  const Changed c = import_cell_vornax(s, tab, "si.cry", m);
  EXPECT_TRUE(any(c, Changed::Calculated));
  EXPECT_EQ(s.title, "Silicon");
  EXPECT_EQ(s.system, "CUBI");
  EXPECT_EQ(s.symbol, "F D -3 M:1");  // the catalogue's spelling, with its setting
  EXPECT_EQ(s.symbol_kind, "HM");
  EXPECT_DOUBLE_EQ(s.initial_cell.a, 5.4312);
  EXPECT_EQ(s.cell_file_name, "si.cry");
  ASSERT_FALSE(s.allowed.empty());
  // Diamond structure: (1 1 1) first, (2 0 0) absent.
  EXPECT_EQ(s.allowed[0].h * s.allowed[0].k * s.allowed[0].l, 1);
  EXPECT_NEAR(s.allowed[0].two_theta, two_theta_silicon(1, 1, 1, 5.4312), 1e-4);
  for (const auto& r : s.allowed) EXPECT_NE(r.h * r.h + r.k * r.k + r.l * r.l, 4);
}

TEST_F(CellCommands, IcsdFileTakesTheCatalogueSymbolAndTheSystemFromTheCell) {
  write_bytes("si.ics",
              "TITL Si\r\nSGR F d -3 m H (227)\r\n"
              "CELL a=5.4312(1) b=5.4312(1) c=5.4312(1) a=90. b=90. g=90.\r\n");
  s.system = "HEXA";
  import_cel_icsd(s, tab, "si.ics", m);
  EXPECT_EQ(s.system, "CUBI");
  EXPECT_EQ(s.symbol, "F D -3 M:1");
  EXPECT_EQ(s.title, " Si");
  EXPECT_FALSE(s.allowed.empty());
  // An .ics name chosen through the .cry command is read as an ICSD file.
  WorkSession t = s;
  t.allowed.clear();
  import_cell_vornax(t, tab, "si.ics", m);
  EXPECT_FALSE(t.allowed.empty());
}

TEST_F(CellCommands, RefusedFilesLeaveTheSessionAsItWas) {
  write_bytes("si.cry", kSiliconCry);
  import_cell_vornax(s, tab, "si.cry", m);
  s.selected.push_back(SelectedPair{});
  const std::pair<const char*, const char*> bad[] = {
      {"short.cry", "x\r\nTETR\r\nP 4\r\n    3.0000    3.0000    5.0000   90.0000   90.0000\r\n"},
      {"bad.ics", "TITL other\r\nSGR P 1 (1)\r\nCELL a=5.431(1 b=5.431(1) c=5.431(1)\r\n"},
  };
  for (auto [name, text] : bad) {
    write_bytes(name, text);
    m.clear();
    EXPECT_EQ(import_cell_vornax(s, tab, name, m), Changed::None);
    EXPECT_EQ(m.texts(), std::vector<std::string>{"Cell parameters not found!"});
    EXPECT_EQ(s.title, "Silicon");
    EXPECT_EQ(s.system, "CUBI");
    EXPECT_EQ(s.symbol, "F D -3 M:1");
    EXPECT_DOUBLE_EQ(s.cell.c, 5.4312);
    EXPECT_EQ(s.cell_file_name, "si.cry");
    EXPECT_EQ(s.selected.size(), 1u);
  }
  m.clear();
  EXPECT_EQ(import_cell_vornax(s, tab, "missing.cry", m), Changed::None);
  EXPECT_EQ(m.texts().size(), 1u);
}

TEST_F(CellCommands, SaveEraseLoadGivesTheSameReflections) {
  write_bytes("si.cry", kSiliconCry);
  import_cell_vornax(s, tab, "si.cry", m);
  const auto before = s.allowed;
  s.cell.a = s.cell.b = s.cell.c = 5.431194;
  EXPECT_EQ(save_cell(s, tab, "copy", m), Changed::Cell);
  EXPECT_EQ(s.cell_file_name, "copy.cry");
  EXPECT_EQ(calculated_pattern_caption(s), "Calculated pattern (copy.cry)");
  EXPECT_EQ(read_bytes("copy.cry"),
            "Silicon\r\nCUBI\r\nF D -3 M:1\r\n"
            "    5.4312    5.4312    5.4312   90.0000   90.0000   90.0000\r\n");
  EXPECT_EQ(erase_calculated_reflections(s), Changed::Calculated);
  EXPECT_TRUE(s.allowed.empty());
  import_cell_vornax(s, tab, "copy.cry", m);
  ASSERT_EQ(s.allowed.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_DOUBLE_EQ(s.allowed[i].two_theta, before[i].two_theta);
}

TEST_F(CellCommands, SaveCellRefusalsRecordNoName) {
  write_bytes("si.cry", kSiliconCry);
  import_cell_vornax(s, tab, "si.cry", m);
  write_bytes("taken.cry", "keep");
  m.clear();
  m.answers = {Answer::No};
  EXPECT_EQ(save_cell(s, tab, "taken.cry", m), Changed::None);
  EXPECT_EQ(read_bytes("taken.cry"), "keep");
  EXPECT_EQ(s.cell_file_name, "si.cry");
  EXPECT_EQ(m.texts(), std::vector<std::string>{"This file already exists. Do you want to continue?"});

  s.cell.gamma = 0;
  m.clear();
  EXPECT_EQ(save_cell(s, tab, "zero", m), Changed::None);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"No cell parameters!"});
  EXPECT_FALSE(std::filesystem::exists("zero.cry"));
}

TEST_F(CellCommands, SaveAndMergeRoundTripAboveHundredDegrees) {
  write_bytes("si.cry", kSiliconCry);
  s.range_max = s.window_max = 130;
  import_cell_vornax(s, tab, "si.cry", m);
  SelectedPair far{};
  far.h = 5, far.k = 3, far.l = 3;
  far.two_theta_obs = static_cast<float>(two_theta_silicon(5, 3, 3, 5.4312) + 0.01);
  SelectedPair near{};
  near.h = 1, near.k = 1, near.l = 1;
  near.two_theta_obs = 28.4567f;
  s.selected = {near, far};
  s.indexed_list = {{9, 9, 9, 1}};
  m.clear();
  EXPECT_NE(save_selection_list(s, "pairs", m), Changed::None);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"The indexed list was save in the file pairs.lst"});
  EXPECT_EQ(s.measured.file_name, "pairs.lst");
  EXPECT_TRUE(s.indexed_list.empty());

  s.selected.clear();
  m.clear();
  EXPECT_EQ(merge_indexed_list(s, "pairs.lst", m), Changed::Selection);
  EXPECT_TRUE(m.empty());
  ASSERT_EQ(s.selected.size(), 2u);
  EXPECT_NEAR(s.selected[0].two_theta_obs, 28.4567, 1e-4);
  EXPECT_NEAR(s.selected[1].two_theta_obs, far.two_theta_obs, 1e-4);
  EXPECT_GT(s.selected[1].two_theta_obs, 100);
  EXPECT_NEAR(s.selected[1].two_theta_calc, two_theta_silicon(5, 3, 3, 5.4312), 1e-3);

  // A name holding ".lst" anywhere is kept as it is.
  EXPECT_NE(save_selection_list(s, "old.lst.bak", m), Changed::None);
  EXPECT_TRUE(std::filesystem::exists("old.lst.bak"));
}

TEST_F(CellCommands, MergeOfABadFileChangesNothing) {
  write_bytes("si.cry", kSiliconCry);
  import_cell_vornax(s, tab, "si.cry", m);
  write_bytes("bad.lst", "   1   1   1   28.4400\r\n   1   1   0123.4567\r\n");
  m.clear();
  EXPECT_EQ(merge_indexed_list(s, "bad.lst", m), Changed::None);
  EXPECT_TRUE(s.selected.empty());
  EXPECT_EQ(m.texts().size(), 1u);
}

TEST_F(CellCommands, EnteredListIsSavedWithTenFourAngles) {
  EXPECT_NE(accept_entered_list(s, {{"1", "1", "0", "123.4567"}, {"1", "0", "0", "20"}}, "1.54", m),
            Changed::None);
  EXPECT_TRUE(s.measured.file_name.empty());
  EXPECT_NE(save_entered_list(s, "typed", m), Changed::None);
  EXPECT_EQ(s.measured.file_name, "typed.lst");
  EXPECT_EQ(read_bytes("typed.lst"), "   1   1   0  123.4567\r\n   1   0   0   20.0000\r\n");
}

}  // namespace
}  // namespace vornax

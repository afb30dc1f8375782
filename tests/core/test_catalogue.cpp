// The catalogue blocks, the Getspec list entries and the two space-group lists of the
// cell tab as they are filled from spgr2.dat and the operator files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "calc_fixtures.hpp"
#include "core/catalogue.hpp"
#include "core/session.hpp"
#include "core/text_file.hpp"

using namespace vornax;
namespace fs = std::filesystem;

namespace {

class CatalogueFiles : public ::testing::Test {
 protected:
  CatalogueFiles() {
    reset_session(s, dir_);
    s.data_folder = VORNAX_SOURCE_DATA_DIR;
  }
  void write(const std::string& name, const std::string& text) {
    vornax::testing::write_bytes(dir_ / name, text);
  }

  vornax::testing::TempFolder folder_;
  fs::path dir_ = folder_.path();
  WorkSession s;
  CellTab tab;
};

}  // namespace

TEST(CatalogueBlock, FixedLineNumbersPerSystem) {
  struct Case {
    const char* system;
    int first, last;
  };
  const Case cases[] = {{"TRIC", 1, 18},    {"MONO", 19, 178},  {"ORTH", 179, 370},
                        {"TETR", 371, 480}, {"HEXA", 481, 547}, {"RHOM", 548, 556},
                        {"CUBI", 558, 637}, {"", 1, 1},         {"XXXX", 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.system);
    EXPECT_EQ(catalogue_block(c.system).first, c.first);
    EXPECT_EQ(catalogue_block(c.system).last, c.last);
  }
}

TEST(GetspecEntry, ColumnsTrimmedAndPadded) {
  struct Case {
    const char* line;
    const char* entry;
  };
  const Case cases[] = {
      // a short H-M symbol still puts the Hall symbol at character 13
      {"   1 P 1                  P 1                 001 note",
       "P 1         P 1              001"},
      {"  99 P 42/n m c:1         P 4n 2n -1n         137",
       "P 42/n m c:1P 4n 2n -1n      137"},
      // a Hall symbol longer than 17 characters is kept whole
      {"     C 4                  C 4abcdefghijklmnopq 75",
       "C 4         C 4abcdefghijklmnopq75 "},
      {"     P 1", "P 1                             "},
      {"", "                                "},
  };
  for (const Case& c : cases) EXPECT_EQ(getspec_entry(c.line), c.entry) << c.line;
}

TEST_F(CatalogueFiles, GetspecListHoldsTheSystemBlockAndSelectsTheSymbol) {
  s.system = "TETR";
  s.symbol = "P 42/N M C:2";
  fill_getspec_list(s, tab);
  ASSERT_EQ(tab.getspec_list.size(), 110u);
  EXPECT_EQ(tab.getspec_list.front().substr(0, 12), "P 4         ");
  ASSERT_GE(tab.getspec_selected, 0);
  EXPECT_EQ(tab.getspec_list[static_cast<size_t>(tab.getspec_selected)].substr(0, 12),
            "P 42/n m c:2");

  s.system = "RHOM";  // the symbol is not in that block: nothing selected
  fill_getspec_list(s, tab);
  EXPECT_EQ(tab.getspec_list.size(), 9u);
  EXPECT_EQ(tab.getspec_selected, -1);

  s.system = "";  // no system: the first line only
  fill_getspec_list(s, tab);
  EXPECT_EQ(tab.getspec_list.size(), 1u);
}

TEST_F(CatalogueFiles, MissingCatalogueIsFatalAndEmptiesTheList) {
  s.data_folder = dir_ / "nowhere";
  s.system = "CUBI";
  tab.getspec_list = {"old"};
  tab.getspec_selected = 0;
  try {
    fill_getspec_list(s, tab);
    FAIL() << "no error";
  } catch (const CatalogueMissing& e) {
    EXPECT_STREQ(e.what(), "The file SPGR2.Dat was not found");
  }
  EXPECT_TRUE(tab.getspec_list.empty());
  EXPECT_EQ(tab.getspec_selected, -1);
}

TEST_F(CatalogueFiles, HmListReadsTheSystemFileAfterNoExt) {
  // "Tetra." reads q.pos, not t.pos; a "No ext." block is not listed twice; an empty
  // line is followed by a symbol line, other lines are passed over.
  write("q.pos", "\r\nNo ext.\r\n0\r\n1\r\nX,Y,Z\r\n\r\n  P 4  \r\n0\r\n1\r\nX,Y,Z\r\n"
                 "   \r\nI 4/m\r\n1\r\n1\r\nX,Y,Z\r\n");
  write("t.pos", "\r\nP 1\r\n0\r\n1\r\nX,Y,Z\r\n");
  s.system = "TETR";
  s.symbol = "I 4/M";
  fill_hm_list(s, tab);
  EXPECT_EQ(tab.hm_list, (std::vector<std::string>{"No ext.", "P 4", "I 4/m"}));
  EXPECT_EQ(tab.hm_selected, 2);

  s.symbol = "NO EXT.";
  fill_hm_list(s, tab);
  EXPECT_EQ(tab.hm_selected, 0);
  s.symbol = "P 42";
  fill_hm_list(s, tab);
  EXPECT_EQ(tab.hm_selected, -1);
}

TEST_F(CatalogueFiles, HmListFromTheSuppliedFiles) {
  struct Case {
    const char* system;
    size_t entries;  // "No ext." and one per setting
  };
  const Case cases[] = {{"TRIC", 13}, {"MONO", 117}, {"ORTH", 193}, {"TETR", 111},
                        {"HEXA", 53}, {"RHOM", 8},   {"CUBI", 43}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.system);
    s.system = c.system;
    fill_hm_list(s, tab);
    EXPECT_EQ(tab.hm_list.size(), c.entries);
    EXPECT_EQ(tab.hm_list.front(), "No ext.");
  }
}

TEST_F(CatalogueFiles, MissingOperatorFileLeavesTheList) {
  s.data_folder = dir_ / "nowhere";
  s.system = "CUBI";
  tab.hm_list = {"No ext.", "P 2 3"};
  tab.hm_selected = 1;
  try {
    fill_hm_list(s, tab);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("c.pos"), std::string::npos) << e.what();
  }
  EXPECT_EQ(tab.hm_list.size(), 2u);
  EXPECT_EQ(tab.hm_selected, 1);
}

TEST_F(CatalogueFiles, SyncSetsLatticeSystemAndHmSelection) {
  struct Case {
    const char* system;
    const char* symbol;
    char letter;
    int system_index;
    int hm_selected;
  };
  tab.hm_list = {"No ext.", "P m -3 m", "F m -3 m", "R 3 m:R"};
  const Case cases[] = {
      {"CUBI", "F M -3 M", 'F', 0, 2},
      {"RHOM", "R 3 M:R", 'P', 4, 3},
      {"HEXA", "R 3 M:H", 'R', 3, 3},  // not in the list: the selection stays
      {"CUBI", "NO EXT.", 'P', 0, 0},
      {"TRIC", "", ' ', 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symbol);
    s.system = c.system;
    s.symbol = c.symbol;
    sync_symbol_lists(s, tab);
    EXPECT_EQ(s.lattice_letter, c.letter);
    EXPECT_EQ(tab.system_index, c.system_index);
    EXPECT_EQ(tab.hm_selected, c.hm_selected);
  }
}

TEST(KeepSelectionOfKind, TheListOfTheLastClickKeepsItsSelection) {
  struct Case {
    const char* kind;
    int hm, getspec;          // selections after the refill
    int want_hm, want_getspec;
  };
  const Case cases[] = {
      {"HALL", 3, 5, -1, 5},  // in both lists: the Getspec choice stays one
      {"HM", 3, 5, 3, -1},
      {"HALL", 3, -1, 3, -1},  // only the H-M list holds it: nothing to choose between
      {"HM", -1, 5, -1, 5},
      {"", 3, 5, 3, 5},
  };
  for (const Case& c : cases) {
    WorkSession s;
    s.symbol_kind = c.kind;
    CellTab tab;
    tab.hm_selected = c.hm;
    tab.getspec_selected = c.getspec;
    keep_selection_of_kind(s, tab);
    EXPECT_EQ(tab.hm_selected, c.want_hm) << c.kind;
    EXPECT_EQ(tab.getspec_selected, c.want_getspec) << c.kind;
  }
}

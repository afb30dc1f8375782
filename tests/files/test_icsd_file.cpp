// ICSD import: the CELL line with uncertainties and names, the SGR symbol, and files
// that must be refused or read to their end.
#include <gtest/gtest.h>

#include "files/icsd_file.hpp"

namespace vornax {
namespace {

struct CellCase {
  const char* line;
  std::array<double, 6> want;
};

TEST(IcsdFile, CellLineForms) {
  const CellCase cases[] = {
      {"CELL a=5.431(1) b=5.431(1) c=5.431(1) a=90. b=90. g=90.", {5.431, 5.431, 5.431, 90, 90, 90}},
      {"CELL a=3.189(2) b=3.189(2) c=5.185(3) alpha=90. beta=90. gamma=120.",
       {3.189, 3.189, 5.185, 90, 90, 120}},
      {"CELL   7.1,9.2,12.3,90,101.5(12),90", {7.1, 9.2, 12.3, 90, 101.5, 90}},
      // An uncertainty left open removes the rest of the line; the six numbers stand.
      {"CELL 4 4 4 90 90 90 (Z=4", {4, 4, 4, 90, 90, 90}},
  };
  for (const auto& c : cases) {
    const IcsdData d = read_icsd_file(std::string(c.line) + "\r\n", "x.ics");
    const std::array<double, 6> got = {d.cell.a, d.cell.b, d.cell.c,
                                       d.cell.alpha, d.cell.beta, d.cell.gamma};
    for (size_t i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(got[i], c.want[i]) << c.line;
  }
}

TEST(IcsdFile, UndecodableCellIsRefused) {
  const char* bad[] = {
      "CELL a=5.431(1 b=5.431(1) c=5.431(1) a=90. b=90. g=90.",  // unmatched "(": 1 number
      "CELL a=5.431 b=5.431 c=5.431 al=90. be=90.",              // five numbers
      "CELL",
      "TITL no cell at all\r\nSGR P 1 (1)",
  };
  for (const char* text : bad) {
    try {
      read_icsd_file(text, "x.ics");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const CellParametersNotFound& e) {
      EXPECT_STREQ(e.what(), "Cell parameters not found!");
    }
  }
}

TEST(IcsdFile, SgrBeforeCellDoesNotStopTheReading) {
  const IcsdData d = read_icsd_file(
      "TITL Silicon at room temperature\r\nSGR F d -3 m H (227)\r\n"
      "CELL a=5.4311(1) b=5.4311(1) c=5.4311(1) a=90. b=90. g=90.\r\nREM end\r\n",
      "si.ics");
  ASSERT_TRUE(d.symbol);
  EXPECT_EQ(*d.symbol, "Fd-3m");
  ASSERT_TRUE(d.title);
  EXPECT_EQ(*d.title, " Silicon at room temperature");
  EXPECT_DOUBLE_EQ(d.cell.a, 5.4311);
}

TEST(IcsdFile, SymbolForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"F d -3 m H (227)", "Fd-3m"},
      {"P 63/m m c (194)", "P63/mmc"},
      {"R -3 c H", "R-3c"},
      {"P 2 3", "P23"},
      {"(12)", ""},
  };
  for (auto [value, want] : cases) EXPECT_EQ(icsd_symbol(value), want) << value;
}

TEST(IcsdFile, NoSgrLeavesTheSymbolUnset) {
  const IcsdData d = read_icsd_file("CELL 4 4 4 90 90 90\r", "x.ics");
  EXPECT_FALSE(d.symbol);
  EXPECT_FALSE(d.title);
}

TEST(IcsdFile, ManyUnmatchedParenthesesEndQuickly) {
  // A search-and-delete loop would never end here; the test runner's time limit
  // catches that.
  std::string line = "CELL 1 2 3 4 5 6";
  for (int i = 0; i < 20000; ++i) line += " ((";
  const IcsdData d = read_icsd_file(line, "x.ics");
  EXPECT_DOUBLE_EQ(d.cell.gamma, 6);
}

}  // namespace
}  // namespace vornax

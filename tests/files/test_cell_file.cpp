// The .cry cell file: read from text written here, written with blanks kept between
// numbers, and refused whole when its cell line is incomplete.
#include <gtest/gtest.h>

#include "core/text_file.hpp"
#include "files/cell_file.hpp"

namespace vornax {
namespace {

TEST(CellFile, ReadsTheFourLinesTrimmingSystemAndSymbol) {
  const std::string text =
      "Silicon standard\r\n  cubi \r\n   F d -3 m  \r\n"
      "    5.4312    5.4312    5.4312   90.0000   90.0000   90.0000\r\n";
  const CellFileData d = read_cell_file(text, "si.cry");
  EXPECT_EQ(d.title, "Silicon standard");
  EXPECT_EQ(d.system, "CUBI");
  EXPECT_EQ(d.symbol, "F d -3 m");
  EXPECT_DOUBLE_EQ(d.cell.a, 5.4312);
  EXPECT_DOUBLE_EQ(d.cell.c, 5.4312);
  EXPECT_DOUBLE_EQ(d.cell.gamma, 90.0);
}

TEST(CellFile, FreeFormatNumbersAndLfOnlyLines) {
  const CellFileData d = read_cell_file("t\nMONO\nP 1 21/c 1\n7.1 9.2\t12.3  90 101.25 90\n", "m");
  EXPECT_DOUBLE_EQ(d.cell.b, 9.2);
  EXPECT_DOUBLE_EQ(d.cell.beta, 101.25);
}

TEST(CellFile, IncompleteFilesAreRefusedWithTheOneMessage) {
  const std::vector<std::string> bad = {
      "",
      "title\r\nCUBI\r\nP m -3 m\r\n",                                   // no line 4
      "title\r\nCUBI\r\nP m -3 m\r\n    4.0000    4.0000    4.0000   90.0000   90.0000\r\n",
      "title\r\nCUBI\r\nP m -3 m\r\n    4.0000    4.0x00    4.0000   90.0000   90.0000   90.0000\r\n",
      // Six numbers spread over two lines are not a cell line.
      "title\r\nCUBI\r\nP m -3 m\r\n 4 4 4\r\n 90 90 90\r\n",
  };
  for (const auto& text : bad) {
    try {
      read_cell_file(text, "bad.cry");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const CellParametersNotFound& e) {
      EXPECT_STREQ(e.what(), "Cell parameters not found!");
    }
  }
}

TEST(CellFile, WriterUsesTenFourFieldsAndKeepsBlanksAtLargeValues) {
  CellFileData d{"Big", "ORTH", "P N M A", {12345.67891, 10000.0, 5.43119, 90, 90, 90}};
  const auto lines = cell_file_lines(d);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Big");
  EXPECT_EQ(lines[1], "ORTH");
  EXPECT_EQ(lines[2], "P N M A");
  EXPECT_EQ(lines[3], "12345.6789 10000.0000    5.4312   90.0000   90.0000   90.0000");
  // Read back by blank-separated reading, each number stays itself.
  const auto v = split_numbers(lines[3]);
  ASSERT_EQ(v.size(), 6u);
  EXPECT_DOUBLE_EQ(v[0], 12345.6789);
  EXPECT_DOUBLE_EQ(v[1], 10000.0);
}

TEST(CellFile, RoundTripKeepsFourDecimals) {
  const std::vector<CellParameters> cells = {
      {5.431194, 5.431194, 5.431194, 90, 90, 90},
      {3.18966, 3.18966, 5.18604, 90, 90, 120},
      {7.12345678, 9.87654321, 11.00005, 89.99996, 101.234567, 90.00004},
  };
  for (const auto& c : cells) {
    const auto lines = cell_file_lines({"x", "TRIC", "P 1", c});
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    const auto back = read_cell_file(text, "x.cry").cell;
    for (auto [got, want] : {std::pair{back.a, c.a}, {back.b, c.b}, {back.c, c.c},
                             {back.alpha, c.alpha}, {back.beta, c.beta}, {back.gamma, c.gamma}})
      EXPECT_NEAR(got, want, 0.5e-4 + 1e-12);
  }
}

}  // namespace
}  // namespace vornax

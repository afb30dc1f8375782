// Indexed lists: the line layout written, reading back with either 2θ width, refused
// lines and the 100-entry limit.
#include <gtest/gtest.h>

#include "core/session.hpp"
#include "core/text_file.hpp"
#include "files/indexed_list_file.hpp"

namespace vornax {
namespace {

TEST(IndexedListFile, LineLayout) {
  EXPECT_EQ(indexed_list_line(1, 1, 0, 28.44), "   1   1   0   28.4400");
  EXPECT_EQ(indexed_list_line(-2, 10, 3, 123.4567), "  -2  10   3  123.4567");
  // Overflowing fields still keep a blank between numbers.
  EXPECT_EQ(indexed_list_line(-1000, -1000, 12345, -12345.67891),
            "-1000 -1000 12345 -12345.6789");
}

TEST(IndexedListFile, LinesAbove100DegreesReadBack) {
  const std::vector<IndexedEntry> in = {{1, 1, 0, 123.4567}, {-3, 2, 11, 99.9999},
                                        {-1000, 2, -1000, 150.0001}};
  std::string text;
  for (const auto& l : indexed_list_lines(in)) text += l + "\r\n";
  const auto back = read_indexed_list(text, "x.lst");
  ASSERT_EQ(back.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(back[i].h, in[i].h);
    EXPECT_EQ(back[i].k, in[i].k);
    EXPECT_EQ(back[i].l, in[i].l);
    EXPECT_DOUBLE_EQ(back[i].two_theta, in[i].two_theta);
  }
}

TEST(IndexedListFile, BothWidthsReadAlikeBlankAndZeroLinesSkipped) {
  const std::string text =
      "   1   0   0 20.1234\r\n"      // 8:4 as an older list writes it
      "   1   1   0   28.4400\r\n"    // 10:4
      "\r\n"
      "   2   0   0    0.0000\r\n"    // 2θ 0: dropped
      "\t1 1 1 35.5\tcomment\n"
      "   1   1   2 40.0";            // no line end at the end
  const auto v = read_indexed_list(text, "x.lst");
  ASSERT_EQ(v.size(), 4u);
  EXPECT_DOUBLE_EQ(v[0].two_theta, 20.1234);
  EXPECT_EQ(v[2].l, 1);
  EXPECT_DOUBLE_EQ(v[3].two_theta, 40.0);
}

TEST(IndexedListFile, BadLinesAreFormatErrorsNamingTheLine) {
  const std::vector<std::string> bad = {
      "   1   1   0123.4567\r\n",   // three indices run into the angle
      "1 1 x 20\r\n",
      "1.5 1 0 20\r\n",
      "1 1 0\r\n",
      "1 1 0 20\r\n1 1 1 abc\r\n",
      "40000 0 0 20\r\n",            // beyond a 16-bit index
  };
  for (const auto& text : bad) {
    try {
      read_indexed_list(text, "bad.lst");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find("bad.lst: line "), std::string::npos) << e.what();
    }
  }
}

TEST(IndexedListFile, The101stEntryIsCountedNotKept) {
  std::string text;
  for (int i = 1; i <= 101; ++i) text += indexed_list_line(i, 0, 0, i * 0.5) + "\r\n";
  const auto kept = read_indexed_list(text, "x.lst");
  ASSERT_EQ(kept.size(), 100u);
  EXPECT_EQ(kept.back().h, 100);
  const auto counted = read_indexed_list(text, "x.lst", kMaxIndexedEntries);
  EXPECT_TRUE(counted.overflow());
  EXPECT_EQ(counted.extra, 1);
  EXPECT_EQ(read_indexed_list(text, "x.lst", 500).entries.size(), 101u);
  EXPECT_FALSE(read_indexed_list(text, "x.lst", 500).overflow());
}

}  // namespace
}  // namespace vornax

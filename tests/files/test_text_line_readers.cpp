// Readers that walk their lines in place (column peaks, indexed lists, GSAS banks):
// every mix of CR, LF and CR LF line ends and any number of blank lines gives the
// lines, line numbers and values the file holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/text_file.hpp"
#include "core/text_lines.hpp"
#include "files/gsas_file.hpp"
#include "files/indexed_list_file.hpp"
#include "files/peak_files.hpp"

using namespace vornax;

namespace {

std::vector<std::string> walked(std::string_view bytes) {
  std::vector<std::string> out;
  TextLineWalker w(bytes);
  for (std::string_view line; w.next(line);) {
    out.emplace_back(line);
    EXPECT_EQ(w.line_number(), out.size());
  }
  return out;
}

// The message of the FormatError `read` throws, or "" when it throws none.
template <class F>
std::string failure(F read) {
  try {
    read();
  } catch (const FormatError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(TextLineWalker, CutsWhereTheLineSplitterCuts) {
  const char* const texts[] = {
      "", "\n", "\r", "\r\n", "\n\r", "\r\r\n\n", "a", "a\n", "a\r\nb", "a\rb\nc\r\nd\r",
      "\n\n\n12\r\r\n\r\n  \t\n", "x\r\n\r\ny\n\rz", "\r\n\r\n\r\n\r",
  };
  for (const char* t : texts) EXPECT_EQ(walked(t), split_text_lines(t)) << '"' << t << '"';
  const std::vector<std::string> mixed = {"", "a", "", "b", "c", "", ""};
  EXPECT_EQ(walked("\na\r\rb\r\nc\n\r\n\n"), mixed);
}

TEST(TextLineReaders, BlankLinesAndMixedLineEndsReadAsBefore) {
  // Line numbers, 1-based: 1 "", 2 "", 3 "12.5", 4 "", 5 "  30.25  7", 6 "", 7 "", 8 "40".
  const std::string column = "\r\n\n12.5\r\r\n  30.25  7\n\r\n\r40";
  PeakFileData d = read_column_peaks(column, "p.prn");
  ASSERT_EQ(d.peaks.size(), 3u);
  EXPECT_EQ(d.peaks[0].two_theta_read, 12.5);
  EXPECT_EQ(d.peaks[1].two_theta_read, 30.25);
  EXPECT_EQ(d.peaks[2].two_theta_read, 40);
  std::string blanks(200000, '\n');
  d = read_column_peaks(blanks + "21.5\r\n" + blanks, "p.prn");
  ASSERT_EQ(d.peaks.size(), 1u);
  EXPECT_EQ(d.peaks[0].two_theta_read, 21.5);

  const std::string list = "\r\n   1   1   1  28.4420\r\r\n\t\n  2 2 0 47.3030\n\r\n-1 0 2 56.1220";
  const auto entries = read_indexed_list(list, "l.lst");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].h, 2);
  EXPECT_EQ(entries[1].two_theta, 47.303);
  EXPECT_EQ(entries[2].h, -1);
  EXPECT_EQ(entries[2].l, 2);

  // A bad line is named by its number whatever the line ends before it.
  struct Case {
    std::string bytes;
    bool list;
    std::string message;
  } cases[] = {
      {"\r\n\r10\n\r\nword\n", false, "p: line 5 does not begin with a number"},
      {"\r\r\r\r\rx", false, "p: line 6 does not begin with a number"},
      {blanks + "1 1 1\r\n", true, "p: line 200001 does not begin with h k l 2Theta"},
      {"1 1 1 20\r\n\r\r\n1 1 x 30", true, "p: line 4 does not begin with h k l 2Theta"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(failure([&] {
                if (c.list) read_indexed_list(c.bytes, "p");
                else read_column_peaks(c.bytes, "p");
              }),
              c.message);
}

TEST(GsasFile, GeneratedBanksReadToTheirKnownValues) {
  // FXYE: x in centidegrees, then y and an ignored sigma; lines end in turn LF, CR LF
  // and CR, with a blank line every seventh point; a second bank (in lower case) ends it.
  const int n = 2000;
  std::string text = "\r\n  Generated scan \r\n\nBANK 1 2000 2000 CONS 0 0 0 0 FXYE\n";
  const char* ends[] = {"\n", "\r\n", "\r"};
  char line[80];
  for (int i = 0; i < n; ++i) {
    std::snprintf(line, sizeof line, " %9.3f\t%10.2f   %5.2f", 1000 + 1.25 * i,
                  50.0 + (i * 37) % 1001, 1.0 + i % 5);
    text += line;
    text += ends[i % 3];
    if (i % 7 == 0) text += " \t\r\n";
  }
  text += "bank 2 3 3 CONS 0 0 0 0 FXYE\n1 1 1\n2 2 2\n3 3 3\n";
  const ProfileFileData d = read_gsas_file(text, "g.fxye");
  const Profile& p = d.profile;
  ASSERT_EQ(p.points.size(), static_cast<size_t>(n));
  EXPECT_EQ(p.sample, "Generated scan (GSAS)");
  EXPECT_EQ(p.intensity_min, 50.0);
  EXPECT_EQ(p.intensity_max, 1050.0);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(p.points[i].two_theta, static_cast<float>((1000 + 1.25 * i) / 100)) << i;
    ASSERT_EQ(p.points[i].intensity, static_cast<float>(((i * 37) % 1001) * 100.0L / 1000)) << i;
  }
  EXPECT_EQ(p.start_angle, 10.0f);
  EXPECT_EQ(p.final_angle, static_cast<float>((1000 + 1.25 * (n - 1)) / 100));

  // STD: 8-column fields, each a 2-column counter and an intensity; blank last fields.
  const ProfileFileData s = read_gsas_file(
      "BANK 1 5 1 CONS 1000 10 0 0 STD\r\n 1    10 1    30\r\r\n 1    20 1    50 1    40\n", "s.gsa");
  ASSERT_EQ(s.profile.points.size(), 5u);
  EXPECT_EQ(s.profile.sample, " (GSAS)");
  const float want[] = {0, 50, 25, 100, 75};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_FLOAT_EQ(s.profile.points[i].two_theta, 10 + 0.1f * i);
    EXPECT_FLOAT_EQ(s.profile.points[i].intensity, want[i]);
  }

  struct Case {
    std::string bytes, message;
  } cases[] = {
      {"T\r\nBANK 1 3 3 CONS 0 0 0 0 FXYE\r\r\n100 1\n\r\n200 x\n", "g: line 6: \"x\" is not a number"},
      {"T\nBANK 1 3 3 CONS 0 0 0 0 FXYE\n100 1\r200\n", "g: line 4 needs x and y"},
      {"T\nBANK 1 3 3 CONS 0 0 0 0 FXYE\n100 1\r\nBANK 2\n300 1\n", "g: 1 of the 3 points announced"},
      {"\n\nno bank here\n", "g: no BANK line"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure([&] { read_gsas_file(c.bytes, "g"); }), c.message);
}

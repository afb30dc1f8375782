// XFIT, WINFIT, one-column and indexed-list peak files, written in the test with CR LF,
// LF and lone CR line ends.
#include <gtest/gtest.h>

#include <string>

#include "files/peak_files.hpp"

namespace vornax {
namespace {

const char* const kEnds[] = {"\r\n", "\n", "\r"};

std::string join(const std::vector<std::string>& lines, const std::string& end) {
  std::string s;
  for (const auto& l : lines) s += l + end;
  return s;
}

// A fixed-column XFIT line: 2θ in characters 23-30, intensity in 57-66.
std::string xfit_line(const std::string& tt, const std::string& intensity) {
  std::string l(22, ' ');
  l += std::string(8 - tt.size(), ' ') + tt;
  l += std::string(26, ' ');
  l += std::string(10 - intensity.size(), ' ') + intensity;
  return l + "  x";
}

TEST(XfitReader, FixedColumnsWhenTh2StandsFirstOrNeitherWord) {
  for (const char* heading : {"Peak  Th2   d   Code  Int", "XFIT peak list"}) {
    for (const char* end : kEnds) {
      SCOPED_TRACE(std::string(heading) + " / " + end);
      const auto d = read_xfit_file(join({heading, xfit_line("31.772", "250"), "",
                                          "  comment line", xfit_line("26.640", "1000"),
                                          xfit_line("", "77"), xfit_line("181.5", "500"), ""},
                                         end),
                                    "x.txt");
      ASSERT_EQ(d.peaks.size(), 3u);
      EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 31.772);
      EXPECT_DOUBLE_EQ(d.peaks[0].intensity, 25.0);
      EXPECT_DOUBLE_EQ(d.peaks[1].intensity, 100.0);
      EXPECT_DOUBLE_EQ(d.intensity_max, 1000);
      EXPECT_NEAR(d.range_min, 26.54, 1e-9);
      EXPECT_DOUBLE_EQ(d.range_max, 179);  // 181.6 is capped
    }
  }
}

TEST(XfitReader, CodeBeforeTh2ReadsAfter42Characters) {
  const std::string pad(42, '#');
  const auto d = read_xfit_file(join({"  Code  Th2", pad + " 44.5 9", pad + "38.25", "   "}, "\n"), "x.txt");
  ASSERT_EQ(d.peaks.size(), 2u);
  EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 44.5);
  EXPECT_DOUBLE_EQ(d.peaks[0].intensity, 100);
  EXPECT_DOUBLE_EQ(d.peaks[1].two_theta, 38.25);
  EXPECT_THROW(read_xfit_file(join({"Code Th2", pad + "abc"}, "\n"), "x.txt"), FormatError);
}

TEST(WinfitReader, SampleFirstThenNumbersTwoThetaAndFifth) {
  for (const char* end : kEnds) {
    SCOPED_TRACE(end);
    const auto d = read_winfit_file(
        join({"Sample\tPosition\tHeight\tFWHM\tArea\tInt", "qz1\t26.64, 3.343 0.1 7 400",
              "  qz2 95.5 1 2 3 1600 5 6 7 8 9", ""},
             end),
        "w.dat");
    ASSERT_EQ(d.peaks.size(), 2u);
    EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 26.64);
    EXPECT_DOUBLE_EQ(d.peaks[0].intensity, 25.0);
    EXPECT_DOUBLE_EQ(d.peaks[1].two_theta, 95.5);
    EXPECT_DOUBLE_EQ(d.intensity_max, 1600);
    EXPECT_EQ(d.sample, "qz2");
    // Peaks above 89° stay inside the range.
    EXPECT_NEAR(d.range_max, 95.6, 1e-9);
  }
}

TEST(WinfitReader, RefusalsCarryTheirMessages) {
  struct Case {
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"Name Position\nq 1 2 3 4 5\n", "It seems not a WINFIT file!"},
      {"", "It seems not a WINFIT file!"},
      {"Sample Position\nq 26.6 1 2 x5\n", "decode error"},
      {"Sample Position\nq 26.6 1 2\n", "decode error"},  // no fifth number
      {"Sample Position\nq\n", "decode error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      read_winfit_file(c.text, "w.dat");
      FAIL();
    } catch (const FormatError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  // At most 50 peak lines are taken.
  std::string many = "Sample Position\n";
  for (int i = 0; i < 60; ++i) many += "s " + std::to_string(10 + i) + " 0 0 0 5\n";
  const auto d = read_winfit_file(many, "w.dat");
  EXPECT_EQ(d.peaks.size(), 50u);
  EXPECT_TRUE(d.truncated);
  EXPECT_EQ(d.limit_message, kTooManyWinfitLines);
}

TEST(ColumnReader, OneAngleALineZeroDroppedBlankLinesIgnored) {
  for (const char* end : kEnds) {
    SCOPED_TRACE(end);
    const auto d = read_column_peaks(join({"  47.303", "28.442 55", "0", "", "179.95", "", ""}, end), "c.prn");
    ASSERT_EQ(d.peaks.size(), 3u);
    EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 47.303);
    EXPECT_DOUBLE_EQ(d.peaks[1].intensity, 100);
    EXPECT_NEAR(d.range_min, 28.342, 1e-9);
    EXPECT_DOUBLE_EQ(d.range_max, 179);
  }
  for (const char* bad : {"28.4\nabc\n", "28.4\n1.2.3\n", "", "\n\n", "0\n0\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(read_column_peaks(bad, "c.prn"), FormatError);
  }
}

TEST(IndexedListReader, EntriesBecomePeaksWithTheirIndices) {
  for (const char* end : kEnds) {
    SCOPED_TRACE(end);
    const auto d = read_indexed_peaks(
        join({"   1   1   1   28.4420", "  -2   2   0  47.3030", "   3   1   1    0.0000", ""}, end),
        "i.lst");
    ASSERT_EQ(d.peaks.size(), 2u);
    ASSERT_EQ(d.indexed.size(), 2u);
    EXPECT_EQ(d.indexed[1].h, -2);
    EXPECT_EQ(d.indexed[1].k, 2);
    EXPECT_DOUBLE_EQ(d.indexed[1].two_theta, 47.303);
    EXPECT_DOUBLE_EQ(d.peaks[1].two_theta, 47.303);
    EXPECT_DOUBLE_EQ(d.peaks[0].intensity, 100);
  }
  for (const char* bad : {"1 1 1\n", "1 1 x 20\n", "1.5 1 1 20\n", "1 1 1 20\nfoo\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(read_indexed_peaks(bad, "i.lst"), FormatError);
  }
  std::string many;
  for (int i = 0; i < 120; ++i) many += "1 0 0 " + std::to_string(10 + i) + "\n";
  EXPECT_EQ(read_indexed_peaks(many, "i.lst").peaks.size(), 100u);
}

// Each text kind has its own limit; a file that passes it keeps its first entries and
// names that limit, one exactly at it reads whole and says nothing.
TEST(TextPeakReaders, ALimitReachedIsNamedOnlyWhenPassed) {
  auto winfit = [](int n) {
    std::string t = "Sample Position FWHM Area Beta Intensity\r\n";
    for (int i = 0; i < n; ++i) t += "q " + std::to_string(10 + i) + " 0.1 1 0.2 50\r\n";
    return t;
  };
  auto indexed = [](int n) {
    std::string t;
    for (int i = 0; i < n; ++i) t += "   1   0   0   " + std::to_string(10 + i) + ".0000\r\n";
    return t;
  };
  auto column = [](int n) {
    std::string t;
    for (int i = 0; i < n; ++i) t += std::to_string(10 + i * 0.25) + "\r\n";
    return t;
  };
  struct Case {
    PeakFileType type;
    std::string text;
    size_t kept;
    std::string message;  // empty: read whole
  };
  const Case cases[] = {
      {PeakFileType::Winfit, winfit(50), 50, ""},
      {PeakFileType::Winfit, winfit(51), 50, kTooManyWinfitLines},
      {PeakFileType::IndexedList, indexed(100), 100, ""},
      {PeakFileType::IndexedList, indexed(101), 100, kTooManyIndexedLines},
      {PeakFileType::ColumnPrn, column(500), 500, ""},
      {PeakFileType::ColumnPrn, column(501), 500, "Too many peaks (>500)"},
  };
  for (const Case& c : cases) {
    const auto d = read_peak_file(c.type, c.text, "t");
    SCOPED_TRACE(std::to_string(static_cast<int>(c.type)) + " " + std::to_string(d.peaks.size()));
    EXPECT_EQ(d.peaks.size(), c.kept);
    EXPECT_EQ(d.truncated, !c.message.empty());
    EXPECT_EQ(d.limit_message, c.message);
    // The first entries are the ones kept, in file order.
    EXPECT_DOUBLE_EQ(d.peaks.front().two_theta, 10);
    if (c.type == PeakFileType::IndexedList) {
      EXPECT_EQ(d.indexed.size(), c.kept);
    }
  }
}

TEST(TextPeakReaders, TruncationsAndGarbageNeverCrash) {
  const std::string samples[] = {
      "Sample Position\r\nq 26.6 1 2 3 400\r\nq 30.1 1 2 3 200\r\n",
      "1 1 1 28.442\r\n2 2 0 47.303\r\n",
      "28.442\r\n47.303\r\n",
      "Th2 Code\r\n" + xfit_line("31.772", "250") + "\r\n",
      std::string("\0\xff\x80garbage\r\r\n\n", 15),
  };
  for (const auto& s : samples) {
    for (size_t n = 0; n <= s.size(); ++n) {
      for (auto type : {PeakFileType::Xfit, PeakFileType::Winfit, PeakFileType::ColumnPrn,
                        PeakFileType::IndexedList}) {
        try {
          const auto d = read_peak_file(type, s.substr(0, n), "t");
          EXPECT_FALSE(d.peaks.empty());
          EXPECT_LE(d.range_min, d.range_max);
        } catch (const FormatError&) {
        }
      }
    }
  }
}

}  // namespace
}  // namespace vornax

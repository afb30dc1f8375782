// The peak-file kinds, the extension rule, the column writer and the dif.out report.
#include <gtest/gtest.h>

#include "files/column_peaks.hpp"
#include "files/peak_files.hpp"
#include "files/peak_report.hpp"

namespace vornax {
namespace {

TEST(PeakFileKinds, TypeFromTheExtensionOnly) {
  struct Case {
    const char* path;
    int type;  // 0: no type from the name
  };
  const Case cases[] = {
      {"a.dif", 1}, {"A.DIF", 1}, {"x.Di", 4},  {"p.txt", 2}, {"w.DAT", 3},
      {"c.prn", 5}, {"c.cdt", 6}, {"l.LST", 7}, {"/x.data/p.txt", 2},
      {"/x.dat/p", 0}, {"C:\\x.dif\\p.raw", 0}, {"p.dif.bak", 0}, {"noext", 0}, {"S.RAW", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto t = peak_type_from_extension(c.path);
    EXPECT_EQ(t ? static_cast<int>(*t) : 0, c.type);
  }
  EXPECT_EQ(kPeakFileKinds[3].dialog_filter, "Philips format (*.di)");
  EXPECT_FALSE(peak_file_type_from_int(0));
  EXPECT_FALSE(peak_file_type_from_int(8));
  EXPECT_TRUE(peak_type_has_wavelength(PeakFileType::PhilipsDi));
  EXPECT_FALSE(peak_type_has_wavelength(PeakFileType::IndexedList));
}

// Both column layouts read back to the angles written, to the 6th decimal: a
// refinement of synchrotron peaks needs them.
TEST(PeakWriters, ColumnFilesReadBackAtFullPrecision) {
  const std::vector<MeasuredPeak> peaks = {{5.1234567, 5.1234567, 12.5, 1},
                                           {33.0000041, 33.0000041, 100, 2},
                                           {47.9999995, 47.9999995, 0.25, 3},
                                           {141.2718281, 141.2718281, 7, 1}};
  const struct {
    const char* name;
    TextFile file;
  } layouts[] = {{"one column", column_peak_lines(peaks)},
                 {"with intensity", column_peak_lines_with_intensity(peaks)}};
  for (const auto& l : layouts) {
    SCOPED_TRACE(l.name);
    std::string bytes;
    for (const std::string& line : l.file.lines) bytes += line + "\r\n";
    const PeakFileData d = read_column_peaks(bytes, "p.prn");
    ASSERT_EQ(d.peaks.size(), peaks.size());
    for (size_t i = 0; i < peaks.size(); ++i)
      EXPECT_NEAR(d.peaks[i].two_theta, peaks[i].two_theta, 5.0001e-7) << i;
  }
}

TEST(PeakWriters, ColumnLinesAndDifOut) {
  MeasuredPeakList m;
  m.file_name = "/data/run 4/quartz.dif";
  m.sample = "quartz";
  m.wavelengths = {1.54056, 1.54056, 1.54439, 0.5, "Cu"};
  m.intensity_max = 2500;
  m.peaks = {{26.64123, 26.6, 100, 1}, {120.5, 120.5, 12.36, 1}};
  const auto col = column_peak_lines(m.peaks);
  ASSERT_EQ(col.lines.size(), 2u);
  EXPECT_EQ(col.lines[0], "  26.641230");
  EXPECT_EQ(col.lines[1], " 120.500000");

  // With the intensity: 2θ in 11 characters with 6 decimals, then the intensity in 12
  // with 3, rounded half away from zero; a number longer than its field widens it.
  const struct {
    MeasuredPeak peak;
    const char* line;
  } with_intensity[] = {
      {{26.64123, 26.6, 100, 1}, "  26.641230     100.000"},
      {{120.5, 120.5, 12.3456, 2}, " 120.500000      12.346"},
      {{5.0000004, 5.0004, 0, 3}, "   5.000000       0.000"},
      {{44.1, 44.1, 123456789.25, 1}, "  44.100000123456789.250"},
  };
  for (const auto& c : with_intensity) {
    const auto lines = column_peak_lines_with_intensity({c.peak});
    ASSERT_EQ(lines.lines.size(), 1u);
    EXPECT_EQ(lines.lines[0], c.line);
  }

  const std::vector<std::string> expected = {
      "File name    :quartz.dif",
      "sample ID    :quartz",
      "Anode        :Cu",
      "Ratio        :    0.50",
      "Lambda       : 1.54056",
      "Lambda1      : 1.54056",
      "Lambda2      : 1.54439",
      "Nb of peaks  : 2",
      "",
      "  N  2Theta  Intensity",
      "  1  26.641    2500",
      "  2 120.500     309",  // 12.36 × 2500 / 100
  };
  EXPECT_EQ(peak_report_lines(m).lines, expected);
}

}  // namespace
}  // namespace vornax

// Peaks with their profile fit: the fitted layout written field by field, read back by
// the column reader with σ and FWHM, and lines whose σ or width cannot be an error.
#include <gtest/gtest.h>

#include <string>

#include "files/column_peaks.hpp"
#include "files/peak_files.hpp"

namespace vornax {
namespace {

std::string joined(const TextFile& f) {
  std::string s;
  for (const auto& l : f.lines) s += l + "\r\n";
  return s;
}

MeasuredPeak peak(double tt, double intensity, int code, double sigma, double fwhm) {
  MeasuredPeak p;
  p.two_theta = p.two_theta_read = tt;
  p.intensity = intensity;
  p.line_code = code;
  p.sigma = sigma;
  p.fwhm = fwhm;
  return p;
}

TEST(FittedPeakLines, FieldWidthsAndRoundTripThroughTheColumnReader) {
  const std::vector<MeasuredPeak> peaks = {peak(28.4421234, 1234.5678, 2, 0.0012346, 0.081234),
                                           peak(47.3, 50, 1, 0, 0),
                                           peak(127.5469996, 3.25, 3, 0.0456789, 1.5)};
  const TextFile f = fitted_peak_lines(peaks);
  ASSERT_EQ(f.lines.size(), 3u);
  // 2θ 11:6, intensity 12:3, code 4, σ 11:6, FWHM 10:5.
  EXPECT_EQ(f.lines[0], "  28.442123    1234.568   2   0.001235   0.08123");
  EXPECT_EQ(f.lines[1], "  47.300000      50.000   1   0.000000   0.00000");
  EXPECT_EQ(f.lines[2], " 127.547000       3.250   3   0.045679   1.50000");

  const PeakFileData d = read_column_peaks(joined(f), "fit.prn");
  ASSERT_EQ(d.peaks.size(), 3u);
  const double expected[3][3] = {{28.442123, 0.001235, 0.08123}, {47.3, 0, 0}, {127.547, 0.045679, 1.5}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(d.peaks[i].two_theta, expected[i][0]) << i;
    EXPECT_DOUBLE_EQ(d.peaks[i].sigma, expected[i][1]) << i;
    EXPECT_DOUBLE_EQ(d.peaks[i].fwhm, expected[i][2]) << i;
  }
  // Through the table of peak files as a loaded file is read.
  EXPECT_DOUBLE_EQ(read_peak_file(PeakFileType::ColumnAny, joined(f), "fit.cdt").peaks[2].sigma, 0.045679);
}

TEST(FittedPeakLines, ShortLinesHaveNoSigmaAndBadErrorsAreRefused) {
  struct Case { const char* text; double sigma, fwhm; };
  const Case read[] = {
      {"28.442\r\n", 0, 0},                  // one column
      {"28.442 100 1\r\n", 0, 0},            // three: no σ
      {"28.442 100 1 0.004\r\n", 0.004, 0},  // four: σ, no width
      {"28.442 100 1 0.004 0.12 9 9\r\n", 0.004, 0.12},
      // A 4th field that is no number (here beyond a double) is text after the numbers,
      // as a comment would be: the line has no σ.
      {"28.442 100 1 1e999\r\n", 0, 0},
      {"28.442 100 1 sharp\r\n", 0, 0},
  };
  for (const Case& c : read) {
    const PeakFileData d = read_column_peaks(c.text, "c.prn");
    ASSERT_EQ(d.peaks.size(), 1u) << c.text;
    EXPECT_EQ(d.peaks[0].sigma, c.sigma) << c.text;
    EXPECT_EQ(d.peaks[0].fwhm, c.fwhm) << c.text;
  }
  struct Bad { const char* text; const char* says; };
  const Bad refused[] = {
      {"28.442 100 1 0.004\r\n30 100 1 -0.002\r\n", "c.prn: line 2: the error (4th number) must be a finite number not below 0"},
      {"28.442 100 1 0.004 -0.1\r\n", "c.prn: line 1: the width (5th number) must be a finite number not below 0"},
  };
  for (const Bad& b : refused) {
    try {
      read_column_peaks(b.text, "c.prn");
      ADD_FAILURE() << b.text;
    } catch (const FormatError& e) {
      EXPECT_EQ(std::string(e.what()), b.says);
    }
  }
}

}  // namespace
}  // namespace vornax

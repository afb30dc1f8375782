// Bruker DIF1/DIF2 peak files read from hand-built bytes, and the DIF2 writer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "files/dif_file.hpp"
#include "files/peak_fixtures.hpp"

namespace vornax {
namespace {

using peak_test::Peak;

TEST(DifReader, Dif2RecordsFollowTheHeaderWidth) {
  for (int16_t w : {int16_t(96), int16_t(100), int16_t(40)}) {
    SCOPED_TRACE(w);
    const auto d = read_dif_file(peak_test::dif2({{40.0, 200}, {20.0, 800}, {60.5, 400}}, w), "q.dif");
    ASSERT_EQ(d.peaks.size(), 3u);
    EXPECT_FLOAT_EQ(d.peaks[0].two_theta, 40.0);
    EXPECT_FLOAT_EQ(d.peaks[2].two_theta_read, 60.5);
    // Largest (800) becomes 100; 200 -> 25.
    EXPECT_NEAR(d.peaks[0].intensity, 25.0, 1e-5);
    EXPECT_NEAR(d.peaks[1].intensity, 100.0, 1e-5);
    EXPECT_DOUBLE_EQ(d.intensity_max, 800);
    EXPECT_EQ(d.peaks[0].line_code, 1);
    EXPECT_EQ(d.sample, "quartz 12");
    EXPECT_EQ(d.wavelengths.anode, "Cu");
    EXPECT_FLOAT_EQ(d.wavelengths.lambda1, 1.54056f);
    EXPECT_FLOAT_EQ(d.wavelengths.lambda2, 1.54439f);
    EXPECT_EQ(d.wavelengths.lambda, 0);  // completed by the load from λ1
    // Smallest and largest, not first and last: the file is unsorted.
    EXPECT_NEAR(d.range_min, 19.9, 1e-9);
    EXPECT_NEAR(d.range_max, 60.6, 1e-9);
  }
}

TEST(DifReader, Dif1TakesTheWavelengthAt960AndSkipsTheExtraHeader) {
  for (int32_t e : {0, 8}) {
    SCOPED_TRACE(e);
    const auto d = read_dif_file(peak_test::dif1({{25.5, 10}, {35.25, 40}}, e), "c.dif", 0.2);
    ASSERT_EQ(d.peaks.size(), 2u);
    EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 25.5);
    EXPECT_DOUBLE_EQ(d.peaks[1].two_theta, 35.25);
    EXPECT_NEAR(d.peaks[0].intensity, 25.0, 1e-5);
    EXPECT_DOUBLE_EQ(d.wavelengths.lambda, 1.5406);
    EXPECT_DOUBLE_EQ(d.wavelengths.lambda1, 1.78897);
    EXPECT_EQ(d.wavelengths.anode, "Co");
    EXPECT_EQ(d.sample, "corundum");
    EXPECT_NEAR(d.range_min, 25.3, 1e-9);
    EXPECT_NEAR(d.range_max, 35.45, 1e-9);
  }
}

TEST(DifReader, NoIntensityAboveZeroLeavesThemUnscaled) {
  const auto d = read_dif_file(peak_test::dif2({{30, 0}, {31, -5}}), "z.dif");
  EXPECT_EQ(d.peaks[0].intensity, 0);
  EXPECT_EQ(d.peaks[1].intensity, -5);
  EXPECT_EQ(d.intensity_max, 0);
}

// A file cut anywhere before the end of its last record is refused, never read in part:
// its header announces records the file does not hold.
TEST(DifReader, EveryTruncationIsRefused) {
  for (const std::string& full :
       {peak_test::dif2({{20, 1}, {30, 2}, {40, 3}}, 100), peak_test::dif1({{20, 1}, {30, 2}}, 8)}) {
    EXPECT_EQ(read_dif_file(full, "t.dif").peaks.size(), full[3] == '2' ? 3u : 2u);
    for (size_t n = 0; n < full.size(); ++n) {
      SCOPED_TRACE(n);
      EXPECT_THROW(read_dif_file(full.substr(0, n), "t.dif"), FormatError);
    }
  }
}

// The message names what is missing: the count the header gives and the whole records
// present (DIF2 records are 16 bytes from offset 352, DIF1 24 bytes from 1016).
TEST(DifReader, ACountBeyondTheRecordsNamesBoth) {
  const std::vector<Peak> three{{20, 1}, {30, 2}, {40, 3}};
  struct Case {
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {peak_test::dif2(three, 96, 1.5f, 1.5f, .5f, "Cu", 5),
       "t.dif: file too short (the header announces 5 peaks, the file holds 3)"},
      {peak_test::dif2(three).substr(0, 352 + 16 * 2 + 9),
       "t.dif: file too short (the header announces 3 peaks, the file holds 2)"},
      {peak_test::dif1({{20, 1}, {30, 2}}, 0, 1.5, 4),
       "t.dif: file too short (the header announces 4 peaks, the file holds 2)"},
  };
  for (const Case& c : cases) {
    try {
      read_dif_file(c.bytes, "t.dif");
      ADD_FAILURE() << c.message;
    } catch (const FormatError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(DifReader, CountsAndSkipsAreBoundedByTheBytesPresent) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Peak> three{{20, 1}, {30, 2}, {40, 3}};
  struct Case {
    const char* what;
    std::string bytes;
    int peaks;  // -1: refused
  };
  const Case cases[] = {
      {"dif2 count -1", peak_test::dif2(three, 96, 1.5f, 1.5f, .5f, "Cu", -1), -1},
      {"dif2 count 32767", peak_test::dif2(three, 96, 1.5f, 1.5f, .5f, "Cu", 32767), -1},
      {"dif2 count 0", peak_test::dif2(three, 96, 1.5f, 1.5f, .5f, "Cu", 0), -1},
      {"dif2 width past the end", [&] { auto b = peak_test::dif2(three); peak_test::put<int16_t>(b, 256, 32767); return b; }(), -1},
      {"dif2 NaN lambda1", peak_test::dif2(three, 96, nan), -1},
      {"dif2 NaN ratio", peak_test::dif2(three, 96, 1.5f, 1.5f, nan), -1},
      {"dif2 NaN angle", peak_test::dif2({{20, 1}, {nan, 2}}), -1},
      {"dif2 infinite intensity", peak_test::dif2({{20, 1}, {30, 1e39}}), -1},
      {"dif1 count 2^31-1", peak_test::dif1({{20, 1}, {30, 2}}, 0, 1.5, 2147483647), -1},
      {"dif1 extra header 2^31-1", peak_test::dif1({{20, 1}}, 2147483647), -1},
      {"dif1 negative extra header", peak_test::dif1({{20, 1}}, -50), 1},
      {"dif1 NaN lambda", peak_test::dif1({{20, 1}}, 0, std::nan("")), -1},
      {"garbage", std::string(2000, '\x7f'), -1},
      {"empty", std::string(), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.peaks < 0) {
      EXPECT_THROW(read_dif_file(c.bytes, "t.dif"), FormatError);
    } else {
      EXPECT_EQ(read_dif_file(c.bytes, "t.dif").peaks.size(), static_cast<size_t>(c.peaks));
    }
  }
  try {
    read_dif_file("RAW1xxxxxxxxxxxx", "t.dif");
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_STREQ(e.what(), "Unknown file type!");
  }
}

TEST(DifReader, KeepsTheFirst500Peaks) {
  std::vector<Peak> many;
  for (int i = 0; i < 600; ++i) many.push_back({10 + i * 0.1, 1.0 + i});
  const auto d = read_dif_file(peak_test::dif2(many), "m.dif");
  EXPECT_EQ(d.peaks.size(), 500u);
  EXPECT_TRUE(d.truncated);
}

TEST(Dif2Writer, LayoutAndReadBack) {
  std::vector<MeasuredPeak> peaks(3);
  const double tt[3] = {21.5, 33.25, 47.125};
  for (int i = 0; i < 3; ++i) {
    peaks[i].two_theta = tt[i] + 0.5;  // working 2θ (zero offset applied)
    peaks[i].two_theta_read = tt[i];
    peaks[i].intensity = 30.0 * (i + 1);
  }
  const std::string b = dif2_bytes(peaks, 1.5406, 12.5);
  ASSERT_EQ(b.size(), 400u);
  EXPECT_EQ(b.substr(0, 4), "DIF2");
  EXPECT_EQ(b.substr(6, 184), std::string(184, ' '));
  EXPECT_EQ(b.substr(202, 54), std::string(54, ' '));
  EXPECT_EQ(b.substr(360, 8), std::string(8, ' '));
  float f;
  std::memcpy(&f, b.data() + 278, 4);
  EXPECT_EQ(f, 12.5f);
  std::memcpy(&f, b.data() + 198, 4);
  EXPECT_EQ(f, 1.0f);

  const auto d = read_dif_file(b, "w.dif");
  ASSERT_EQ(d.peaks.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(d.peaks[i].two_theta, tt[i] + 0.5);
  EXPECT_NEAR(d.peaks[2].intensity, 100, 1e-4);
  EXPECT_FLOAT_EQ(d.wavelengths.lambda1, 1.5406f);
  EXPECT_FLOAT_EQ(d.wavelengths.lambda2, 1.5406f);
  EXPECT_EQ(d.wavelengths.anode, "");
  EXPECT_EQ(d.sample, "");
}

}  // namespace
}  // namespace vornax

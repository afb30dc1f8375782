// Philips DI peak files from hand-built bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "files/peak_files.hpp"
#include "files/peak_fixtures.hpp"

namespace vornax {
namespace {

TEST(PhilipsDi, AnodeCodesDateAndUnsignedWords) {
  // 2004-03-17 as the date word: day 17, month 3, year field 104.
  const uint16_t date = static_cast<uint16_t>(17 | (3 << 5) | (104 << 9));
  // 40000 × 0.005 = 200° and 50000 counts do not fit a signed 16-bit word.
  const auto d = read_philips_di(
      peak_test::di({{5688, 25000}, {40000, 50000}, {4000, 0}}, 1, date, 0.7093, 0.71359, 0.5), "p.di");
  ASSERT_EQ(d.peaks.size(), 3u);
  EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 28.44);
  EXPECT_DOUBLE_EQ(d.peaks[1].two_theta, 200.0);
  EXPECT_DOUBLE_EQ(d.peaks[2].two_theta, 20.0);
  EXPECT_DOUBLE_EQ(d.peaks[0].intensity, 50.0);
  EXPECT_DOUBLE_EQ(d.peaks[1].intensity, 100.0);
  EXPECT_DOUBLE_EQ(d.intensity_max, 50000);
  EXPECT_EQ(d.title, "Date: 17/3/104");
  EXPECT_EQ(d.sample, "sample A");
  EXPECT_EQ(d.wavelengths.anode, "Mo");
  EXPECT_DOUBLE_EQ(d.wavelengths.lambda1, 0.7093);
  // DI ranges are not capped.
  EXPECT_NEAR(d.range_min, 19.9, 1e-9);
  EXPECT_NEAR(d.range_max, 200.1, 1e-9);

  const char* names[] = {"Cu", "Mo", "Co", "Fe", "Cr", "", ""};
  const uint8_t codes[] = {0, 1, 2, 3, 4, 5, 255};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(read_philips_di(peak_test::di({{6000, 1}}, codes[i]), "a.di").wavelengths.anode, names[i]);
}

TEST(PhilipsDi, TruncationsNaNAndGarbage) {
  const std::string full = peak_test::di({{6000, 10}, {7000, 20}});
  for (size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    const size_t whole = n < 250 ? 0 : (n - 250) / 12;
    if (whole == 0)
      EXPECT_THROW(read_philips_di(full.substr(0, n), "t.di"), FormatError);
    else
      EXPECT_EQ(read_philips_di(full.substr(0, n), "t.di").peaks.size(), whole);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(read_philips_di(peak_test::di({{6000, 1}}, 0, 0, nan), "n.di"), FormatError);
  EXPECT_THROW(read_philips_di(peak_test::di({{6000, 1}}, 0, 0, 1.5, 1.5, INFINITY), "n.di"), FormatError);
  EXPECT_THROW(read_philips_di(peak_test::di({}), "e.di"), FormatError);  // zero peaks
  // Garbage of any length: no crash, and the peaks it yields are bounded.
  std::string g = peak_test::di({}) + std::string(12 * 600, '\xff');
  const auto d = read_philips_di(g, "g.di");
  EXPECT_EQ(d.peaks.size(), 500u);
  EXPECT_TRUE(d.truncated);
  EXPECT_DOUBLE_EQ(d.peaks[0].two_theta, 65535 * 0.005);
}

}  // namespace
}  // namespace vornax

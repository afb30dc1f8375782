// The fixed-point and integer formatters give byte for byte what printf's "%*.*f" and
// "%*lld" give, which every report and file written so far was made with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "core/format.hpp"

using namespace vornax;

namespace {

std::string printf_fixed(double v, int w, int d) {
  char buf[1024];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", w, d, v);
  return std::string(buf, static_cast<size_t>(n));
}

std::string printf_int(long long v, int w) {
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, "%*lld", w, v);
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

TEST(FormatLikePrintf, ChosenValuesWidthsAndDecimals) {
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {0.0,      -0.0,      0.5,       1.5,       2.5,     -2.5,
                           0.125,    0.375,     -0.125,    1.005,     2.675,   0.045,
                           -0.0004,  -0.00049,  0.00005,   9.9999995, 99.995,  1e-300,
                           5e-324,   1e15,      1e22,      1.7976931348623157e308,
                           -1e300,   123456.789, 5.431194, 1.540593,  28.4428, 0.0,
                           inf,      -inf,      std::nan(""), -std::nan("")};
  for (double v : values)
    for (int w : {0, 1, 5, 8, 10, 14, 30, -6})
      for (int d : {0, 1, 2, 3, 4, 5, 6, 10, 17, 25, -1})
        ASSERT_EQ(format_fixed(v, w, d), printf_fixed(v, w, d)) << v << " " << w << ":" << d;
}

TEST(FormatLikePrintf, RandomValuesAndExactHalves) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> mant(-1, 1);
  std::uniform_int_distribution<int> expo(-12, 12), dec(0, 8), wid(0, 12);
  int checked = 0;
  for (int i = 0; i < 200000; ++i) {
    const double v = mant(rng) * std::pow(10.0, expo(rng));
    const int w = wid(rng), d = dec(rng);
    ASSERT_EQ(format_fixed(v, w, d), printf_fixed(v, w, d)) << v << " " << w << ":" << d;
    ++checked;
  }
  // Halves exact in binary at the last kept decimal: the rounding direction of ties.
  for (long long k = -4000; k <= 4000; ++k)
    for (int d = 0; d <= 3; ++d) {
      const double v = (static_cast<double>(k) + 0.5) / std::pow(2.0, d) / 1.0;
      ASSERT_EQ(format_fixed(v, 8, d), printf_fixed(v, 8, d)) << v << " :" << d;
      ++checked;
    }
  EXPECT_GT(checked, 200000);
}

TEST(FormatLikePrintf, Integers) {
  const long long values[] = {0, 1, -1, 9, 10, -999, 999, 1000, -1000, 39954, -25582, 1LL << 40,
                              std::numeric_limits<long long>::max(),
                              std::numeric_limits<long long>::min()};
  for (long long v : values)
    for (int w : {0, 1, 3, 4, 5, 12, 25, -5})
      EXPECT_EQ(format_int(v, w), printf_int(v, w)) << v << " " << w;
}

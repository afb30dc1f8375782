// The fixed-point and integer formatters give byte for byte what printf's "%*.*f" and
// "%*lld" give, which every report and file written so far was made with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <optional>
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

namespace {

// The strict parser as strtod reads it: blanks trimmed, comma as a point, then the
// whole text must be one decimal number that does not overflow.
std::optional<double> strtod_reference(std::string_view text) {
  std::string t(text);
  while (!t.empty() && std::string(" \t\r\n").find(t.back()) != std::string::npos) t.pop_back();
  size_t b = 0;
  while (b < t.size() && std::string(" \t\r\n").find(t[b]) != std::string::npos) ++b;
  t = t.substr(b);
  if (t.empty()) return std::nullopt;
  // Shape: [sign] digits-with-one-separator [e [sign] digits]
  size_t i = 0, digits = 0, seps = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) ++digits;
    else if (t[i] == '.' || t[i] == ',') {
      if (++seps > 1) return std::nullopt;
      t[i] = '.';
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < t.size()) {
    if (t[i] != 'e' && t[i] != 'E') return std::nullopt;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t e = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) ++e;
    if (!e || i != t.size()) return std::nullopt;
  }
  const double v = std::strtod(t.c_str(), nullptr);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

TEST(FormatLikePrintf, StrictParserReadsWhatStrtodReads) {
  std::mt19937 rng(5);
  const std::string alphabet = "0123456789012345678901234567890123456789.,+-eE \t";
  std::uniform_int_distribution<size_t> len(0, 24), pick(0, alphabet.size() - 1);
  int numbers = 0;
  for (int i = 0; i < 300000; ++i) {
    std::string t(len(rng), ' ');
    for (char& c : t) c = alphabet[pick(rng)];
    const auto got = parse_real(t), want = strtod_reference(t);
    ASSERT_EQ(got.has_value(), want.has_value()) << "'" << t << "'";
    if (got) {
      ASSERT_EQ(std::signbit(*got), std::signbit(*want)) << "'" << t << "'";
      ASSERT_EQ(*got, *want) << "'" << t << "'";
      ++numbers;
    }
  }
  const std::string long_number(100, '7');
  for (const std::string& t : {std::string("1e-400"), std::string("-1e-400"), std::string("4.9e-324"),
                               std::string("2.2250738585072011e-308"), std::string("1e308"),
                               std::string("1.8e308"), std::string("0,5"), std::string(" -0.25\t"),
                               std::string("+.5e+2"), long_number}) {
    const auto got = parse_real(t), want = strtod_reference(t);
    ASSERT_EQ(got.has_value(), want.has_value()) << t;
    if (got) {
      EXPECT_EQ(*got, *want) << t;
    }
  }
  EXPECT_GT(numbers, 1000);
}

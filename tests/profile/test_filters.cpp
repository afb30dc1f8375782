#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "profile/filters.hpp"
#include "profile/peak_search.hpp"
#include "profile/profile_generator.hpp"

namespace vornax {
namespace {

// Window index -> half width H (the window has 2H+1 points).
size_t half_width(int w) { return static_cast<size_t>(w) + 1; }

std::vector<double> polynomial(size_t n, double a3, double a2, double a1, double a0) {
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i) - 17.0;  // not centred on 0, so every term counts
    v[i] = ((a3 * x + a2) * x + a1) * x + a0;
  }
  return v;
}

// Polynomial exactness is what the convolution tables are built for: smoothing keeps
// a cubic, the first derivative of a quadratic is exact, the second derivative of a
// cubic is exact. A wrong coefficient or normaliser in any row breaks one of these.
TEST(SavitzkyGolay, EveryWindowIsExactOnLowPolynomials) {
  const size_t n = 40;
  for (int w = kMinWindowIndex; w <= kMaxWindowIndex; ++w) {
    SCOPED_TRACE("window index " + std::to_string(w));
    const size_t h = half_width(w);
    std::vector<double> out(n);

    const auto cubic = polynomial(n, 0.013, -0.4, 2.5, 7.0);
    ASSERT_TRUE(savitzky_golay(cubic, w, 0, out));
    for (size_t i = h; i + h < n; ++i) EXPECT_NEAR(out[i], cubic[i], 1e-9) << i;

    const auto quad = polynomial(n, 0, 0.35, -1.5, 4.0);
    ASSERT_TRUE(savitzky_golay(quad, w, 1, out));
    for (size_t i = h; i + h < n; ++i) {
      const double x = static_cast<double>(i) - 17.0;
      EXPECT_NEAR(out[i], 2 * 0.35 * x - 1.5, 1e-9) << i;
    }

    ASSERT_TRUE(savitzky_golay(cubic, w, 2, out));
    for (size_t i = h; i + h < n; ++i) {
      const double x = static_cast<double>(i) - 17.0;
      EXPECT_NEAR(out[i], 6 * 0.013 * x - 0.8, 1e-9) << i;
    }
  }
}

TEST(SavitzkyGolay, ParabolaHasOneSecondDerivativeEverywhere) {
  // 0.25 x² per point: the second derivative is 0.5 inside, and the ends copy it.
  std::vector<double> y(200);
  for (size_t i = 0; i < y.size(); ++i) y[i] = 0.25 * double(i) * double(i) - 3.0 * double(i) + 1;
  const auto d = second_derivative_13(y);
  for (double v : d) EXPECT_NEAR(v, 0.5, 1e-9);
}

// The impulse response of a convolution is its coefficient row: a single 1 at
// position 20 gives back 25/143 at 20 and -11/143 six points away, 22/1001 and
// -14/1001 for the second derivative (the 13-point rows of the peak search).
TEST(SavitzkyGolay, ThirteenPointRowsSeenThroughAnImpulse) {
  std::vector<double> impulse(41, 0.0);
  impulse[20] = 1;
  const auto s = smooth_13(impulse);
  EXPECT_NEAR(s[20], 25.0 / 143, 1e-15);
  EXPECT_NEAR(s[14], -11.0 / 143, 1e-15);
  EXPECT_NEAR(s[26], -11.0 / 143, 1e-15);
  EXPECT_NEAR(s[15], 0.0, 1e-15);
  EXPECT_NEAR(s[17], 16.0 / 143, 1e-15);
  const auto d = second_derivative_13(impulse);
  EXPECT_NEAR(d[20], -14.0 / 1001, 1e-15);
  EXPECT_NEAR(d[14], 22.0 / 1001, 1e-15);
  EXPECT_NEAR(d[22], -10.0 / 1001, 1e-15);
  EXPECT_NEAR(d[13], 0.0, 1e-15);
}

TEST(SavitzkyGolay, EndsCopyTheNearestComputedValue) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 100);
  std::vector<double> y(30);
  for (double& v : y) v = u(rng);
  for (int w = kMinWindowIndex; w <= kMaxWindowIndex; ++w) {
    for (int order = 0; order <= 2; ++order) {
      SCOPED_TRACE(std::to_string(w) + "/" + std::to_string(order));
      std::vector<double> out(y.size());
      ASSERT_TRUE(savitzky_golay(y, w, order, out));
      const size_t h = half_width(w), n = y.size();
      for (size_t i = 0; i < h; ++i) {
        EXPECT_EQ(out[i], out[h]);
        EXPECT_EQ(out[n - 1 - i], out[n - 1 - h]);
      }
      // the first computed value is a real convolution, not a copy of its neighbour
      EXPECT_NE(out[h], out[h + 1]);
    }
  }
}

TEST(SavitzkyGolay, BadWindowOrOrderLeavesTheOutputAlone) {
  std::vector<double> in(30, 1.0);
  struct Case { int w, order; } cases[] = {{0, 0}, {6, 0}, {-1, 2}, {5, 3}, {3, -1}};
  for (auto c : cases) {
    std::vector<double> out(30, 42.0);
    EXPECT_FALSE(savitzky_golay(in, c.w, c.order, out));
    for (double v : out) EXPECT_EQ(v, 42.0);
  }
}

// Shorter than the window the end copy would read outside the profile; every value is 0
// instead, and so is the scaled derivative (no division by a zero maximum).
TEST(SavitzkyGolay, ShortAndFlatProfilesGiveZerosAndNoPeaks) {
  struct Case { size_t n; double level; bool flat; } cases[] = {
      {0, 0, false}, {1, 5, false}, {6, 5, false}, {12, 5, false}, {13, 5, true}, {13, 0, true},
      {500, 37.5, true},
  };
  for (auto c : cases) {
    SCOPED_TRACE("n = " + std::to_string(c.n));
    testing::ProfileRecipe r;
    r.points = c.n;
    r.background = c.level;
    if (!c.flat && c.n > 0) r.peaks = {{r.start + r.step * double(c.n) / 2, 0.02, 50}};
    const Profile p = testing::make_profile(r);
    const SecondDerivative d = compute_second_derivative(p);
    ASSERT_EQ(d.values.size(), c.n);
    for (double v : d.values) {
      EXPECT_FALSE(std::isnan(v));
      EXPECT_EQ(v, 0.0);
    }
    EXPECT_FALSE(is_searchable(d, p));
    EXPECT_TRUE(find_peaks(p, d, PeakSearchSettings{}).empty());
    EXPECT_TRUE(run_peak_search(p, PeakSearchSettings{0, 0, 100}).empty());
  }
}

}  // namespace
}  // namespace vornax

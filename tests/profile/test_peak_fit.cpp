// Profile fitting of found peaks against generated patterns of known line positions,
// and Kα2 stripping against the same pattern generated without Kα2.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "profile/classification.hpp"
#include "profile/peak_fit.hpp"
#include "profile/peak_search.hpp"
#include "profile/profile_generator.hpp"
#include "profile/search_settings.hpp"

namespace vornax {
namespace {

using testing::alpha2_angle;
using testing::CountedRecipe;
using testing::make_counted_profile;

constexpr double kCuA1 = 1.54056, kCuA2 = 1.54439;

// A Cu doublet of Kα1 at two_theta on a window wide enough for both lines.
CountedRecipe doublet(double two_theta, double fwhm, double counts, uint32_t seed) {
  CountedRecipe r;
  r.start = two_theta - 1.5;
  r.step = 0.01;
  r.points = 400;
  r.fwhm = fwhm;
  r.lambda1 = kCuA1;
  r.lambda2 = kCuA2;
  r.lines = {{two_theta, counts}};
  r.seed = seed;
  return r;
}

// Where the maximum of an unresolved doublet, and so a search, would put the line.
double centroid(double two_theta) {
  return two_theta + 0.5 / 1.5 * (alpha2_angle(two_theta, kCuA1, kCuA2) - two_theta);
}

TEST(PeakFit, KAlpha1PositionsLieWithinTheirErrorsAsOftenAsTheErrorsSay) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  const int cases = 200;
  int within_2sigma = 0;
  for (int k = 0; k < cases; ++k) {
    const double two_theta = 20 + 120 * u(rng), fwhm = 0.06 + 0.08 * u(rng);
    CountedRecipe r = doublet(two_theta, fwhm, 2000 + 18000 * u(rng), static_cast<uint32_t>(k + 1));
    r.eta = 0.2 + 0.6 * u(rng);
    const Profile p = make_counted_profile(r);
    // Half of them as the search leaves an unresolved doublet, half as a Kα1 found a
    // little off its maximum.
    const bool unresolved = k % 2 == 0;
    const PeakToFit peak{unresolved ? centroid(two_theta) : two_theta + 0.2 * fwhm * (u(rng) - 0.5),
                         unresolved ? kLineKAlpha : kLineKAlpha1};
    const PeakFitResult fit = fit_peaks(p, {peak}, p.wavelengths);
    SCOPED_TRACE(::testing::Message() << "case " << k << " at " << two_theta << "° fwhm " << fwhm);
    ASSERT_TRUE(fit.peaks[0].fitted);
    const FittedPeak& f = fit.peaks[0];
    EXPECT_GT(f.sigma, 0);
    EXPECT_LT(std::fabs(f.two_theta - two_theta), 5 * f.sigma);
    EXPECT_NEAR(f.fwhm, fwhm, 0.15 * fwhm);
    if (std::fabs(f.two_theta - two_theta) <= 2 * f.sigma) ++within_2sigma;
  }
  EXPECT_GE(within_2sigma, 180);
  EXPECT_LE(within_2sigma, 198);
}

TEST(PeakFit, RemovesTheSearchBiasOnUnresolvedDoublets) {
  for (const double two_theta : {30.0, 36.5}) {
    SCOPED_TRACE(two_theta);
    const Profile p = make_counted_profile(doublet(two_theta, 0.1, 20000, 11));
    const std::vector<FoundPeak> found =
        run_peak_search(p, derived_search_settings(estimate_search_data(p, compute_second_derivative(p))));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_GE(found[0].two_theta - two_theta, 0.01);
    const PeakFitResult fit = fit_peaks(p, {{found[0].two_theta, kLineKAlpha}}, p.wavelengths);
    ASSERT_TRUE(fit.peaks[0].fitted);
    EXPECT_LT(std::fabs(fit.peaks[0].two_theta - two_theta), 2 * fit.peaks[0].sigma);
    EXPECT_LT(std::fabs(fit.peaks[0].two_theta - two_theta), 0.003);
  }
}

TEST(PeakFit, OverlappingSingleAndSplitLines) {
  struct Case {
    const char* name;
    std::vector<testing::DiffractionLine> lines;
    std::vector<PeakToFit> peaks;
    bool monochromated, split;
    double asymmetry;
    int groups;
  };
  const Case cases[] = {
      {"two doublets 0.15° apart", {{50, 12000}, {50.15, 6000}}, {{50.01, 2}, {50.16, 2}}, false, false, 1, 1},
      {"a Kα2 found beside its Kα1", {{70, 12000}}, {{70.0, 2}, {70.2, 3}}, false, false, 1, 1},
      {"monochromated, separate lines", {{40, 8000}, {44, 5000}}, {{40.02, 1}, {43.98, 1}}, true, false, 1, 2},
      {"split", {{60, 15000}}, {{60.01, 1}}, true, true, 1.6, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountedRecipe r = doublet(c.lines[0].two_theta, 0.08, 0, 3);
    r.start = c.lines[0].two_theta - 2;
    r.points = 700;
    r.lines = c.lines;
    r.asymmetry = c.asymmetry;
    if (c.monochromated) r.lambda2 = 0;
    const Profile p = make_counted_profile(r);
    PeakFitOptions o;
    o.split = c.split;
    const PeakFitResult fit = fit_peaks(p, c.peaks, p.wavelengths, o);
    EXPECT_EQ(static_cast<int>(fit.groups.size()), c.groups);
    EXPECT_EQ(fit.fitted_count, static_cast<int>(c.peaks.size()));
    for (size_t k = 0; k < c.lines.size(); ++k) {
      EXPECT_NEAR(fit.peaks[k].two_theta, c.lines[k].two_theta, 4 * fit.peaks[k].sigma) << k;
      EXPECT_LT(fit.peaks[k].sigma, 0.002) << k;
    }
    if (c.peaks.size() > c.lines.size()) {  // the Kα2 peak follows its Kα1
      EXPECT_NEAR(fit.peaks[1].two_theta, alpha2_angle(fit.peaks[0].two_theta, kCuA1, kCuA2), 1e-9);
      EXPECT_EQ(fit.peaks[1].line_code, kLineKAlpha2);
      EXPECT_EQ(fit.groups[0].lines, 1);
    }
    EXPECT_NEAR(fit.peaks[0].fwhm_left, 0.08, 0.004);
    EXPECT_NEAR(fit.peaks[0].fwhm_right, 0.08 * c.asymmetry, 0.004 * c.asymmetry);
    EXPECT_NEAR(fit.worst_reduced_chi2, 1, 0.25);
    // The curve lies on the data inside the window and is NaN outside.
    const FitGroup& g = fit.groups[0];
    EXPECT_TRUE(std::isnan(fit.curve[g.first_point - 1]));
    EXPECT_FALSE(std::isnan(fit.curve[g.first_point]));
  }
}

TEST(PeakFit, WeightsFollowTheCountsOnlyWhenTheProfileHoldsCounts) {
  // Reduced χ²: 1 under counting statistics; the noise variance (in the profile's
  // units) under unit weights.
  testing::ProfileRecipe gaussian;
  gaussian.start = 40;
  gaussian.step = 0.005;
  gaussian.points = 1200;
  gaussian.peaks = {{43, 0.05, 60}};
  gaussian.background = 10;
  gaussian.noise = 0.5;
  const Profile noisy = testing::make_profile(gaussian);
  const Profile counted = make_counted_profile(doublet(43, 0.1, 5000, 5));
  struct Case {
    const Profile* p;
    double chi2;
  } cases[] = {{&noisy, 0.25}, {&counted, 1.0}};
  // The starting width given: one peak in noise is too little for measuring it.
  PeakFitOptions o;
  o.fwhm = 0.12;
  for (const Case& c : cases) {
    const PeakFitResult fit = fit_peaks(*c.p, {{43, kLineKAlpha1}}, c.p->wavelengths, o);
    ASSERT_TRUE(fit.peaks[0].fitted);
    EXPECT_NEAR(fit.groups[0].reduced_chi2, c.chi2, 0.25 * c.chi2);
    EXPECT_NEAR(fit.peaks[0].two_theta, 43, 4 * fit.peaks[0].sigma);
  }
}

TEST(PeakFit, OddInputKeepsTheSearchedPositions) {
  const Profile good = make_counted_profile(doublet(50, 0.1, 5000, 9));
  Profile few = good, unsorted = good, same_angle = good, huge = good;
  few.points.resize(6);
  for (size_t k = 0; k < few.points.size(); ++k) few.points[k].two_theta = 49.95f + 0.02f * static_cast<float>(k);
  for (ProfilePoint& q : same_angle.points) q.two_theta = 50;
  std::swap(unsorted.points[10], unsorted.points[300]);
  for (ProfilePoint& q : huge.points) q.intensity *= 1e30f;
  const double inf = std::numeric_limits<double>::infinity();
  WavelengthSet zero;
  struct Case {
    const char* name;
    const Profile* p;
    std::vector<PeakToFit> peaks;
    const WavelengthSet* w;
  } cases[] = {
      {"empty profile", nullptr, {{50, 1}}, &good.wavelengths},
      {"peak outside", &good, {{200, 1}, {-5, 2}, {inf, 1}}, &good.wavelengths},
      {"too few points", &few, {{50, 1}}, &good.wavelengths},
      {"unsorted", &unsorted, {{50, 1}}, &good.wavelengths},
      {"one angle", &same_angle, {{50, 1}}, &good.wavelengths},
      {"zero wavelengths", &good, {{50, 4}, {50.3, 3}}, &zero},
      {"huge counts", &huge, {{50, 1}, {50, 1}}, &good.wavelengths},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Profile empty;
    const PeakFitResult fit = fit_peaks(c.p ? *c.p : empty, c.peaks, *c.w);
    ASSERT_EQ(fit.peaks.size(), c.peaks.size());
    for (size_t k = 0; k < c.peaks.size(); ++k) {
      const FittedPeak& f = fit.peaks[k];
      if (f.fitted) {
        EXPECT_TRUE(std::isfinite(f.two_theta) && std::isfinite(f.sigma));
        continue;
      }
      EXPECT_EQ(f.two_theta, c.peaks[k].two_theta);
      EXPECT_EQ(f.sigma, 0);
      EXPECT_EQ(f.group, -1);
    }
  }
  EXPECT_FALSE(fit_peaks(good, {{200, 1}}, good.wavelengths).peaks[0].fitted);
  EXPECT_FALSE(fit_peaks(unsorted, {{50, 1}}, good.wavelengths).peaks[0].fitted);
  EXPECT_TRUE(fit_peaks(good, {}, good.wavelengths).curve.empty());
}

TEST(KAlpha2Strip, LeavesTheKAlpha1LineAlone) {
  for (const double two_theta : {40.0, 80.0, 125.0}) {
    SCOPED_TRACE(two_theta);
    CountedRecipe r = doublet(two_theta, 0.1, 10000, 1);
    r.poisson = false;
    r.background = 0;
    const Profile both = make_counted_profile(r);
    r.lambda2 = 0;
    const Profile alone = make_counted_profile(r);
    const std::vector<double> stripped = strip_kalpha2(both, both.wavelengths);
    ASSERT_EQ(stripped.size(), both.points.size());
    // In counts, point by point, against the pattern generated without Kα2.
    double alpha2_area = 0, left = 0;
    for (size_t i = 0; i < stripped.size(); ++i) {
      const double with = both.points[i].intensity * both.intensity_max / 100;
      const double without = alone.points[i].intensity * alone.intensity_max / 100;
      alpha2_area += with - without;
      left += std::fabs(stripped[i] * both.intensity_max / 100 - without);
    }
    EXPECT_LT(left, 0.03 * alpha2_area);
  }
  // No Kα2: the intensities as they are.
  const Profile p = make_counted_profile(doublet(60, 0.1, 1000, 2));
  WavelengthSet mono = p.wavelengths, no_ratio = p.wavelengths;
  mono.lambda2 = 0;
  no_ratio.ratio = 0;
  for (const WavelengthSet* w : {&mono, &no_ratio}) {
    const std::vector<double> s = strip_kalpha2(p, *w);
    for (size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], p.points[i].intensity);
  }
}

}  // namespace
}  // namespace vornax

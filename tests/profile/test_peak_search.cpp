#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "profile/peak_search.hpp"
#include "profile/profile_generator.hpp"

namespace vornax {
namespace {

using testing::GaussianPeak;
using testing::ProfileRecipe;

// Peaks well apart, centres off the sampling grid, several widths and heights.
std::vector<GaussianPeak> separated_peaks() {
  return {{14.317, 0.06, 40}, {21.003, 0.08, 100}, {27.5113, 0.10, 25},
          {33.259, 0.07, 60}, {41.0, 0.12, 80},    {47.7741, 0.09, 35}};
}

const GaussianPeak* nearest(const std::vector<GaussianPeak>& truth, double x) {
  const GaussianPeak* best = nullptr;
  for (const auto& g : truth)
    if (!best || std::fabs(g.centre - x) < std::fabs(best->centre - x)) best = &g;
  return best;
}

// The midpoint of the inflection points of a symmetric peak is its centre: with the
// default sliders every peak is found, once, within a fifth of a step, and its
// intensity is the unsmoothed value at the first point beyond the centre.
TEST(PeakSearch, FindsGaussianCentresWithAndWithoutNoise) {
  struct Case { const char* name; double noise; double background; uint32_t seed; } cases[] = {
      {"clean", 0, 0, 1}, {"clean on background", 0, 12, 1},
      {"noisy", 0.15, 5, 2024}, {"noisy, other seed", 0.15, 5, 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProfileRecipe r;
    r.start = 10;
    r.step = 0.02;
    r.points = 2500;
    r.peaks = separated_peaks();
    r.noise = c.noise;
    r.background = c.background;
    r.seed = c.seed;
    const Profile p = testing::make_profile(r);
    const auto found = run_peak_search(p, settings_from_sliders(SliderPositions{}));
    ASSERT_EQ(found.size(), r.peaks.size());
    for (size_t i = 0; i < found.size(); ++i) {
      const GaussianPeak* g = nearest(r.peaks, found[i].two_theta);
      EXPECT_NEAR(found[i].two_theta, g->centre, 0.2 * r.step) << "peak " << i;
      if (i > 0) {
        EXPECT_GT(found[i].two_theta, found[i - 1].two_theta);
      }
      const size_t k = found[i].index;
      EXPECT_GT(p.points[k].two_theta, found[i].two_theta);
      EXPECT_LE(p.points[k - 1].two_theta, found[i].two_theta);
      EXPECT_EQ(found[i].intensity, p.points[k].intensity);
    }
  }
}

TEST(PeakSearch, NoPointCeiling) {
  // a synchrotron-sized scan: 130 000 points, peaks everywhere along it
  ProfileRecipe r;
  r.start = 2;
  r.step = 0.001;
  r.points = 130000;
  for (int i = 0; i < 60; ++i) r.peaks.push_back({3 + 2.1 * i + 0.00037 * i, 0.01, 50});
  const Profile p = testing::make_profile(r);
  PeakSearchSettings s{2.0, 0.01, 0.5};
  const auto found = run_peak_search(p, s);
  ASSERT_EQ(found.size(), r.peaks.size());
  for (size_t i = 0; i < found.size(); ++i)
    EXPECT_NEAR(found[i].two_theta, r.peaks[i].centre, 0.2 * r.step);
}

// ---- Hand-made second derivatives: exact widths, thresholds and positions ----

// Angles 0, 1, 2, ... (exact in single precision) and intensities 1000 + index, so
// the intensity of a found peak names its point.
struct Handmade {
  Profile profile;
  SecondDerivative d;
};

Handmade handmade(size_t n, double positive = 50) {
  Handmade h;
  for (size_t i = 0; i < n; ++i)
    h.profile.points.push_back({float(i), float(1000 + i), float(i)});
  h.profile.generation = 3;
  h.d.values.assign(n, positive);
  h.d.profile_size = n;
  h.d.profile_generation = 3;
  h.d.max_magnitude = 1;
  return h;
}

// A stretch of -depth on the 0-based samples [first, first + count). With +50 around
// it the zero crossings lie exactly half-way, so the width is `count` degrees and
// the centre first + (count - 1) / 2.
void dip(Handmade& h, size_t first, size_t count, double depth = 50) {
  for (size_t i = first; i < first + count; ++i) h.d.values[i] = -depth;
}

TEST(PeakSearch, WidthLimitsAreInclusive) {
  struct Case { double min_w, max_w; bool found; } cases[] = {
      {4, 4, true},           // width exactly at both limits
      {4.0000001, 9, false},  // just above the minimum
      {1, 3.9999999, false},  // just below the maximum
      {0.5, 8, true},
  };
  for (auto c : cases) {
    Handmade h = handmade(60);
    dip(h, 20, 4);  // width 4: from 19.5 to 23.5
    const auto found = find_peaks(h.profile, h.d, {1.0, c.min_w, c.max_w});
    ASSERT_EQ(found.size(), c.found ? 1u : 0u) << c.min_w << " " << c.max_w;
    if (c.found) {
      EXPECT_DOUBLE_EQ(found[0].two_theta, 21.5);
      EXPECT_EQ(found[0].intensity, 1022);  // the point at 22, first beyond 21.5
    }
  }
}

TEST(PeakSearch, ThresholdIsStrictAndReadOneSampleBeyondTheCentre) {
  struct Case { double at_k, threshold; bool found; } cases[] = {
      {-2.0, 2.0, false}, {-2.0001, 2.0, true}, {-0.005, 0.0, false},  // raised to 0.01
      {-0.0101, 0.0, true}, {-80, 79.9, true},
  };
  for (auto c : cases) {
    Handmade h = handmade(60);
    dip(h, 20, 5);       // centre 22 lies on a point: k is the next one, 23
    h.d.values[22] = -0.001;  // the centre point itself is not what counts
    h.d.values[23] = c.at_k;
    const auto found = find_peaks(h.profile, h.d, {c.threshold, 1, 10});
    EXPECT_EQ(found.size(), c.found ? 1u : 0u) << c.at_k << " vs " << c.threshold;
    if (c.found) {
      EXPECT_EQ(found[0].intensity, 1023);
    }
  }
}

TEST(PeakSearch, NarrowStretchesAndStretchesAtTheEdgesAreNoPeaks) {
  // Steep crossings (+1 next to -100) put each inflection point almost on the outer
  // sample, so the interpolated width is the sample count + 0.98. step =
  // (X[n-1] - X[1]) / (n - 1) = 58/59; min width 2.9 -> 2.95 points -> 3.
  Handmade h = handmade(60, 1.0);
  dip(h, 10, 2, 100);  // width 2.98 passes, but two samples are fewer than three
  dip(h, 20, 3, 100);  // width 3.98 and three samples: a peak
  dip(h, 55, 5, 100);  // runs to the end of the profile: no positive value after it
  auto found = find_peaks(h.profile, h.d, {1, 2.9, 10});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NEAR(found[0].two_theta, 21, 1e-9);

  // the first point beyond the centre must be neither among the first three points
  // nor among the last three (1-based 4 <= k <= n - 3)
  struct Edge { size_t first; bool found; } edges[] = {{1, false}, {2, true}, {55, true}, {56, false}};
  for (auto e : edges) {
    Handmade g = handmade(60);
    dip(g, e.first, 1);  // one sample: the centre on it, k the next point
    found = find_peaks(g.profile, g.d, {1, 0.5, 10});
    EXPECT_EQ(found.size(), e.found ? 1u : 0u) << e.first;
  }
}

TEST(PeakSearch, MinimumWidthCountsStepsOverTheLastButOnePoint) {
  // 14 points 1 degree apart: the step taken is (X[13] - X[1]) / 13 = 12/13 of a degree,
  // not 1. A two-sample stretch (interpolated width 2.98) against a minimum of 2.4:
  // 2.4 / (12/13) = 2.6 -> three samples needed, so no peak, where a step of 1 would
  // need two. Moving the last point away changes nothing, as it is not counted.
  struct Case { double min_w; float last_angle; bool found; } cases[] = {
      {2.4, 13, false},  // a step of 1 would admit it
      {2.2, 13, true},   // 2.38 -> two samples either way
      {2.4, 40, false},  // a step over the whole span (3) would admit it
  };
  for (auto c : cases) {
    Handmade h = handmade(14, 1.0);
    h.profile.points.back().two_theta = c.last_angle;
    dip(h, 5, 2, 100);
    const auto found = find_peaks(h.profile, h.d, {1, c.min_w, 10});
    ASSERT_EQ(found.size(), c.found ? 1u : 0u) << c.min_w << " " << c.last_angle;
    if (c.found) {
      EXPECT_NEAR(found[0].two_theta, 5.5, 1e-9);
    }
  }
}

TEST(PeakSearch, StopsAtFiveHundredPeaks) {
  Handmade h = handmade(4000);
  for (size_t s = 0; s < 600; ++s) dip(h, 10 + 6 * s, 2);
  const auto found = find_peaks(h.profile, h.d, {1, 1, 3});
  ASSERT_EQ(found.size(), 500u);
  EXPECT_DOUBLE_EQ(found.back().two_theta, 10 + 6 * 499 + 0.5);
}

TEST(PeakSearch, RefusesTheDerivativeOfAnotherProfile) {
  Handmade h = handmade(60);
  dip(h, 20, 4);
  ASSERT_EQ(find_peaks(h.profile, h.d, {1, 1, 10}).size(), 1u);
  Handmade other_generation = h;
  other_generation.profile.generation += 1;
  EXPECT_FALSE(is_current(h.d, other_generation.profile));
  EXPECT_TRUE(find_peaks(other_generation.profile, h.d, {1, 1, 10}).empty());
  Handmade shorter = h;
  shorter.profile.points.resize(50);
  EXPECT_TRUE(find_peaks(shorter.profile, h.d, {1, 1, 10}).empty());
}

TEST(PeakSearch, DerivativeIsScaledToHundred) {
  ProfileRecipe r;
  r.points = 800;
  r.peaks = {{17, 0.1, 30}, {20, 0.05, 70}};
  const Profile p = testing::make_profile(r);
  const SecondDerivative d = compute_second_derivative(p);
  double largest = 0, most_negative = 0;
  for (double v : d.values) {
    largest = std::max(largest, std::fabs(v));
    most_negative = std::min(most_negative, v);
  }
  EXPECT_DOUBLE_EQ(largest, 100);
  EXPECT_DOUBLE_EQ(most_negative, -100);  // the sharp top dominates
  EXPECT_TRUE(is_searchable(d, p));
}

TEST(PeakSearchSliders, ValuesAndBoxTexts) {
  struct Case { const SliderSpec* s; int pos; double value; const char* text; } cases[] = {
      {&kThresholdSlider, 20, 2.0, "2.0"},  {&kThresholdSlider, 1, 0.1, "0.1"},
      {&kThresholdSlider, 100, 10.0, "10.0"}, {&kThresholdSlider, 250, 10.0, "10.0"},
      {&kMinWidthSlider, 100, 0.10, "0.100"}, {&kMinWidthSlider, 500, 0.50, "0.500"},
      {&kMinWidthSlider, 0, 0.001, "0.001"},  {&kMinWidthSlider, 5, 0.005, "0.005"},
      {&kMaxWidthSlider, 10, 1.0, "1.00"},
      {&kMaxWidthSlider, 50, 5.0, "5.00"},  {&kMaxWidthSlider, 3, 0.3, "0.30"},
  };
  for (auto c : cases) {
    EXPECT_NEAR(slider_value(*c.s, c.pos), c.value, 1e-12);
    EXPECT_EQ(slider_text(*c.s, c.pos), c.text);
  }
  const PeakSearchSettings def = settings_from_sliders(SliderPositions{});
  EXPECT_NEAR(def.threshold, 2.0, 1e-12);
  EXPECT_NEAR(def.min_width, 0.1, 1e-12);
  EXPECT_NEAR(def.max_width, 1.0, 1e-12);
}

TEST(Contamination, PresetFromTheAnode) {
  struct Case { const char* anode; double lambda; const char* l1; } cases[] = {
      {"Cu", 1.5418, " 1.39222"}, {"Cu", 1.5418 + 0.0059, " 1.39222"}, {"Cu", 1.5418 + 0.0061, ""},
      {"Mo", 0.7107, " 0.63229"}, {"Cr", 2.2909, " 2.08487"}, {"", 1.5418, ""},
      {"?", 1.93604, " 1.75661"},  // any named anode: the wavelength decides
  };
  for (auto c : cases) {
    WavelengthSet w;
    w.anode = c.anode;
    w.lambda = c.lambda;
    const ContaminationTexts t = preset_contamination(w);
    EXPECT_EQ(t.l1_lambda, c.l1) << c.anode << " " << c.lambda;
    if (*c.l1) {
      EXPECT_EQ(t.l1_percent, " 1");
      EXPECT_EQ(t.l2_lambda, " 1.025");
      EXPECT_EQ(t.l2_percent, " 0.5");
    } else {
      EXPECT_TRUE(t.l1_percent.empty() && t.l2_lambda.empty() && t.l2_percent.empty());
    }
  }
}

}  // namespace
}  // namespace vornax

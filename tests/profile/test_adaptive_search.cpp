// The search with settings taken from the data, on generated patterns whose peaks are
// known: every line found once, no noise taken for a peak, and resolved Kα1/Kα2
// doublets kept as two lines with Kα1 at its own maximum.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "profile/classification.hpp"
#include "profile/peak_search.hpp"
#include "profile/search_settings.hpp"
#include "profile_generator.hpp"

namespace vornax {
namespace {

using testing::alpha2_angle;
using testing::CountedRecipe;
using testing::DiffractionLine;
using testing::make_counted_profile;

constexpr double kCuA1 = 1.540562, kCuA2 = 1.544390;

std::vector<FoundPeak> default_search(const Profile& p, PeakSearchSettings* used = nullptr) {
  const SecondDerivative d = compute_second_derivative(p);
  const PeakSearchSettings s = derived_search_settings(estimate_search_data(p, d));
  if (used) *used = s;
  return find_peaks(p, d, s);
}

// Where a line may be found: an interval of 2θ. Each expected line must hold exactly
// one found peak and every found peak must lie in one of them.
struct Expected {
  double lo, hi;
};

std::string describe(const std::vector<FoundPeak>& found) {
  std::string t;
  for (const FoundPeak& f : found) t += std::to_string(f.two_theta) + " ";
  return t;
}

void expect_exactly(const std::vector<FoundPeak>& found, const std::vector<Expected>& lines) {
  for (const Expected& e : lines) {
    int hits = 0;
    for (const FoundPeak& f : found) hits += f.two_theta >= e.lo && f.two_theta <= e.hi;
    EXPECT_EQ(hits, 1) << "line in [" << e.lo << ", " << e.hi << "]; found " << describe(found);
  }
  for (const FoundPeak& f : found) {
    bool known = false;
    for (const Expected& e : lines) known = known || (f.two_theta >= e.lo && f.two_theta <= e.hi);
    EXPECT_TRUE(known) << "peak at " << f.two_theta << " is no line";
  }
}

struct PatternCase {
  const char* name;
  CountedRecipe recipe;
  double tolerance;  // degrees 2θ around a single or a resolved line
};

TEST(AdaptiveSearch, FindsEveryLineAndNoNoiseOnGeneratedPatterns) {
  CountedRecipe synchrotron;
  synchrotron.start = 5;
  synchrotron.step = 0.005;
  synchrotron.points = 6001;
  synchrotron.fwhm = 0.01;
  synchrotron.lambda1 = 0.41;
  synchrotron.background = 300;
  synchrotron.seed = 7;
  synchrotron.lines = {{6.3, 60000},  {8.92, 30000}, {10.93, 9000}, {12.62, 45000},
                       {14.11, 4000}, {15.47, 12000}, {17.87, 2500}, {20.0, 20000},
                       {23.05, 6000}, {26.71, 3000}, {30.12, 8000}, {33.4, 1500}};

  CountedRecipe broad;
  broad.start = 10;
  broad.step = 0.02;
  broad.points = 4001;
  broad.fwhm = 0.6;
  broad.lambda1 = 1.5406;
  broad.background = 400;
  broad.seed = 11;
  broad.lines = {{18.2, 1500}, {26.5, 600}, {31.0, 2500}, {44.4, 900},
                 {52.8, 700},  {60.1, 1200}, {71.3, 500}, {83.7, 700}};

  const PatternCase cases[] = {{"synchrotron 0.01 deg at 0.005 deg", synchrotron, 0.003},
                               {"noisy broad", broad, 0.05}};
  for (const PatternCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Profile p = make_counted_profile(c.recipe);
    std::vector<Expected> lines;
    for (const DiffractionLine& l : c.recipe.lines)
      lines.push_back({l.two_theta - c.tolerance, l.two_theta + c.tolerance});
    PeakSearchSettings used;
    expect_exactly(default_search(p, &used), lines);
    // The classic settings miss these lines or take noise: the data decided.
    EXPECT_NE(used.min_width, kClassicSearchSettings.min_width);
  }
}

TEST(AdaptiveSearch, LabCopperPatternKeepsResolvedDoubletsApart) {
  CountedRecipe lab;
  lab.start = 15;
  lab.step = 0.02;
  lab.points = 5501;
  lab.fwhm = 0.09;
  lab.lambda1 = kCuA1;
  lab.lambda2 = kCuA2;
  lab.background = 80;
  lab.seed = 5;
  // Low angles: Kα2 within half the width (one line); high: well apart.
  lab.lines = {{18.4, 12000}, {21.3, 4000}, {23.9, 20000}, {72.6, 6000}, {81.3, 9000},
               {93.7, 3000},  {104.2, 5000}, {112.9, 2000}};
  const Profile p = make_counted_profile(lab);

  std::vector<Expected> lines;
  for (const DiffractionLine& l : lab.lines) {
    const double a2 = alpha2_angle(l.two_theta, kCuA1, kCuA2);
    if (a2 - l.two_theta < lab.fwhm) {  // not resolved: one line between the two
      lines.push_back({l.two_theta - 0.01, a2 + 0.01});  // the blend
    } else {
      lines.push_back({l.two_theta - 0.006, l.two_theta + 0.006});
      lines.push_back({a2 - 0.012, a2 + 0.012});
    }
  }
  PeakSearchSettings used;
  std::vector<FoundPeak> found = default_search(p, &used);
  expect_exactly(found, lines);
  EXPECT_NEAR(used.doublet_fwhm, lab.fwhm, 0.03);
}

struct DoubletCase {
  double two_theta;  // Kα1
  double fwhm;
};

// A doublet at `two_theta` (Kα2 `ratio` times as high) on a 60-count background, with a
// weaker reference line 2.5° below it so that the pattern holds more than the doublet.
CountedRecipe doublet_recipe(const DoubletCase& c, double ratio, uint32_t seed) {
  CountedRecipe r;
  r.start = c.two_theta - 4;
  r.step = 0.01;
  r.points = 801;
  r.fwhm = c.fwhm;
  r.lambda1 = kCuA1;
  r.lambda2 = kCuA2;
  r.ratio = ratio;
  r.background = 60;
  r.seed = seed;
  r.lines = {{c.two_theta, 15000}, {c.two_theta - 2.5, 5000}};
  return r;
}

TEST(AdaptiveSearch, ResolvedDoubletsPlaceKAlpha1AtItsMaximumAndClassifyBoth) {
  const DoubletCase cases[] = {{48.96, 0.07}, {58.4, 0.08}, {67.1, 0.08}, {88.0, 0.1},
                               {101.5, 0.1},  {126.3, 0.12}};
  for (const DoubletCase& c : cases) {
    SCOPED_TRACE(c.two_theta);
    Profile p = make_counted_profile(doublet_recipe(c, 0.5, static_cast<uint32_t>(c.two_theta * 10)));
    const double a2 = alpha2_angle(c.two_theta, kCuA1, kCuA2);
    ASSERT_GT(a2 - c.two_theta, c.fwhm);  // resolved by construction

    const std::vector<FoundPeak> found = default_search(p);
    std::vector<MeasuredPeak> peaks;
    for (const FoundPeak& f : found) peaks.push_back({f.two_theta, f.two_theta, f.intensity, 0});
    int at_alpha1 = -1, at_alpha2 = -1;
    for (size_t k = 0; k < peaks.size(); ++k) {
      EXPECT_FALSE(peaks[k].two_theta > c.two_theta + 0.006 && peaks[k].two_theta < a2 - 0.012)
          << "a peak between the two lines at " << peaks[k].two_theta;
      if (std::fabs(peaks[k].two_theta - c.two_theta) < 0.006) at_alpha1 = static_cast<int>(k);
      if (std::fabs(peaks[k].two_theta - a2) < 0.012) at_alpha2 = static_cast<int>(k);
    }
    ASSERT_GE(at_alpha1, 0) << describe(found);
    ASSERT_GE(at_alpha2, 0) << describe(found);

    WavelengthSet w = p.wavelengths;
    w.anode = "Cu";
    classify_lines(peaks, w, ContaminationTexts{});
    EXPECT_EQ(peaks[static_cast<size_t>(at_alpha1)].line_code, kLineKAlpha1);
    EXPECT_EQ(peaks[static_cast<size_t>(at_alpha2)].line_code, kLineKAlpha2);
  }
}

// A resolved line whose Kα2 is too weak to be seen (a partly monochromated beam) is
// still placed at its Kα1 maximum, and called Kα1 once classified, so that keeping the
// Kα1 lines keeps it; an unresolved doublet stays Kα.
TEST(AdaptiveSearch, ResolvedLineWithoutItsKAlpha2IsKAlpha1) {
  struct Case {
    DoubletCase line;
    int code;
  } cases[] = {{{88.0, 0.1}, kLineKAlpha1}, {{126.3, 0.12}, kLineKAlpha1}, {{30.0, 0.2}, kLineKAlpha}};
  for (const Case& k : cases) {
    const DoubletCase& c = k.line;
    SCOPED_TRACE(c.two_theta);
    Profile p = make_counted_profile(doublet_recipe(c, 0.04, 77));
    p.wavelengths.ratio = 0.5;  // what the file says, not what the beam gave

    const std::vector<FoundPeak> found = default_search(p);
    std::vector<MeasuredPeak> peaks;
    for (const FoundPeak& f : found) peaks.push_back({f.two_theta, f.two_theta, f.intensity, 0});
    WavelengthSet w = p.wavelengths;
    w.anode = "Cu";
    classify_lines(peaks, w, ContaminationTexts{});
    mark_resolved_kalpha1(peaks, found);
    int hits = 0;
    for (const MeasuredPeak& m : peaks) {
      if (std::fabs(m.two_theta - c.two_theta) > 0.03) continue;
      ++hits;
      EXPECT_EQ(m.line_code, k.code) << describe(found);
      if (k.code == kLineKAlpha1) {
        EXPECT_NEAR(m.two_theta, c.two_theta, 0.006);
      }
    }
    EXPECT_EQ(hits, 1) << describe(found);
  }
}

struct EstimateCase {
  const char* name;
  double step, fwhm;
};

TEST(AdaptiveSearch, EstimatesStepAndWidthOfTheStrongestPeaks) {
  const EstimateCase cases[] = {{"lab", 0.02, 0.1}, {"fine lab", 0.01, 0.06}, {"broad", 0.02, 0.5}};
  for (const EstimateCase& c : cases) {
    SCOPED_TRACE(c.name);
    CountedRecipe r;
    r.step = c.step;
    r.points = static_cast<size_t>(40 / c.step);
    r.fwhm = c.fwhm;
    r.lambda1 = 1.5406;
    r.poisson = false;
    r.lines = {{25, 1000}, {33, 800}, {41, 600}, {50, 900}};
    const Profile p = make_counted_profile(r);
    const SearchDataEstimate e = estimate_search_data(p, compute_second_derivative(p));
    ASSERT_TRUE(e.valid);
    EXPECT_NEAR(e.step, c.step, 1e-5);
    EXPECT_NEAR(e.fwhm, c.fwhm, 0.2 * c.fwhm + c.step / 2);
    // Without noise, the threshold falls to the lowest the slider offers.
    EXPECT_DOUBLE_EQ(derived_search_settings(e).threshold, 0.1);
  }
}

TEST(AdaptiveSearch, GivenValuesWinAndClassicIsTheFixedSet) {
  SearchDataEstimate e;
  e.valid = true;
  e.step = 0.005;
  e.fwhm = 0.01;
  e.inflection_width = 0.03;
  e.noise = 0.35;
  struct Row {
    SearchSettingsRequest request;
    double threshold, min_width, max_width;
  };
  const Row rows[] = {
      {{}, 2.1, 0.015, 0.2},  // 6 × noise; half the inflection width; 4 × rounded up
      {{true, {}, {}, {}}, 2.0, 0.1, 1.0},
      {{false, 3.5, {}, {}}, 3.5, 0.015, 0.2},
      {{true, {}, 0.02, {}}, 2.0, 0.02, 1.0},
      {{false, {}, 0.5, {}}, 2.1, 0.5, 0.5},  // a given minimum above the derived maximum
      {{false, {}, {}, 0.01}, 2.1, 0.01, 0.01},
  };
  for (const Row& r : rows) {
    const PeakSearchSettings s = requested_search_settings(e, r.request);
    EXPECT_NEAR(s.threshold, r.threshold, 1e-9);
    EXPECT_NEAR(s.min_width, r.min_width, 1e-9);
    EXPECT_NEAR(s.max_width, r.max_width, 1e-9);
  }
  EXPECT_EQ(search_settings_line(requested_search_settings(e, {}), e),
            "search settings: threshold 2.1 (noise 0.35) widths 0.015\u20130.2\u00b0");
  // Nothing measurable: the classic settings.
  const PeakSearchSettings none = derived_search_settings(SearchDataEstimate{});
  EXPECT_DOUBLE_EQ(none.threshold, 2.0);
  EXPECT_DOUBLE_EQ(none.min_width, 0.1);
  EXPECT_DOUBLE_EQ(none.max_width, 1.0);
}

// Profiles no instrument writes but a file can hold (angles 1e26 apart, or 1e-30)
// give slider positions inside the sliders, at the end their widths point to.
TEST(AdaptiveSearch, AbsurdAnglesGiveSettingsInsideTheSliders) {
  struct Case {
    double step;
    int max_width;
  } cases[] = {{1e26, kMaxWidthSlider.max_position},
               {1e9, kMaxWidthSlider.max_position},
               {1e-30, kMaxWidthSlider.min_position}};
  for (const auto& [step, max_width] : cases) {
    std::vector<double> x, y;
    for (int i = 0; i < 200; ++i) {
      x.push_back(i * step);
      y.push_back(i % 17 == 8 ? 100 : (i % 17 == 7 || i % 17 == 9 ? 40 : 1));
    }
    const Profile p = testing::profile_from(x, y);
    const SliderPositions s =
        derived_slider_positions(estimate_search_data(p, compute_second_derivative(p)));
    EXPECT_EQ(s.max_width, max_width) << step;
    EXPECT_GE(s.min_width, kMinWidthSlider.min_position) << step;
    EXPECT_LE(s.min_width, kMinWidthSlider.max_position) << step;
    EXPECT_GE(s.threshold, kThresholdSlider.min_position) << step;
    EXPECT_LE(s.threshold, kThresholdSlider.max_position) << step;
  }
}

}  // namespace
}  // namespace vornax

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "commands/peak_search.hpp"
#include "profile/hand_measure.hpp"
#include "profile/profile_generator.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

using testing::bragg_two_theta;
using testing::GaussianPeak;
using testing::ProfileRecipe;

constexpr double kCuK1 = 1.540593, kCuK2 = 1.544414;

WavelengthSet copper() {
  WavelengthSet w;
  w.lambda = 1.5418;
  w.lambda1 = kCuK1;
  w.lambda2 = kCuK2;
  w.ratio = 0.5;
  w.anode = "Cu";
  return w;
}

// d-spacings of a cubic P cell up to 2θmax at Kα1: h² + k² + l² = 1, 2, 3, 4, 5, 6, 8 ...
std::vector<double> cubic_spacings(double a, double two_theta_max) {
  std::vector<double> d;
  for (int s = 1; s < 200; ++s) {
    bool sum_of_squares = false;
    for (int h = 0; h * h <= s && !sum_of_squares; ++h)
      for (int k = 0; k <= h && h * h + k * k <= s && !sum_of_squares; ++k) {
        const int rest = s - h * h - k * k;
        const int l = static_cast<int>(std::lround(std::sqrt(double(rest))));
        if (l <= k && l * l == rest) sum_of_squares = true;
      }
    if (!sum_of_squares) continue;
    const double ds = a / std::sqrt(double(s));
    if (kCuK2 / (2 * ds) >= 1 || bragg_two_theta(ds, kCuK2) > two_theta_max) break;
    d.push_back(ds);
  }
  return d;
}

// A copper pattern of a cubic cell: every reflection as a Kα1 + Kα2 doublet (ratio
// 0.5) on a sloping background with noise, intensities falling with angle.
Profile copper_pattern(double a, uint32_t seed, std::vector<double>* alpha1_angles) {
  ProfileRecipe r;
  r.start = 30;     // from here on the two lines of a doublet are resolved
  r.step = 0.01;
  r.points = 9000;  // to 120°
  r.background = 6;
  r.background_slope = -0.03;
  r.noise = 0.08;
  r.seed = seed;
  int n = 0;
  for (double d : cubic_spacings(a, 119)) {
    const double a1 = bragg_two_theta(d, kCuK1), a2 = bragg_two_theta(d, kCuK2);
    if (a1 < 31) continue;
    const double height = 90.0 - 6 * (n++ % 7);
    r.peaks.push_back({a1, 0.025, height});
    r.peaks.push_back({a2, 0.025, height / 2});
    alpha1_angles->push_back(a1);
  }
  Profile p = testing::make_profile(r);
  p.wavelengths = copper();
  p.file_name = "pattern.raw";
  return p;
}

struct Fixture {
  WorkSession s;
  RecordingMessages m;
  PeakSearchState st;
};

bool has_text(const RecordingMessages& m, std::string_view t) {
  for (const auto& x : m.texts())
    if (x == t) return true;
  return false;
}

TEST(PeakSearchCommands, CopperPatternGivesTheAlpha1LinesAfterPeakKill) {
  Fixture f;
  std::vector<double> truth;
  f.s.profile = copper_pattern(4.05, 5, &truth);
  ASSERT_GE(truth.size(), 10u);

  prepare_peak_search(f.s, f.m, f.st);
  EXPECT_EQ(f.st.contamination_line_count, 2);
  EXPECT_EQ(f.st.contamination.l1_lambda, " 1.39222");
  f.st.sliders.min_width = 30;  // 0.03°: the doublet members are narrow
  f.st.sliders.max_width = 3;  // 0.3°
  const Changed c = search_peaks(f.s, f.m, f.st);
  EXPECT_TRUE(any(c, Changed::MeasuredPeaks));
  EXPECT_EQ(f.m.log.back().first, RecordingMessages::Kind::Beep);

  f.st.kill.keep = {true, true, false, false, false};
  ASSERT_TRUE(peak_kill_available(f.s, f.st));
  apply_peak_kill(f.s, f.st);
  hand_over_peaks(f.s);

  // every Kα1 line found once and nothing else left; the partner's tail pulls each
  // centre a little towards it
  ASSERT_EQ(f.s.measured.peaks.size(), truth.size());
  for (size_t i = 0; i < truth.size(); ++i) {
    EXPECT_NEAR(f.s.measured.peaks[i].two_theta, truth[i], 0.01) << i;
    EXPECT_EQ(f.s.measured.peaks[i].line_code, 2) << i;  // every line had its Kα2 partner
  }
}

// Peaks of 0.01° at a 0.005° step: the classic settings find none of them; Prepare
// measures the pattern, so that Search with the sliders as they come finds them all.
TEST(PeakSearchCommands, PrepareSetsTheSlidersFromTheData) {
  testing::CountedRecipe r;
  r.start = 8;
  r.step = 0.005;
  r.points = 4001;
  r.fwhm = 0.01;
  r.lambda1 = 0.5;
  r.background = 200;
  r.lines = {{9.1, 40000}, {11.35, 9000}, {14.2, 25000}, {17.05, 3000}, {21.6, 12000}, {26.3, 5000}};
  const Profile pattern = testing::make_counted_profile(r);
  struct Case {
    bool prepare;
    size_t expected;
  } cases[] = {{false, 0}, {true, r.lines.size()}};
  for (const Case& c : cases) {
    Fixture f;
    f.s.profile = pattern;
    if (c.prepare) {
      prepare_peak_search(f.s, f.m, f.st);
      EXPECT_LT(slider_value(kMinWidthSlider, f.st.sliders.min_width), 0.05);
      EXPECT_GE(slider_value(kMinWidthSlider, f.st.sliders.min_width), r.step);
    }
    search_peaks(f.s, f.m, f.st);
    ASSERT_EQ(f.s.measured.peaks.size(), c.expected) << c.prepare;
    for (size_t i = 0; i < c.expected; ++i)
      EXPECT_NEAR(f.s.measured.peaks[i].two_theta, r.lines[i].two_theta, 0.003) << i;
  }
}

TEST(PeakSearchCommands, PrepareLeavesThePeaksAndNeedsAProfile) {
  Fixture f;
  f.s.measured.peaks = {{30, 30, 50, 1}, {40, 40, 20, 1}};
  EXPECT_EQ(prepare_peak_search(f.s, f.m, f.st), Changed::None);
  EXPECT_TRUE(f.st.derivative.empty());
  EXPECT_FALSE(f.st.derivative_drawable);

  ProfileRecipe r;
  r.peaks = {{20, 0.1, 50}};
  f.s.profile = testing::make_profile(r);
  f.s.profile.wavelengths = copper();
  f.s.profile.wavelengths.anode = "?";
  f.s.profile.wavelengths.lambda = 1.0;  // no anode row within 0.006 Å
  f.st.contamination = {"x", "y", "z", "w"};
  f.st.contamination_line_count = 2;
  EXPECT_EQ(prepare_peak_search(f.s, f.m, f.st), Changed::None);
  EXPECT_EQ(f.s.measured.peaks.size(), 2u);  // the main window's peaks stay
  EXPECT_TRUE(f.st.contamination.l1_lambda.empty() && f.st.contamination.l2_percent.empty());
  EXPECT_EQ(f.st.contamination_line_count, 0);
  EXPECT_TRUE(is_current(f.st.derivative, f.s.profile));
  EXPECT_TRUE(f.st.derivative_drawable);
  close_peak_search(f.st);
  EXPECT_FALSE(f.st.derivative_drawable);
}

TEST(PeakSearchCommands, SearchReplacesPeaksWithCodeOneAndOffsetOnce) {
  Fixture f;
  ProfileRecipe r;
  r.peaks = {{15.0, 0.08, 70}, {23.0, 0.08, 40}};
  f.s.profile = testing::make_profile(r);
  f.s.profile.wavelengths = copper();
  f.s.profile.wavelengths.anode = "?";  // no classification
  f.s.measured.zero_offset = 0.05;
  // the profile's angles already include the offset
  for (ProfilePoint& pt : f.s.profile.points) pt.two_theta = pt.two_theta_read + 0.05f;
  f.s.measured.peaks = {{50, 49.95, 1, 3}};
  f.st.contamination_line_count = 2;  // left over from an earlier classified search

  search_peaks(f.s, f.m, f.st);  // without Prepare: D computed on the spot
  ASSERT_EQ(f.s.measured.peaks.size(), 2u);
  const double expected[] = {15.05, 23.05};
  for (size_t i = 0; i < 2; ++i) {
    const MeasuredPeak& p = f.s.measured.peaks[i];
    EXPECT_NEAR(p.two_theta, expected[i], 0.004);
    EXPECT_NEAR(p.two_theta_read, p.two_theta - 0.05, 1e-12);
    EXPECT_EQ(p.line_code, 1);
  }
  EXPECT_EQ(f.st.contamination_line_count, 0);
  EXPECT_FALSE(peak_kill_available(f.s, f.st));
  f.st.kill.keep = {};
  EXPECT_EQ(apply_peak_kill(f.s, f.st), Changed::None);
  EXPECT_EQ(f.s.measured.peaks.size(), 2u);
}

TEST(PeakSearchCommands, StaleDerivativeIsRecomputed) {
  Fixture f;
  ProfileRecipe first;
  first.peaks = {{20, 0.08, 50}};
  f.s.profile = testing::make_profile(first);
  prepare_peak_search(f.s, f.m, f.st);
  EXPECT_EQ(derivative_to_draw(f.s, f.st), nullptr);  // menu entry not checked
  f.st.draw_derivative = true;
  EXPECT_EQ(derivative_to_draw(f.s, f.st), &f.st.derivative);

  struct Case { const char* name; size_t points; } cases[] = {{"same size", 1000}, {"other size", 700}};
  for (auto c : cases) {
    ProfileRecipe next;
    next.points = c.points;
    next.peaks = {{17, 0.08, 50}};
    const uint64_t g = f.s.profile.generation;
    f.s.profile = testing::make_profile(next);
    f.s.profile.generation = g + 1;  // what a reader does when it replaces the profile
    EXPECT_FALSE(is_current(f.st.derivative, f.s.profile)) << c.name;
    EXPECT_EQ(derivative_to_draw(f.s, f.st), nullptr) << c.name;  // never the old curve
    search_peaks(f.s, f.m, f.st);
    ASSERT_EQ(f.s.measured.peaks.size(), 1u) << c.name;
    EXPECT_NEAR(f.s.measured.peaks[0].two_theta, 17, 0.004) << c.name;
    EXPECT_TRUE(is_current(f.st.derivative, f.s.profile)) << c.name;
  }
}

TEST(PeakSearchCommands, NothingToSearchSaysSoAndKeepsThePeaks) {
  struct Case { size_t points; double level; } cases[] = {{6, 10}, {12, 10}, {13, 10}, {400, 25}};
  for (auto c : cases) {
    Fixture f;
    ProfileRecipe r;
    r.points = c.points;
    r.background = c.level;
    f.s.profile = testing::make_profile(r);
    f.s.measured.peaks = {{33, 33, 10, 2}};
    prepare_peak_search(f.s, f.m, f.st);
    for (double v : f.st.derivative.values) EXPECT_FALSE(std::isnan(v));
    EXPECT_EQ(search_peaks(f.s, f.m, f.st), Changed::None);
    EXPECT_TRUE(has_text(f.m, kNothingToSearch)) << c.points;
    EXPECT_EQ(f.s.measured.peaks.size(), 1u);
  }
}

TEST(PeakSearchCommands, BadContaminationDataLeavesCodeOnePeaks) {
  Fixture f;
  ProfileRecipe r;
  r.peaks = {{15, 0.08, 80}, {22, 0.08, 40}};
  f.s.profile = testing::make_profile(r);
  f.s.profile.wavelengths = copper();
  f.s.profile.wavelengths.ratio = 0;
  prepare_peak_search(f.s, f.m, f.st);
  f.st.contamination.l1_percent = "";
  const Changed c = search_peaks(f.s, f.m, f.st);
  EXPECT_TRUE(has_text(f.m, kBadContamination));
  EXPECT_TRUE(any(c, Changed::MeasuredPeaks));
  ASSERT_EQ(f.s.measured.peaks.size(), 2u);
  for (const auto& p : f.s.measured.peaks) EXPECT_EQ(p.line_code, 1);
  EXPECT_EQ(f.st.contamination_line_count, 0);
  EXPECT_EQ(f.s.profile.wavelengths.ratio, 0);  // classification ended before the ratio

  f.st.contamination.l1_percent = " 1";
  const Changed again = search_peaks(f.s, f.m, f.st);
  EXPECT_EQ(f.s.profile.wavelengths.ratio, 0.5);
  EXPECT_TRUE(any(again, Changed::Profile));
}

TEST(PeakSearchCommands, DeleteDiagramKeepsThePeaksAndEraseResetsTheLines) {
  Fixture f;
  ProfileRecipe r;
  r.peaks = {{20, 0.08, 80}};
  f.s.profile = testing::make_profile(r);
  prepare_peak_search(f.s, f.m, f.st);
  f.s.measured.peaks = {{20, 20, 80, 1}};
  EXPECT_EQ(delete_profile_diagram(f.s, f.st), Changed::Profile);
  EXPECT_TRUE(f.s.profile.points.empty() && f.s.profile.file_name.empty());
  EXPECT_FALSE(f.st.derivative_drawable);
  EXPECT_EQ(f.s.measured.peaks.size(), 1u);

  f.st.contamination_line_count = 2;
  EXPECT_EQ(erase_measured_peaks(f.s, f.st), Changed::MeasuredPeaks);
  EXPECT_TRUE(f.s.measured.peaks.empty());
  EXPECT_FALSE(peak_kill_available(f.s, f.st));
}

// ---- New angle range ----

Fixture ranged_fixture() {
  Fixture f;
  // 5..90° in steps of 1, intensity rising to 50 at 40° and falling again
  std::vector<double> x, y;
  for (int i = 5; i <= 90; ++i) {
    x.push_back(i);
    y.push_back(50 - std::fabs(i - 40.0) * 0.5);
  }
  f.s.profile = testing::profile_from(x, y);
  f.s.profile.file_name = "scan.raw";
  f.s.profile.wavelengths = copper();
  f.s.profile.intensity_min = 200;
  f.s.profile.intensity_max = 1200;  // counts = stored × 10 + 200
  f.s.range_min = f.s.window_min = 5;
  f.s.range_max = f.s.window_max = 90;
  f.s.measured.peaks = {{30, 30, 10, 1}};
  f.st.draw_derivative = true;
  return f;
}

TEST(NewAngleRange, BadFieldsChangeNothing) {
  struct Case { const char* lo; const char* hi; std::string_view message; } cases[] = {
      {"abc", "60", kThetaMinError}, {"20", "6x0", kThetaMaxError},
      {"60", "20", kThetaMaxError},  {"40", "40", kThetaMaxError},
      {"1e400", "60", kThetaMinError},
  };
  for (const auto& c : cases) {
    Fixture f = ranged_fixture();
    const WorkSession before = f.s;
    EXPECT_EQ(new_angle_range(f.s, f.m, f.st, c.lo, c.hi), Changed::None);
    EXPECT_TRUE(has_text(f.m, c.message)) << c.lo << " " << c.hi;
    EXPECT_EQ(f.s.measured.peaks.size(), 1u);
    EXPECT_EQ(f.s.range_min, 5);
    EXPECT_EQ(f.s.range_max, 90);
    EXPECT_EQ(f.s.profile.points.size(), before.profile.points.size());
    EXPECT_TRUE(f.st.draw_derivative);
  }
}

TEST(NewAngleRange, KeepsThePointsInsideAndRescalesToHundred) {
  Fixture f = ranged_fixture();
  const uint64_t g = f.s.profile.generation;
  const Changed c = new_angle_range(f.s, f.m, f.st, "20", "60");
  EXPECT_TRUE(any(c, Changed::Profile) && any(c, Changed::MeasuredPeaks) && any(c, Changed::CurrentValues));
  ASSERT_EQ(f.s.profile.points.size(), 41u);
  EXPECT_EQ(f.s.profile.points.front().two_theta, 20);
  EXPECT_EQ(f.s.profile.points.back().two_theta, 60);
  // the highest kept point (50 at 40°) becomes 100; 20° had 40 -> 80
  EXPECT_FLOAT_EQ(f.s.profile.points[20].intensity, 100);
  EXPECT_FLOAT_EQ(f.s.profile.points[0].intensity, 80);
  // counts are unchanged: 40 × 10 + 200 = 600 before, 80 × (max − min) / 100 + min now
  const Profile& p = f.s.profile;
  EXPECT_NEAR(80 * (p.intensity_max - p.intensity_min) / 100 + p.intensity_min, 600, 1e-9);
  EXPECT_EQ(f.s.range_min, 20);
  EXPECT_EQ(f.s.window_max, 60);
  EXPECT_EQ(p.start_angle, 20);
  EXPECT_EQ(p.final_angle, 60);
  EXPECT_TRUE(f.s.measured.peaks.empty());
  EXPECT_FALSE(f.st.draw_derivative);
  EXPECT_NE(p.generation, g);
}

TEST(NewAngleRange, ThetaModeAndAZeroProfile) {
  Fixture f = ranged_fixture();
  f.s.angle_mode = AngleMode::Theta;
  for (ProfilePoint& pt : f.s.profile.points) pt.intensity = 0;
  new_angle_range(f.s, f.m, f.st, "10", "30");  // θ: 20..60 in 2θ
  EXPECT_EQ(f.s.range_min, 20);
  EXPECT_EQ(f.s.range_max, 60);
  ASSERT_EQ(f.s.profile.points.size(), 41u);
  for (const auto& pt : f.s.profile.points) EXPECT_EQ(pt.intensity, 0);  // no 0/0
  EXPECT_EQ(f.s.profile.intensity_max, 1200);
}

TEST(NewAngleRange, RereadsTheFileAndKeepsTheWavelengths) {
  Fixture f = ranged_fixture();
  f.s.measured.zero_offset = 0.5;
  new_angle_range(f.s, f.m, f.st, "30", "50");
  ASSERT_EQ(f.s.profile.points.size(), 21u);

  // widening again needs the file: the reader gives all points back, angles as read
  int reads = 0;
  ProfileRereader reread = [&](const std::string& name) {
    ++reads;
    EXPECT_EQ(name, "scan.raw");
    Profile fresh = ranged_fixture().s.profile;
    fresh.wavelengths = WavelengthSet{};
    fresh.wavelengths.anode = "Cuxx";
    return fresh;
  };
  f.s.profile.wavelengths.anode = "Cuxx";
  new_angle_range(f.s, f.m, f.st, "10", "80", reread);
  EXPECT_EQ(reads, 1);
  // the offset is applied to the angles read: 9 + 0.5 is below the range, 10 + 0.5
  // the first point kept, 79 + 0.5 the last
  ASSERT_EQ(f.s.profile.points.size(), 70u);
  EXPECT_EQ(f.s.profile.points.front().two_theta, 10.5f);
  EXPECT_EQ(f.s.profile.points.front().two_theta_read, 10);
  EXPECT_EQ(f.s.profile.points.back().two_theta, 79.5f);
  EXPECT_EQ(f.s.profile.wavelengths.lambda1, kCuK1);
  EXPECT_EQ(f.s.profile.wavelengths.anode, "Cu");
  EXPECT_EQ(f.s.profile.file_name, "scan.raw");

  // a file that cannot be read leaves everything as it was
  const size_t points = f.s.profile.points.size();
  f.s.measured.peaks = {{30, 30, 10, 1}};
  ProfileRereader broken = [](const std::string&) -> Profile { throw std::runtime_error("bad file"); };
  EXPECT_THROW(new_angle_range(f.s, f.m, f.st, "20", "30", broken), std::runtime_error);
  EXPECT_EQ(f.s.profile.points.size(), points);
  EXPECT_EQ(f.s.range_min, 10);
  EXPECT_EQ(f.s.measured.peaks.size(), 1u);
}

// ---- Peaks measured by hand, hand-over ----

TEST(HandMeasuredPeaks, IntensityOfTheIntervalAndOutside) {
  std::vector<double> x = {10, 11, 12, 13};
  std::vector<double> y = {1, 2, 3, 4};
  const Profile p = testing::profile_from(x, y);
  struct Case { double at, intensity; } cases[] = {
      {10, 1}, {10.5, 1}, {11, 2}, {12.999, 3}, {13, 4}, {9.99, 0}, {13.01, 0},
  };
  for (auto c : cases) EXPECT_EQ(hand_measured_intensity(p, c.at), c.intensity) << c.at;
  EXPECT_EQ(hand_measured_intensity(Profile{}, 10), 0);
}

TEST(HandMeasuredPeaks, AddedOnceWithCodeOneAndTheOffsetRemoved) {
  Fixture f;
  f.s.profile = testing::profile_from({10, 11, 12}, {5, 6, 7});
  f.s.measured.zero_offset = -0.2;
  EXPECT_EQ(add_hand_measured_peak(f.s, f.m, 11.0), Changed::MeasuredPeaks);
  EXPECT_EQ(add_hand_measured_peak(f.s, f.m, 11.0005), Changed::None);  // same click
  ASSERT_EQ(f.s.measured.peaks.size(), 1u);
  const MeasuredPeak& p = f.s.measured.peaks[0];
  EXPECT_EQ(p.intensity, 6);
  EXPECT_EQ(p.line_code, 1);
  EXPECT_NEAR(p.two_theta_read, 11.2, 1e-12);

  f.s.measured.peaks.assign(kMaxMeasuredPeaks, MeasuredPeak{50, 50, 1, 1});
  EXPECT_EQ(add_hand_measured_peak(f.s, f.m, 10.5), Changed::None);
  EXPECT_TRUE(has_text(f.m, kTooManyPeaks));
  EXPECT_EQ(f.s.measured_count(), kMaxMeasuredPeaks);

  Fixture empty;
  EXPECT_EQ(add_hand_measured_peak(empty.s, empty.m, 10.5), Changed::None);
  EXPECT_TRUE(empty.s.measured.peaks.empty());
}

TEST(HandOver, PeaksSortedByAngleWithAllTheirFields) {
  WorkSession s;
  s.measured.peaks = {{40, 39.9, 4, 3}, {20, 19.9, 2, 1}, {30, 29.9, 3, 2}};
  EXPECT_EQ(hand_over_peaks(s), Changed::MeasuredPeaks);
  const double angles[] = {20, 30, 40};
  const int codes[] = {1, 2, 3};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(s.measured.peaks[i].two_theta, angles[i]);
    EXPECT_EQ(s.measured.peaks[i].two_theta_read, angles[i] - 0.1);
    EXPECT_EQ(s.measured.peaks[i].intensity, angles[i] / 10);
    EXPECT_EQ(s.measured.peaks[i].line_code, codes[i]);
  }
  EXPECT_EQ(reset_profile_range(s), Changed::CurrentValues);
}

}  // namespace
}  // namespace vornax

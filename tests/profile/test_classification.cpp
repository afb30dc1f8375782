#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "profile/classification.hpp"
#include "profile/profile_generator.hpp"

namespace vornax {
namespace {

using testing::bragg_two_theta;

constexpr double kCuK1 = 1.540593, kCuK2 = 1.544414, kCuMean = 1.5418, kCuKBeta = 1.39222;

MeasuredPeak peak(double two_theta, double intensity) {
  return {two_theta, two_theta, intensity, 0};
}

WavelengthSet copper() {
  WavelengthSet w;
  w.lambda = kCuMean;
  w.lambda1 = kCuK1;
  w.lambda2 = kCuK2;
  w.ratio = 0.5;
  w.anode = "Cu";
  return w;
}

std::vector<int> codes(const std::vector<MeasuredPeak>& peaks) {
  std::vector<int> c;
  for (const auto& p : peaks) c.push_back(p.line_code);
  return c;
}

// Pairs of a Kα1 peak (d = 2.3 Å, intensity 80) and a second peak near the Kα2 angle
// of the same reflection, with several intensity ratios against the expected 0.5 and
// several distances from the Kα2 angle (tolerance 0.07°).
TEST(Classification, KAlphaDoubletsByRatioAndDistance) {
  struct Case { const char* name; double second_intensity, offset; int code1, code2; } cases[] = {
      {"ratio 0.5", 40, 0, 2, 3},
      {"49 % high", 40 * 1.49, 0, 2, 3},
      {"60 % high", 40 * 1.6, 0, 1, 1},
      {"60 % low", 40 * 0.4, 0, 1, 1},
      {"ratio 1", 80, 0, 1, 1},
      {"0.069 above", 40, 0.069, 2, 3},
      {"0.069 below", 40, -0.069, 2, 3},
      {"0.071 above", 40, 0.071, 1, 1},
  };
  const double a1 = bragg_two_theta(2.3, kCuK1), a2 = bragg_two_theta(2.3, kCuK2);
  ASSERT_GT(a2 - a1, 0.05);  // really two separate lines
  for (const auto& c : cases) {
    std::vector<MeasuredPeak> peaks = {peak(a1 - 5, 30), peak(a1, 80),
                                       peak(a2 + c.offset, c.second_intensity)};
    WavelengthSet w = copper();
    const auto r = classify_lines(peaks, w, ContaminationTexts{});
    EXPECT_EQ(codes(peaks), (std::vector<int>{1, c.code1, c.code2})) << c.name;
    EXPECT_EQ(r.contamination_line_count, 0);
    EXPECT_FALSE(r.bad_data);
  }
}

TEST(Classification, KBetaSatelliteOfAStrongPeak) {
  // The Kβ line of a reflection seen with the mean Kα at 45°, at 1 %: a peak there
  // weaker than 3 % of the strong one is code 4; a stronger one is a real peak.
  const double d = kCuMean / (2 * std::sin(22.5 * 3.14159265358979323846 / 180));
  const double beta = bragg_two_theta(d, kCuKBeta);
  ContaminationTexts t{" 1.39222", " 1", "", ""};
  struct Case { double satellite, offset; int code; } cases[] = {
      {2.9, 0, 4}, {2.9, 0.049, 4}, {2.9, 0.051, 1}, {3.1, 0, 1},
  };
  for (auto c : cases) {
    std::vector<MeasuredPeak> peaks = {peak(beta + c.offset, c.satellite), peak(45, 100)};
    WavelengthSet w = copper();
    const auto r = classify_lines(peaks, w, t);
    EXPECT_EQ(codes(peaks), (std::vector<int>{c.code, 1})) << c.satellite << " " << c.offset;
    EXPECT_EQ(r.contamination_line_count, 1);
  }
}

TEST(Classification, WLAlphaLineIsCodeFiveAndNotCounted) {
  // a second contamination line, longer than Kα for this anode: it shows below a
  // reflection only when its wavelength is shorter, so use 1.2 Å here
  const double d = 2.5;
  const double strong = bragg_two_theta(d, kCuMean), weak = bragg_two_theta(d, 1.2);
  std::vector<MeasuredPeak> peaks = {peak(weak, 1), peak(strong, 100)};
  WavelengthSet w = copper();
  const auto r = classify_lines(peaks, w, {"", "", "1.2", "0.5"});
  EXPECT_EQ(codes(peaks), (std::vector<int>{5, 1}));
  EXPECT_EQ(r.contamination_line_count, 0);
}

// Guards against divisions by zero, undefined arcsines and identical lines: none of
// these may mark a peak (the literal tests would pair or fail here).
TEST(Classification, GuardsGiveNoFalsePairs) {
  {
    // λ1 = λ2 (typed through "Other"): close neighbours at ratio 0.5 are two peaks
    std::vector<MeasuredPeak> peaks = {peak(40.00, 100), peak(40.03, 50)};
    WavelengthSet w = copper();
    w.lambda2 = w.lambda1;
    classify_lines(peaks, w, {});
    EXPECT_EQ(codes(peaks), (std::vector<int>{1, 1}));
    w.lambda2 = w.lambda1 - 0.004;  // a reversed pair is no doublet either
    classify_lines(peaks, w, {});
    EXPECT_EQ(codes(peaks), (std::vector<int>{1, 1}));
  }
  {
    // a zero intensity as divisor: I_j / 0 must not decide anything
    const double a1 = bragg_two_theta(2.0, kCuK1), a2 = bragg_two_theta(2.0, kCuK2);
    std::vector<MeasuredPeak> peaks = {peak(a1, 0), peak(a2, 0)};
    WavelengthSet w = copper();
    classify_lines(peaks, w, {"1.39222", "1", "", ""});
    EXPECT_EQ(codes(peaks), (std::vector<int>{1, 1}));
    // and a zero-intensity strong line cannot make a satellite
    const double d = kCuMean / (2 * std::sin(20 * 3.14159265358979323846 / 180));
    std::vector<MeasuredPeak> sat = {peak(bragg_two_theta(d, kCuKBeta), -1), peak(40, 0)};
    classify_lines(sat, w, {"1.39222", "1", "", ""});
    EXPECT_EQ(codes(sat), (std::vector<int>{1, 1}));
  }
  {
    // Mo with L2 = 1.025 Å: beyond 87.8° the line would need sin θ' > 1
    WavelengthSet w;
    w.lambda = 0.7107;
    w.lambda1 = 0.70932;
    w.lambda2 = 0.71361;
    w.ratio = 0.5;
    w.anode = "Mo";
    std::vector<MeasuredPeak> peaks = {peak(88.0, 1), peak(100.0, 100), peak(120.0, 100)};
    const auto r = classify_lines(peaks, w, {" 0.63229", " 1", " 1.025", " 0.5"});
    EXPECT_FALSE(r.bad_data);
    for (const auto& p : peaks) {
      EXPECT_EQ(p.line_code, 1);
      EXPECT_FALSE(std::isnan(p.two_theta));
    }
  }
}

TEST(Classification, ContaminationTextsAndRatio) {
  struct Case { ContaminationTexts t; bool bad; int count; } cases[] = {
      {{"", "", "", ""}, false, 0},
      {{"   ", "x", "", ""}, false, 0},             // blank wavelength: line not used
      {{"1.39222", "", "", ""}, true, 0},           // empty percentage is no number
      {{"1.39222", "1", "abc", "0.5"}, true, 1},    // L1 counted before L2 failed
      {{"1,39222", "1", "1.025", "0.5"}, false, 1}, // a decimal comma is read
      {{"", "", "1.025", "0.5"}, false, 0},         // L2 alone is not counted
  };
  for (const auto& c : cases) {
    std::vector<MeasuredPeak> peaks = {peak(30, 10), peak(30.05, 5)};
    peaks[0].line_code = 3;  // an old code must not survive
    WavelengthSet w = copper();
    const auto r = classify_lines(peaks, w, c.t);
    EXPECT_EQ(r.bad_data, c.bad) << c.t.l1_lambda << "|" << c.t.l2_lambda;
    EXPECT_EQ(r.contamination_line_count, c.count) << c.t.l1_lambda << "|" << c.t.l2_lambda;
    if (c.bad) {
      EXPECT_EQ(codes(peaks), (std::vector<int>{1, 1}));
    }
  }
  WavelengthSet w = copper();
  w.ratio = 0;
  std::vector<MeasuredPeak> none;
  classify_lines(none, w, {});
  EXPECT_EQ(w.ratio, 0.5);
}

}  // namespace
}  // namespace vornax

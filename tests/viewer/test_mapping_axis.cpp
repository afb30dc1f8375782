#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "viewer/axis.hpp"
#include "viewer/mapping.hpp"

namespace vornax {
namespace {

// Image 212 x 150 over 2θ 0..100: view -2.5..102.5 (span 105), 210/105 = 2 px per
// degree, so x = nearest(2a + 5) + 3; axis at 150 - 50 = 100; 1 px per intensity unit.
Mapping two_px_per_degree() {
  auto m = diagram_mapping(0, 100, AngleMode::TwoTheta, 212, 150, 1.0);
  EXPECT_TRUE(m.has_value());
  return *m;
}

TEST(Mapping, HandComputedPixelsAndHalvesToEven) {
  const Mapping m = two_px_per_degree();
  EXPECT_DOUBLE_EQ(m.view_min, -2.5);
  EXPECT_DOUBLE_EQ(m.view_max, 102.5);
  EXPECT_DOUBLE_EQ(m.scale_x, 2.0);
  struct Case { double a; int x; } cases[] = {
      {0, 8}, {20, 48}, {100, 208}, {-2.5, 3},
      {0.25, 9},   // 5.5 -> 6
      {0.75, 9},   // 6.5 -> 6, not 7
      {1.25, 11},  // 7.5 -> 8
  };
  for (auto c : cases) EXPECT_EQ(m.x_of(c.a), c.x) << c.a;
  EXPECT_EQ(m.y_of(0), 100);
  EXPECT_EQ(m.y_of(50), 50);
  EXPECT_EQ(m.y_of(100), 0);
  EXPECT_EQ(m.bar_y_of(100), 1);  // bar ends are raised to the first row
  EXPECT_EQ(m.bar_y_of(300), 1);
  EXPECT_DOUBLE_EQ(m.angle_at(48), 20.0);
  EXPECT_DOUBLE_EQ(m.intensity_at(50), 50.0);
}

TEST(Mapping, ThetaModeHalvesTheView) {
  auto m = diagram_mapping(0, 100, AngleMode::Theta, 212, 150, 1.0);
  ASSERT_TRUE(m);
  EXPECT_DOUBLE_EQ(m->view_min, -1.25);
  EXPECT_DOUBLE_EQ(m->view_max, 51.25);
  EXPECT_DOUBLE_EQ(m->scale_x, 4.0);
  EXPECT_EQ(m->x_of(display_angle(AngleMode::Theta, 40.0)), 88);  // 2θ 40 at θ 20
}

TEST(Mapping, ProfileWindowHasNoWideningAndATwentyPixelBand) {
  auto m = profile_mapping(10, 110, AngleMode::TwoTheta, 202, 120, 2.0);
  ASSERT_TRUE(m);
  EXPECT_DOUBLE_EQ(m->view_min, 10);
  EXPECT_DOUBLE_EQ(m->scale_x, 2.0);
  EXPECT_EQ(m->y_of(0), 100);
  EXPECT_EQ(m->y_of(25), 50);  // scale y = 100 * 2 / 100
}

TEST(Mapping, RefusesRangesAndImagesThatCannotBeDrawn) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case { double lo, hi; int w, h; } refused[] = {
      {10, 10, 212, 150},  {10, 10.0009, 212, 150}, {0, 1e20, 212, 150}, {0, inf, 212, 150},
      {nan, 50, 212, 150}, {50, 10, 212, 150},      {0, 100, 3, 150},    {0, 100, 212, 51},
  };
  for (auto c : refused)
    EXPECT_FALSE(diagram_mapping(c.lo, c.hi, AngleMode::TwoTheta, c.w, c.h, 1.0))
        << c.lo << ".." << c.hi << " " << c.w << "x" << c.h;
  EXPECT_TRUE(diagram_mapping(0, 0.001, AngleMode::TwoTheta, 212, 150, 1.0));
}

TEST(Mapping, HugeValuesAreClampedNotCast) {
  const Mapping m = two_px_per_degree();
  EXPECT_EQ(m.x_of(1e300), kPixelLimit);
  EXPECT_LE(m.x_of(-1e300), -kPixelLimit + 10);
  EXPECT_GE(m.x_of(-1e300), -kPixelLimit);
  EXPECT_LE(m.y_of(std::numeric_limits<double>::infinity()), -kPixelLimit + 200);
  EXPECT_GE(m.y_of(std::numeric_limits<double>::infinity()), -kPixelLimit);
  EXPECT_EQ(nearest_pixel(std::numeric_limits<double>::quiet_NaN()), 0);
  auto big = diagram_mapping(0, 100, AngleMode::TwoTheta, 212, 150, 1e12);
  ASSERT_TRUE(big);
  EXPECT_DOUBLE_EQ(big->scale_y, kMaxVerticalFactor);  // s capped
}

TEST(Axis, TickStepAtEveryBoundary) {
  struct Case { double span, step; } cases[] = {
      {0.05, 0.01}, {0.0999, 0.01}, {0.1, 10},  {0.3, 10},  {0.5, 10},  {0.5001, 0.1},
      {1, 0.1},     {1.0001, 1},    {10, 1},    {10.01, 5}, {50, 5},    {50.01, 10},
      {100, 10},    {100.01, 20},   {1000, 20},
  };
  for (auto c : cases) EXPECT_DOUBLE_EQ(tick_step(c.span), c.step) << c.span;
}

TEST(Axis, TicksAndLabels) {
  // view 79.25..110.75 (2θ 80..110 widened): span 31.5, step 5
  auto t = axis_ticks(79.25, 110.75);
  std::vector<std::string> labels;
  for (auto& k : t) labels.push_back(k.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"80.00", "85.00", "90.00", "95.00", "100.0",
                                              "105.0", "110.0"}));
  // A span of 0.3 keeps the step 10: at most one tick.
  EXPECT_EQ(axis_ticks(40.1, 40.4).size(), 0u);
  EXPECT_EQ(axis_ticks(39.9, 40.2).size(), 1u);
  // The first tick is never left of the view.
  auto small = axis_ticks(-2.5, 7.5);
  ASSERT_FALSE(small.empty());
  EXPECT_DOUBLE_EQ(small.front().value, -2.0);
  EXPECT_EQ(small.front().label, "-2.00");
  EXPECT_EQ(tick_label(5.0, true), "  5.0");
}

TEST(Axis, HugeSpansEndQuickly) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LE(axis_ticks(0, 1e20).size(), static_cast<size_t>(kMaxTicks) + 1);
  // At 1e18 a step of 20 is lost in the rounding (v + 20 == v).
  EXPECT_LE(axis_ticks(1e18, 1e18 + 1000).size(), static_cast<size_t>(kMaxTicks) + 1);
  EXPECT_TRUE(axis_ticks(std::nan(""), 5).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace vornax

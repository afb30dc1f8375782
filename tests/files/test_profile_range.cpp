// A new angle range on a profile: what is kept and how it is scaled, worked by hand.
#include <gtest/gtest.h>

#include <vector>

#include "files/profile_files.hpp"

namespace vornax {
namespace {

// Points at 20, 21, ... on the 0..100 scale of a file whose counts ran from 50 to 250
// (count = I·2 + 50).
Profile profile_of(const std::vector<float>& intensities) {
  Profile p;
  p.intensity_min = 50;
  p.intensity_max = 250;
  float angle = 20;
  for (float i : intensities) {
    ProfilePoint pt;
    pt.two_theta = pt.two_theta_read = angle;
    pt.intensity = i;
    p.points.push_back(pt);
    angle += 1;
  }
  return p;
}

TEST(ProfileRange, HighestKeptPointBecomesHundredOthersKeepTheirRatio) {
  struct Case {
    const char* what;
    std::vector<float> in;
    double lo, hi;
    std::vector<double> kept;  // expected intensities, by hand
    double count_max;          // expected count of the new 100
  } cases[] = {
      {"a peak of 40 over a background of 10", {10, 40, 10, 80}, 20, 22, {25, 100, 25}, 130},
      {"the whole profile: nothing moves", {0, 50, 100}, 20, 22, {0, 50, 100}, 250},
      {"edges are kept", {5, 20, 10, 30}, 21, 23, {20 / 0.3, 100 / 3.0, 100}, 110},
      {"the lowest kept point is not forced to 0", {90, 60, 30}, 21, 22, {100, 50}, 170},
      {"nothing above 0: the values stay", {0, 0, 0}, 20, 22, {0, 0, 0}, 250},
      {"a range between the points keeps none", {10, 20}, 20.2, 20.8, {}, 250},
  };
  for (const Case& c : cases) {
    Profile p = profile_of(c.in);
    keep_range_scaled_to_largest(p, c.lo, c.hi);
    ASSERT_EQ(p.points.size(), c.kept.size()) << c.what;
    for (size_t i = 0; i < c.kept.size(); ++i)
      EXPECT_NEAR(p.points[i].intensity, c.kept[i], 1e-4) << c.what << " point " << i;
    EXPECT_NEAR(p.intensity_min, 50, 1e-9) << c.what;
    EXPECT_NEAR(p.intensity_max, c.count_max, 1e-3) << c.what;
  }
}

TEST(ProfileRange, StopsAtTheFirstPointAboveTheRangeAndMovesWholePoints) {
  // Out of order at the end: the last point, at 21.5 inside the range, comes after one
  // above it and is not kept.
  Profile p = profile_of({10, 20, 40, 10});
  p.points[3].two_theta = 21.5f;
  p.points[3].two_theta_read = 21.25f;
  p.points[1].two_theta_read = 20.75f;
  keep_range_scaled_to_largest(p, 20.5, 21.9);
  ASSERT_EQ(p.points.size(), 1u);
  EXPECT_EQ(p.points[0].two_theta, 21.0f);
  EXPECT_EQ(p.points[0].two_theta_read, 20.75f);
  EXPECT_NEAR(p.points[0].intensity, 100, 1e-5);
}

}  // namespace
}  // namespace vornax

#include <gtest/gtest.h>

#include <cmath>

#include "core/errors.hpp"
#include "files/philips_rd.hpp"
#include "files/profile_fixtures.hpp"

namespace vornax {
namespace {

TEST(PhilipsRd, DataOffsetByVersionAndSquaredWords) {
  for (std::string version : {"V3", "V5", "V4"}) {
    SCOPED_TRACE(version);
    auto d = read_philips_rd(test::rd_fixture(version, {1000, 500, 0, 2000}), "s.rd");
    const Profile& p = d.profile;
    ASSERT_EQ(p.points.size(), 4u);
    EXPECT_EQ(p.intensity_max, 40000);  // (0.1·2000)²
    EXPECT_EQ(p.intensity_min, 0);
    EXPECT_EQ(p.points[0].intensity, 25);      // 10000 of 40000
    EXPECT_EQ(p.points[1].intensity, 6.25f);   // (0.1·500)² = 2500
    EXPECT_NEAR(p.points[3].two_theta, 5.15, 1e-5);
    EXPECT_EQ(p.sample, "Silicon powder");
    EXPECT_EQ(p.wavelengths.anode, "Cu");
    EXPECT_NEAR(p.wavelengths.lambda, (0.5 * 1.54439 + 1.54056) / 1.5, 1e-12);
    EXPECT_EQ(p.start_angle, 5.0);
    EXPECT_NEAR(p.final_angle, 5.15, 1e-12);
  }
}

TEST(PhilipsRd, AnodeCodesHalfStepAndMissingLambda2) {
  const std::pair<uint8_t, std::string> anodes[] = {
      {0, "Cu"}, {1, "Mo"}, {2, "Co"}, {3, "Fe"}, {4, "Cr"}, {5, ""}, {255, ""}};
  for (auto [code, name] : anodes)
    EXPECT_EQ(read_philips_rd(test::rd_fixture("V3", {1, 2}, code), "s.rd").profile.wavelengths.anode,
              name);
  auto half = read_philips_rd(test::rd_fixture("V3", {1, 2}, 0, 1.54439, 1), "s.rd").profile;
  EXPECT_NEAR(half.points[0].two_theta, 5.025, 1e-6);
  EXPECT_NEAR(half.start_angle, 5.025, 1e-12);
  // Without λ2 the formula would give 1.54056/1.5: λ is λ1.
  auto no_l2 = read_philips_rd(test::rd_fixture("V3", {1, 2}, 0, 0.0), "s.rd").profile;
  EXPECT_DOUBLE_EQ(no_l2.wavelengths.lambda, 1.54056);
}

TEST(PhilipsRd, OddLastByteAndBadFiles) {
  std::string odd = test::rd_fixture("V3", {10, 20});
  odd += '\x01';
  EXPECT_EQ(read_philips_rd(odd, "s.rd").profile.points.size(), 2u);

  std::string not_rd = test::rd_fixture("V3", {10, 20});
  not_rd[2] = 'X';
  try {
    read_philips_rd(not_rd, "s.rd");
    ADD_FAILURE();
  } catch (const FormatError& e) {
    EXPECT_STREQ(e.what(), "It seems not to be a .RD Philips file");
  }
  test::Bytes nan_step(0);
  nan_step.b = test::rd_fixture("V5", {10, 20});
  nan_step.put<double>(214, std::nan(""));
  EXPECT_THROW(read_philips_rd(nan_step.b, "s.rd"), FormatError);
  const std::string full = test::rd_fixture("V5", {10});
  for (size_t n = 0; n < full.size(); ++n)
    EXPECT_THROW(read_philips_rd(std::string_view(full).substr(0, n), "s.rd"), FormatError) << n;
}

}  // namespace
}  // namespace vornax

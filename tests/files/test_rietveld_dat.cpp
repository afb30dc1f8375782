#include <gtest/gtest.h>

#include "core/errors.hpp"
#include "files/profile_fixtures.hpp"
#include "files/rietveld_dat.hpp"

namespace vornax {
namespace {

std::string dat(const std::string& first, const std::string& third,
                const std::vector<std::string>& data, const std::string& angles = "10 0.02 10.22") {
  std::vector<std::string> lines = {first, "Second line", third, "Fourth line", angles};
  lines.insert(lines.end(), data.begin(), data.end());
  return test::crlf(lines);
}

TEST(RietveldDat, HeaderTitleAndWavelengths) {
  struct Case {
    const char* what;
    std::string first, third;
    std::string title;
    double lambda, lambda1, ratio;
  } cases[] = {
      {"full", "SampleIdent  Quartz 5  DataFileName q.dat", "Alpha1 1.54056 Alpha2 1.54439 Ratio 0.5",
       "Quartz 5", (0.5 * 1.54439 + 1.54056) / 1.5, 1.54056, 0.5},
      {"no DataFileName", "SampleIdent Quartz 5", "Alpha1 1.54056 Alpha2 1.54439 Ratio 0.5",
       "Quartz 5", (0.5 * 1.54439 + 1.54056) / 1.5, 1.54056, 0.5},
      // Without Alpha2 the formula would give 1.5406/1.5 = 1.0271: λ is λ1.
      {"no Alpha2", "SampleIdent S", "Alpha1 1.5406 Ratio 0.5", "S", 1.5406, 1.5406, 0.5},
      {"ratio -1", "SampleIdent S", "Alpha1 1.54056 Alpha2 1.54439 Ratio -1", "S",
       (0.5 * 1.54439 + 1.54056) / 1.5, 1.54056, 0.5},
      {"Alpha1 not a number", "SampleIdent S", "Alpha1 x Alpha2 1.5 Ratio 0.5", "S", 0.5 / 1.5 * 1.5, 0, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto d = read_rietveld_dat(dat(c.first, c.third, {"1 2 3"}), "q.dat");
    EXPECT_EQ(d.profile.sample, c.title);
    EXPECT_NEAR(d.profile.wavelengths.lambda, c.lambda, 1e-9);
    EXPECT_NEAR(d.profile.wavelengths.lambda1, c.lambda1, 1e-12);
    EXPECT_EQ(d.profile.wavelengths.ratio, c.ratio);
    EXPECT_TRUE(d.has_wavelength);
  }
}

TEST(RietveldDat, TwelveNumbersOnALineAndCommas) {
  auto d = read_rietveld_dat(
      dat("", "", {"100 110 120 130 140 150 160 170 180 190 200 300", "250,200", "", "100"}),
      "q.dat");
  const Profile& p = d.profile;
  ASSERT_EQ(p.points.size(), 15u);
  EXPECT_FALSE(d.has_wavelength);  // empty first line: the load command asks
  EXPECT_EQ(p.wavelengths.lambda, 0);
  EXPECT_NEAR(p.points[14].two_theta, 10.28, 1e-5);
  EXPECT_EQ(p.points[11].intensity, 100);        // 300
  EXPECT_EQ(p.points[0].intensity, 0);           // 100
  EXPECT_EQ(p.points[12].intensity, 75);         // 250
  EXPECT_EQ(p.start_angle, 10);
  EXPECT_EQ(p.final_angle, 10.22);              // from the angle line, as the file says
}

TEST(RietveldDat, MessagesForBadFiles) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"no SampleIdent", dat("Quartz", "Alpha1 1.5", {"1 2"}),
       "Error while reading the wavelength in Rietvelf File"},
      {"bad intensity", dat("", "", {"1 2 x"}), "Read error!"},
      {"bad intensity first", dat("", "", {"x 1 2"}), "Read error!"},
      {"angle line short", dat("", "", {"1 2"}, "10 0.02"), "q.dat: line 5"},
      {"no data", dat("", "", {}), "q.dat: no intensities"},
      {"header only", "SampleIdent\r\n", "q.dat: file too short"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      read_rietveld_dat(c.bytes, "q.dat");
      ADD_FAILURE() << "accepted";
    } catch (const FormatError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message);
    }
  }
}

}  // namespace
}  // namespace vornax

#include <gtest/gtest.h>

#include "core/errors.hpp"
#include "files/cpi_file.hpp"
#include "files/profile_fixtures.hpp"

namespace vornax {
namespace {

std::vector<std::string> cpi_header(const std::string& lambda = "1.54060") {
  return {"SIETRONICS XRD SCAN", "20.00", "20.10", "0.05", "Cu", lambda, "10:00",
          "1", "SampleIdent  Zeolite A ", "SCANDATA"};
}

TEST(CpiFile, ReadsHeaderAndEveryNumberAfterIt) {
  auto lines = cpi_header();
  lines.insert(lines.end(), {"400", "800 600", "", "  500"});
  auto d = read_cpi_file(test::crlf(lines), "z.cpi");
  const Profile& p = d.profile;
  ASSERT_EQ(p.points.size(), 4u);
  EXPECT_NEAR(p.points[3].two_theta, 20.15, 1e-5);  // from start and step, not the end line
  EXPECT_EQ(p.points[1].intensity, 100);
  EXPECT_EQ(p.points[3].intensity, 25);
  EXPECT_EQ(p.start_angle, 20.0);
  EXPECT_EQ(p.final_angle, 20.1);
  EXPECT_EQ(p.wavelengths.anode, "Cu");
  EXPECT_DOUBLE_EQ(p.wavelengths.lambda, 1.5406);
  EXPECT_EQ(p.sample, "Zeolite A");
  EXPECT_TRUE(d.has_wavelength);
  EXPECT_FALSE(read_cpi_file(test::crlf([] {
                               auto l = cpi_header("");
                               l.push_back("1");
                               return l;
                             }()),
                             "z.cpi")
                   .has_wavelength);
}

TEST(CpiFile, BadFilesGiveAMessage) {
  std::vector<std::pair<std::string, std::string>> cases;
  auto h = cpi_header();
  cases.push_back({test::crlf(h), "no intensities"});
  auto bad = h;
  bad.push_back("12 x");
  cases.push_back({test::crlf(bad), "line 11"});
  auto bad_step = h;
  bad_step[3] = "step";
  bad_step.push_back("1");
  cases.push_back({test::crlf(bad_step), "line 4"});
  cases.push_back({test::crlf({"SIETRONICS XRD SCAN", "1"}), "too short"});
  for (const auto& [bytes, message] : cases) {
    try {
      read_cpi_file(bytes, "z.cpi");
      ADD_FAILURE() << message;
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

Profile stepped(double start, double step, int n) {
  Profile p;
  for (int i = 0; i < n; ++i) {
    const auto a = static_cast<float>(start + step * i);
    p.points.push_back({a, static_cast<float>(i % 7) * 100.0f / 6.0f, a});
  }
  p.wavelengths = {1.5418, 0, 0, 0.5, "Cu"};
  return p;
}

TEST(CpiWriter, LinesOfAThreePointProfile) {
  Profile p = stepped(10.0, 0.5, 3);
  p.points[2].intensity = 12.345f;
  const auto f = cpi_lines(p, "Quartz");
  const std::vector<std::string> expected = {
      "SIETRONICS XRD SCAN", "10.000000", "11.000000", "0.5000000000", "Cu", " 1.54180",
      "00:00:00", "1", "SampleIdent Quartz", "SCANDATA", "         0", "      1667", "      1235"};
  EXPECT_EQ(f.lines, expected);
  p.points.resize(1);
  EXPECT_EQ(cpi_lines(p, "").lines[3], "0.0000000000");  // one point: step 0
}

// A profile starting at 5° saved while the entered range is 20..60, with a step that
// three decimals would round: every angle must come back.
TEST(CpiWriter, ReloadGivesBackEveryAngle) {
  const Profile p = stepped(5.0, 0.0131, 5000);
  const auto f = cpi_lines(p, "scan");
  std::string bytes;
  for (const auto& l : f.lines) bytes += l + "\r\n";
  auto back = read_cpi_file(bytes, "back.cpi").profile;
  ASSERT_EQ(back.points.size(), 5000u);
  for (size_t i = 0; i < 5000; ++i) {
    ASSERT_NEAR(back.points[i].two_theta, p.points[i].two_theta, 1e-4) << i;
    ASSERT_NEAR(back.points[i].intensity, p.points[i].intensity, 0.006) << i;  // written in hundredths
  }
  EXPECT_NEAR(back.start_angle, 5.0, 1e-6);
  EXPECT_NEAR(back.final_angle, 5.0 + 0.0131 * 4999, 1e-4);
}

}  // namespace
}  // namespace vornax

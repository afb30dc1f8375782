#include <gtest/gtest.h>

#include "core/errors.hpp"
#include "files/column_profile.hpp"
#include "files/profile_files.hpp"

namespace vornax {
namespace {

TEST(ColumnProfile, LineEndsSeparatorsCommentsAndSigma) {
  for (std::string eol : {"\r\n", "\n", "\r"}) {
    for (std::string sep : {" ", "\t", "  \t "}) {
      SCOPED_TRACE(testing::Message() << "eol " << eol.size() << " sep '" << sep << "'");
      const std::string text = "2theta" + sep + "counts" + eol + "# comment" + eol +
                               "' another" + eol + eol + "  10.00" + sep + "200" + eol +
                               "10.01" + sep + "600" + sep + "24.5" + eol + "   " + eol +
                               "10.02" + sep + "400";  // last line without its end
      auto d = read_column_profile(text, "s.xy");
      const Profile& p = d.profile;
      ASSERT_EQ(p.points.size(), 3u);
      EXPECT_FALSE(d.has_wavelength);
      EXPECT_FLOAT_EQ(p.points[1].two_theta, 10.01f);
      EXPECT_EQ(p.points[1].two_theta_read, p.points[1].two_theta);
      EXPECT_EQ(p.points[0].intensity, 0);
      EXPECT_EQ(p.points[1].intensity, 100);
      EXPECT_EQ(p.points[2].intensity, 50);
      EXPECT_EQ(p.intensity_max, 600);
      EXPECT_FLOAT_EQ(p.start_angle, 10.0f);
      EXPECT_FLOAT_EQ(p.final_angle, 10.02f);
    }
  }
}

TEST(ColumnProfile, RefusesLinesThatAreNotPoints) {
  const std::pair<std::string, std::string> cases[] = {
      {"10 1\n11 2 3 4\n", "line 2"},
      {"10 1\n11\n", "line 2"},
      {"10 1\nend of data\n", "line 2"},
      {"# only comments\n", "no intensities"},
      {"", "no intensities"},
      {"10 nan\n", "no intensities"},  // not a number: a header line, then nothing
  };
  for (const auto& [text, message] : cases) {
    try {
      read_column_profile(text, "s.xy");
      ADD_FAILURE() << text;
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

TEST(ColumnProfile, LargeScanIsKeptWhole) {
  std::string text;
  for (int i = 0; i < 130000; ++i)
    text += std::to_string(2.0 + 0.001 * i) + " " + std::to_string(i % 1000) + "\n";
  auto p = read_column_profile(text, "sync.xye").profile;
  EXPECT_EQ(p.points.size(), 130000u);
  EXPECT_NEAR(p.points.back().two_theta, 131.999, 1e-4);
}

TEST(ProfileFileType, KindFromTheFileNamesOwnExtension) {
  using T = ProfileFileType;
  const std::tuple<const char*, T, T> cases[] = {
      {"a.RAW", T::Cpi, T::BrukerRaw},   {"a.Dat", T::BrukerRaw, T::RietveldDat},
      {"a.cpi", T::BrukerRaw, T::Cpi},   {"a.rd", T::BrukerRaw, T::PhilipsRd},
      {"a.xy", T::BrukerRaw, T::Column}, {"a.XYE", T::BrukerRaw, T::Column},
      {"a.prn", T::Cpi, T::Column},      {"a.txt", T::Cpi, T::Column},
      // Only the file name's own extension counts, not a folder's or an inner one.
      {"scan.rd.bak", T::Cpi, T::Cpi},   {"data.raw/scan", T::Cpi, T::Cpi},
      {"rd", T::Column, T::Column},
  };
  for (const auto& [name, chosen, expected] : cases)
    EXPECT_EQ(profile_type_from_name(name, chosen), expected) << name;
  EXPECT_EQ(kProfileFileFilters[4], "Column Format (*.xy *.xye *.prn *.txt)");
  EXPECT_EQ(kProfileFileFilters[static_cast<int>(T::PhilipsRd) - 1], "Philips Format (*.rd)");
}

TEST(ProfileFiles, MoreThanTheCapacityIsRefused) {
  std::string text;
  text.reserve(16 * 2000001);
  for (int i = 0; i <= kMaxProfilePoints; ++i) text += "1 2\n";
  try {
    read_column_profile(text, "huge.xy");
    ADD_FAILURE();
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("more than 2000000 points"), std::string::npos);
  }
}

}  // namespace
}  // namespace vornax

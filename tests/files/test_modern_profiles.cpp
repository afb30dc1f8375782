// RAW4, BRML, XRDML and GSAS profiles: what each reads from a file built from its
// layout, the range choice, the refusals, and damaged input never crashing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "core/errors.hpp"
#include "files/brml_file.hpp"
#include "files/gsas_file.hpp"
#include "files/raw4_file.hpp"
#include "files/xrdml_file.hpp"
#include "modern_fixtures.hpp"

using namespace vornax;
using namespace vornax::test;

namespace {

const Raw4Range kRaw4First{10.0, 0.02, {10, 20, 30, 40, 20}};
const Raw4Range kRaw4Second{30.0, 0.05, {5, 6, 7}, "Unlocked Coupled", 0};

std::string two_range_brml() {
  return zip_fixture({{"Experiment0/RawData0.xml", brml_raw_data(15.0, 0.01, {100, 300, 200, 100})},
                      {"Experiment0/RawData1.xml", brml_raw_data(40.0, 0.5, {7, 9}, "Second")},
                      {"[Content_Types].xml", "<Types/>"}});
}

std::string xrdml_two_theta(double start, double end) {
  std::ostringstream x;
  x << "<positions axis=\"2Theta\" unit=\"deg\"><startPosition>" << start
    << "</startPosition><endPosition>" << end << "</endPosition></positions>";
  return x.str();
}

// Two scans: the second one (range 1) from 50 to 50.2 with three intensities.
std::string two_scan_xrdml() {
  std::string f = xrdml_fixture(xrdml_two_theta(20, 20.4), "counts", "5 8 13 8 5");
  f.insert(f.find("</xrdMeasurement>"),
           "<scan appendNumber=\"1\"><dataPoints>" + xrdml_two_theta(50, 50.2) +
               "<intensities unit=\"counts\">3 9 4</intensities></dataPoints></scan>\n");
  return f;
}

std::string gsas_std() {
  // Ten 8-column fields a line: two counter columns, then the intensity.
  return "Magnesium oxide at 295 K\r\n"
         "BANK 1 12 2 CONS 1000.0 2.0 0 0 STD\r\n"
         " 1    10 1    20 1    30 1    40 1    50 1    60 1    70 1    80 1    90 1   100\r\n"
         " 1   110 1   120\r\n";
}

struct ReadCase {
  const char* what;
  std::function<ProfileFileData()> read;
  size_t points;
  double first, last;       // 2θ of the first and last point
  double lambda1, lambda;   // 0: none in the file
  const char* anode;
  const char* sample;
  size_t top;               // index of the point scaled to 100
};

}  // namespace

TEST(ModernProfiles, ReadFixturesBuiltFromTheirLayouts) {
  // λ from the Kα pair with ratio 0.5: (0.5·λ2 + λ1)/1.5.
  const double cu = (0.5 * 1.544426 + 1.540598) / 1.5;
  const double co = (0.5 * 1.79285 + 1.78897) / 1.5;
  const ReadCase cases[] = {
      {"RAW4 first range", [] { return read_raw4_file(raw4_fixture({kRaw4First, kRaw4Second}), "a.raw"); },
       5, 10.0, 10.08, 1.540598, cu, "Cu", "Corundum plate (RAW4)", 3},
      {"RAW4 second range", [] { return read_raw4_file(raw4_fixture({kRaw4First, kRaw4Second}), "a.raw", 1); },
       3, 30.0, 30.1, 1.540598, cu, "Cu", "Corundum plate (RAW4)", 2},
      {"RAW4 without hardware segment takes the range's wavelength",
       [] { return read_raw4_file(raw4_fixture({kRaw4Second}, false), "a.raw"); },
       3, 30.0, 30.1, 0.0, 1.5418, "", "Corundum plate (RAW4)", 2},
      {"BRML first range", [] { return read_brml_file(two_range_brml(), "b.brml"); },
       4, 15.0, 15.03, 1.78897, co, "Co", "Quartz scan (BRML)", 1},
      {"BRML second range", [] { return read_brml_file(two_range_brml(), "b.brml", 1); },
       2, 40.0, 40.5, 1.78897, co, "Co", "Second (BRML)", 1},
      {"BRML 2θ taken from each Datum",
       [] {
         return read_brml_file(
             zip_fixture({{"Experiment0/RawData0.xml",
                           brml_raw_data(20.0, 0.01, {5, 9, 6}, "Measured", {20.0004, 20.0107, 20.0199})}}),
             "b.brml");
       },
       3, 20.0004, 20.0199, 1.78897, co, "Co", "Measured (BRML)", 1},
      {"BRML axis named by AxisId, count the last field",
       [] { return read_brml_file(zip_fixture({{"Experiment0/RawData0.xml", brml_axis_id_raw_data(30, 0.02, {1, 3, 2})}}), "b.brml"); },
       3, 30.0, 30.04, 1.540598, 1.540598, "Cu", "Old (BRML)", 1},
      {"XRDML intensities times the beam attenuation factors",
       [] {
         return read_xrdml_file(xrdml_fixture(xrdml_two_theta(20, 20.3) +
                                                  "<beamAttenuationFactors>1 1 10 1</beamAttenuationFactors>",
                                              "intensities", "5 8 2 4"),
                                "c.xrdml");
       },
       4, 20.0, 20.3, 1.540598, cu, "Cu", "Rutile (XRDML)", 2},
      {"XRDML second scan as range 1", [] { return read_xrdml_file(two_scan_xrdml(), "c.xrdml", 1); },
       3, 50.0, 50.2, 1.540598, cu, "Cu", "Rutile (XRDML)", 1},
      {"XRDML first scan as range 0", [] { return read_profile(two_scan_xrdml(), "c.xrdml", ProfileFileType::Xrdml, 0); },
       5, 20.0, 20.4, 1.540598, cu, "Cu", "Rutile (XRDML)", 2},
      {"XRDML start and end",
       [] {
         return read_xrdml_file(xrdml_fixture("<positions axis=\"2Theta\" unit=\"deg\"><startPosition>20.00"
                                              "</startPosition><endPosition>20.40</endPosition></positions>",
                                              "intensities", "5 8 13 8 5"),
                                "c.xrdml");
       },
       5, 20.0, 20.4, 1.540598, cu, "Cu", "Rutile (XRDML)", 2},
      {"XRDML list of positions",
       [] {
         return read_xrdml_file(xrdml_fixture("<positions axis=\"2Theta\" unit=\"deg\"><listPositions>"
                                              "30.0 30.1 30.25 30.5</listPositions></positions>",
                                              "counts", "1 4 2 1"),
                                "c.xrdml");
       },
       4, 30.0, 30.5, 1.540598, cu, "Cu", "Rutile (XRDML)", 1},
      {"GSAS STD", [] { return read_gsas_file(gsas_std(), "d.gsa"); },
       12, 10.0, 10.22, 0.0, 0.0, "", "Magnesium oxide at 295 K (GSAS)", 11},
      {"GSAS ESD",
       [] {
         return read_gsas_file("MgO\nBANK 1 3 1 CONS 2000 5 0 0 ESD\n"
                               "     10.     3.2     90.     9.5     40.     6.3\n",
                               "d.gsa");
       },
       3, 20.0, 20.1, 0.0, 0.0, "", "MgO (GSAS)", 1},
      {"GSAS FXYE",
       [] {
         return read_gsas_file("Synchrotron run 12\nBANK 1 3 3 CONS 500.0 0.5 0 0 FXYE\n"
                               "  500.0  12.0 3.4\n  500.5  48.0 6.9\n  501.25 20.0 4.4\n",
                               "d.fxye");
       },
       3, 5.0, 5.0125, 0.0, 0.0, "", "Synchrotron run 12 (GSAS)", 1},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ProfileFileData d = c.read();
    const Profile& p = d.profile;
    ASSERT_EQ(p.points.size(), c.points);
    EXPECT_NEAR(p.points.front().two_theta, c.first, 1e-5);
    EXPECT_NEAR(p.points.back().two_theta, c.last, 1e-5);
    EXPECT_FLOAT_EQ(p.start_angle, p.points.front().two_theta);
    EXPECT_FLOAT_EQ(p.final_angle, p.points.back().two_theta);
    EXPECT_NEAR(p.wavelengths.lambda1, c.lambda1, 1e-9);
    EXPECT_NEAR(p.wavelengths.lambda, c.lambda, 1e-6);
    EXPECT_EQ(d.has_wavelength, c.lambda > 0);
    EXPECT_EQ(p.wavelengths.anode, c.anode);
    EXPECT_EQ(p.sample, c.sample);
    EXPECT_FLOAT_EQ(p.points[c.top].intensity, 100.0f);
    for (const auto& pt : p.points) {
      EXPECT_GE(pt.intensity, 0.0f);
      EXPECT_LE(pt.intensity, 100.0f);
      EXPECT_EQ(pt.two_theta, pt.two_theta_read);
    }
  }
}

TEST(ModernProfiles, IntensitiesAreScaledBetweenTheTrueExtremes) {
  // RAW4 counts 10..40: 30 → (30 − 10)·100/30.
  const Profile p = read_raw4_file(raw4_fixture({kRaw4First}), "a.raw").profile;
  EXPECT_NEAR(p.points[2].intensity, 200.0 / 3.0, 1e-4);
  EXPECT_DOUBLE_EQ(p.intensity_min, 10);
  EXPECT_DOUBLE_EQ(p.intensity_max, 40);
  EXPECT_EQ(raw4_range_count(raw4_fixture({kRaw4First, kRaw4Second}), "a.raw"), 2);
  // STD: the counter columns are not part of the value (12 → 120, not 1120).
  EXPECT_DOUBLE_EQ(read_gsas_file(gsas_std(), "d.gsa").profile.intensity_max, 120);
}

TEST(ModernProfiles, KindsFromNamesAndSignatures) {
  using T = ProfileFileType;
  const std::pair<const char*, T> names[] = {
      {"scan.brml", T::Brml}, {"SCAN.XRDML", T::Xrdml}, {"a.gsa", T::Gsas}, {"a.fxye", T::Gsas},
      {"a.gss", T::Gsas},     {"a.raw", T::BrukerRaw},  {"a.xy", T::Column}};
  for (const auto& [name, type] : names) EXPECT_EQ(profile_type_from_name(name, T::Cpi), type) << name;
  EXPECT_EQ(profile_type_from_name("a.raw", T::BrukerRaw4), T::BrukerRaw4);
  EXPECT_EQ(kProfileFileFilters[static_cast<int>(T::Xrdml) - 1], "XRDML Format (*.xrdml)");
  EXPECT_TRUE(profile_type_has_ranges(T::Brml));
  EXPECT_TRUE(profile_type_has_ranges(T::Xrdml));  // each scan is a range

  // A ".raw" file chosen as the older kind is still read by its RAW4 signature.
  const std::string raw4 = raw4_fixture({kRaw4First, kRaw4Second});
  EXPECT_EQ(read_profile(raw4, "a.raw", T::BrukerRaw, 1).profile.points.size(), 3u);
  EXPECT_THROW(read_profile(raw2_fixture({1, 2, 3}), "a.raw", T::BrukerRaw4), FormatError);
  EXPECT_EQ(read_profile(raw2_fixture({1, 2, 3}), "a.raw", T::BrukerRaw).profile.points.size(), 3u);
}

TEST(ModernProfiles, DamagedFilesAreRefusedWithAReadableMessage) {
  std::string bad_segment = raw4_fixture({kRaw4First});
  bad_segment.replace(61 + 4, 4, std::string("\x04\0\0\0", 4));  // hardware length 4 < 8
  std::string long_count = raw4_fixture({kRaw4First});
  const size_t range = long_count.size() - 5 * 4 - 64 - 160;
  long_count.replace(range + 88, 4, std::string("\xff\xff\0\0", 4));
  struct Bad {
    const char* what;
    std::function<void()> read;
    const char* message;
  };
  const Bad cases[] = {
      {"RAW4 range missing", [] { read_raw4_file(raw4_fixture({kRaw4First}), "a.raw", 1); }, "no range 1"},
      {"RAW4 segment length", [&] { read_raw4_file(bad_segment, "a.raw"); }, "damaged segment length"},
      {"RAW4 count beyond the data", [&] { read_raw4_file(long_count, "a.raw"); }, "too short"},
      {"RAW4 signature", [] { read_raw4_file("RAW2 and more bytes here", "a.raw"); }, "RAW4.00"},
      {"BRML range missing", [] { read_brml_file(two_range_brml(), "b.brml", 2); }, "no Experiment0/RawData2.xml"},
      {"BRML not a ZIP", [] { read_brml_file("<RawData/>", "b.brml"); }, "not a readable ZIP"},
      {"BRML without 2θ axis",
       [] { read_brml_file(zip_fixture({{"Experiment0/RawData0.xml", "<RawData><Datum>1,2</Datum></RawData>"}}), "b.brml"); },
       "no 2Theta scan axis"},
      {"BRML bad XML", [] { read_brml_file(zip_fixture({{"Experiment0/RawData0.xml", "<RawData><a></RawData>"}}), "b.brml"); },
       "not a readable XML"},
      {"XRDML malformed", [] { read_xrdml_file("<xrdMeasurements><scan>", "c.xrdml"); }, "not a readable XML"},
      {"XRDML positions and counts differ",
       [] {
         read_xrdml_file(xrdml_fixture("<positions axis=\"2Theta\"><listPositions>1 2 3</listPositions></positions>",
                                       "counts", "1 2"),
                         "c.xrdml");
       },
       "3 positions for 2 counts"},
      {"XRDML of Omega only", [] { read_xrdml_file(xrdml_fixture("", "counts", "1 2 3"), "c.xrdml"); },
       "no 2Theta positions (only Omega)"},
      {"XRDML of Omega and Chi",
       [] {
         read_xrdml_file(xrdml_fixture("<positions axis=\"Chi\"><startPosition>0</startPosition>"
                                       "<endPosition>80</endPosition></positions>",
                                       "counts", "1 2 3"),
                         "c.xrdml");
       },
       "no 2Theta positions (only Omega, Chi)"},
      {"XRDML range beyond the scans", [] { read_xrdml_file(two_scan_xrdml(), "c.xrdml", 2); },
       "no range 2 (the file holds 2)"},
      {"XRDML attenuation factors that do not match",
       [] {
         read_xrdml_file(xrdml_fixture(xrdml_two_theta(20, 21) + "<beamAttenuationFactors>1 2</beamAttenuationFactors>",
                                       "counts", "1 2 3"),
                         "c.xrdml");
       },
       "2 factors for 3 counts"},
      {"XRDML counts not numbers",
       [] { read_xrdml_file(xrdml_fixture("", "counts", "1 x 2"), "c.xrdml"); }, "not a number"},
      {"GSAS without BANK", [] { read_gsas_file("title\n1 2 3\n", "d.gsa"); }, "no BANK line"},
      {"GSAS short data", [] { read_gsas_file("t\nBANK 1 20 2 CONS 1000 2 0 0 STD\n 1    10\n", "d.gsa"); },
       "1 of the 20 points"},
      {"GSAS other binning", [] { read_gsas_file("t\nBANK 1 2 1 TIME_MAP 1 2 0 0 STD\n 1    10 1    20\n", "d.gsa"); },
       "only CONS"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.read();
      ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(ModernProfiles, EveryTruncationAndByteFlipReadsOrIsRefused) {
  const std::pair<std::string, std::function<void(std::string_view)>> files[] = {
      {raw4_fixture({kRaw4First, kRaw4Second}), [](std::string_view b) { read_raw4_file(b, "a.raw", 1); }},
      {two_range_brml(), [](std::string_view b) { read_brml_file(b, "b.brml", 1); }},
      {xrdml_fixture("<positions axis=\"2Theta\"><startPosition>20</startPosition><endPosition>21</endPosition></positions>",
                     "counts", "1 2 3"),
       [](std::string_view b) { read_xrdml_file(b, "c.xrdml"); }},
      {gsas_std(), [](std::string_view b) { read_gsas_file(b, "d.gsa"); }},
  };
  for (const auto& [bytes, read] : files) {
    for (size_t n = 0; n < bytes.size(); ++n) {
      try {
        read(std::string_view(bytes).substr(0, n));
      } catch (const FormatError&) {
      }
      std::string flipped = bytes;
      flipped[n] = static_cast<char>(flipped[n] ^ 0xA5);
      try {
        read(flipped);
      } catch (const FormatError&) {
      }
    }
  }
}

#include <gtest/gtest.h>

#include <cmath>

#include "core/errors.hpp"
#include "files/raw_file.hpp"
#include "files/profile_fixtures.hpp"

namespace vornax {
namespace {

using test::Bytes;

std::vector<float> intensities(const Profile& p) {
  std::vector<float> v;
  for (auto& pt : p.points) v.push_back(pt.intensity);
  return v;
}

TEST(RawFile, Raw2HeaderLengthAndHalfStepFlag) {
  struct Case {
    int16_t header, flags;
    float first;
  } cases[] = {{60, 0, 10.0f}, {72, 0, 10.0f}, {60, 3, 10.01f}, {72, 2, 10.0f}, {60, -1, 10.01f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "header " << c.header << " flags " << c.flags);
    auto d = read_raw_file(test::raw2_fixture({100, 300, 200}, c.header, c.flags), "q.raw");
    const Profile& p = d.profile;
    ASSERT_EQ(p.points.size(), 3u);
    EXPECT_NEAR(p.points[0].two_theta, c.first, 1e-5);
    EXPECT_NEAR(p.points[2].two_theta, c.first + 0.04, 1e-5);
    EXPECT_EQ(p.points[2].two_theta_read, p.points[2].two_theta);
    // With a 72-byte range header, reading at 316 would take the 0x7f filler as counts.
    EXPECT_EQ(intensities(p), (std::vector<float>{0, 100, 50}));
    EXPECT_EQ(p.intensity_max, 300);
    EXPECT_EQ(p.intensity_min, 100);
    EXPECT_NEAR(p.start_angle, c.first, 1e-5);
    EXPECT_NEAR(p.final_angle, c.first + 0.04, 1e-5);
  }
}

TEST(RawFile, Raw2WavelengthAnodeAndTitle) {
  auto d = read_raw_file(test::raw2_fixture({1, 2}), "q.raw");
  const auto& w = d.profile.wavelengths;
  EXPECT_TRUE(d.has_wavelength);
  EXPECT_EQ(w.anode, "Cu");
  // (0.5·1.54439 + 1.54056) / 1.5 by hand
  EXPECT_NEAR(w.lambda, 1.5418367, 2e-6);
  EXPECT_EQ(d.profile.sample, "Quartz (RAW2)");

  Bytes no_l2(0);
  no_l2.b = test::raw2_fixture({1, 2});
  no_l2.put<float>(194, 0.0f).text(8, std::string("Ab\0Cd", 5));
  auto e = read_raw_file(no_l2.b, "q.raw");
  EXPECT_FLOAT_EQ(e.profile.wavelengths.lambda, 1.54056f);
  EXPECT_EQ(e.profile.sample, "Ab (RAW2)");  // a NUL ends the field
}

TEST(RawFile, RawFirstVersionHalfStepMode) {
  for (int32_t mode : {0, 2048, 2049}) {
    SCOPED_TRACE(mode);
    auto d = read_raw_file(test::raw_fixture({5, 7, 9, 11}, mode), "old.raw");
    const Profile& p = d.profile;
    ASSERT_EQ(p.points.size(), 4u);
    const double first = mode == 2048 ? 20.025 : 20.0;
    EXPECT_NEAR(p.points[0].two_theta, first, 1e-5);
    EXPECT_NEAR(p.points[3].two_theta, first + 0.15, 1e-5);
    EXPECT_EQ(p.wavelengths.anode, "?");
    EXPECT_EQ(p.wavelengths.ratio, 0);
    // (0.5·1.79285 + 1.78897)·2/3
    EXPECT_NEAR(p.wavelengths.lambda, 1.7902633, 2e-6);
    EXPECT_EQ(p.sample, "Old scan (RAW)");
    EXPECT_EQ(intensities(p), (std::vector<float>{0, 100.0f / 3, 200.0f / 3, 100}));
  }
}

TEST(RawFile, Raw1ReadsItsOwnCountNotTheNextRange) {
  for (int32_t half : {0, 1}) {
    for (int32_t extra : {0, 8}) {
      SCOPED_TRACE(testing::Message() << "half " << half << " extra " << extra);
      auto d = read_raw_file(test::raw1_fixture({40, 10, 20}, half, extra), "c.raw");
      const Profile& p = d.profile;
      ASSERT_EQ(p.points.size(), 3u);
      const double first = half == 1 ? 30.005 : 30.0;
      EXPECT_NEAR(p.start_angle, first, 1e-5);
      EXPECT_NEAR(p.final_angle, first + 0.02, 1e-5);
      EXPECT_EQ(intensities(p), (std::vector<float>{100, 0, 100.0f / 3}));
      EXPECT_EQ(p.wavelengths.anode, "Co");
      EXPECT_DOUBLE_EQ(p.wavelengths.lambda, 1.7902);
      EXPECT_EQ(p.wavelengths.ratio, 0);
      EXPECT_EQ(p.sample, "Corundum (RAW1)");
    }
  }
}

TEST(RawFile, Raw1SampleNameWhereTheFileHoldsIt) {
  struct Case {
    const char* what;
    size_t at;
    std::string sample;
    const char* read;
  } cases[] = {
      {"at 326, as instruments write it", 326, "Cu3Au-1", "Cu3Au-1 (RAW1)"},
      {"a short name at 326", 326, "Si", "Si (RAW1)"},
      {"a name of four letters at 326", 326, "NaCl", "NaCl (RAW1)"},
      {"at 330 with NULs before it", 330, "Corundum", "Corundum (RAW1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string f = test::raw1_fixture({1, 2, 3});
    f.replace(320, 48, std::string(48, '\0'));
    f.replace(c.at, c.sample.size(), c.sample);
    EXPECT_EQ(read_raw_file(f, "s.raw").profile.sample, c.read);
  }
}

TEST(RawFile, TrueExtremesAndFlatProfiles) {
  struct Case {
    std::vector<float> counts;
    std::vector<float> scaled;
  } cases[] = {
      {{200000, 300000, 250000}, {0, 100, 50}},  // all above a running minimum of 1e5/1e6
      {{-30, -10, -20}, {0, 100, 50}},            // all below a running maximum of 0
      {{7, 7, 7}, {0, 0, 0}},                     // flat: no division by zero
      {{42}, {0}},                                // one point
  };
  for (const auto& c : cases) {
    auto p = read_raw_file(test::raw2_fixture(c.counts), "x.raw").profile;
    EXPECT_EQ(intensities(p), c.scaled);
    EXPECT_EQ(p.intensity_max, *std::max_element(c.counts.begin(), c.counts.end()));
    EXPECT_EQ(p.intensity_min, *std::min_element(c.counts.begin(), c.counts.end()));
    auto q = read_raw_file(test::raw1_fixture(c.counts), "x.raw").profile;
    EXPECT_EQ(intensities(q), c.scaled);
  }
}

TEST(RawFile, AnglesFromStartAndStepDoNotDrift) {
  // 30000 points: a float running sum of the step would end ~0.03° off.
  std::vector<float> counts(30000, 1.0f);
  counts[1] = 2;
  auto p = read_raw_file(test::raw1_fixture(counts), "long.raw").profile;
  ASSERT_EQ(p.points.size(), 30000u);
  EXPECT_NEAR(p.points.back().two_theta, 329.99, 1e-4);   // 30 + 29999·0.01
  EXPECT_NEAR(p.points[15000].two_theta, 180.0, 1e-4);
  auto q = read_raw_file(test::raw2_fixture(counts), "long.raw").profile;
  EXPECT_NEAR(q.points.back().two_theta, 609.98, 1e-4);   // 10 + 29999·0.02
}

TEST(RawFile, DamagedHeadersAreRefused) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;  // part of the message
  };
  auto patched = [](std::string b, size_t at, auto v) {
    Bytes f(0);
    f.b = std::move(b);
    f.put(at, v);
    return f.b;
  };
  const auto good2 = test::raw2_fixture({1, 2, 3});
  const auto good0 = test::raw_fixture({1, 2, 3});
  const auto good1 = test::raw1_fixture({1, 2, 3});
  const Case cases[] = {
      {"signature", "DIF2" + good2.substr(4), "Unknown file type"},
      {"RAW2 count beyond the file", patched(good2, 258, int16_t{1000}), "too short"},
      {"RAW2 negative count", patched(good2, 258, int16_t{-5}), "negative"},
      {"RAW2 zero count", patched(good2, 258, int16_t{0}), "no intensities"},
      {"RAW2 NaN step", patched(good2, 268, std::nanf("")), "step"},
      {"RAW2 infinite start", patched(good2, 272, INFINITY), "start"},
      {"RAW2 NaN lambda1", patched(good2, 190, std::nanf("")), "lambda1"},
      {"RAW2 header skip beyond the file", patched(good2, 256, int16_t{32000}), "too short"},
      {"RAW huge count", patched(good0, 4, int32_t{0x7fffffff}), "more than 2000000"},
      {"RAW negative count", patched(good0, 4, int32_t{-1}), "negative"},
      {"RAW1 count beyond the file", patched(good1, 716, int32_t{1000000}), "too short"},
      {"RAW1 extra header beyond the file", patched(good1, 968, int32_t{0x7fffffff}), "too short"},
      {"RAW1 NaN step", patched(good1, 888, std::nan("")), "step"},
      {"RAW2 NaN intensity", patched(good2, 320, std::nanf("")), "intensity"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      read_raw_file(c.bytes, "bad.raw");
      ADD_FAILURE() << "accepted";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(RawFile, EveryTruncationIsAFormatError) {
  for (const auto& full : {test::raw2_fixture({1, 2, 3}, 72), test::raw_fixture({1, 2, 3}),
                           test::raw1_fixture({1, 2, 3})}) {
    // The RAW1 fixture carries a second range after its data; cutting into that is fine.
    const size_t needed = full.substr(0, 4) == "RAW1" ? 1016 + 8 + 12 : full.size();
    for (size_t n = 0; n < needed; ++n)
      EXPECT_THROW(read_raw_file(std::string_view(full).substr(0, n), "cut.raw"), FormatError)
          << full.substr(0, 4) << " cut at " << n;
  }
}

// ---- the RAW2 writer ----

Profile three_points() {
  Profile p;
  for (float a : {10.0f, 10.5f, 11.0f}) p.points.push_back({a, 0, a});
  p.points[0].intensity = 0;
  p.points[1].intensity = 100;
  p.points[2].intensity = 25;
  p.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
  return p;
}

// The layout written out field by field, independently of the writer.
std::string expected_raw2(float lambda1, float step, float first, const std::vector<float>& scaled,
                          const std::string& title, float half_min) {
  Bytes f(316, ' ');
  f.text(0, "RAW2").put<int16_t>(4, 1).text(6, "  " + title);
  f.text(40, "from VORNAX").text(168, "00:00:00");
  f.put<float>(190, lambda1).put<float>(194, 1.54439f).put<float>(198, 0.5f);
  f.put<int16_t>(202, 0).put<int16_t>(204, 0).put<float>(206, 1.39f).put<float>(210, 1000.0f);
  f.text(214, std::string(8, '\0'));
  f.put<int16_t>(256, 60).put<int16_t>(258, static_cast<int16_t>(scaled.size()));
  f.put<int16_t>(260, 10).put<int16_t>(262, 0).put<float>(264, 1.0f);
  f.put<float>(268, step).put<float>(272, first).put<float>(276, half_min);
  f.text(280, std::string(36, '\0'));
  for (float v : scaled) f.put<float>(f.b.size(), v * 100);
  return f.b;
}

TEST(Raw2Writer, BytesFieldByField) {
  Profile p = three_points();
  EXPECT_EQ(raw2_bytes(p, "Quartz", 20.0),
            expected_raw2(1.54056f, 0.5f, 10.0f, {0, 100, 25}, "Quartz", 10.0f));
  // No λ1 (a wavelength typed as "Other"): λ goes into λ1 so that it survives a reload.
  p.wavelengths.lambda1 = 0;
  EXPECT_EQ(raw2_bytes(p, "Quartz", 20.0),
            expected_raw2(1.5418f, 0.5f, 10.0f, {0, 100, 25}, "Quartz", 10.0f));
  // One point: step 0, nothing read beyond the point.
  p.points.resize(1);
  EXPECT_EQ(raw2_bytes(p, "", 0.0), expected_raw2(1.5418f, 0.0f, 10.0f, {0}, "", 0.0f));
}

TEST(Raw2Writer, LongTitleIsCutToItsField) {
  const std::string b = raw2_bytes(three_points(), std::string(50, 'T'), 0);
  EXPECT_EQ(b.substr(6, 34), "  " + std::string(32, 'T'));
  EXPECT_EQ(b.substr(40, 11), "from VORNAX");
}

TEST(Raw2Writer, RoundTripKeepsEveryAngleAndIntensity) {
  Profile p;
  for (int i = 0; i < 1000; ++i) {
    const float a = static_cast<float>(5.0 + 0.0131 * i);
    p.points.push_back({a, static_cast<float>((i * 37) % 101) * (100.0f / 100.0f), a});
  }
  p.wavelengths = {1.7902, 1.78897, 1.79285, 0.5, "Co"};
  const std::string bytes = raw2_bytes(p, "scan", 5.0);
  EXPECT_EQ(bytes.size(), 4316u);
  auto back = read_raw_file(bytes, "back.raw");
  ASSERT_EQ(back.profile.points.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_NEAR(back.profile.points[i].two_theta, p.points[i].two_theta, 1e-4) << i;
    EXPECT_NEAR(back.profile.points[i].intensity, p.points[i].intensity, 1e-3) << i;
  }
  EXPECT_NEAR(back.profile.wavelengths.lambda, (0.5 * 1.79285 + 1.78897) / 1.5, 1e-6);
  EXPECT_EQ(back.profile.wavelengths.anode, "");  // the writer leaves the anode blank
}

TEST(Raw2Writer, RefusesWhatItsCountCannotHold) {
  Profile p;
  p.points.resize(kMaxRaw2Points + 1);
  EXPECT_THROW(raw2_bytes(p, "", 0), FormatError);
  p.points.clear();
  EXPECT_THROW(raw2_bytes(p, "", 0), FormatError);
}

}  // namespace
}  // namespace vornax

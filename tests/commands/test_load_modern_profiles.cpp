// The load command on the newer profile kinds: the wavelength found in the file fills
// the session without asking; a file without one asks; a damaged file changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "commands/load_profile.hpp"
#include "files/modern_fixtures.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace vornax::test;

namespace {

struct CountingDialog : WavelengthDialog {
  int asked = 0;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    ++asked;
    WavelengthSet w;
    w.lambda = 0.7093;
    w.anode = "?";
    return w;
  }
};

struct Kind {
  const char* name;
  std::string bytes;
  double lambda1;  // 0: the file has none and the window is asked
  const char* anode;
};

std::vector<Kind> kinds() {
  return {
      {"scan.raw", raw4_fixture({Raw4Range{10.0, 0.02, {1, 5, 2}}}), 1.540598, "Cu"},
      {"scan.brml", zip_fixture({{"Experiment0/RawData0.xml", brml_raw_data(12.0, 0.05, {3, 9, 4})}}), 1.78897, "Co"},
      {"scan.xrdml",
       xrdml_fixture("<positions axis=\"2Theta\"><startPosition>5</startPosition><endPosition>6</endPosition></positions>",
                     "counts", "2 8 3"),
       1.540598, "Cu"},
      {"scan.fxye", "MgO\nBANK 1 3 3 CONS 500 1 0 0 FXYE\n500 1 1\n501 7 2\n502 2 1\n", 0.0, ""},
  };
}

}  // namespace

TEST(LoadModernProfiles, WavelengthsFromTheFileOrTheWindow) {
  refine_test::ScratchFolder folder;
  for (const Kind& k : kinds()) {
    SCOPED_TRACE(k.name);
    std::ofstream(k.name, std::ios::binary) << k.bytes;
    WorkSession s;
    s.working_folder = folder.path;
    RecordingMessages m;
    CountingDialog dialog;
    // No kind chosen: the extension decides.
    const Changed c = load_profile_file(s, m, dialog, k.name, std::nullopt);
    ASSERT_TRUE(any(c, Changed::Profile)) << (m.texts().empty() ? "" : m.texts().front());
    EXPECT_EQ(s.profile.points.size(), 3u);
    EXPECT_EQ(dialog.asked, k.lambda1 > 0 ? 0 : 1);
    if (k.lambda1 > 0) {
      EXPECT_DOUBLE_EQ(s.wavelengths.lambda1, k.lambda1);
      EXPECT_EQ(s.profile.wavelengths.anode, k.anode);  // the peak search presets its lines from it
    } else {
      EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 0.7093);
    }
  }
}

TEST(LoadModernProfiles, DamagedFilesLeaveTheSessionAsItWas) {
  refine_test::ScratchFolder folder;
  for (const Kind& k : kinds()) {
    SCOPED_TRACE(k.name);
    std::ofstream(k.name, std::ios::binary) << k.bytes.substr(0, k.bytes.size() * 2 / 3);
    WorkSession s;
    s.working_folder = folder.path;
    s.profile.points = {{1, 2, 1}};
    s.profile.file_name = "old.xy";
    s.wavelengths.lambda = 1.2345;
    RecordingMessages m;
    CountingDialog dialog;
    EXPECT_EQ(load_profile_file(s, m, dialog, k.name, std::nullopt), Changed::None);
    EXPECT_EQ(m.texts().size(), 1u);
    EXPECT_EQ(s.profile.file_name, "old.xy");
    EXPECT_EQ(s.profile.points.size(), 1u);
    EXPECT_EQ(s.wavelengths.lambda, 1.2345);
  }
}

TEST(LoadModernProfiles, TheKAlphaRatioOfTheFileIsKept) {
  // A monochromated Kα1 beam is written with ratio 0: no Kα2 line is looked for, so
  // the 0 must not become the default half. A file without any ratio takes the default.
  const std::string with_half = xrdml_fixture(
      "<positions axis=\"2Theta\"><startPosition>5</startPosition><endPosition>6</endPosition></positions>",
      "counts", "2 8 3");
  const std::string tag = "<ratioKAlpha2KAlpha1>0.5000</ratioKAlpha2KAlpha1>";
  std::string zero = with_half, none = with_half;
  zero.replace(zero.find(tag), tag.size(), "<ratioKAlpha2KAlpha1>0</ratioKAlpha2KAlpha1>");
  none.replace(none.find(tag), tag.size(), "");
  const struct {
    const char* what;
    std::string bytes;
    double ratio, lambda;
  } cases[] = {
      {"ratio 0", zero, 0.0, 1.5405980},
      {"ratio 0.5", with_half, 0.5, (0.5 * 1.5444260 + 1.5405980) / 1.5},
      {"no ratio", none, 0.5, 1.5405980},
  };
  refine_test::ScratchFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream("scan.xrdml", std::ios::binary) << c.bytes;
    WorkSession s;
    s.working_folder = folder.path;
    RecordingMessages m;
    CountingDialog dialog;
    ASSERT_TRUE(any(load_profile_file(s, m, dialog, "scan.xrdml", std::nullopt), Changed::Profile));
    EXPECT_EQ(s.profile.wavelengths.ratio, c.ratio);
    EXPECT_EQ(s.wavelengths.ratio, c.ratio);
    EXPECT_NEAR(s.wavelengths.lambda, c.lambda, 1e-9);
    EXPECT_EQ(dialog.asked, 0);
  }
}

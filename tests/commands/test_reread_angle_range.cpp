// "OK" of "Current values": the new wavelength and range, the files read again and
// clipped, what a typing error, a No or a file that vanished leaves alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "commands/load_peaks.hpp"
#include "commands/load_profile.hpp"
#include "commands/reread_angle_range.hpp"
#include "files/peak_fixtures.hpp"
#include "files/profile_fixtures.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

namespace fs = std::filesystem;

struct NoDialog : WavelengthDialog {
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    ADD_FAILURE() << "the files here carry their wavelength";
    return std::nullopt;
  }
};

// A step that binary floating point holds exactly, so that the angles at the range's
// edges are exact: 10 + i/32 degrees, i = 0..1920 (10 to 70), the count of point i is i.
constexpr float kStep = 0.03125f;
constexpr int kPoints = 1921;

class RelitRange : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vornax_relit_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    reset_session(s, dir);
    s.measured.zero_offset = 0.25;  // 8 steps of the profile
    // Peaks in the file's own, unsorted order.
    write("p.dif", peak_test::dif2({{55, 40}, {25, 100}, {70, 10}, {40, 80}, {15, 20}}));
    std::vector<float> counts;
    for (int i = 0; i < kPoints; ++i) counts.push_back(static_cast<float>(i));
    write("scan.raw", test::raw2_fixture(counts, 60, 0, 10.0f, kStep));
    NoDialog dialog;
    ASSERT_NE(load_peak_file(s, m, dialog, dir / "p.dif", PeakFileType::BrukerDif), Changed::None);
    ASSERT_NE(load_profile_file(s, m, dialog, dir / "scan.raw", ProfileFileType::BrukerRaw),
              Changed::None);
    ASSERT_TRUE(m.empty()) << m.texts().front();
    s.selected.push_back({1, 1, 1, 25.25f, 25.3f, 0, 0});
  }
  void TearDown() override { fs::remove_all(dir); }
  void reload() {
    s = WorkSession{};
    m = RecordingMessages{};
    SetUp();
  }

  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  std::string snapshot() const {
    std::ostringstream o;
    o.precision(17);
    o << s.wavelengths.lambda << ' ' << s.range_min << ' ' << s.range_max << ' ' << s.window_min
      << ' ' << s.window_max << '|';
    for (const auto& p : s.measured.peaks) o << p.two_theta << ' ' << p.two_theta_read << ';';
    o << s.measured.range_min << ' ' << s.measured.range_max << '|' << s.profile.points.size()
      << ' ' << s.profile.start_angle << ' ' << s.profile.final_angle << ' '
      << s.profile.intensity_max << ' ' << s.profile.intensity_min << '|' << s.selected.size();
    return o.str();
  }

  fs::path dir;
  WorkSession s;
  CellTab tab;
  RecordingMessages m;
};

TEST_F(RelitRange, KeepsWhatLiesInTheNewRangeOfBothFiles) {
  s.measured.peaks.pop_back();  // edited since the load: the file is what counts
  const Changed c = reread_angle_range(s, tab, m, {"1.5406", "20", "60"});
  EXPECT_TRUE(any(c, Changed::MeasuredPeaks | Changed::Profile | Changed::CurrentValues));
  EXPECT_EQ(s.wavelengths.lambda, 1.5406);
  EXPECT_EQ(s.range_min, 20);
  EXPECT_EQ(s.range_max, 60);
  EXPECT_EQ(s.window_min, 20);
  EXPECT_EQ(s.window_max, 60);
  EXPECT_TRUE(s.selected.empty());

  // Peaks 55, 25, 40 of the file (+0.25) in the file's order; the peak range comes from
  // the smallest and the largest of them, not from the first and the last.
  ASSERT_EQ(s.measured.peaks.size(), 3u);
  const double expected[] = {55, 25, 40};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(s.measured.peaks[i].two_theta_read, expected[i]);
    EXPECT_DOUBLE_EQ(s.measured.peaks[i].two_theta, expected[i] + 0.25);
  }
  EXPECT_DOUBLE_EQ(s.measured.range_min, 25.25 - 0.1);
  EXPECT_DOUBLE_EQ(s.measured.range_max, 55.25 + 0.1);

  // Profile: working angles 20..60, i.e. as read 19.75 (i = 312) .. 59.75 (i = 1592).
  const Profile& p = s.profile;
  ASSERT_EQ(p.points.size(), 1592u - 312u + 1u);
  EXPECT_EQ(p.points.front().two_theta, 20.0f);
  EXPECT_EQ(p.points.front().two_theta_read, 19.75f);
  EXPECT_EQ(p.points.back().two_theta, 60.0f);
  EXPECT_EQ(p.points.back().two_theta_read, 59.75f);
  for (const auto& pt : p.points) ASSERT_EQ(pt.two_theta - pt.two_theta_read, 0.25f);
  EXPECT_DOUBLE_EQ(p.start_angle, 19.75);
  EXPECT_DOUBLE_EQ(p.final_angle, 59.75);
  // Scaled on what is kept, highest point 100: count i shows as 100·i/1592 (the file's
  // lowest count is 0), and the extremes kept still give the counts back
  // (count = I·(max − min)/100 + min).
  EXPECT_NEAR(p.intensity_min, 0, 1e-3);
  EXPECT_NEAR(p.intensity_max, 1592, 1e-2);
  EXPECT_NEAR(p.points.front().intensity, 100.0 * 312 / 1592, 1e-3);
  EXPECT_NEAR(p.points.back().intensity, 100, 1e-4);
  const auto& mid = p.points[640];  // count 952
  EXPECT_NEAR(mid.intensity * (p.intensity_max - p.intensity_min) / 100 + p.intensity_min, 952, 1e-2);
}

TEST_F(RelitRange, ASecondNarrowerRangeStillGivesTheFileCounts) {
  ASSERT_NE(reread_angle_range(s, tab, m, {"1.5406", "20", "60"}), Changed::None);
  // The file gone: the second re-read must clip what the first left, on its counts.
  fs::remove(dir / "scan.raw");
  s.profile.file_name = (dir / "scan.unknown").string();
  s.profile.file_kind.reset();  // a name of no known kind, read as no recorded kind
  ASSERT_NE(reread_angle_range(s, tab, m, {"1.5406", "30", "40"}), Changed::None);
  const Profile& p = s.profile;
  ASSERT_FALSE(p.points.empty());
  // Working 30 = count 632, 40 = count 952, the highest kept.
  EXPECT_NEAR(p.intensity_min, 0, 1e-2);
  EXPECT_NEAR(p.intensity_max, 952, 1e-2);
  EXPECT_NEAR(p.points.front().intensity, 100.0 * 632 / 952, 1e-3);
  EXPECT_NEAR(p.points.back().intensity, 100, 1e-3);
  const auto& mid = p.points[p.points.size() / 2];
  EXPECT_NEAR(mid.intensity * (p.intensity_max - p.intensity_min) / 100 + p.intensity_min,
              mid.two_theta_read * 32 - 320, 1e-2);
}

TEST_F(RelitRange, ThetaModeEntriesAreDoubled) {
  s.angle_mode = AngleMode::Theta;
  ASSERT_NE(reread_angle_range(s, tab, m, {"1.5406", "10", "30"}), Changed::None);
  EXPECT_EQ(s.range_min, 20);
  EXPECT_EQ(s.range_max, 60);
  EXPECT_EQ(s.measured.peaks.size(), 3u);
}

TEST_F(RelitRange, TypingErrorsAreReportedBeforeTheQuestionAndChangeNothing) {
  struct Case {
    RangeEntry entry;
    const char* message;
  } cases[] = {
      {{"abc", "20", "60"}, "Error at lambda"},
      {{"0", "20", "60"}, "Error at lambda"},
      {{"-1.54", "20", "60"}, "Error at lambda"},
      {{"1.5406", "x", "60"}, "Error at Theta Min."},
      {{"1.5406", "20", "y"}, "Error at Theta Max."},
      {{"1.5406", "60", "20"}, "Error at Theta Max."},
  };
  const std::string before = snapshot();
  for (const auto& c : cases) {
    m.clear();
    EXPECT_EQ(reread_angle_range(s, tab, m, c.entry), Changed::None);
    // No question: the answer would be thrown away by the error that follows.
    ASSERT_EQ(m.texts(), std::vector<std::string>{c.message}) << c.entry.lambda;
    EXPECT_EQ(snapshot(), before);
  }
}

TEST_F(RelitRange, NoOrAFileThatCannotBeReadAgainKeepsTheSession) {
  const std::string before = snapshot();
  m.answers = {Answer::No};
  EXPECT_EQ(reread_angle_range(s, tab, m, {"1.5406", "20", "60"}), Changed::None);
  EXPECT_EQ(m.texts(), std::vector<std::string>{kInitialValuesLostQuestion});
  EXPECT_EQ(snapshot(), before);

  for (const char* broken : {"scan.raw", "p.dif"}) {
    reload();
    const std::string loaded = snapshot();
    write(broken, "RAW2 but cut short");
    m.clear();
    EXPECT_EQ(reread_angle_range(s, tab, m, {"1.5406", "20", "60"}), Changed::None) << broken;
    ASSERT_EQ(m.texts().size(), 2u);
    EXPECT_EQ(snapshot(), loaded) << broken;
  }
  reload();
  fs::remove(dir / "p.dif");
  const std::string loaded = snapshot();
  m.clear();
  EXPECT_EQ(reread_angle_range(s, tab, m, {"1.5406", "20", "60"}), Changed::None);
  EXPECT_EQ(snapshot(), loaded);
}

TEST_F(RelitRange, AnIndexedListIsClippedTogetherWithItsPeaks) {
  s.measured.file_name = (dir / "list.lst").string();  // not read again
  s.measured.peaks = {{20.5, 20.25, 100, 1}, {65.25, 65, 100, 1}, {30.25, 30, 100, 1}};
  s.indexed_list = {{1, 0, 0, 20.25}, {2, 2, 0, 65}, {1, 1, 1, 30}};
  ASSERT_NE(reread_angle_range(s, tab, m, {"1.5406", "25", "60"}), Changed::None);
  ASSERT_EQ(s.measured.peaks.size(), 1u);
  EXPECT_EQ(s.measured.peaks[0].two_theta, 30.25);
  ASSERT_EQ(s.indexed_list.size(), 1u);
  EXPECT_EQ(s.indexed_list[0].h, 1);
  EXPECT_EQ(s.indexed_list[0].l, 1);
}

}  // namespace
}  // namespace vornax

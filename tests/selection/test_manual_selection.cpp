#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/text_file.hpp"
#include "selection/manual_selection.hpp"
#include "selection/obs_backup.hpp"
#include "selection/selection.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

namespace fs = std::filesystem;

CalculatedReflection refl(int h, int k, int l, double tt) {
  CalculatedReflection r;
  r.h = h;
  r.k = k;
  r.l = l;
  r.two_theta = tt;
  return r;
}

SelectedPair make(int h, int k, int l, float obs, float calc, float shifted = 0) {
  SelectedPair p;
  p.h = static_cast<int32_t>(h);
  p.k = static_cast<int32_t>(k);
  p.l = static_cast<int32_t>(l);
  p.two_theta_obs = obs;
  p.two_theta_calc = calc;
  p.two_theta_obs_shifted = shifted;
  return p;
}

// Peaks at 20, 30, 40; reflections chosen so that distances are exact binary fractions.
struct ManualSelectionTest : ::testing::Test {
  WorkSession s;
  ManualSelection st;
  RecordingMessages m;
  fs::path dir;

  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vornax_manual_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    s.working_folder = dir;
    s.measured.peaks = {{20, 20, 10, 1}, {30, 30, 10, 1}, {40, 40, 10, 1}};
    s.allowed = {refl(1, 0, 0, 20.125), refl(1, 1, 0, 29.875), refl(1, 1, 1, 40.5),
                 refl(2, 0, 0, 40.0625)};
    s.tolerance = 0.125;
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(ManualSelectionTest, ModeTextsAndModeChangeDropsAPendingChoice) {
  EXPECT_EQ(choose_mouse_mode(st, MouseMode::Mode1), kMode1Text);
  EXPECT_EQ(choose_mouse_mode(st, MouseMode::Mode2), kMode2Text);
  ASSERT_TRUE(choose_measured_peak(s, st, 0, m));
  EXPECT_EQ(choose_mouse_mode(st, MouseMode::Mode3), kMode3Text);
  EXPECT_FALSE(st.pending_obs);
  EXPECT_EQ(choose_mouse_mode(st, MouseMode::None), "");
}

TEST_F(ManualSelectionTest, Mode1FromCalculatedAtTheToleranceEdge) {
  st.mode = MouseMode::Mode1;
  s.tolerance = 0.12;  // 20.125 - 20 = 0.125: just outside
  EXPECT_FALSE(mode1_pair_from_calculated(s, st, {0}, m));
  EXPECT_TRUE(s.selected.empty());
  s.tolerance = 0.125;  // inclusive
  ASSERT_TRUE(mode1_pair_from_calculated(s, st, {0}, m));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 20.0f);
  EXPECT_EQ(s.selected[0].two_theta_calc, 20.125f);
  EXPECT_EQ(st.last_calculated, 0);
  EXPECT_EQ(s.current_measured_peak, 1);
  // the same h k l is not paired twice
  EXPECT_FALSE(mode1_pair_from_calculated(s, st, {0}, m));
  EXPECT_EQ(s.selected.size(), 1u);
}

TEST_F(ManualSelectionTest, Mode1TriesTheNextBarWhenTheFirstFails) {
  // 1 1 1 at 40.5 is too far from the peak at 40; 2 0 0 at 40.0625 is within
  ASSERT_TRUE(mode1_pair_from_calculated(s, st, {2, 3}, m));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].h, 2);
  EXPECT_EQ(st.last_calculated, 3);
}

TEST_F(ManualSelectionTest, Mode1FromMeasuredKeepsTheListSorted) {
  ASSERT_TRUE(mode1_pair_from_measured(s, st, {1}, m));  // 30 with 1 1 0 at 29.875
  ASSERT_TRUE(mode1_pair_from_measured(s, st, {0}, m));  // 20 with 1 0 0
  ASSERT_EQ(s.selected.size(), 2u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 20.0f);
  EXPECT_EQ(s.selected[1].h, 1);
  EXPECT_EQ(s.selected[1].k, 1);
  // peak 40's nearest is 2 0 0; once paired, a second click adds nothing
  ASSERT_TRUE(mode1_pair_from_measured(s, st, {2}, m));
  EXPECT_FALSE(mode1_pair_from_measured(s, st, {2}, m));
  // bars past the lists are ignored
  EXPECT_FALSE(mode1_pair_from_measured(s, st, {-1, 3, 99}, m));
  EXPECT_EQ(s.selected.size(), 3u);
}

TEST_F(ManualSelectionTest, FiveHundredPairsIsTheLimit) {
  s.selected.assign(kMaxSelectedPairs, make(9, 9, 9, 50, 50));
  EXPECT_FALSE(mode1_pair_from_calculated(s, st, {0}, m));
  EXPECT_FALSE(mode1_pair_from_measured(s, st, {0}, m));
  EXPECT_EQ(s.selected_count(), kMaxSelectedPairs);
  EXPECT_EQ(m.texts(), (std::vector<std::string>{kTooManyPairs, kTooManyPairs}));
  st.mode = MouseMode::Mode2;
  ASSERT_TRUE(choose_measured_peak(s, st, 0, m));
  EXPECT_FALSE(complete_pending_pair(s, st, 0, m));
  EXPECT_EQ(s.selected_count(), kMaxSelectedPairs);
}

TEST_F(ManualSelectionTest, Mode2FirstClickRemovesTheOldPairSecondAppendsTheNew) {
  st.mode = MouseMode::Mode2;
  s.selected = {make(1, 1, 0, 20, 29.875f), make(1, 1, 1, 40, 40.5f)};
  s.results.refined = true;
  ASSERT_TRUE(choose_measured_peak(s, st, 0, m));  // the peak at 20
  ASSERT_EQ(s.selected.size(), 1u);                // its old pair went, no half pair
  EXPECT_EQ(s.selected[0].l, 1);
  EXPECT_FALSE(s.results.refined);
  EXPECT_FALSE(complete_pending_pair(s, st, -1, m));  // missed: nothing appended
  EXPECT_FALSE(st.pending_obs);
  EXPECT_EQ(s.selected.size(), 1u);
  // a second click without a first one does nothing
  EXPECT_FALSE(complete_pending_pair(s, st, 0, m));
  EXPECT_EQ(s.selected.size(), 1u);
  // a peak no pair holds removes nothing; then the second click appends
  ASSERT_TRUE(choose_measured_peak(s, st, 1, m));
  EXPECT_EQ(s.selected.size(), 1u);
  ASSERT_TRUE(complete_pending_pair(s, st, 1, m));
  EXPECT_EQ(s.selected.size(), 2u);
}

TEST_F(ManualSelectionTest, Mode2RepairsAPeakInsteadOfDoublingIt) {
  st.mode = MouseMode::Mode2;
  s.selected = {make(1, 1, 0, 20, 29.875f), make(1, 1, 1, 40, 40.5f)};
  ASSERT_TRUE(choose_measured_peak(s, st, 0, m));
  ASSERT_TRUE(complete_pending_pair(s, st, 0, m));
  ASSERT_EQ(s.selected.size(), 2u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 20.0f);
  EXPECT_EQ(s.selected[0].h, 1);
  EXPECT_EQ(s.selected[0].k, 0);
  EXPECT_EQ(s.selected[0].two_theta_calc, 20.125f);
  EXPECT_EQ(s.selected[1].l, 1);  // the unrelated pair is untouched
}

TEST_F(ManualSelectionTest, DeleteBetweenMode2ClicksLeavesOnlyTheNewPair) {
  st.mode = MouseMode::Mode2;
  s.selected = {make(1, 1, 0, 30, 29.875f), make(1, 1, 1, 40, 40.5f)};
  ASSERT_TRUE(choose_measured_peak(s, st, 0, m));
  ASSERT_TRUE(delete_selection_with_backup(s, m));
  ASSERT_TRUE(complete_pending_pair(s, st, 0, m));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 20.0f);
  EXPECT_EQ(s.selected[0].two_theta_calc, 20.125f);
}

TEST_F(ManualSelectionTest, Mode3RefusesAPairedPeakAndNeedsAFirstClick) {
  st.mode = MouseMode::Mode3;
  EXPECT_FALSE(complete_pending_pair(s, st, 0, m));  // no measured line chosen
  EXPECT_TRUE(s.selected.empty());
  s.selected = {make(1, 0, 0, 20.005f, 20.125f)};
  EXPECT_FALSE(choose_measured_peak(s, st, 0, m));  // within 0.01
  EXPECT_EQ(m.log.size(), 1u);
  EXPECT_EQ(m.log[0].first, RecordingMessages::Kind::Beep);
  EXPECT_FALSE(choose_measured_peak(s, st, 3, m));  // past the list
  ASSERT_TRUE(choose_measured_peak(s, st, 1, m));
  ASSERT_TRUE(complete_pending_pair(s, st, 1, m));
  EXPECT_EQ(s.selected.size(), 2u);
  EXPECT_EQ(s.selected[1].two_theta_obs, 30.0f);
}

TEST_F(ManualSelectionTest, DoubleClickDeletesTheClickedPairNotTheFirstEqualOne) {
  s.selected = {make(1, 0, 0, 20, 20.125f), make(1, 0, 0, 20.5f, 20.125f)};
  ASSERT_TRUE(delete_pair_row(s, 2));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 20.0f);
}

TEST_F(ManualSelectionTest, RowsWithoutAnEntryDoNothing) {
  s.selected = {make(1, 0, 0, 20, 20.125f)};
  for (int row : {0, -1, 2, 25}) {
    EXPECT_FALSE(delete_pair_row(s, row)) << row;
    EXPECT_EQ(retype_indices(s, row, "0 0 0", m), RetypeResult::Unchanged) << row;
  }
  EXPECT_EQ(s.selected.size(), 1u);
  EXPECT_FALSE(remove_pair(s, 1));
  EXPECT_FALSE(remove_measured_peak(s, 3));
  EXPECT_FALSE(remove_measured_peak(s, -1));
  EXPECT_EQ(s.measured_count(), 3);
  EXPECT_TRUE(m.empty());
}

TEST(ParseIndices, OnlyThreeBlankSeparatedIntegers) {
  using A = std::array<int, 3>;
  struct Case { const char* text; std::optional<A> hkl; } cases[] = {
      {"  1  2  3", A{1, 2, 3}}, {"-10 2 -11", A{-10, 2, -11}}, {"", A{0, 0, 0}},
      {"   ", A{0, 0, 0}},       {"-10  2-11", std::nullopt},   {"1 2", std::nullopt},
      {"1 2 3 4", std::nullopt}, {"1 a 3", std::nullopt},       {"1 2 99999", std::nullopt},
      {"1.5 2 3", std::nullopt},
  };
  for (auto& c : cases) EXPECT_EQ(parse_indices(c.text), c.hkl) << c.text;
}

TEST_F(ManualSelectionTest, RetypedIndices) {
  s.selected = {make(1, 0, 0, 20, 20.125f), make(1, 1, 1, 30, 40.5f)};
  EXPECT_EQ(retype_indices(s, 2, "1 1 0", m), RetypeResult::Changed);
  EXPECT_EQ(s.selected[1].k, 1);
  EXPECT_EQ(s.selected[1].l, 0);
  EXPECT_EQ(s.selected[1].two_theta_calc, 29.875f);

  EXPECT_EQ(retype_indices(s, 2, "3 3 3", m), RetypeResult::Refused);
  EXPECT_EQ(m.texts(), (std::vector<std::string>{kNotInCalculatedList}));
  EXPECT_EQ(retype_indices(s, 2, "-10  2-11", m), RetypeResult::Refused);
  EXPECT_EQ(s.selected[1].h, 1);
  EXPECT_EQ(s.selected[1].l, 0);

  EXPECT_EQ(retype_indices(s, 1, " 0  0  0", m), RetypeResult::Deleted);
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 30.0f);
}

TEST_F(ManualSelectionTest, BackupRoundTripWithWideAnglesAndIndices) {
  const std::vector<SelectedPair> pairs = {make(-100, 2, -3, 99.5f, 100.25f, 0),
                                           make(4, 5, 6, 123.4567f, 150.1234f, 100.0001f)};
  s.selected = pairs;
  s.results.refined = true;
  ASSERT_TRUE(delete_selection_with_backup(s, m));
  EXPECT_TRUE(s.selected.empty());
  EXPECT_FALSE(s.results.refined);
  EXPECT_EQ(read_file_bytes(dir / "obs.txt"),
            "     2\r\n"
            "-100   2  -3 99.5000100.2500  0.0000\r\n"
            "   4   5   6123.4567150.1234100.0001\r\n");
  ASSERT_TRUE(restore_selection(s, m));
  ASSERT_EQ(s.selected.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(s.selected[i].h, pairs[i].h);
    EXPECT_EQ(s.selected[i].k, pairs[i].k);
    EXPECT_EQ(s.selected[i].l, pairs[i].l);
    EXPECT_EQ(s.selected[i].two_theta_obs, pairs[i].two_theta_obs);
    EXPECT_EQ(s.selected[i].two_theta_calc, pairs[i].two_theta_calc);
    EXPECT_EQ(s.selected[i].two_theta_obs_shifted, pairs[i].two_theta_obs_shifted);
  }
  // a second Restore with pairs present does nothing
  EXPECT_FALSE(restore_selection(s, m));
  EXPECT_TRUE(m.empty());
}

TEST_F(ManualSelectionTest, EmptySelectionWritesNoBackup) {
  EXPECT_FALSE(delete_selection_with_backup(s, m));
  EXPECT_FALSE(fs::exists(dir / "obs.txt"));
  EXPECT_FALSE(restore_selection(s, m));
}

TEST_F(ManualSelectionTest, PairsAreKeptWhenTheBackupCannotBeWritten) {
  s.selected = {make(1, 0, 0, 20, 20.125f)};
  s.working_folder = dir / "missing" / "folder";
  EXPECT_FALSE(delete_selection_with_backup(s, m));
  EXPECT_EQ(s.selected.size(), 1u);
  ASSERT_EQ(m.texts().size(), 1u);
  EXPECT_NE(m.texts()[0].find("kept"), std::string::npos);

  m.clear();
  s.working_folder = dir;
  s.selected = {make(1, 0, 0, 12345.0f, 20.125f)};  // does not fit 8:4
  EXPECT_FALSE(delete_selection_with_backup(s, m));
  EXPECT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(m.texts().size(), 1u);
}

TEST(ObsBackup, MalformedFilesAreRefusedWhole) {
  const std::string good = "   1  0   0  20.0000 20.1250  0.0000";
  struct Case { std::string name, bytes; } cases[] = {
      {"empty", ""},
      {"count 501", "   501\r\n"},
      {"negative count", "    -1\r\n"},
      {"count not a number", "  one\r\n"},
      {"fewer lines than counted", "     2\r\n" + good + "\r\n"},
      {"short line", "     1\r\n   1   0   0 20.0000 20.1250\r\n"},
      {"letters in an index", "     1\r\n   x   0   0 20.0000 20.1250  0.0000\r\n"},
      {"blank index field", "     1\r\n       0   0 20.0000 20.1250  0.0000\r\n"},
      {"letters in an angle", "     1\r\n   1   0   0 20.0x00 20.1250  0.0000\r\n"},
      {"sign inside a field", "     1\r\n   1   0   0 20.0000 20-1250  0.0000\r\n"},
      {"text after the pairs", "     1\r\n   1   0   0 20.0000 20.1250  0.0000\r\nmore\r\n"},
  };
  for (auto& c : cases) {
    auto r = parse_obs_backup(c.bytes);
    EXPECT_FALSE(r.ok()) << c.name;
    EXPECT_TRUE(r.pairs.empty()) << c.name;
  }
  auto ok = parse_obs_backup("     1\n   1   0   0 20.0000 20.1250  0.0000\n\n");
  EXPECT_TRUE(ok.ok()) << ok.error;
  EXPECT_EQ(ok.pairs.size(), 1u);
  // angles of 100° and more fill their field: read by columns they stay apart
  auto wide = parse_obs_backup("     1\r\n-100  -1   0123.4567150.1234100.0001\r\n");
  ASSERT_TRUE(wide.ok()) << wide.error;
  EXPECT_EQ(wide.pairs[0].h, -100);
  EXPECT_EQ(wide.pairs[0].two_theta_calc, 150.1234f);
  EXPECT_EQ(wide.pairs[0].two_theta_obs_shifted, 100.0001f);
}

TEST_F(ManualSelectionTest, RestoreRefusesABadFileAndKeepsTheList) {
  TextFile f;
  f.add("   501");
  f.save(dir / "obs.txt");
  EXPECT_FALSE(restore_selection(s, m));
  EXPECT_TRUE(s.selected.empty());
  ASSERT_EQ(m.texts().size(), 1u);
}

TEST_F(ManualSelectionTest, MeasuredPeakTakesTheOffsetOnceAndTheLowEndIntensity) {
  s.measured.peaks.clear();
  s.measured.zero_offset = 0.05;
  for (int i = 0; i <= 10; ++i) {
    const float read = 35.0f + i;
    s.profile.points.push_back({read + 0.05f, static_cast<float>(10 * i), read});
  }
  ASSERT_TRUE(measure_peak(s, 40.5, m));
  ASSERT_EQ(s.measured_count(), 1);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 40.5);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta_read, 40.45);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].intensity, 50.0);  // point at 40.05
  EXPECT_EQ(s.measured.peaks[0].line_code, 1);
  EXPECT_FALSE(measure_peak(s, 40.5009, m));  // the same peak: dropped silently
  EXPECT_TRUE(measure_peak(s, 37.2, m));
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 37.2);  // sorted
  EXPECT_DOUBLE_EQ(profile_intensity_at(s.profile, 10.0), 0.0);  // outside the profile
  EXPECT_TRUE(m.empty());

  s.measured.peaks.assign(kMaxMeasuredPeaks, MeasuredPeak{});
  EXPECT_FALSE(measure_peak(s, 42.0, m));
  EXPECT_EQ(m.texts(), (std::vector<std::string>{"Too many peaks (>500)"}));
}

TEST_F(ManualSelectionTest, ZeroOffsetsReplaceEachOther) {
  s.profile.points = {{50.0f, 1.0f, 50.0f}};
  ASSERT_TRUE(apply_zero_offset(s, "-0.05", m));
  ASSERT_TRUE(apply_zero_offset(s, " 0.02 ", m));
  for (const auto& p : s.measured.peaks) EXPECT_DOUBLE_EQ(p.two_theta, p.two_theta_read + 0.02);
  EXPECT_FLOAT_EQ(s.profile.points[0].two_theta, 50.02f);
  EXPECT_FALSE(apply_zero_offset(s, "-", m));  // still typing
  EXPECT_DOUBLE_EQ(s.measured.zero_offset, 0.02);
  EXPECT_FALSE(apply_zero_offset(s, "abc", m));
  EXPECT_EQ(m.texts(), (std::vector<std::string>{"Read error"}));
  EXPECT_DOUBLE_EQ(s.measured.zero_offset, 0.02);
  ASSERT_TRUE(apply_zero_offset(s, "", m));
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 20.0);

  WorkSession empty;
  EXPECT_FALSE(apply_zero_offset(empty, "1", m));
  EXPECT_DOUBLE_EQ(empty.measured.zero_offset, 0.0);
}

}  // namespace
}  // namespace vornax

namespace vornax {
namespace {

// Every way of pairing hands the pair the σ of the peak it was made from: automatic,
// both Mode 1 directions, the two clicks of Mode 2 and Mode 3, the restored backup
// (obs.txt keeps no σ: it is found again on the peaks), and the indexed pairing.
TEST_F(ManualSelectionTest, EveryPairingKeepsThePeaksSigma) {
  const double sigma[3] = {0.0021, 0, 0.0043};  // the peak at 30 was not fitted
  for (size_t i = 0; i < 3; ++i) s.measured.peaks[i].sigma = sigma[i];
  s.range_min = 0;
  s.range_max = 180;
  auto sigma_of = [&](float obs) {
    for (const SelectedPair& p : s.selected)
      if (p.two_theta_obs == obs) return p.sigma;
    ADD_FAILURE() << "no pair at " << obs;
    return -1.0;
  };
  struct Way { const char* name; std::function<void()> pair; };
  const Way ways[] = {
      {"automatic", [&] { ASSERT_TRUE(select_automatically(s, "0.2", m)); }},
      {"mode 1 from calculated", [&] { for (int r : {0, 1, 3}) mode1_pair_from_calculated(s, st, {r}, m); }},
      {"mode 1 from measured", [&] { for (int b : {0, 1, 2}) mode1_pair_from_measured(s, st, {b}, m); }},
      {"mode 2 and 3", [&] {
         for (MouseMode mode : {MouseMode::Mode2, MouseMode::Mode3}) {
           st.mode = mode;
           const int peak = mode == MouseMode::Mode2 ? 0 : 1, r = mode == MouseMode::Mode2 ? 0 : 1;
           ASSERT_TRUE(choose_measured_peak(s, st, peak, m));
           ASSERT_TRUE(complete_pending_pair(s, st, r, m));
         }
         st.mode = MouseMode::Mode2;
         ASSERT_TRUE(choose_measured_peak(s, st, 2, m));
         ASSERT_TRUE(complete_pending_pair(s, st, 3, m));
       }},
      {"restored backup", [&] {
         ASSERT_TRUE(select_automatically(s, "0.2", m));
         ASSERT_TRUE(delete_selection_with_backup(s, m));
         ASSERT_TRUE(restore_selection(s, m));
       }},
  };
  for (const Way& w : ways) {
    SCOPED_TRACE(w.name);
    s.selected.clear();
    w.pair();
    ASSERT_EQ(s.selected.size(), 3u);
    EXPECT_EQ(sigma_of(20), sigma[0]);
    EXPECT_EQ(sigma_of(30), sigma[1]);
    EXPECT_EQ(sigma_of(40), sigma[2]);
  }
  EXPECT_EQ(fitted_sigma_at(s, 40.0), sigma[2]);
  EXPECT_EQ(fitted_sigma_at(s, 41.0), 0.0);
}

}  // namespace
}  // namespace vornax

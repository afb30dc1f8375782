#include <gtest/gtest.h>

#include <vector>

#include "profile/peak_kill.hpp"

namespace vornax {
namespace {

std::vector<MeasuredPeak> one_of_each() {
  // codes 1, 2, 3, 4, 5, 0, 1 with distinct fields, so moved entries can be told apart
  std::vector<MeasuredPeak> v;
  const int codes[] = {1, 2, 3, 4, 5, 0, 1};
  for (int i = 0; i < 7; ++i) v.push_back({10.0 + i, 9.9 + i, 100.0 - i, codes[i]});
  return v;
}

TEST(PeakKill, KeepsTheTickedCodesInOrder) {
  struct Case { const char* name; std::array<bool, 5> keep; std::vector<int> kept; } cases[] = {
      {"nothing ticked", {}, {}},
      {"K Alpha only (peaks added by hand)", {true, false, false, false, false}, {0, 6}},
      {"K Alpha and K Alpha1", {true, true, false, false, false}, {0, 1, 6}},
      {"everything", {true, true, true, true, true}, {0, 1, 2, 3, 4, 6}},
      {"contamination only", {false, false, false, true, true}, {3, 4}},
  };
  for (const auto& c : cases) {
    auto peaks = one_of_each();
    const auto all = peaks;
    const int dropped = kill_peaks(peaks, PeakKillSettings{c.keep});
    EXPECT_EQ(dropped, 7 - static_cast<int>(c.kept.size())) << c.name;
    ASSERT_EQ(peaks.size(), c.kept.size()) << c.name;
    for (size_t i = 0; i < peaks.size(); ++i) {
      const MeasuredPeak& want = all[static_cast<size_t>(c.kept[i])];
      EXPECT_EQ(peaks[i].two_theta, want.two_theta) << c.name;
      EXPECT_EQ(peaks[i].two_theta_read, want.two_theta_read) << c.name;
      EXPECT_EQ(peaks[i].intensity, want.intensity) << c.name;
      EXPECT_EQ(peaks[i].line_code, want.line_code) << c.name;
    }
  }
}

TEST(PeakKill, CodesOutsideOneToFiveNeverSurvive) {
  PeakKillSettings all{{true, true, true, true, true}};
  for (int code : {-1, 0, 6}) EXPECT_FALSE(all.keeps(code)) << code;
}

}  // namespace
}  // namespace vornax

// The erase commands: each group back to its start-up values, the results of a
// refinement going with the pairs or the cell they came from, and the set of what
// changed that drives the windows' one refresh.
#include <gtest/gtest.h>

#include "commands/session_commands.hpp"

using namespace vornax;

namespace {

WorkSession refined_session() {
  WorkSession s;
  s.measured.peaks = {{28.44, 28.44, 100, 1}};
  s.allowed = {{1, 1, 1, 0, 3.1356, 28.44}};
  s.selected = {{1, 1, 1, 28.44f, 28.44f, 28.44f, 14.22f}};
  s.profile.points = {{10, 1, 10}};
  s.results.refined = true;
  s.results.obs_shifted = {28.44};
  s.results.calc = {28.44};
  return s;
}

}  // namespace

TEST(EraseCommand, ResultsGoWithTheirPairsAndCell) {
  struct Case {
    EraseGroup group;
    bool peaks_left, calc_left, profile_left, results_left;
    Changed must_include;
  } cases[] = {
      {EraseGroup::PeakData, false, true, true, false, Changed::MeasuredPeaks | Changed::Results},
      {EraseGroup::CellParameters, true, false, true, false, Changed::Calculated | Changed::Results},
      {EraseGroup::Profile, true, true, false, true, Changed::Profile},
      {EraseGroup::All, false, false, false, false, Changed::MeasuredPeaks | Changed::Profile},
  };
  for (const auto& c : cases) {
    WorkSession s = refined_session();
    const Changed what = erase_command(s, c.group);
    EXPECT_EQ(!s.measured.peaks.empty(), c.peaks_left);
    EXPECT_EQ(!s.allowed.empty(), c.calc_left);
    EXPECT_EQ(!s.profile.points.empty(), c.profile_left);
    EXPECT_EQ(s.results.refined, c.results_left);
    EXPECT_EQ(s.results.calc.empty(), !c.results_left);
    EXPECT_EQ(what & c.must_include, c.must_include);
    EXPECT_FALSE(any(what, Changed::AngleMode));  // erasing never switches θ / 2θ
  }
}

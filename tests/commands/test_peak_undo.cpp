// The one-step undo of the measured-peak list, as the windows drive it: a command
// changes the session, the refresh reports it, Ctrl+Z asks for the undo.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "commands/peak_undo.hpp"

namespace vornax {
namespace {

std::vector<double> angles(const WorkSession& s) {
  std::vector<double> out;
  for (const MeasuredPeak& p : s.measured.peaks) out.push_back(p.two_theta);
  return out;
}

MeasuredPeak peak(double two_theta) { return {two_theta, two_theta, 50, 1}; }

TEST(PeakListUndo, UndoesTheLastChangeOfThePeaksOnly) {
  // A step: change the session (or press Ctrl+Z), then the list it must show.
  struct Step {
    std::function<void(WorkSession&, PeakListUndo&)> act;
    std::vector<double> expected;
    bool changed;  // what the undo answered (steps that are no undo: false)
  };
  const auto add = [](double a) {
    return [a](WorkSession& s, PeakListUndo& u) {
      s.measured.peaks.push_back(peak(a));
      u.observe(s);
    };
  };
  bool last = false;
  const auto undo = [&last](WorkSession& s, PeakListUndo& u) {
    last = u.undo(s) == Changed::MeasuredPeaks;
    u.observe(s);  // the refresh after the undo
  };
  const auto rename = [](WorkSession& s, PeakListUndo& u) {
    s.measured.file_name = "saved.dif";
    u.observe(s);
  };
  const auto erase = [](WorkSession& s, PeakListUndo& u) {
    s.measured.peaks.clear();
    u.observe(s);
  };
  const auto retouch = [](WorkSession& s, PeakListUndo& u) {  // same angle, new line code
    s.measured.peaks.back().line_code = 3;
    u.observe(s);
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"nothing to undo", {{undo, {}, false}}},
      {"a stray click, undone and redone",
       {{add(20), {20}, false}, {add(31.5), {20, 31.5}, false}, {undo, {20}, true},
        {undo, {20, 31.5}, true}, {undo, {20}, true}}},
      {"a saved name is no step", {{add(20), {20}, false}, {rename, {20}, false},
                                   {undo, {}, true}}},
      {"erased by mistake", {{add(20), {20}, false}, {add(40), {20, 40}, false},
                             {erase, {}, false}, {undo, {20, 40}, true}}},
      {"a line code counts", {{add(20), {20}, false}, {retouch, {20}, false},
                              {undo, {20}, true}}},
  };
  for (const auto& c : cases) {
    WorkSession s;
    PeakListUndo u;
    u.observe(s);
    int n = 0;
    for (const Step& step : c.steps) {
      last = false;
      step.act(s, u);
      EXPECT_EQ(angles(s), step.expected) << c.name << ", step " << n;
      EXPECT_EQ(last, step.changed) << c.name << ", step " << n;
      ++n;
    }
  }
}

TEST(PeakListUndo, TheWholeListComesBackWithItsFileAndWavelength) {
  WorkSession s;
  PeakListUndo u;
  u.observe(s);
  s.measured.peaks = {peak(28.44), peak(47.3)};
  s.measured.file_name = "si.dif";
  s.measured.wavelengths = {1.5406, 1.5406, 0, 0, "Cu"};
  u.observe(s);
  // A search replaces them; the peaks measured here have no file.
  s.measured.peaks = {peak(28.45), peak(47.31), peak(56.13)};
  s.measured.file_name.clear();
  u.observe(s);
  ASSERT_TRUE(u.can_undo());
  EXPECT_EQ(u.undo(s), Changed::MeasuredPeaks);
  EXPECT_EQ(angles(s), (std::vector<double>{28.44, 47.3}));
  EXPECT_EQ(s.measured.file_name, "si.dif");
  EXPECT_EQ(s.measured.wavelengths.anode, "Cu");

  EXPECT_TRUE(same_peaks({peak(1), peak(2)}, {peak(1), peak(2)}));
  EXPECT_FALSE(same_peaks({peak(1), peak(2)}, {peak(2), peak(1)}));
  EXPECT_FALSE(same_peaks({peak(1)}, {peak(1), peak(2)}));
  MeasuredPeak read_differs = peak(1);
  read_differs.two_theta_read = 1.01;
  EXPECT_FALSE(same_peaks({peak(1)}, {read_differs}));
}

}  // namespace
}  // namespace vornax

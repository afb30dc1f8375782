#include <gtest/gtest.h>

#include <filesystem>

#include "commands/diagram_commands.hpp"
#include "viewer/recording_canvas.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

using testing::RecordingCanvas;

CalculatedReflection refl(int h, int k, int l, double tt) {
  CalculatedReflection r;
  r.h = h;
  r.k = k;
  r.l = l;
  r.two_theta = tt;
  return r;
}

// 212 x 150 image over 2θ 0..100: x = nearest(2a + 5) + 3, axis at y = 100.
// Peaks at 30 (x 68) and 60 (x 128); reflections at 30.0625 (x 68) and 40 (x 88).
struct DiagramCommandsTest : ::testing::Test {
  WorkSession s;
  RecordingMessages m;
  DiagramView view;
  ManualSelection st;

  void SetUp() override {
    s.range_min = s.window_min = 0;
    s.range_max = s.window_max = 100;
    s.measured.peaks = {{30, 30, 20, 1}, {60, 60, 20, 1}};
    s.allowed = {refl(1, 0, 0, 30.0625), refl(1, 1, 0, 40)};
    redraw();
  }
  void redraw() {
    RecordingCanvas c(212, 150);
    draw_diagram(c, s, view);
  }
  Changed click(MouseButton b, int x, int y, const char* tolerance = "0.1") {
    diagram_mouse_down(view, {x, y});
    return diagram_mouse_up(s, m, view, st, {b, {x, y}, true, tolerance});
  }
};

TEST_F(DiagramCommandsTest, Mode2PairsByTwoClicksAtTheHitEdges) {
  select_mouse_mode(st, view, MouseMode::Mode2);
  EXPECT_EQ(click(MouseButton::Left, 71, 50), Changed::None);  // 3 px from the peak: missed
  EXPECT_FALSE(st.pending_obs);
  EXPECT_EQ(click(MouseButton::Left, 70, 50), Changed::None);  // 2 px: chosen, no pair to go
  ASSERT_TRUE(view.pending_obs);
  EXPECT_DOUBLE_EQ(*view.pending_obs, 30.0);
  EXPECT_TRUE(s.selected.empty());
  const Changed c = click(MouseButton::Left, 91, 120);  // 3 px from the bar at 40
  EXPECT_TRUE(any(c, Changed::Selection));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 30.0f);
  EXPECT_EQ(s.selected[0].two_theta_calc, 40.0f);
  EXPECT_EQ(s.selected[0].k, 1);
  EXPECT_FALSE(view.pending_obs);

  // a second click 4 px away misses and leaves the list as it was
  click(MouseButton::Left, 128, 50);
  EXPECT_EQ(click(MouseButton::Left, 92, 120), Changed::None);
  EXPECT_EQ(s.selected.size(), 1u);

  // Re-pairing the peak at 30: the first click takes its pair away at once, a click on
  // another peak while the choice waits changes nothing, the second click appends.
  EXPECT_TRUE(any(click(MouseButton::Left, 68, 50), Changed::Selection));
  EXPECT_TRUE(s.selected.empty());
  EXPECT_EQ(click(MouseButton::Left, 128, 50), Changed::None);
  ASSERT_TRUE(view.pending_obs);
  EXPECT_DOUBLE_EQ(*view.pending_obs, 30.0);
  EXPECT_TRUE(any(click(MouseButton::Left, 68, 120), Changed::Selection));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 30.0f);
  EXPECT_EQ(s.selected[0].two_theta_calc, 30.0625f);
}

TEST_F(DiagramCommandsTest, Mode1ClickBelowAndAboveTheAxis) {
  select_mouse_mode(st, view, MouseMode::Mode1);
  const Changed below = click(MouseButton::Left, 68, 120);
  EXPECT_TRUE(any(below, Changed::Selection));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_calc, 30.0625f);
  // above the axis at the peak at 60: its nearest reflection (40) is 20° away
  EXPECT_FALSE(any(click(MouseButton::Left, 128, 50), Changed::Selection));
  EXPECT_EQ(s.selected.size(), 1u);
}

TEST_F(DiagramCommandsTest, Mode1ReadsTheToleranceBoxEachClick) {
  select_mouse_mode(st, view, MouseMode::Mode1);
  EXPECT_EQ(click(MouseButton::Left, 68, 120, "abc"), Changed::None);
  EXPECT_EQ(m.texts(), (std::vector<std::string>{"Error (angular tolerance)"}));
  EXPECT_TRUE(s.selected.empty());
  s.angle_mode = AngleMode::Theta;
  redraw();  // θ 15.03 at x = nearest(4 × 15.03 + 5) + 3 = 68
  EXPECT_FALSE(any(click(MouseButton::Left, 68, 120, "0.03"), Changed::Selection));
  EXPECT_DOUBLE_EQ(s.tolerance, 0.06);  // doubled: 0.0625 is still outside
  EXPECT_TRUE(any(click(MouseButton::Left, 68, 120, "0.04"), Changed::Selection));
}

TEST_F(DiagramCommandsTest, RightClickRemovesThePairUnderTheCursor) {
  SelectedPair p;
  p.two_theta_obs = 60;
  p.two_theta_calc = 40;
  s.selected = {p};
  s.results.refined = true;
  EXPECT_EQ(click(MouseButton::Right, 124, 50), Changed::None);  // 4 px away
  EXPECT_TRUE(any(click(MouseButton::Right, 125, 50), Changed::Selection));
  EXPECT_TRUE(s.selected.empty());
  EXPECT_FALSE(s.results.refined);
}

TEST_F(DiagramCommandsTest, ClicksNeedTheSelectionTabAndTheImage) {
  select_mouse_mode(st, view, MouseMode::Mode1);
  diagram_mouse_down(view, {68, 120});
  EXPECT_EQ(diagram_mouse_up(s, m, view, st, {MouseButton::Left, {68, 120}, false, "0.1"}),
            Changed::None);
  diagram_mouse_down(view, {68, 120});
  EXPECT_EQ(diagram_mouse_up(s, m, view, st, {MouseButton::Left, {68, -1}, true, "0.1"}),
            Changed::None);
  EXPECT_TRUE(s.selected.empty());
}

TEST_F(DiagramCommandsTest, DragZoomsAndResetRestoresTheWindow) {
  diagram_mouse_down(view, {48, 60});
  EXPECT_EQ(diagram_mouse_up(s, m, view, st, {MouseButton::Left, {52, 60}, true, ""}),
            Changed::None);  // 4 px: a click (no mode chosen: nothing)
  EXPECT_DOUBLE_EQ(s.range_max, 100);
  diagram_mouse_down(view, {88, 60});
  EXPECT_EQ(diagram_mouse_up(s, m, view, st, {MouseButton::Left, {48, 60}, true, ""}),
            Changed::CurrentValues);
  EXPECT_DOUBLE_EQ(s.range_min, 20);
  EXPECT_DOUBLE_EQ(s.range_max, 40);
  EXPECT_FALSE(view.dragging);
  EXPECT_EQ(diagram_reset(s, view), Changed::CurrentValues);
  EXPECT_DOUBLE_EQ(s.range_max, 100);
  EXPECT_DOUBLE_EQ(view.vertical_factor, 1);
}

// Each press acts on the value the control showed before it: the scale follows one
// press behind, the first shift press after start moves nothing, and a press that
// leaves the control where it was (at 500) changes nothing.
TEST_F(DiagramCommandsTest, ControlsActOnTheValueBeforeThePress) {
  struct Step {
    bool scale;         // scale control, else shift control
    int value;          // the control after the press
    double s;           // vertical factor after it
    double range_min;   // entered 2θmin after it (starts at 0)
    bool range_moved;   // Changed::CurrentValues
  };
  const Step steps[] = {
      {true, 15, 1.0, 0, false},     // 10 -> 15: s = 10 / 10
      {true, 20, 1.5, 0, false},     // 15 -> 20: s = 15 / 10
      {false, 179, 1.5, 0, false},   // 180 -> 179: 180 - 180, nothing
      {false, 178, 1.5, -1, true},   // 179 -> 178: 179 - 180
      {false, 178, 1.5, -1, false},  // no move of the control: nothing
      {false, 179, 1.5, -2, true},   // 178 -> 179: 178 - 179
      {true, 500, 2.0, -2, false},   // 20 -> 500 (typed): s = 20 / 10
      {true, 500, 2.0, -2, false},   // a press at 500: nothing
      {true, 495, 50.0, -2, false},  // 500 -> 495: s = 500 / 10
  };
  int n = 0;
  for (const Step& st : steps) {
    SCOPED_TRACE(++n);
    const Changed c = st.scale ? diagram_scale(view, st.value) : diagram_shift(s, view, st.value);
    EXPECT_EQ(c, st.range_moved ? Changed::CurrentValues : Changed::None);
    EXPECT_DOUBLE_EQ(view.vertical_factor, st.s);
    EXPECT_DOUBLE_EQ(s.range_min, st.range_min);
    EXPECT_DOUBLE_EQ(s.range_max, 100 + st.range_min);
    EXPECT_EQ(st.scale ? view.scale_control : view.shift_control, st.value);
  }
}

TEST_F(DiagramCommandsTest, DeleteAndRestoreTheSelection) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "vornax_diagram_commands_obs";
  fs::remove_all(dir);
  fs::create_directories(dir);
  s.working_folder = dir;
  SelectedPair p;
  p.h = 1;
  p.two_theta_obs = 30;
  p.two_theta_calc = 30.0625f;
  s.selected = {p};
  EXPECT_TRUE(any(reset_selected_reflections(s, m), Changed::Selection));
  EXPECT_TRUE(s.selected.empty());
  EXPECT_EQ(restore_selected_reflections(s, m), Changed::Selection);
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(restore_selected_reflections(s, m), Changed::None);
  fs::remove_all(dir);
}

TEST_F(DiagramCommandsTest, SelectionTabRowsAndMode3) {
  EXPECT_EQ(click_measured_row(s, m, st, 1), Changed::None);  // not in Mode 3: nothing
  EXPECT_EQ(click_calculated_row(s, m, st, 1), Changed::None);
  EXPECT_TRUE(s.selected.empty());
  select_mouse_mode(st, view, MouseMode::Mode3);
  click_measured_row(s, m, st, 2);
  EXPECT_TRUE(any(click_calculated_row(s, m, st, 2), Changed::Selection));
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_EQ(s.selected[0].two_theta_obs, 60.0f);
  EXPECT_EQ(delete_selected_row(s, 2), Changed::None);
  EXPECT_EQ(retype_selected_indices(s, m, 1, "1 0 0"), Changed::Selection | Changed::Results);
  EXPECT_EQ(s.selected[0].two_theta_calc, 30.0625f);
  EXPECT_TRUE(any(delete_selected_row(s, 1), Changed::Selection));
  EXPECT_TRUE(s.selected.empty());
}

TEST_F(DiagramCommandsTest, ZeroOffsetCommand) {
  EXPECT_EQ(modify_zero_offset(s, m, "0.5"), Changed::MeasuredPeaks | Changed::Profile);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 30.5);
  EXPECT_EQ(modify_zero_offset(s, m, "x"), Changed::None);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 30.5);
}

// Profile window: 202 x 220 image over 2θ 10..110, 2 px per degree from x = 3.
struct ProfileCommandsTest : ::testing::Test {
  WorkSession s;
  RecordingMessages m;
  ProfileView view;
  void SetUp() override {
    s.range_min = 10;
    s.range_max = 110;
    s.profile.file_name = "p.raw";
    for (int i = 0; i <= 100; ++i) {
      const float a = 10.0f + i;
      s.profile.points.push_back({a, static_cast<float>(i), a});
    }
    redraw();
  }
  void redraw() {
    RecordingCanvas c(202, 220);
    draw_profile_window(c, s, view, ProfileOverlays{});
  }
  Changed release(MouseButton b, Point press, Point at) {
    profile_mouse_down(view, press);
    return profile_mouse_up(s, m, view, b, at);
  }
};

TEST_F(ProfileCommandsTest, ClickMeasuresRightClickDeletes) {
  EXPECT_EQ(release(MouseButton::Left, {63, 50}, {63, 50}), Changed::MeasuredPeaks);
  ASSERT_EQ(s.measured_count(), 1);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 40.0);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].intensity, 30.0);
  EXPECT_EQ(release(MouseButton::Left, {63, 50}, {64, 50}), Changed::None);  // same place
  EXPECT_EQ(release(MouseButton::Right, {59, 50}, {59, 50}), Changed::None);  // 4 px away
  EXPECT_EQ(release(MouseButton::Right, {60, 50}, {60, 50}), Changed::MeasuredPeaks);
  EXPECT_EQ(s.measured_count(), 0);
  EXPECT_EQ(release(MouseButton::Left, {63, 50}, {63, 230}), Changed::None);  // outside
}

TEST_F(ProfileCommandsTest, ThetaModeClickStoresTwoTheta) {
  s.angle_mode = AngleMode::Theta;  // view 5..55, 4 px per degree
  redraw();
  ASSERT_EQ(release(MouseButton::Left, {63, 50}, {63, 50}), Changed::MeasuredPeaks);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 40.0);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].intensity, 30.0);
}

TEST_F(ProfileCommandsTest, GridDoubleClickOnlyOnRowsWithAPeak) {
  s.measured.peaks = {{20, 20, 1, 1}, {30, 30, 1, 1}};
  EXPECT_EQ(profile_grid_double_click(s, 3), Changed::None);
  EXPECT_EQ(profile_grid_double_click(s, 0), Changed::None);
  EXPECT_EQ(profile_grid_double_click(s, 1), Changed::MeasuredPeaks);
  ASSERT_EQ(s.measured_count(), 1);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 30.0);
}

TEST_F(ProfileCommandsTest, DragZooms) {
  EXPECT_EQ(release(MouseButton::Left, {103, 100}, {43, 150}), Changed::CurrentValues);
  EXPECT_DOUBLE_EQ(s.range_min, 30);
  EXPECT_DOUBLE_EQ(s.range_max, 60);
  EXPECT_DOUBLE_EQ(view.vertical_factor, 2.0);  // 200 / (200 - 100)
}

}  // namespace
}  // namespace vornax

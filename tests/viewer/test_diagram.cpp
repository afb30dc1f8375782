#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>

#include "viewer/diagram.hpp"
#include "viewer/recording_canvas.hpp"

namespace vornax {
namespace {

using testing::RecordingCanvas;

// 212 x 150 image over 2θ 0..100: x = nearest(2a + 5) + 3, axis at y = 100.
WorkSession session_0_100() {
  WorkSession s;
  s.range_min = 0;
  s.range_max = 100;
  s.window_min = 0;
  s.window_max = 100;
  return s;
}

CalculatedReflection refl(int h, int k, int l, double tt) {
  CalculatedReflection r;
  r.h = h;
  r.k = k;
  r.l = l;
  r.two_theta = tt;
  return r;
}

SelectedPair pair(double obs, double calc) {
  SelectedPair p;
  p.h = 1;
  p.two_theta_obs = static_cast<float>(obs);
  p.two_theta_calc = static_cast<float>(calc);
  return p;
}

bool has_line(const std::vector<testing::RecordedLine>& v, int x0, int y0, int x1, int y1) {
  return std::any_of(v.begin(), v.end(), [&](const auto& l) {
    return l.x0 == x0 && l.y0 == y0 && l.x1 == x1 && l.y1 == y1;
  });
}

TEST(DiagramRedraw, NoRangeLeavesOnlyTheFrame) {
  WorkSession s;
  s.measured.peaks.push_back({30, 30, 50, 1});
  s.allowed.push_back(refl(1, 0, 0, 40));
  RecordingCanvas c(212, 150);
  DiagramView v;
  draw_diagram(c, s, v);
  EXPECT_EQ(c.fills.size(), 1u);
  EXPECT_TRUE(c.lines.empty());
  EXPECT_EQ(c.polylines.size(), 1u);  // the border
  EXPECT_FALSE(v.mapping);
}

TEST(DiagramRedraw, BarsTicksAndPairsAtHandComputedPixels) {
  WorkSession s = session_0_100();
  s.allowed = {refl(1, 0, 0, 40), refl(1, 1, 0, 200)};  // the second is past the view
  s.forbidden = {refl(0, 0, 1, 60)};
  s.show_forbidden = true;
  s.measured.peaks.push_back({30, 30, 50, 1});
  s.selected.push_back(pair(30, 40));
  s.cell_file_name = "/data/cells/quartz.cry";
  RecordingCanvas c(212, 150);
  DiagramView v;
  auto cap = draw_diagram(c, s, v);

  // axis and its ticks: 0, 20, ..., 100 at x = 8, 48, ..., 208
  auto black = c.lines_in(colors::kBlack);
  EXPECT_TRUE(has_line(black, 3, 100, 213, 100));  // the axis spans the view -2.5..102.5
  for (int i = 0; i <= 5; ++i) EXPECT_TRUE(has_line(black, 8 + 40 * i, 100, 8 + 40 * i, 105));
  ASSERT_NE(c.find_text("100.0"), nullptr);
  // x - 10 = 198 would run past the right edge (30 px wide): kept whole at 212 - 1 - 30.
  EXPECT_EQ(c.find_text("100.0")->x, 181);
  EXPECT_EQ(c.find_text("100.0")->y, 105);
  ASSERT_NE(c.find_text("20.00"), nullptr);

  // calculated bar at 40 from the axis to the bottom row; nothing for 200
  auto green = c.lines_in(colors::kGreen);
  std::vector<testing::RecordedLine> solid, dotted;
  for (auto& l : green) (l.style == PenStyle::Dot ? dotted : solid).push_back(l);
  ASSERT_EQ(solid.size(), 1u);
  EXPECT_TRUE(has_line(solid, 88, 100, 88, 149));
  ASSERT_EQ(dotted.size(), 1u);
  EXPECT_TRUE(has_line(dotted, 128, 100, 128, 149));

  // measured peak at 30 with intensity 50: grey to the top row, black to y = 50
  EXPECT_TRUE(has_line(c.lines_in(colors::kGrey), 68, 100, 68, 1));
  EXPECT_TRUE(has_line(black, 68, 100, 68, 50));

  // pair 1: number at (x - 4, 15) above, (x - 4, 135) below, blue bars
  auto blue = c.lines_in(colors::kBlue);
  EXPECT_TRUE(has_line(blue, 68, 100, 68, 15));
  EXPECT_TRUE(has_line(blue, 88, 100, 88, 135));
  int numbers = 0;
  for (auto& t : c.texts)
    if (t.text == "1" && t.style.opaque && t.style.background == colors::kYellow) {
      ++numbers;
      EXPECT_TRUE((t.x == 64 && t.y == 15) || (t.x == 84 && t.y == 135));
    }
  EXPECT_EQ(numbers, 2);

  EXPECT_EQ(cap.calculated, "Calculated reflections: quartz.cry");
  EXPECT_EQ(cap.measured, "Measured reflections: ");
  EXPECT_TRUE(cap.unselect_hint);
  EXPECT_TRUE(cap.profile.empty());
}

TEST(DiagramRedraw, CurrentPairIsRedAndThetaModeHalvesAngles) {
  WorkSession s = session_0_100();
  s.angle_mode = AngleMode::Theta;  // view -1.25..51.25, 4 px per degree
  s.measured.peaks.push_back({40, 40, 10, 1});
  s.allowed = {refl(1, 0, 0, 40)};
  s.selected = {pair(40, 40), pair(60, 60)};
  s.highlighted_pair = 2;
  RecordingCanvas c(212, 150);
  DiagramView v;
  draw_diagram(c, s, v);
  EXPECT_TRUE(has_line(c.lines_in(colors::kGrey), 88, 100, 88, 1));
  EXPECT_TRUE(has_line(c.lines_in(colors::kGreen), 88, 100, 88, 149));
  EXPECT_TRUE(has_line(c.lines_in(colors::kBlue), 88, 100, 88, 15));
  EXPECT_TRUE(has_line(c.lines_in(colors::kRed), 128, 100, 128, 15));  // θ 30
  ASSERT_NE(c.find_text("50.00"), nullptr);                            // step 10 up to 50
  EXPECT_EQ(c.find_text("50.00")->x, 212 - 1 - 30);  // at 208 - 10 it would be cut
  ASSERT_NE(c.find_text("40.00"), nullptr);
  EXPECT_EQ(c.find_text("40.00")->x, 168 - 10);  // away from the edge: x - 10
}

TEST(DiagramRedraw, ProfileIsDecimatedPerColumnAndKeepsItsPeaks) {
  WorkSession s = session_0_100();
  s.profile.file_name = "C:\\scans\\big.raw";
  const int n = 2'000'000;
  s.profile.points.resize(n);
  for (int i = 0; i < n; ++i) {
    const float a = static_cast<float>(100.0 * i / (n - 1));
    s.profile.points[static_cast<size_t>(i)] = {a, 10.0f, a};
  }
  s.profile.points[1'234'567].intensity = 90.0f;  // one narrow spike
  RecordingCanvas c(212, 150);
  DiagramView v;
  const auto start = std::chrono::steady_clock::now();
  auto cap = draw_diagram(c, s, v);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(cap.profile, "Observed profile: big.raw");
  ASSERT_EQ(c.polylines.size(), 2u);  // border, profile
  const auto& pts = c.polylines[1];
  EXPECT_LE(pts.size(), 4u * 212u);
  EXPECT_EQ(pts.front(), (Point{8, 90}));
  EXPECT_EQ(pts.back(), (Point{208, 90}));
  // the spike at 2θ 61.73 (x = nearest(128.46) + 3) survives decimation
  EXPECT_NE(std::find(pts.begin(), pts.end(), Point{131, 10}), pts.end());
}

TEST(DiagramRedraw, DifferenceCurveAfterRefinementOnly) {
  WorkSession s = session_0_100();
  SelectedPair a = pair(30, 30), b = pair(60, 60);
  a.two_theta_obs_shifted = 30.03125f;  // residual +0.03125 against 2 × 15
  a.theta_calc_refined = 15.0f;
  b.two_theta_obs_shifted = 59.984375f;  // residual -0.015625
  b.theta_calc_refined = 30.0f;
  s.selected = {a, b};
  RecordingCanvas before(212, 150);
  DiagramView v;
  draw_diagram(before, s, v);
  EXPECT_TRUE(before.lines_in(colors::kFuchsia).empty());

  s.results.refined = true;
  RecordingCanvas c(212, 150);
  draw_diagram(c, s, v);
  // full scale 0.05 over 10 px: +6.25 -> 6 px up, -3.125 -> 3 px down, from y = 125
  auto f = c.lines_in(colors::kFuchsia);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_TRUE(has_line(f, 68, 125, 68, 119));
  EXPECT_TRUE(has_line(f, 128, 125, 128, 128));
  bool legend = false;
  for (auto& t : c.texts) legend |= t.text == "2T obs-calc, full bar 0.050";
  EXPECT_TRUE(legend);

  v.show_difference = false;
  RecordingCanvas hidden(212, 150);
  draw_diagram(hidden, s, v);
  EXPECT_TRUE(hidden.lines_in(colors::kFuchsia).empty());
}

TEST(DiagramRedraw, DifferenceFullScale) {
  struct Case { double largest, full; } cases[] = {
      {0, 0.001}, {0.001, 0.001}, {0.0011, 0.002}, {0.003, 0.005}, {0.02, 0.02},
      {0.021, 0.05}, {0.7, 1}, {3, 5}, {1e300, 5e17},
  };
  for (auto c : cases) {
    const double got = difference_full_scale(c.largest);
    if (c.largest < 1e10) {
      EXPECT_NEAR(got, c.full, c.full * 1e-9) << c.largest;
    } else {
      EXPECT_TRUE(std::isfinite(got));  // the search gives up, it does not loop
    }
  }
}

TEST(Zoom, RightToLeftGivesTheSameRange) {
  for (bool reversed : {false, true}) {
    WorkSession s = session_0_100();
    RecordingCanvas c(212, 150);
    DiagramView v;
    draw_diagram(c, s, v);
    Point p{48, 80}, q{88, 60};
    if (reversed) std::swap(p, q);
    ASSERT_TRUE(zoom_by_drag(s, v, p, q));
    EXPECT_DOUBLE_EQ(s.range_min, 20.0);
    EXPECT_DOUBLE_EQ(s.range_max, 40.0);
    EXPECT_DOUBLE_EQ(v.vertical_factor, 2.5);  // 100 / (100 - 60)
    EXPECT_EQ(v.scale_control, 25);
  }
}

TEST(Zoom, FourPixelsIsAClickFivePixelsZoom) {
  WorkSession s = session_0_100();
  RecordingCanvas c(212, 150);
  DiagramView v;
  draw_diagram(c, s, v);
  EXPECT_FALSE(zoom_by_drag(s, v, {48, 80}, {52, 80}));
  EXPECT_DOUBLE_EQ(s.range_max, 100.0);
  EXPECT_TRUE(zoom_by_drag(s, v, {48, 80}, {53, 80}));
  EXPECT_DOUBLE_EQ(s.range_min, 20.0);
  EXPECT_DOUBLE_EQ(s.range_max, 22.5);
}

TEST(Zoom, ThetaModeStoresTwoTheta) {
  WorkSession s = session_0_100();
  s.angle_mode = AngleMode::Theta;
  RecordingCanvas c(212, 150);
  DiagramView v;
  draw_diagram(c, s, v);
  ASSERT_TRUE(zoom_by_drag(s, v, {88, 10}, {48, 10}));  // θ 10..20
  EXPECT_DOUBLE_EQ(s.range_min, 20.0);
  EXPECT_DOUBLE_EQ(s.range_max, 40.0);
}

TEST(Zoom, RepeatedSmallZoomsStopAtTheNarrowestSpan) {
  WorkSession s = session_0_100();
  DiagramView v;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 60; ++i) {
    RecordingCanvas c(1022, 300);
    draw_diagram(c, s, v);
    ASSERT_TRUE(v.mapping) << i;
    zoom_by_drag(s, v, {500, 0}, {505, 0});
    EXPECT_GE(s.range_max - s.range_min, kMinViewSpan);
    EXPECT_LE(v.vertical_factor, kMaxVerticalFactor);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(Zoom, ResetAndControls) {
  WorkSession s = session_0_100();
  s.window_min = 5;
  s.window_max = 80;
  DiagramView v;
  v.vertical_factor = 7;
  v.scale_control = 70;
  reset_view(s, v);
  EXPECT_DOUBLE_EQ(s.range_min, 5);
  EXPECT_DOUBLE_EQ(s.range_max, 80);
  EXPECT_DOUBLE_EQ(v.vertical_factor, 1);
  EXPECT_EQ(v.scale_control, 10);

  press_scale_control(v, 15);  // the value before the press
  EXPECT_DOUBLE_EQ(v.vertical_factor, 1);
  press_scale_control(v, 10000);  // clamped to 500; s from the 15 before it
  EXPECT_DOUBLE_EQ(v.vertical_factor, 1.5);
  EXPECT_EQ(v.scale_control, 500);

}

TEST(Readout, TwoThetaAndThetaModes) {
  auto m = diagram_mapping(0, 100, AngleMode::TwoTheta, 212, 150, 1);
  ASSERT_TRUE(m);
  EXPECT_EQ(cursor_readout(*m, AngleMode::TwoTheta, 1.5406, 88), "2T=   40.00  d=  2.252");
  auto t = diagram_mapping(0, 100, AngleMode::Theta, 212, 150, 1);
  ASSERT_TRUE(t);
  EXPECT_EQ(cursor_readout(*t, AngleMode::Theta, 1.5406, 88), "T=   20.00  d=  2.252");
  EXPECT_EQ(cursor_readout(*m, AngleMode::TwoTheta, 1.5406, 8), "2T=    0.00  d=  0.000");
}

TEST(HitTest, StrictlyLessThanThePixelTolerance) {
  WorkSession s = session_0_100();
  s.measured.peaks = {{30, 30, 5, 1}, {31, 31, 5, 1}};  // x 68 and 70
  auto m = diagram_mapping(0, 100, AngleMode::TwoTheta, 212, 150, 1);
  ASSERT_TRUE(m);
  EXPECT_EQ(measured_bars_near(*m, s, 71, 4), (std::vector<int>{0, 1}));
  EXPECT_EQ(measured_bars_near(*m, s, 72, 4), (std::vector<int>{1}));
  EXPECT_EQ(measured_bars_near(*m, s, 74, 4), (std::vector<int>{}));
  EXPECT_TRUE(below_axis(*m, 101));
  EXPECT_FALSE(below_axis(*m, 100));
  EXPECT_FALSE(above_axis(*m, 100));
}

TEST(ProfileWindow, PeaksInLineColoursAndTheSecondDerivative) {
  WorkSession s;
  s.range_min = 10;
  s.range_max = 110;
  s.profile.file_name = "p.raw";
  for (int i = 0; i <= 100; ++i) {
    const float a = 10.0f + i;
    s.profile.points.push_back({a, 50.0f, a});
  }
  s.measured.peaks = {{20, 20, 5, 3}, {40, 40, 5, 0}};
  std::vector<double> d(s.profile.points.size(), 0.0);
  ProfileView v;
  RecordingCanvas c(202, 220);  // 2 px per degree, axis at y = 200
  draw_profile_window(c, s, v, ProfileOverlays{&d});
  EXPECT_TRUE(has_line(c.lines_in(colors::kRed), 23, 0, 23, 219));
  EXPECT_TRUE(has_line(c.lines_in(colors::kBlack), 63, 0, 63, 219));
  EXPECT_TRUE(has_line(c.lines_in(colors::kFuchsia), 0, 20, 201, 20));  // 180 above the axis
  ASSERT_EQ(c.polylines.size(), 3u);
  EXPECT_EQ(c.polylines[2].front(), (Point{3, 20}));
  ASSERT_NE(c.find_text("110.0"), nullptr);
  ASSERT_NE(c.find_text(" 20.0"), nullptr);  // one decimal in this window
  ASSERT_NE(c.find_text("2"), nullptr);
  EXPECT_EQ(c.find_text("2")->x, 63);
}

// Every text of the redraw lies whole inside the image, and the difference legend
// clears the axis labels, whatever the range puts a tick near either edge.
TEST(Redraw, TextsStayInsideTheImageAndApart) {
  struct Case {
    double lo, hi;
    AngleMode mode;
    int width;
  };
  const Case cases[] = {
      {20, 80, AngleMode::TwoTheta, 212},  // ticks 20 and 80 at x = 8 and 208
      {0, 100, AngleMode::TwoTheta, 212},
      {10.3, 19.7, AngleMode::TwoTheta, 400},
      {40, 160, AngleMode::Theta, 300},
      {5, 175, AngleMode::TwoTheta, 1000},
  };
  struct Rect {
    int x0, y0, x1, y1;  // x1, y1 one past
    bool intersects(const Rect& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.lo) + ".." + std::to_string(k.hi));
    WorkSession s;
    s.range_min = s.window_min = k.lo;
    s.range_max = s.window_max = k.hi;
    s.angle_mode = k.mode;
    SelectedPair p = pair(k.hi - 1, k.hi - 1.02);
    s.selected = {p};
    s.measured.peaks = {{k.hi - 1, k.hi - 1, 50, 1}};
    s.results.refined = true;
    RecordingCanvas c(k.width, 150);
    DiagramView v;
    draw_diagram(c, s, v);
    ASSERT_TRUE(v.mapping);
    const int label_y = v.mapping->axis_y() + 5;
    std::vector<Rect> labels;
    std::optional<Rect> legend;
    int ticks = 0;
    for (const auto& t : c.texts) {
      // 2 pixels more than the font height for the descent.
      const Rect r{t.x, t.y, t.x + c.text_width(t.text, t.style.height), t.y + t.style.height + 2};
      EXPECT_GE(r.x0, 0) << t.text;
      EXPECT_LE(r.x1, k.width) << t.text;
      EXPECT_GE(r.y0, 0) << t.text;
      EXPECT_LE(r.y1, 150) << t.text;
      if (t.y == label_y) {
        labels.push_back(r);
        ++ticks;
      }
      if (t.style.color == colors::kFuchsia) legend = r;
    }
    EXPECT_GE(ticks, 1);
    ASSERT_TRUE(legend);
    for (const Rect& r : labels) EXPECT_FALSE(legend->intersects(r));
  }
}

}  // namespace
}  // namespace vornax

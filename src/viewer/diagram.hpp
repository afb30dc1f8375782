// The diagram window's drawing and view state: the redraw as calls on a Canvas, zoom by
// dragging, reset, the scale and shift controls, the cursor read-out and the hit tests
// that the mouse commands use. Also the profile window's redraw, on the same mapping.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "viewer/canvas.hpp"
#include "viewer/mapping.hpp"

namespace vornax {

// A release at least this far (pixels, horizontally) from the press is a drag (zoom).
constexpr int kZoomMinDrag = 5;

// The difference curve: baseline this far above the bottom edge, full bar this high.
constexpr int kDifferenceBaselineFromBottom = 25;
constexpr int kDifferenceHalfHeight = 10;
// Its legend, right-aligned at the top of the image (above the pair numbers at y = 15).
constexpr int kDifferenceLegendTop = 3;

struct DiagramView {
  double vertical_factor = 1.0;  // s: 1 at start, set by the scale control or a zoom
  int scale_control = 10;        // what the scale control shows: 10..500, step 5
  int shift_control = 180;       // what the shift control shows (0..360)
  int shift_position = 180;      // last value seen on the shift control (0..360)
  bool dragging = false;
  Point press{};
  bool show_difference = true;   // the difference curve after a refinement
  // A measured peak (2θ) chosen by a first Mode 2 click, drawn as a red line.
  std::optional<double> pending_obs;
  // The mapping of the last redraw; empty while nothing could be drawn.
  std::optional<Mapping> mapping;
};

// The window's labels set by the redraw (empty text: label empty).
struct DiagramCaptions {
  std::string measured;     // top: "Measured reflections: " + peak file
  std::string calculated;   // "Calculated reflections: " + cell file
  std::string profile;      // right: "Observed profile: " + profile file
  bool unselect_hint = false;
};

inline constexpr const char* kUnselectHint =
    "To unselect a reflection, click on the bar with the right button";

// The whole redraw, in order: frame, axis, calculated bars, forbidden bars, profile,
// measured bars, pairs, difference curve. Sets view.mapping.
DiagramCaptions draw_diagram(Canvas& c, const WorkSession& s, DiagramView& view);

// The profile as a polyline decimated per pixel column (first, lowest, highest and last
// point of each column), over the points with lo <= 2θ <= hi. Never more than about
// four points per column, however many points the profile has.
std::vector<Point> profile_polyline(const Mapping& map, const Profile& p, AngleMode mode,
                                    double lo, double hi);

// Nice full scale for the difference curve: the smallest 1, 2 or 5 × 10^k (at least
// 0.001) not below `largest`.
double difference_full_scale(double largest);

// Observed minus calculated 2θ of a pair, from the refined values when they exist.
double pair_residual(const SelectedPair& p);

// Zoom by dragging from `press` to `release` (last redraw's mapping). Returns false,
// changing nothing, for a drag under 5 pixels, without a mapping, or when the new
// range could not be drawn. On success: entered range from the two back-mapped angles
// (ordered, doubled in θ mode), s scaled so that the rectangle's top reaches the top
// of the plot, scale control = nearest(10 s) within its limits.
bool zoom_by_drag(WorkSession& s, DiagramView& view, Point press, Point release);

// "Reset the diagram": entered range := working window, s = 1, scale control 10.
void reset_view(WorkSession& s, DiagramView& view);

// A press took the scale control from what it showed to `value` (clamped to 10..500):
// s = the value before the press / 10, so the drawing follows the control one press
// behind. A press that cannot move the control (at 500) changes nothing.
void press_scale_control(DiagramView& view, int value);

// A press took the shift control from what it showed to `value` (0..360): both ends
// of the entered range move by the value before the press - the last value seen
// (degrees 2θ), which then becomes the last value seen. The first press after start
// moves nothing. False when the range did not move.
bool press_shift_control(WorkSession& s, DiagramView& view, int value);

// "2T=" (or "T=") + angle 8:2 + "  d=" + d 7:3 at pixel column x; empty without mapping.
std::string cursor_readout(const Mapping& map, AngleMode mode, double lambda, int x);

// Click regions relative to the axis (a click exactly on the axis row is neither).
inline bool below_axis(const Mapping& m, int y) { return y > m.height - m.bottom_margin; }
inline bool above_axis(const Mapping& m, int y) { return y < m.height - m.bottom_margin; }

// Indices (0-based, list order) of the bars whose x lies less than `px` pixels from x.
std::vector<int> bars_near(const Mapping& map, AngleMode mode,
                           const std::vector<double>& two_thetas, int x, int px);
std::vector<int> measured_bars_near(const Mapping& map, const WorkSession& s, int x, int px);
std::vector<int> calculated_bars_near(const Mapping& map, const WorkSession& s, int x, int px);
std::vector<int> observed_pair_bars_near(const Mapping& map, const WorkSession& s, int x,
                                         int px);

// The profile window's view.
struct ProfileView {
  double vertical_factor = 1.0;
  bool dragging = false;
  Point press{};
  std::optional<Mapping> mapping;
};

// Pen colour of a measured peak in the profile window by its line code.
Color line_code_color(int code);

// What may be drawn over the profile besides the peaks, each one value per profile
// point (other sizes are not drawn).
struct ProfileOverlays {
  const std::vector<double>* second_derivative = nullptr;
  // The fitted model (NaN outside the fitted windows), drawn over the profile, and the
  // difference profile − model 60 pixels above the axis.
  const std::vector<double>* fitted_curve = nullptr;
  // The Kα2-stripped pattern, drawn over the profile.
  const std::vector<double>* stripped = nullptr;
};

// Colours of the overlays; a fitted peak (one with a standard error) is drawn dotted in
// the fit's colour instead of its line code's.
constexpr Color kFitColor = colors::kOrange;
constexpr Color kDifferenceColor = colors::kGrey;
constexpr Color kStrippedColor = colors::kTeal;
constexpr int kDifferenceLift = 60;  // pixels above the axis

// The profile window's redraw: frame, axis (labels 1 decimal), profile, the overlays
// (the second derivative 180 pixels higher, ±100 scale), measured peaks over the whole
// height with their numbers. Sets view.mapping.
void draw_profile_window(Canvas& c, const WorkSession& s, ProfileView& view,
                         const ProfileOverlays& overlays);

// Zoom in the profile window: as the diagram's, with its 20-pixel band.
bool zoom_profile_by_drag(WorkSession& s, ProfileView& view, Point press, Point release);

}  // namespace vornax

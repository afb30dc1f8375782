// Angle/intensity <-> pixel mapping of the diagram and profile windows.
#pragma once

#include <optional>

#include "core/session.hpp"

namespace vornax {

// Limits that keep the mapping finite whatever range, zoom or image size it is given.
constexpr double kMinViewSpan = 0.001;        // degrees 2θ; narrower ranges are refused
constexpr double kMaxViewSpan = 1.0e6;        // degrees 2θ; wider ranges are refused
constexpr double kMaxVerticalFactor = 1000.0; // the vertical factor s is capped here
constexpr double kMinVerticalFactor = 0.001;
constexpr int kMinImageWidth = 8;             // pixels; below this nothing is drawn
constexpr int kMinPlotHeight = 2;             // pixels above the bottom margin
constexpr int kPixelLimit = 1 << 20;          // mapped coordinates are clamped to ±this

// Diagram window: margins, and the widening of the view on each side.
constexpr int kDiagramLeftMargin = 3;
constexpr int kDiagramBottomMargin = 50;
constexpr double kDiagramWidening = 0.025;
// Profile window: the same mapping, narrower bottom band, no widening.
constexpr int kProfileLeftMargin = 3;
constexpr int kProfileBottomMargin = 20;

// The nearest integer, halves going to the even one, clamped to ±kPixelLimit
// (a non-finite value goes to the limit of its sign; NaN to 0).
int nearest_pixel(double v);

struct Mapping {
  int width = 0, height = 0;  // image size, pixels
  int left_margin = 0, bottom_margin = 0;
  double view_min = 0, view_max = 0;  // display unit (θ or 2θ)
  double scale_x = 0;                 // pixels per degree
  double scale_y = 0;                 // pixels per intensity unit

  int x_of(double angle) const;       // display unit
  int y_of(double intensity) const;
  // y of a bar end drawn by intensity: never above the top row (raised to 1).
  int bar_y_of(double intensity) const;
  double angle_at(int x) const;
  double intensity_at(int y) const;
  int axis_y() const { return y_of(0.0); }
};

// Whether a 2θ range can be drawn: finite, min < max, span in kMinViewSpan..kMaxViewSpan.
bool drawable_range(double two_theta_min, double two_theta_max);

// The diagram window's mapping for the entered range (2θ) in the angle mode: view
// widened by 2.5 % of the span on each side; scale x = (width - 2) / span; scale y =
// (height - 50) × s / 100. Nothing when the range or the image cannot be drawn.
std::optional<Mapping> diagram_mapping(double two_theta_min, double two_theta_max,
                                       AngleMode mode, int width, int height,
                                       double vertical_factor);

// The profile window's mapping: no widening, bottom band of 20 pixels.
std::optional<Mapping> profile_mapping(double two_theta_min, double two_theta_max,
                                       AngleMode mode, int width, int height,
                                       double vertical_factor);

// A stored 2θ in the display unit of the mode, and back.
inline double display_angle(AngleMode mode, double two_theta) {
  return mode == AngleMode::Theta ? 0.5 * two_theta : two_theta;
}
inline double stored_angle(AngleMode mode, double shown) {
  return mode == AngleMode::Theta ? 2.0 * shown : shown;
}

double clamp_vertical_factor(double s);

}  // namespace vornax

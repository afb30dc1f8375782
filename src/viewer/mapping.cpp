#include "viewer/mapping.hpp"

#include <algorithm>
#include <cmath>

namespace vornax {

int nearest_pixel(double v) {
  if (std::isnan(v)) return 0;
  const double lim = kPixelLimit;
  if (v >= lim) return kPixelLimit;
  if (v <= -lim) return -kPixelLimit;
  // The default rounding mode rounds halves to the even integer.
  return static_cast<int>(std::nearbyint(v));
}

int Mapping::x_of(double angle) const {
  return std::clamp(nearest_pixel((angle - view_min) * scale_x) + left_margin, -kPixelLimit,
                    kPixelLimit);
}

int Mapping::y_of(double intensity) const {
  return std::clamp(height - nearest_pixel(intensity * scale_y) - bottom_margin, -kPixelLimit,
                    kPixelLimit);
}

int Mapping::bar_y_of(double intensity) const { return std::max(1, y_of(intensity)); }

double Mapping::angle_at(int x) const { return (x - left_margin) / scale_x + view_min; }

double Mapping::intensity_at(int y) const { return (height - y - bottom_margin) / scale_y; }

bool drawable_range(double lo, double hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return false;
  const double span = hi - lo;
  return std::isfinite(span) && span >= kMinViewSpan && span <= kMaxViewSpan;
}

double clamp_vertical_factor(double s) {
  if (!std::isfinite(s)) return 1.0;
  return std::clamp(s, kMinVerticalFactor, kMaxVerticalFactor);
}

static std::optional<Mapping> make_mapping(double lo, double hi, AngleMode mode, int width,
                                           int height, double s, int left, int bottom,
                                           double widening, double span_factor) {
  if (!drawable_range(lo, hi)) return std::nullopt;
  if (width < kMinImageWidth || width > kPixelLimit) return std::nullopt;
  if (height - bottom < kMinPlotHeight || height > kPixelLimit) return std::nullopt;
  Mapping m;
  m.width = width;
  m.height = height;
  m.left_margin = left;
  m.bottom_margin = bottom;
  double span = display_angle(mode, hi) - display_angle(mode, lo);
  m.view_min = display_angle(mode, lo) - widening * span;
  m.view_max = display_angle(mode, hi) + widening * span;
  span *= span_factor;
  m.scale_x = (width - 2) / span;
  m.scale_y = (height - bottom) * clamp_vertical_factor(s) / 100.0;
  return m;
}

std::optional<Mapping> diagram_mapping(double lo, double hi, AngleMode mode, int width,
                                       int height, double s) {
  return make_mapping(lo, hi, mode, width, height, s, kDiagramLeftMargin, kDiagramBottomMargin,
                      kDiagramWidening, 1.05);
}

std::optional<Mapping> profile_mapping(double lo, double hi, AngleMode mode, int width,
                                       int height, double s) {
  // The profile window keeps its view range in single precision.
  const double flo = static_cast<float>(lo), fhi = static_cast<float>(hi);
  return make_mapping(flo, fhi, mode, width, height, s, kProfileLeftMargin, kProfileBottomMargin,
                      0.0, 1.0);
}

}  // namespace vornax

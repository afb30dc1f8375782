#include "viewer/diagram.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "core/format.hpp"
#include "core/paths.hpp"
#include "viewer/axis.hpp"

namespace vornax {

namespace {

void frame(Canvas& c) {
  c.set_pen(colors::kBlack);
  c.fill_rect(0, 0, c.width(), c.height(), colors::kWhite);
  const int r = c.width() - 1, b = c.height() - 1;
  const Point border[] = {{0, 0}, {r, 0}, {r, b}, {0, b}, {0, 0}};
  c.polyline(border);
}

// Vertical bars under the axis for a calculated list, in list order, stopping at the
// first reflection past the view.
void calculated_bars(Canvas& c, const Mapping& map, AngleMode mode,
                     const CalculatedReflectionList& list) {
  const int y0 = map.axis_y();
  for (const CalculatedReflection& r : list) {
    const double a = display_angle(mode, r.two_theta);
    if (!(a >= map.view_min)) continue;
    if (a > map.view_max) break;
    const int x = map.x_of(a);
    c.line(x, y0, x, map.height - 1);
  }
}

// Decimates the points first..last into per-column runs.
template <typename Value>
std::vector<Point> decimate(const Mapping& map, const Profile& p, AngleMode mode, double lo,
                            double hi, int dy, Value value) {
  std::vector<Point> out;
  const auto& pts = p.points;
  size_t first = pts.size(), last = 0;
  for (size_t k = 0; k < pts.size(); ++k)
    if (pts[k].two_theta >= lo) {
      first = k;
      break;
    }
  for (size_t k = pts.size(); k-- > 0;)
    if (pts[k].two_theta <= hi) {
      last = k;
      break;
    }
  if (first >= pts.size() || last < first) return out;

  auto push = [&out](Point q) {
    if (out.empty() || !(out.back() == q)) out.push_back(q);
  };
  int cx = 0, y_first = 0, y_min = 0, y_max = 0, y_last = 0;
  bool open = false;
  auto flush = [&] {
    if (!open) return;
    push({cx, y_first});
    push({cx, y_min});
    push({cx, y_max});
    push({cx, y_last});
  };
  for (size_t k = first; k <= last; ++k) {
    const int x = map.x_of(display_angle(mode, pts[k].two_theta));
    const int y = std::clamp(map.y_of(value(k)) - dy, -kPixelLimit, kPixelLimit);
    if (!open || x != cx) {
      flush();
      open = true;
      cx = x;
      y_first = y_min = y_max = y_last = y;
    } else {
      y_min = std::min(y_min, y);
      y_max = std::max(y_max, y);
      y_last = y;
    }
  }
  flush();
  return out;
}

std::vector<double> two_thetas_of(const std::vector<MeasuredPeak>& v) {
  std::vector<double> out;
  out.reserve(v.size());
  for (const auto& p : v) out.push_back(p.two_theta);
  return out;
}

}  // namespace

std::vector<Point> profile_polyline(const Mapping& map, const Profile& p, AngleMode mode,
                                    double lo, double hi) {
  return decimate(map, p, mode, lo, hi, 0,
                  [&p](size_t k) { return static_cast<double>(p.points[k].intensity); });
}

double difference_full_scale(double largest) {
  double full = 0.001;
  if (!std::isfinite(largest)) return full;
  for (int guard = 0; full < largest && guard < 60; ++guard) {
    // 1 -> 2 -> 5 -> 10 in each decade
    const double decade = std::pow(10.0, std::floor(std::log10(full) + 1e-9));
    const double mant = full / decade;
    full = (mant < 1.5 ? 2 : mant < 3.5 ? 5 : 10) * decade;
  }
  return full;
}

double pair_residual(const SelectedPair& p) {
  const double obs = p.two_theta_obs_shifted != 0 ? p.two_theta_obs_shifted : p.two_theta_obs;
  const double calc =
      p.theta_calc_refined != 0 ? 2.0 * p.theta_calc_refined : p.two_theta_calc;
  return obs - calc;
}

DiagramCaptions draw_diagram(Canvas& c, const WorkSession& s, DiagramView& view) {
  DiagramCaptions cap;
  view.mapping.reset();
  frame(c);
  if (s.range_max == 0) return cap;
  auto mapped = diagram_mapping(s.range_min, s.range_max, s.angle_mode, c.width(), c.height(),
                                view.vertical_factor);
  if (!mapped) return cap;
  view.mapping = mapped;
  const Mapping& map = *mapped;
  const AngleMode mode = s.angle_mode;
  const int y0 = map.axis_y();

  draw_axis(c, map, map.view_min, map.view_max, 0.0);

  if (!s.allowed.empty()) {
    cap.calculated = s.cell_file_name.empty()
                         ? std::string("Calculated reflections ")
                         : "Calculated reflections: " + file_name_only(s.cell_file_name);
    c.set_pen(colors::kGreen);
    calculated_bars(c, map, mode, s.allowed);
  }
  if (s.show_forbidden && !s.forbidden.empty()) {
    c.set_pen(colors::kGreen, PenStyle::Dot);
    calculated_bars(c, map, mode, s.forbidden);
    c.set_pen(colors::kGreen, PenStyle::Solid);
  }

  if (!s.profile.file_name.empty()) {
    cap.profile = "Observed profile: " + file_name_only(s.profile.file_name);
    c.set_pen(colors::kBlack);
    auto pts = profile_polyline(map, s.profile, mode, s.range_min, s.range_max);
    if (!pts.empty()) c.polyline(pts);
  }

  if (!s.measured.peaks.empty()) {
    cap.measured = "Measured reflections: " + file_name_only(s.measured.file_name);
    for (const MeasuredPeak& p : s.measured.peaks) {
      const int x = map.x_of(display_angle(mode, p.two_theta));
      c.set_pen(colors::kGrey);
      c.line(x, y0, x, 1);
      c.set_pen(colors::kBlack);
      c.line(x, y0, x, map.bar_y_of(p.intensity));
    }
  }

  const int n_pairs = s.selected_count();
  cap.unselect_hint = n_pairs > 0;
  TextStyle number_style;
  number_style.opaque = true;
  number_style.background = colors::kYellow;
  for (int n = 1; n <= n_pairs; ++n) {
    const SelectedPair& p = s.selected[static_cast<size_t>(n - 1)];
    const std::string label = std::to_string(n);
    c.set_pen(n == s.highlighted_pair ? colors::kRed : colors::kBlue);
    const int xo = map.x_of(display_angle(mode, p.two_theta_obs));
    c.text(xo - 4, 15, label, number_style);
    c.line(xo, y0, xo, 15);
    const int xc = map.x_of(display_angle(mode, p.two_theta_calc));
    c.text(xc - 4, map.height - 15, label, number_style);
    c.line(xc, y0, xc, map.height - 15);
  }
  c.set_pen(colors::kBlack);

  if (view.pending_obs) {
    const int x = map.x_of(display_angle(mode, *view.pending_obs));
    c.set_pen(colors::kRed);
    c.line(x, y0, x, 0);
    c.set_pen(colors::kBlack);
  }

  if (view.show_difference && s.results.refined && n_pairs > 0) {
    double largest = 0;
    for (const SelectedPair& p : s.selected)
      largest = std::max(largest, std::fabs(display_angle(mode, pair_residual(p))));
    const double full = difference_full_scale(largest);
    const int yb = map.height - kDifferenceBaselineFromBottom;
    c.set_pen(colors::kGrey, PenStyle::Dot);
    c.line(map.left_margin, yb, map.width - 2, yb);
    c.set_pen(colors::kFuchsia);
    for (const SelectedPair& p : s.selected) {
      const int x = map.x_of(display_angle(mode, p.two_theta_obs));
      const double r = display_angle(mode, pair_residual(p));
      const int len = nearest_pixel(r / full * kDifferenceHalfHeight);
      c.line(x, yb, x, yb - std::clamp(len, -kDifferenceHalfHeight, kDifferenceHalfHeight));
    }
    c.set_pen(colors::kBlack);
    const std::string legend = std::string(mode == AngleMode::Theta ? "T" : "2T") +
                               " obs-calc, full bar " + format_fixed(full, 0, 3);
    // The band under the axis holds the tick labels and the pair numbers: the legend
    // goes to the top right corner, on white over the measured bars there.
    TextStyle legend_style;
    legend_style.color = colors::kFuchsia;
    legend_style.opaque = true;
    c.text(map.width - 4 - c.text_width(legend, legend_style.height), kDifferenceLegendTop,
           legend, legend_style);
  }
  return cap;
}

namespace {

// The dragged rectangle becomes the angle range and the vertical scale of a window:
// both windows zoom the same way. False for a drag too short or a range too narrow.
bool zoom_to_rectangle(WorkSession& s, const std::optional<Mapping>& mapping,
                       double& vertical_factor, Point press, Point release) {
  if (!mapping) return false;
  if (std::abs(release.x - press.x) < kZoomMinDrag) return false;
  const Mapping& map = *mapping;
  double lo = map.angle_at(press.x), hi = map.angle_at(release.x);
  if (lo > hi) std::swap(lo, hi);
  lo = stored_angle(s.angle_mode, lo);
  hi = stored_angle(s.angle_mode, hi);
  if (!drawable_range(lo, hi)) return false;
  s.range_min = lo;
  s.range_max = hi;
  const int plot = map.height - map.bottom_margin;
  const int h = std::max(2, plot - std::min(press.y, release.y));
  vertical_factor = clamp_vertical_factor(plot * vertical_factor / h);
  return true;
}

}  // namespace

bool zoom_by_drag(WorkSession& s, DiagramView& view, Point press, Point release) {
  if (!zoom_to_rectangle(s, view.mapping, view.vertical_factor, press, release)) return false;
  view.scale_control = std::clamp(nearest_pixel(10 * view.vertical_factor), 10, 500);
  view.dragging = false;
  return true;
}

void reset_view(WorkSession& s, DiagramView& view) {
  view.dragging = false;
  s.range_min = s.window_min;
  s.range_max = s.window_max;
  view.vertical_factor = 1.0;
  view.scale_control = 10;
}

void press_scale_control(DiagramView& view, int value) {
  value = std::clamp(value, 10, 500);
  if (value == view.scale_control) return;
  view.vertical_factor = view.scale_control / 10.0;
  view.scale_control = value;
}

bool press_shift_control(WorkSession& s, DiagramView& view, int value) {
  value = std::clamp(value, 0, 360);
  if (value == view.shift_control) return false;
  const int before = view.shift_control;
  const int d = before - view.shift_position;
  s.range_min += d;
  s.range_max += d;
  view.shift_position = before;
  view.shift_control = value;
  return d != 0;
}

std::string cursor_readout(const Mapping& map, AngleMode mode, double lambda, int x) {
  if (map.scale_x == 0) return std::string();
  const double a = map.angle_at(x);
  const double theta =
      mode == AngleMode::Theta ? a * std::numbers::pi / 180.0 : a * std::numbers::pi / 360.0;
  double d = lambda / (2.0 * std::sin(theta));
  if (!std::isfinite(d)) d = 0;
  return std::string(mode == AngleMode::Theta ? "T=" : "2T=") + format_fixed(a, 8, 2) +
         "  d=" + format_fixed(d, 7, 3);
}

std::vector<int> bars_near(const Mapping& map, AngleMode mode,
                           const std::vector<double>& two_thetas, int x, int px) {
  std::vector<int> out;
  for (size_t i = 0; i < two_thetas.size(); ++i)
    if (std::abs(map.x_of(display_angle(mode, two_thetas[i])) - x) < px)
      out.push_back(static_cast<int>(i));
  return out;
}

std::vector<int> measured_bars_near(const Mapping& map, const WorkSession& s, int x, int px) {
  return bars_near(map, s.angle_mode, two_thetas_of(s.measured.peaks), x, px);
}

std::vector<int> calculated_bars_near(const Mapping& map, const WorkSession& s, int x, int px) {
  std::vector<double> a;
  a.reserve(s.allowed.size());
  for (const auto& r : s.allowed) a.push_back(r.two_theta);
  return bars_near(map, s.angle_mode, a, x, px);
}

std::vector<int> observed_pair_bars_near(const Mapping& map, const WorkSession& s, int x,
                                         int px) {
  std::vector<double> a;
  a.reserve(s.selected.size());
  for (const auto& p : s.selected) a.push_back(p.two_theta_obs);
  return bars_near(map, s.angle_mode, a, x, px);
}

Color line_code_color(int code) {
  switch (code) {
    case 2: return colors::kBlue;
    case 3: return colors::kRed;
    case 4: return colors::kGreen;
    case 5: return colors::kPurple;
    default: return colors::kBlack;
  }
}

namespace {

// The runs of finite values of a per-point overlay, each as its own polyline.
template <typename Value>
void draw_finite_runs(Canvas& c, const Mapping& map, const WorkSession& s, int dy,
                      const std::vector<double>& v, Value value) {
  const auto& pts = s.profile.points;
  size_t k = 0;
  while (k < pts.size()) {
    while (k < pts.size() && !std::isfinite(v[k])) ++k;
    if (k >= pts.size()) break;
    const size_t first = k;
    while (k < pts.size() && std::isfinite(v[k])) ++k;
    const double lo = std::max(s.range_min, static_cast<double>(pts[first].two_theta));
    const double hi = std::min(s.range_max, static_cast<double>(pts[k - 1].two_theta));
    if (lo > hi) continue;
    auto line = decimate(map, s.profile, s.angle_mode, lo, hi, dy, value);
    if (!line.empty()) c.polyline(line);
  }
}

}  // namespace

void draw_profile_window(Canvas& c, const WorkSession& s, ProfileView& view,
                         const ProfileOverlays& overlays) {
  const std::vector<double>* second_derivative = overlays.second_derivative;
  view.mapping.reset();
  if (s.range_max == 0) return;
  frame(c);
  if (s.profile.points.empty()) return;
  auto mapped = profile_mapping(s.range_min, s.range_max, s.angle_mode, c.width(), c.height(),
                                view.vertical_factor);
  if (!mapped) return;
  view.mapping = mapped;
  const Mapping& map = *mapped;
  const AngleMode mode = s.angle_mode;
  draw_axis(c, map, map.view_min, map.view_max, 0.0, true);

  if (!s.profile.file_name.empty()) {
    c.set_pen(colors::kBlack);
    auto pts = profile_polyline(map, s.profile, mode, s.range_min, s.range_max);
    if (!pts.empty()) c.polyline(pts);
  }
  if (second_derivative && second_derivative->size() == s.profile.points.size()) {
    constexpr int kLift = 180;
    c.set_pen(colors::kFuchsia);
    const int yz = map.height - kProfileBottomMargin - kLift;
    c.line(0, yz, map.width - 1, yz);
    const auto& d = *second_derivative;
    auto pts = decimate(map, s.profile, mode, s.range_min, s.range_max, kLift,
                        [&d](size_t k) { return d[k]; });
    if (!pts.empty()) c.polyline(pts);
    c.set_pen(colors::kBlack);
  }
  const size_t n_points = s.profile.points.size();
  if (const auto* st = overlays.stripped; st && st->size() == n_points) {
    c.set_pen(kStrippedColor);
    draw_finite_runs(c, map, s, 0, *st, [st](size_t k) { return (*st)[k]; });
  }
  if (const auto* fit = overlays.fitted_curve; fit && fit->size() == n_points) {
    c.set_pen(kFitColor);
    draw_finite_runs(c, map, s, 0, *fit, [fit](size_t k) { return (*fit)[k]; });
    // The difference sits on its own zero line, where no peak of the pattern hides it.
    const int yz = map.axis_y() - kDifferenceLift;
    c.set_pen(kDifferenceColor, PenStyle::Dot);
    c.line(0, yz, map.width - 1, yz);
    c.set_pen(kDifferenceColor);
    draw_finite_runs(c, map, s, kDifferenceLift, *fit, [&s, fit](size_t k) {
      return s.profile.points[k].intensity - (*fit)[k];
    });
  }
  TextStyle number_style;
  for (size_t n = 0; n < s.measured.peaks.size(); ++n) {
    const MeasuredPeak& p = s.measured.peaks[n];
    const int x = map.x_of(display_angle(mode, p.two_theta));
    if (p.sigma > 0) c.set_pen(kFitColor, PenStyle::Dot);
    else c.set_pen(line_code_color(p.line_code));
    c.line(x, 0, x, map.height - 1);
    c.text(x, 5, std::to_string(n + 1), number_style);
  }
  c.set_pen(colors::kBlack);
}

bool zoom_profile_by_drag(WorkSession& s, ProfileView& view, Point press, Point release) {
  if (!zoom_to_rectangle(s, view.mapping, view.vertical_factor, press, release)) return false;
  view.dragging = false;
  return true;
}

}  // namespace vornax

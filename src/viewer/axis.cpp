#include "viewer/axis.hpp"

#include <algorithm>
#include <cmath>

#include "core/format.hpp"

namespace vornax {

double tick_step(double span) {
  double t = 10;
  if (span < 0.1) t = 0.01;
  if (span > 0.5 && span <= 1) t = 0.1;
  if (span > 1 && span <= 10) t = 1;
  if (span > 10 && span <= 50) t = 5;
  if (span > 50 && span <= 100) t = 10;
  if (span > 100) t = 20;
  return t;
}

std::string tick_label(double v, bool one_decimal) {
  return v >= 100 || one_decimal ? format_fixed(v, 5, 1) : format_fixed(v, 5, 2);
}

std::vector<Tick> axis_ticks(double m, double M, bool one_decimal) {
  std::vector<Tick> out;
  if (!std::isfinite(m) || !std::isfinite(M) || M < m) return out;
  const double span = std::fabs(M - m);
  double t = tick_step(span);
  while (span / t > kMaxTicks) t *= 10;
  // Ticks are counted from an integer index so that a step lost in the rounding of a
  // large value (v + t == v) cannot stall the loop.
  double first = std::nearbyint(m / t);
  if (first * t < m) first += 1;
  for (int i = 0; i <= kMaxTicks; ++i) {
    const double v = (first + i) * t;
    if (v > M) break;
    out.push_back({v, tick_label(v, one_decimal)});
  }
  return out;
}

void draw_axis(Canvas& c, const Mapping& map, double m, double M, double b, bool one_decimal) {
  c.set_pen(colors::kBlack);
  const int y = map.bar_y_of(b);
  c.line(map.x_of(m), y, map.x_of(M), y);
  TextStyle style;
  for (const Tick& t : axis_ticks(m, M, one_decimal)) {
    const int x = map.x_of(t.value);
    c.line(x, y, x, y + 5);
    // A label under a tick near either end is kept whole inside the image.
    const int w = c.text_width(t.label, style.height);
    c.text(std::max(1, std::min(x - 10, c.width() - 1 - w)), y + 5, t.label, style);
  }
}

}  // namespace vornax

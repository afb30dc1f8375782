// The angle axis: its tick step, tick positions and labels.
#pragma once

#include <string>
#include <vector>

#include "viewer/canvas.hpp"
#include "viewer/mapping.hpp"

namespace vornax {

// At most this many ticks are drawn; a wider range takes a coarser step (× 10 each time).
constexpr int kMaxTicks = 500;

// The step for a displayed span (table: 10 by default, 0.01 below 0.1, 0.1 up to 1,
// 1 up to 10, 5 up to 50, 10 up to 100, 20 above; 0.1..0.5 keeps 10).
double tick_step(double span);

struct Tick {
  double value = 0;
  std::string label;  // 5 wide, 1 decimal from 100 on, else 2 decimals
};

// The ticks between m and M (inclusive) for the step of |M - m|, at most kMaxTicks.
std::vector<Tick> axis_ticks(double m, double M, bool one_decimal = false);

// "100.0" from 100 on, "95.00" below; the profile window writes 1 decimal always.
std::string tick_label(double value, bool one_decimal = false);

// Axis line from m to M at intensity b, a 5-pixel tick under each tick value and its
// label at (x - 10, y + 5), black, font height 8.
void draw_axis(Canvas& c, const Mapping& map, double m, double M, double b,
               bool one_decimal = false);

}  // namespace vornax

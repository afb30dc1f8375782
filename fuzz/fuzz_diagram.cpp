// The diagram redraw and zoom with any range, vertical factor, image size and drag:
// nothing may overflow, divide by zero or loop.
#include <cstdint>

#include "fuzz_support.hpp"
#include "viewer/diagram.hpp"

namespace {

using vornax::fuzz::take;

struct NullCanvas : vornax::Canvas {
  int w, h;
  NullCanvas(int w_, int h_) : w(w_), h(h_) {}
  int width() const override { return w; }
  int height() const override { return h; }
  void set_pen(vornax::Color, vornax::PenStyle) override {}
  void fill_rect(int, int, int, int, vornax::Color) override {}
  void line(int, int, int, int) override {}
  void polyline(std::span<const vornax::Point>) override {}
  void text(int, int, std::string_view, const vornax::TextStyle&) override {}
  int text_width(std::string_view t, int) const override { return static_cast<int>(t.size()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  size_t n = size;
  vornax::WorkSession s;
  s.range_min = take<double>(p, n);
  s.range_max = take<double>(p, n);
  s.angle_mode = take<uint8_t>(p, n) & 1 ? vornax::AngleMode::Theta : vornax::AngleMode::TwoTheta;
  vornax::DiagramView v;
  v.vertical_factor = take<double>(p, n);
  const int w = take<uint16_t>(p, n) % 2048, h = take<uint16_t>(p, n) % 2048;
  const vornax::Point a{take<int16_t>(p, n), take<int16_t>(p, n)};
  const vornax::Point b{take<int16_t>(p, n), take<int16_t>(p, n)};
  while (n >= 3 * sizeof(float)) {
    const float t = take<float>(p, n), i = take<float>(p, n), c = take<float>(p, n);
    s.measured.peaks.push_back({t, t, i, 1});
    s.profile.points.push_back({t, i, t});
    vornax::CalculatedReflection r;
    r.two_theta = c;
    s.allowed.push_back(r);
    vornax::SelectedPair sp;
    sp.two_theta_obs = t;
    sp.two_theta_calc = c;
    s.selected.push_back(sp);
  }
  s.profile.file_name = "p";
  s.results.refined = true;
  NullCanvas canvas(w, h);
  vornax::draw_diagram(canvas, s, v);
  vornax::zoom_by_drag(s, v, a, b);
  vornax::draw_diagram(canvas, s, v);
  if (v.mapping) (void)vornax::cursor_readout(*v.mapping, s.angle_mode, 1.54, a.x);
  return 0;
}

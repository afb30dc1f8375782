// A canvas that records every call, for checking drawings pixel by pixel.
#pragma once

#include <string>
#include <vector>

#include "viewer/canvas.hpp"

namespace vornax::testing {

struct RecordedLine {
  int x0, y0, x1, y1;
  Color color;
  PenStyle style;
};

struct RecordedText {
  int x, y;
  std::string text;
  TextStyle style;
};

class RecordingCanvas : public Canvas {
 public:
  RecordingCanvas(int w, int h) : w_(w), h_(h) {}
  int width() const override { return w_; }
  int height() const override { return h_; }
  void set_pen(Color c, PenStyle s) override {
    pen_ = c;
    style_ = s;
  }
  void fill_rect(int x0, int y0, int x1, int y1, Color fill) override {
    fills.push_back({x0, y0, x1, y1, fill, PenStyle::Solid});
  }
  void line(int x0, int y0, int x1, int y1) override {
    lines.push_back({x0, y0, x1, y1, pen_, style_});
  }
  void polyline(std::span<const Point> pts) override {
    polylines.emplace_back(pts.begin(), pts.end());
    polyline_colors.push_back(pen_);
  }
  void text(int x, int y, std::string_view t, const TextStyle& s) override {
    texts.push_back({x, y, std::string(t), s});
  }
  int text_width(std::string_view t, int) const override { return 6 * static_cast<int>(t.size()); }

  std::vector<RecordedLine> lines_in(Color c) const {
    std::vector<RecordedLine> out;
    for (const auto& l : lines)
      if (l.color == c) out.push_back(l);
    return out;
  }
  const RecordedText* find_text(const std::string& t) const {
    for (const auto& r : texts)
      if (r.text == t) return &r;
    return nullptr;
  }
  size_t call_count() const { return fills.size() + lines.size() + polylines.size() + texts.size(); }

  std::vector<RecordedLine> fills;
  std::vector<RecordedLine> lines;
  std::vector<std::vector<Point>> polylines;
  std::vector<Color> polyline_colors;
  std::vector<RecordedText> texts;

 private:
  int w_, h_;
  Color pen_ = colors::kBlack;
  PenStyle style_ = PenStyle::Solid;
};

}  // namespace vornax::testing

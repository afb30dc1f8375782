// The drawing surface of the diagram and profile windows (and of `vornax-cli plot`):
// the viewer's redraws painted with QPainter, either on an in-memory image (the
// windows, PNG) or on a vector device such as an SVG generator or a PDF writer. The
// image is the window's own; the clipboard is never used to keep it.
#pragma once

#include <QImage>
#include <QPainter>

#include <optional>

#include "viewer/canvas.hpp"

namespace vornax {

class QtCanvas : public Canvas {
 public:
  // Paints on `image`, which must outlive the canvas; `font_family` names the font of
  // the texts (empty: the application's font).
  explicit QtCanvas(QImage& image, const QString& font_family = {});

  // Paints through `painter`, already begun on its device, which stays the caller's:
  // the canvas is width x height pixels at the painter's origin.
  QtCanvas(QPainter& painter, int width, int height, const QString& font_family = {});

  int width() const override;
  int height() const override;
  void set_pen(Color color, PenStyle style = PenStyle::Solid) override;
  void fill_rect(int x0, int y0, int x1, int y1, Color fill) override;
  void line(int x0, int y0, int x1, int y1) override;
  void polyline(std::span<const Point> points) override;
  void text(int x, int y, std::string_view text, const TextStyle& style) override;
  int text_width(std::string_view text, int height) const override;

 private:
  QFont font_for(int height) const;
  QPointF at(int x, int y) const;

  std::optional<QPainter> own_;  // the image's painter, when the canvas made it
  QPainter& painter_;
  int width_, height_;
  QString family_;
  // On a vector device a 1-pixel line is centred on its coordinates, so lines are
  // moved to the pixel centres to cover exactly the pixels the image would show.
  double centre_ = 0;
};

// A new white image of the given size, in the format the windows paint on.
QImage blank_diagram_image(int width, int height);

}  // namespace vornax

// The drawing surface of the diagram and profile windows (and of `vornax-cli plot`):
// the viewer's redraws painted with QPainter on an in-memory image. The image is the
// window's own; the clipboard is never used to keep it.
#pragma once

#include <QImage>
#include <QPainter>

#include "viewer/canvas.hpp"

namespace vornax {

class QtCanvas : public Canvas {
 public:
  // Paints on `image`, which must outlive the canvas; `font_family` names the font of
  // the texts (empty: the application's font).
  explicit QtCanvas(QImage& image, const QString& font_family = {});

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

  QImage& image_;
  QPainter painter_;
  QString family_;
};

// A new white image of the given size, in the format the windows paint on.
QImage blank_diagram_image(int width, int height);

}  // namespace vornax

#include "draw/qt_canvas.hpp"

#include <QFontMetrics>
#include <QPen>
#include <QVector>

#include <algorithm>

namespace vornax {

namespace {

QColor qcolor(Color c) { return QColor(c.r, c.g, c.b); }

}  // namespace

QtCanvas::QtCanvas(QImage& image, const QString& font_family)
    : image_(image), painter_(&image), family_(font_family) {
  // Pixel-exact lines, as the positions the viewer computes are pixels.
  painter_.setRenderHint(QPainter::Antialiasing, false);
  set_pen(colors::kBlack);
}

int QtCanvas::width() const { return image_.width(); }
int QtCanvas::height() const { return image_.height(); }

void QtCanvas::set_pen(Color color, PenStyle style) {
  QPen pen(qcolor(color), 1, style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
  pen.setCapStyle(Qt::SquareCap);  // both end pixels belong to the line
  painter_.setPen(pen);
}

void QtCanvas::fill_rect(int x0, int y0, int x1, int y1, Color fill) {
  if (x1 <= x0 || y1 <= y0) return;
  painter_.fillRect(QRect(x0, y0, x1 - x0, y1 - y0), qcolor(fill));
}

void QtCanvas::line(int x0, int y0, int x1, int y1) {
  if (x0 == x1 && y0 == y1) {
    painter_.drawPoint(x0, y0);
    return;
  }
  painter_.drawLine(x0, y0, x1, y1);
}

void QtCanvas::polyline(std::span<const Point> points) {
  if (points.empty()) return;
  QVector<QPoint> q;
  q.reserve(static_cast<int>(points.size()));
  for (const Point& p : points) q.append(QPoint(p.x, p.y));
  painter_.drawPolyline(q.constData(), static_cast<int>(q.size()));
}

QFont QtCanvas::font_for(int height) const {
  QFont f = family_.isEmpty() ? painter_.font() : QFont(family_);
  f.setPixelSize(std::max(1, height));
  return f;
}

void QtCanvas::text(int x, int y, std::string_view text, const TextStyle& style) {
  const QString s = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
  const QFont f = font_for(style.height);
  const QFontMetrics fm(f);
  if (style.opaque)
    painter_.fillRect(QRect(x, y, fm.horizontalAdvance(s), fm.height()), qcolor(style.background));
  const QPen keep = painter_.pen();
  painter_.setFont(f);
  painter_.setPen(qcolor(style.color));
  painter_.drawText(QPoint(x, y + fm.ascent()), s);
  painter_.setPen(keep);
}

int QtCanvas::text_width(std::string_view text, int height) const {
  const QFontMetrics fm(font_for(height));
  return fm.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

QImage blank_diagram_image(int width, int height) {
  QImage image(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

}  // namespace vornax

#include "draw/qt_canvas.hpp"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPen>
#include <QVector>

#include <algorithm>

namespace vornax {

namespace {

QColor qcolor(Color c) { return QColor(c.r, c.g, c.b); }

}  // namespace

QtCanvas::QtCanvas(QImage& image, const QString& font_family)
    : own_(std::in_place, &image),
      painter_(*own_),
      width_(image.width()),
      height_(image.height()),
      family_(font_family) {
  // Pixel-exact lines, as the positions the viewer computes are pixels.
  painter_.setRenderHint(QPainter::Antialiasing, false);
  set_pen(colors::kBlack);
}

QtCanvas::QtCanvas(QPainter& painter, int width, int height, const QString& font_family)
    : painter_(painter), width_(width), height_(height), family_(font_family) {
  const QPaintEngine* engine = painter_.paintEngine();
  if (engine && engine->type() != QPaintEngine::Raster) centre_ = 0.5;
  painter_.setRenderHint(QPainter::Antialiasing, false);
  set_pen(colors::kBlack);
}

int QtCanvas::width() const { return width_; }
int QtCanvas::height() const { return height_; }

QPointF QtCanvas::at(int x, int y) const { return QPointF(x + centre_, y + centre_); }

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
  // The image keeps the integer calls, whose pixels the window tests check exactly.
  if (x0 == x1 && y0 == y1) {
    if (centre_ == 0) painter_.drawPoint(x0, y0);
    else painter_.drawPoint(at(x0, y0));
    return;
  }
  if (centre_ == 0) painter_.drawLine(x0, y0, x1, y1);
  else painter_.drawLine(at(x0, y0), at(x1, y1));
}

void QtCanvas::polyline(std::span<const Point> points) {
  if (points.empty()) return;
  const auto draw = [&](auto make) {
    QVector<decltype(make(points[0]))> q;
    q.reserve(static_cast<int>(points.size()));
    for (const Point& p : points) q.append(make(p));
    painter_.drawPolyline(q.constData(), static_cast<int>(q.size()));
  };
  if (centre_ == 0) draw([](Point p) { return QPoint(p.x, p.y); });
  else draw([this](Point p) { return at(p.x, p.y); });
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

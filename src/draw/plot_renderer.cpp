// The module behind `vornax-cli plot` (see plot_renderer.hpp): the one place where the
// command line meets Qt. PNG is the image the windows show; SVG and PDF are painted
// with the same calls straight on the vector device, so curves, bars and texts stay
// paths and texts at any zoom. Each picture is made in memory and then written through
// a temporary file, so that a failed write (a full disk) leaves any old picture whole.
#include "draw/plot_renderer.hpp"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#ifdef VORNAX_HAVE_SVG
#include <QSvgGenerator>
#endif

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/replace_file.hpp"
#include "draw/qt_canvas.hpp"

namespace vornax {

namespace {

// Painting is the request's function; the painter must be begun on `device`.
bool paint_on(QPaintDevice& device, const PlotRequest& r) {
  QPainter p;
  if (!p.begin(&device)) return false;
  {
    QtCanvas canvas(p, r.width, r.height);
    r.paint(canvas, r.context);
  }
  return p.end();
}

bool write_png(const PlotRequest& r, QBuffer& out) {
  QImage image = blank_diagram_image(r.width, r.height);
  if (image.isNull()) return false;  // no memory for the picture
  {
    QtCanvas canvas(image);
    r.paint(canvas, r.context);
  }
  return image.save(&out, "PNG");
}

bool write_pdf(const PlotRequest& r, QBuffer& out) {
  // One page the size of the picture at 96 dpi, so one unit of the painter is a pixel.
  QPdfWriter pdf(&out);
  pdf.setResolution(96);
  pdf.setTitle("VORNAX diagram");
  pdf.setPageSize(QPageSize(QSizeF(r.width / 96.0 * 25.4, r.height / 96.0 * 25.4),
                            QPageSize::Millimeter));
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  return paint_on(pdf, r);
}

std::optional<std::string> write_svg(const PlotRequest& r, QBuffer& out) {
#ifdef VORNAX_HAVE_SVG
  QSvgGenerator svg;
  svg.setOutputDevice(&out);
  svg.setResolution(96);
  svg.setSize(QSize(r.width, r.height));
  svg.setViewBox(QRect(0, 0, r.width, r.height));
  svg.setTitle("VORNAX diagram");
  if (paint_on(svg, r)) return std::nullopt;
  return std::string("cannot write ") + r.path;
#else
  (void)r;
  (void)out;
  return std::string("this renderer was built without SVG support (Qt Svg); write .png or .pdf");
#endif
}

std::optional<std::string> render(const PlotRequest& r) {
  // Fonts need an application object; no display is needed, and the platform is chosen
  // before the object exists, which is when Qt reads it.
  std::optional<QGuiApplication> app;
  if (!QGuiApplication::instance()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vornax-cli";
    static char* argv[] = {name, nullptr};
    app.emplace(argc, argv);
  }
  const std::string cannot = std::string("cannot write ") + r.path;
  QByteArray bytes;
  QBuffer out(&bytes);
  if (!out.open(QIODevice::WriteOnly)) return cannot;
  std::optional<std::string> failed;
  switch (r.kind) {
    case PlotKind::Png:
      if (!write_png(r, out)) failed = cannot;
      break;
    case PlotKind::Pdf:
      if (!write_pdf(r, out)) failed = cannot;
      break;
    case PlotKind::Svg: failed = write_svg(r, out); break;
  }
  out.close();
  if (failed) return failed;
  if (bytes.isEmpty()) return cannot;
  return replace_file_contents(std::filesystem::path(r.path),
                               std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

void copy_message(const std::string& text, char* error, std::size_t size) {
  if (!error || size == 0) return;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

}  // namespace

}  // namespace vornax

extern "C" __attribute__((visibility("default"))) bool vornax_render_plot(
    const vornax::PlotRequest* request, char* error, std::size_t error_size) {
  using vornax::copy_message;
  if (!request || request->version != vornax::kPlotRendererVersion) {
    copy_message("the picture renderer does not match this vornax-cli; rebuild both", error,
                 error_size);
    return false;
  }
  if (!request->path || !request->paint || request->width < 1 || request->height < 1) {
    copy_message("incomplete picture request", error, error_size);
    return false;
  }
  try {
    const auto failed = vornax::render(*request);
    if (failed) copy_message(*failed, error, error_size);
    return !failed;
  } catch (const std::exception& e) {
    copy_message(e.what(), error, error_size);
  } catch (...) {
    copy_message("the picture could not be drawn", error, error_size);
  }
  return false;
}

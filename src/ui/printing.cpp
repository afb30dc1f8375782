#include "ui/printing.hpp"

#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>

namespace vornax {

void set_up_printer(QPrinter& printer, const QString& document_name) {
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setDocName(document_name);
}

bool paint_image_on_printer(QPrinter& printer, const QImage& image) {
  if (image.isNull()) return false;
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect page = painter.viewport();
  QSize size = image.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.setViewport(page.x() + (page.width() - size.width()) / 2, page.y(), size.width(),
                      size.height());
  painter.setWindow(image.rect());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(0, 0, image);
  return painter.end();
}

bool print_window_image(QWidget* window, QWidget* dialog_parent) {
  if (window == nullptr) return false;
  // Grab first, so that the print dialog does not end up in the picture.
  const QImage image = window->grab().toImage();
  QPrinter printer(QPrinter::HighResolution);
  set_up_printer(printer, window->windowTitle());
  QPrintDialog dialog(&printer, dialog_parent);
  dialog.setWindowTitle(QObject::tr("Print screen"));
  if (dialog.exec() != QDialog::Accepted) return false;
  return paint_image_on_printer(printer, image);
}

}  // namespace vornax

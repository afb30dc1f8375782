#include "ui/printing.hpp"

#include <QDir>
#include <QFileInfo>
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

QString print_file_name(const QString& folder, const QString& title) {
  QString name = title.trimmed();
  // Slashes (a date in the title) would name folders; the others are refused by some
  // file systems. Control characters and a leading dot are no better.
  for (QChar& ch : name)
    if (QStringLiteral("/\\:*?\"<>|").contains(ch) || ch.unicode() < 32) ch = u'-';
  while (name.startsWith(u'.')) name.remove(0, 1);
  if (name.isEmpty()) name = QStringLiteral("screen");
  const QString dir = folder.isEmpty() ? QDir::currentPath() : folder;
  return QDir(dir).filePath(name + QStringLiteral(".pdf"));
}

bool choose_printer(QPrinter& printer, QWidget* dialog_parent, const QString& folder,
                    const QString& title, const QString& dialog_title) {
  const QString file = print_file_name(folder, title);
  // The dialog builds its proposed file from the document name; both are given a name
  // that can be written.
  set_up_printer(printer, QFileInfo(file).fileName());
  printer.setOutputFileName(file);
  QPrintDialog dialog(&printer, dialog_parent);
  if (!dialog_title.isEmpty()) dialog.setWindowTitle(dialog_title);
  return dialog.exec() == QDialog::Accepted;
}

bool print_image(const QImage& image, QWidget* dialog_parent, const QString& folder,
                 const QString& title) {
  QPrinter printer(QPrinter::HighResolution);
  if (!choose_printer(printer, dialog_parent, folder, title, QObject::tr("Print screen")))
    return false;
  return paint_image_on_printer(printer, image);
}

bool print_window_image(QWidget* window, QWidget* dialog_parent, const QString& folder) {
  if (window == nullptr) return false;
  // Grab first, so that the print dialog does not end up in the picture.
  return print_image(window->grab().toImage(), dialog_parent, folder, window->windowTitle());
}

}  // namespace vornax

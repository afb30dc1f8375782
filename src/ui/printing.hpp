// Printing for the windows: a window image on one landscape page, and the Qt print
// dialog around it. The dialog offers the system printers and "Print to File (PDF)".
#pragma once

#include <QImage>
#include <QString>

class QPrinter;
class QWidget;

namespace vornax {

// Draws `image` on one page of `printer`, scaled to fit, aspect kept, centred at the top.
// Returns false when the printer could not start (no page was printed).
bool paint_image_on_printer(QPrinter& printer, const QImage& image);

// Grabs `window` and asks through the print dialog where to print it, in landscape.
// Returns true when a page was printed.
bool print_window_image(QWidget* window, QWidget* dialog_parent);

// A printer set up the way the program prints: high resolution, landscape.
void set_up_printer(QPrinter& printer, const QString& document_name);

}  // namespace vornax

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

// The file the print dialog proposes for a window image printed to PDF: the window
// title made a valid file name (characters a file name cannot hold become '-'), with
// ".pdf", in `folder`.
QString print_file_name(const QString& folder, const QString& title);

// Sets `printer` up the way the program prints and asks through the print dialog where
// to print, proposing print_file_name(folder, title) for a print to PDF. True on OK.
bool choose_printer(QPrinter& printer, QWidget* dialog_parent, const QString& folder,
                    const QString& title, const QString& dialog_title = QString());

// Asks through the print dialog where to print `image`, in landscape; a print to PDF is
// proposed under print_file_name(folder, title). True when a page was printed.
bool print_image(const QImage& image, QWidget* dialog_parent, const QString& folder,
                 const QString& title);

// Grabs `window` and asks through the print dialog where to print it, in landscape; a
// print to PDF is proposed under print_file_name(folder, title).
// Returns true when a page was printed.
bool print_window_image(QWidget* window, QWidget* dialog_parent, const QString& folder);

// A printer set up the way the program prints: high resolution, landscape.
void set_up_printer(QPrinter& printer, const QString& document_name);

}  // namespace vornax

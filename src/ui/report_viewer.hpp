// The one window every report of the program is shown in (indx.out, vornax.out, ...):
// read-only, fixed-pitch font, with Print (landscape; the print dialog also writes PDF)
// and Save As.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include "core/messages.hpp"

class QPlainTextEdit;
class QPrinter;
class QPushButton;

namespace vornax {

class ReportViewer : public QWidget {
  Q_OBJECT
 public:
  explicit ReportViewer(Messages& m, QWidget* parent = nullptr);

  // Loads the report (Windows-1252 text, any line ends) and shows the window in front;
  // `appendix` lines are shown below it, after an empty line (the file is not changed).
  // A file that cannot be read gives the system's message; returns false then.
  bool open_report(const QString& path, const QStringList& appendix = {});
  // The same without showing the window (tests, screenshots).
  bool load_report(const QString& path, const QStringList& appendix = {});

  // The folder the print dialog proposes for a print to PDF (the working folder).
  void set_print_folder(const QString& folder) { print_folder_ = folder; }

  // Writes the text shown, as the program writes its text files (CR LF, Windows-1252).
  bool save_to(const QString& path);
  // Prints the text shown on `printer` (set up by the caller or by print_report).
  void print_on(QPrinter& printer);

  QString text() const;
  QString path() const { return path_; }
  QPlainTextEdit* editor() const { return text_; }

 public slots:
  void print_report();  // "Print": print dialog, landscape
  void save_as();       // "Save As": save dialog

 private:
  Messages& m_;
  QPlainTextEdit* text_ = nullptr;
  QPushButton* print_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* close_ = nullptr;
  QString path_;
  QString print_folder_;
};

}  // namespace vornax

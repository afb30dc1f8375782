#include "ui/report_viewer.hpp"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "core/text_file.hpp"
#include "ui/printing.hpp"

namespace vornax {

ReportViewer::ReportViewer(Messages& m, QWidget* parent) : QWidget(parent, Qt::Window), m_(m) {
  setObjectName("report_viewer");
  setWindowTitle(tr("Report"));
  resize(760, 560);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("text_report");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setStyleHint(QFont::Monospace);
  text_->setFont(fixed);

  print_ = new QPushButton(tr("Print"), this);
  print_->setObjectName("button_print");
  print_->setToolTip(tr("Print the report (landscape; PDF through the print dialog)"));
  save_ = new QPushButton(tr("Save As"), this);
  save_->setObjectName("button_save_as");
  save_->setToolTip(tr("Save the report under another name"));
  close_ = new QPushButton(tr("Close"), this);
  close_->setObjectName("button_close");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(print_);
  buttons->addWidget(save_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(buttons);

  connect(print_, &QPushButton::clicked, this, &ReportViewer::print_report);
  connect(save_, &QPushButton::clicked, this, &ReportViewer::save_as);
  connect(close_, &QPushButton::clicked, this, &QWidget::hide);
  // The keys a viewer answers to: Esc closes it, Ctrl+P prints.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::hide);
  auto* print = new QShortcut(QKeySequence::Print, this);
  connect(print, &QShortcut::activated, this, &ReportViewer::print_report);
}

bool ReportViewer::load_report(const QString& path, const QStringList& appendix) {
  std::vector<std::string> lines;
  try {
    lines = read_text_lines(std::filesystem::path(path.toStdString()));
  } catch (const FileError& e) {
    m_.error(e.what());
    return false;
  }
  QStringList all;
  all.reserve(static_cast<qsizetype>(lines.size()));
  for (const auto& l : lines) all << QString::fromStdString(l);
  if (!appendix.isEmpty()) all << QString() << appendix;
  text_->setPlainText(all.join('\n'));
  path_ = path;
  setWindowTitle(tr("Report - %1").arg(QFileInfo(path).fileName()));
  return true;
}

bool ReportViewer::open_report(const QString& path, const QStringList& appendix) {
  if (!load_report(path, appendix)) return false;
  show();
  raise();
  activateWindow();
  return true;
}

QString ReportViewer::text() const { return text_->toPlainText(); }

bool ReportViewer::save_to(const QString& path) {
  TextFile out;
  for (const QString& line : text_->toPlainText().split('\n')) out.add(line.toStdString());
  try {
    out.save(std::filesystem::path(path.toStdString()));
  } catch (const FileError& e) {
    m_.error(e.what());
    return false;
  }
  return true;
}

void ReportViewer::print_on(QPrinter& printer) { text_->print(&printer); }

void ReportViewer::print_report() {
  QPrinter printer(QPrinter::HighResolution);
  // A print to PDF is proposed in the working folder, beside the report, rather than
  // in the home folder the dialog would otherwise choose.
  if (choose_printer(printer, this, print_folder_, QFileInfo(path_).completeBaseName()))
    print_on(printer);
}

void ReportViewer::save_as() {
  // The file dialog itself asks before replacing an existing file.
  const QString suggested = QFileInfo(path_).fileName();
  const QString name = QFileDialog::getSaveFileName(
      this, tr("Save As"), suggested, tr("Reports (*.out *.txt);;All files (*)"));
  if (!name.isEmpty()) save_to(name);
}

}  // namespace vornax

#include "ui/qt_messages.hpp"

#include <QApplication>
#include <QMessageBox>

namespace vornax {

static QString q(std::string_view t) { return QString::fromUtf8(t.data(), qsizetype(t.size())); }

// A message shown during a long command (hourglass cursor) gets the normal cursor,
// and the hourglass comes back when the box closes.
struct NormalCursor {
  bool busy = QApplication::overrideCursor() != nullptr;
  NormalCursor() {
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~NormalCursor() {
    if (busy) QApplication::restoreOverrideCursor();
  }
};

static void show_box(QWidget* parent, QMessageBox::Icon icon, std::string_view text) {
  NormalCursor cursor;
  QMessageBox box(icon, QApplication::applicationName(), q(text), QMessageBox::Ok, parent);
  box.exec();
}

void QtMessages::error(std::string_view text) { show_box(parent_, QMessageBox::Critical, text); }
void QtMessages::warning(std::string_view text) { show_box(parent_, QMessageBox::Warning, text); }
void QtMessages::info(std::string_view text) { show_box(parent_, QMessageBox::Information, text); }

Answer QtMessages::ask(std::string_view text) {
  NormalCursor cursor;
  auto r = QMessageBox::question(parent_, QApplication::applicationName(), q(text),
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (r == QMessageBox::Yes) return Answer::Yes;
  if (r == QMessageBox::No) return Answer::No;
  return Answer::Cancel;
}

void QtMessages::beep() { QApplication::beep(); }

}  // namespace vornax

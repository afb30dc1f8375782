// The window "Transfert to Excel": the refinement results as tab-separated text
// (Excel.txt, rebuilt from vornax.out), to be copied into a spreadsheet.
#pragma once

#include <QWidget>

#include "core/messages.hpp"
#include "core/session.hpp"

class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace vornax {

class Tfexcel : public QWidget {
  Q_OBJECT
 public:
  Tfexcel(WorkSession& s, Messages& m, QWidget* parent = nullptr);

  // Rebuilds Excel.txt and shows it ("No results" without a report). Runs each time
  // the window is shown and when an item of "List" is chosen.
  void refresh();
  // "Copy": the selected text (all of it when nothing is selected) to the clipboard.
  void copy_to_clipboard();

  QPlainTextEdit* text_area() const { return text_; }
  QRadioButton* short_button() const { return short_; }
  QRadioButton* long_button() const { return long_; }
  QPushButton* copy_button() const { return copy_; }
  QPushButton* cancel_button() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  WorkSession& s_;
  Messages& m_;
  QPlainTextEdit* text_ = nullptr;
  QRadioButton* short_ = nullptr;
  QRadioButton* long_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace vornax

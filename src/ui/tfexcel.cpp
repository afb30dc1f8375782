#include "ui/tfexcel.hpp"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"

namespace vornax {

Tfexcel::Tfexcel(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), m_(m) {
  setObjectName("Tfexcel");
  setWindowTitle("Transfert to Excel");
  resize(720, 420);

  auto* note = new QLabel(
      "Select the text to be transfered to Excel ,  copy it in the clipboard.\n"
      "and paste it in an Excel window",
      this);
  note->setObjectName("label_excel_note");
  note->setAlignment(Qt::AlignCenter);

  auto* list = new QGroupBox("List", this);
  list->setObjectName("group_list");
  short_ = new QRadioButton("Short", list);
  short_->setObjectName("radio_short");
  long_ = new QRadioButton("Long", list);
  long_->setObjectName("radio_long");
  long_->setChecked(true);
  auto* listLayout = new QHBoxLayout(list);
  listLayout->addWidget(short_);
  listLayout->addWidget(long_);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("text_excel");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setTabStopDistance(8 * text_->fontMetrics().horizontalAdvance(' '));

  copy_ = new QPushButton("Copy", this);
  copy_->setObjectName("button_copy");
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("button_cancel");

  auto* top = new QHBoxLayout;
  top->addWidget(note, 1);
  top->addWidget(list);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(copy_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(text_, 1);
  layout->addLayout(buttons);

  // Both lists give the same text; choosing one rebuilds it.
  connect(short_, &QRadioButton::clicked, this, &Tfexcel::refresh);
  connect(long_, &QRadioButton::clicked, this, &Tfexcel::refresh);
  connect(copy_, &QPushButton::clicked, this, &Tfexcel::copy_to_clipboard);
  connect(cancel_, &QPushButton::clicked, this, &QWidget::hide);
}

void Tfexcel::refresh() {
  std::optional<std::vector<std::string>> lines;
  try {
    lines = export_excel(s_, m_);
  } catch (const FileError& e) {
    m_.error(e.what());
  }
  if (!lines) {
    text_->clear();
    return;
  }
  QStringList all;
  for (const auto& l : *lines) all << QString::fromStdString(l);
  text_->setPlainText(all.join('\n'));
}

void Tfexcel::copy_to_clipboard() {
  QString text = text_->textCursor().selectedText();
  // The selection holds paragraph separators in place of line ends.
  text.replace(QChar::ParagraphSeparator, '\n');
  if (text.isEmpty()) text = text_->toPlainText();
  QApplication::clipboard()->setText(text);
}

// Refreshed when shown rather than on every activation: a "No results" box would
// otherwise hand the activation back and come up again without end.
void Tfexcel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
}

}  // namespace vornax

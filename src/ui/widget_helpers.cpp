#include "ui/widget_helpers.hpp"

#include <QAction>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QMenu>
#include <QPushButton>

namespace vornax {

QPushButton* make_button(QWidget* parent, const char* caption, const char* name,
                         const char* hint) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(QString::fromUtf8(hint));
  // The style asks 80 pixels of every button; a crowded row may shrink one to its caption.
  b->setMinimumWidth(b->fontMetrics().horizontalAdvance(b->text()) + 16);
  return b;
}

void enable_with_menu(QPushButton* button, QMenu* menu) {
  auto update = [button, menu] {
    bool any = false;
    for (const QAction* a : menu->actions()) any = any || (!a->isSeparator() && a->isEnabled());
    button->setEnabled(any);
  };
  for (QAction* a : menu->actions()) QObject::connect(a, &QAction::changed, button, update);
  update();
}

void hold_text(QLineEdit* box, const char* sample) {
  QStyleOptionFrame option;
  option.initFrom(box);
  option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
  const QMargins m = box->textMargins();
  // Two pixels a side are the line edit's own inner margin and one the cursor, which the
  // style does not count.
  const QSize text(box->fontMetrics().horizontalAdvance(QString::fromUtf8(sample)) + m.left() +
                       m.right() + 2 * 2 + 1,
                   box->fontMetrics().height());
  box->setMinimumWidth(
      box->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, box).width());
}

}  // namespace vornax

#include "ui/widget_helpers.hpp"

#include <QPushButton>

namespace vornax {

QPushButton* make_button(QWidget* parent, const char* caption, const char* name,
                         const char* hint, bool enabled) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(QString::fromUtf8(hint));
  b->setEnabled(enabled);
  return b;
}

}  // namespace vornax

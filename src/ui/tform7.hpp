// The profile window: peak search on a measured profile and measuring by mouse.
// It exists from start-up, hidden; its controls come with the profile feature.
#pragma once

#include <QWidget>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

class TForm7 : public QWidget {
  Q_OBJECT
 public:
  TForm7(WorkSession& s, Messages& m, QWidget* parent = nullptr)
      : QWidget(parent, Qt::Window), s_(s), m_(m) {
    setObjectName("TForm7");
    setWindowTitle("Measure the reflection angles on the diagram");
  }

 protected:
  WorkSession& s_;
  Messages& m_;
};

}  // namespace vornax

// The diagram viewer: measured profile, measured peaks and calculated reflections.
// It exists from start-up, hidden; its drawing comes with the diagram feature.
#pragma once

#include <QWidget>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

class Tform6 : public QWidget {
  Q_OBJECT
 public:
  Tform6(WorkSession& s, Messages& m, QWidget* parent = nullptr)
      : QWidget(parent, Qt::Window), s_(s), m_(m) {
    setObjectName("Tform6");
    setWindowTitle("Diagram");
  }

 protected:
  WorkSession& s_;
  Messages& m_;
};

}  // namespace vornax

// The indexed-list entry window (h, k, l, 2Theta).
// It exists from start-up, hidden; its controls come with the indexed-list feature.
#pragma once

#include <QWidget>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

class Tfliste_monoc : public QWidget {
  Q_OBJECT
 public:
  Tfliste_monoc(WorkSession& s, Messages& m, QWidget* parent = nullptr)
      : QWidget(parent, Qt::Window), s_(s), m_(m) {
    setObjectName("Tfliste_monoc");
    setWindowTitle("Enter the indexed list");
  }

 protected:
  WorkSession& s_;
  Messages& m_;
};

}  // namespace vornax

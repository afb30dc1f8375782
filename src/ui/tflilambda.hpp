// The window that asks for the X-ray source when a file holds no wavelength.
// It exists from start-up, hidden; its controls come with the wavelength feature.
#pragma once

#include <QWidget>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

class Tflilambda : public QWidget {
  Q_OBJECT
 public:
  Tflilambda(WorkSession& s, Messages& m, QWidget* parent = nullptr)
      : QWidget(parent, Qt::Window), s_(s), m_(m) {
    setObjectName("Tflilambda");
    setWindowTitle("Lambda missing");
  }

 protected:
  WorkSession& s_;
  Messages& m_;
};

}  // namespace vornax

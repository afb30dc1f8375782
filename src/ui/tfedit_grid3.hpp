// The selection editor.
// It exists from start-up, hidden; its controls come with the indexed-list feature.
#pragma once

#include <QWidget>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

class Tfedit_grid3 : public QWidget {
  Q_OBJECT
 public:
  Tfedit_grid3(WorkSession& s, Messages& m, QWidget* parent = nullptr)
      : QWidget(parent, Qt::Window), s_(s), m_(m) {
    setObjectName("Tfedit_grid3");
    setWindowTitle("Edit/ Modif  selected reflections");
  }

 protected:
  WorkSession& s_;
  Messages& m_;
};

}  // namespace vornax

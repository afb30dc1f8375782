// The About box: program, version, licence and the libraries the program uses.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace vornax {

// The program's version as the title shows it, and the build version.
inline constexpr const char* kProgramTitle = "VORNAX V3 (17/10/03)";

class Tfabout : public QWidget {
  Q_OBJECT
 public:
  explicit Tfabout(QWidget* parent = nullptr);
  // The whole text of the box (tests).
  QString text() const;

 private:
  QLabel* label_ = nullptr;
};

}  // namespace vornax

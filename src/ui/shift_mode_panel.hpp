// The panel "Angular Shift refinement mode": how the refined angular shift is modelled,
// as a constant zero shift or as a sample excentricity. It floats over the main window
// and is shown when the shift flag of the refinement tab becomes checked.
#pragma once

#include <QGroupBox>

class QRadioButton;
class QPushButton;
class QButtonGroup;

namespace vornax {

class ShiftModePanel : public QGroupBox {
  Q_OBJECT
 public:
  // What the radio group holds when OK is pressed.
  enum Choice { None = 0, ConstantZeroShift = 1, SampleExcentricity = 2 };

  explicit ShiftModePanel(QWidget* parent = nullptr);

  Choice choice() const;
  void set_choice(Choice c);
  QRadioButton* zero_shift_button() const { return zero_; }
  QRadioButton* excentricity_button() const { return excentricity_; }
  QPushButton* ok_button() const { return ok_; }

 signals:
  // OK (BitBtn17Click): the owner applies the choice and hides the panel.
  void accepted(int choice);

 private:
  QButtonGroup* group_ = nullptr;
  QRadioButton* zero_ = nullptr;
  QRadioButton* excentricity_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace vornax

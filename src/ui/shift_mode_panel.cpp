#include "ui/shift_mode_panel.hpp"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vornax {

ShiftModePanel::ShiftModePanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Angular Shift refinement mode"), parent) {
  setObjectName("panel_shift_mode");
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(236, 236, 236));
  setPalette(pal);
  // A style sheet replaces the palette's background: the panel floats over the grids,
  // so it paints its own, or they show through its texts.
  setStyleSheet("QGroupBox#panel_shift_mode { border: 2px solid gray; margin-top: 1.2em;"
                " background-color: rgb(236, 236, 236); }"
                "QGroupBox#panel_shift_mode::title { subcontrol-origin: margin; left: 8px; }");

  zero_ = new QRadioButton(QStringLiteral("As constant zero shift"), this);
  zero_->setObjectName("radio_zero_shift");
  excentricity_ = new QRadioButton(QStringLiteral("As sample excentricity"), this);
  excentricity_->setObjectName("radio_excentricity");
  group_ = new QButtonGroup(this);
  group_->addButton(zero_, ConstantZeroShift);
  group_->addButton(excentricity_, SampleExcentricity);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName("button_shift_ok");

  // OK beside the two choices keeps the panel low enough to sit under the refinement
  // tab's commands without covering them.
  auto* choices = new QVBoxLayout;
  choices->addWidget(zero_);
  choices->addWidget(excentricity_);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(choices, 1);
  layout->addWidget(ok_, 0, Qt::AlignBottom);
  resize(sizeHint());

  connect(ok_, &QPushButton::clicked, this, [this] { emit accepted(choice()); });
}

ShiftModePanel::Choice ShiftModePanel::choice() const {
  const int id = group_->checkedId();
  return id == ConstantZeroShift || id == SampleExcentricity ? static_cast<Choice>(id) : None;
}

void ShiftModePanel::set_choice(Choice c) {
  if (c == None) {
    // An exclusive group cannot uncheck its last button directly.
    group_->setExclusive(false);
    zero_->setChecked(false);
    excentricity_->setChecked(false);
    group_->setExclusive(true);
    return;
  }
  (c == ConstantZeroShift ? zero_ : excentricity_)->setChecked(true);
}

}  // namespace vornax

// The window that asks for the X-ray source when a peak or profile file holds no
// wavelength ("Lambda missing"). It exists from start-up, hidden; the load commands
// ask it through WavelengthDialog, and it shows itself modally for each question.
// The list, the boxes and OK only mirror SourceChoice / choose_source / accept_source.
#pragma once

#include <QDialog>

#include <optional>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/wavelength.hpp"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vornax {

class Tflilambda : public QDialog, public WavelengthDialog {
  Q_OBJECT
 public:
  Tflilambda(WorkSession& s, Messages& m, QWidget* parent = nullptr);

  // Shows the window modally, fresh (no source chosen, boxes hidden, λ1 and λ2 "0").
  // The set confirmed with OK, or nullopt when the window was closed.
  std::optional<WavelengthSet> choose(const WavelengthSet& proposed, bool profile_mode) override;
  // The same; OK runs `check` on the set and, when it refuses it, shows the message and
  // stays open for another choice.
  std::optional<WavelengthSet> choose_checked(const WavelengthSet& proposed, bool profile_mode,
                                              const WavelengthCheck& check) override;

  QListWidget* source_list() const { return list_; }
  QLineEdit* lambda1_box() const { return lambda1_; }
  QLineEdit* lambda2_box() const { return lambda2_; }
  QLineEdit* lambda_box() const { return lambda_; }
  QPushButton* ok_button() const { return ok_; }
  // 1 while completing the peaks' wavelengths, 2 a profile's.
  int target() const { return target_; }

 public slots:
  void initialise();
  void clicklistbox(int row);
  void lit_lambda();

 private:
  void mirror();
  void selection_made();

  WorkSession& s_;
  Messages& m_;
  SourceChoice choice_;
  std::optional<WavelengthSet> result_;
  WavelengthCheck check_;
  int target_ = 1;
  QListWidget* list_ = nullptr;
  QLabel* lambda1_label_ = nullptr;
  QLabel* lambda2_label_ = nullptr;
  QLabel* lambda_label_ = nullptr;
  QLineEdit* lambda1_ = nullptr;
  QLineEdit* lambda2_ = nullptr;
  QLineEdit* lambda_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace vornax

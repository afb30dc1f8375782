// The indexed-list entry window: h, k, l and 2θ typed row by row with the wavelength;
// OK makes them the measured peaks and the indexed list, and offers to save the list.
#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "ui/file_dialogs.hpp"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vornax {

// Rows of the entry grid that take data.
inline constexpr int kEntryGridRows = 49;

class Tfliste_monoc : public QWidget {
  Q_OBJECT
 public:
  using Refresh = std::function<void(Changed, QObject*)>;
  using Dialogs = std::function<FileDialogs&()>;

  Tfliste_monoc(WorkSession& s, Messages& m, QWidget* parent = nullptr);
  void set_refresh(Refresh r) { refresh_ = std::move(r); }
  void set_file_dialogs(Dialogs d) { dialogs_ = std::move(d); }

  // Column widths, every cell emptied, the titles: each time the window is shown.
  void init_active();
  // "OK": the typed list becomes the measured peaks, then the save dialog; the window
  // closes once the list was taken.
  void BitBtn1Click();
  // "Cancel".
  void abandon();

  // The grid's texts, row by row (H, K, L, 2Theta).
  std::vector<std::array<std::string, 4>> rows() const;

  QTableWidget* grid() const { return grid_; }
  QLineEdit* wavelength_box() const { return lambda_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* cancel_button() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void changed(Changed what);

  WorkSession& s_;
  Messages& m_;
  Refresh refresh_;
  Dialogs dialogs_;
  QTableWidget* grid_ = nullptr;
  QLineEdit* lambda_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace vornax

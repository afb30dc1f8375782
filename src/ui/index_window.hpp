// The window "Index": the unit cells that index the measured peaks, found in a worker
// thread while a progress bar runs, with the space groups each cell's lines allow; "Use"
// hands a cell and a group to the cell tab.
#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/cell_indexing.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QThread;
class QTimer;

namespace vornax {

inline constexpr const char* kNoPeaksToIndex =
    "No measured peaks to index: read, search or type the peaks first";

class IndexWindow : public QWidget {
  Q_OBJECT
 public:
  IndexWindow(WorkSession& s, Messages& m, QWidget* parent = nullptr);
  ~IndexWindow() override;

  // "Tools > Index": the session's measured peaks and wavelength, the search started.
  // Without peaks it says so and stays closed.
  void open_on_session();
  // "Index": a new search on the session's peaks with the limits of the boxes (a running
  // one is cancelled).
  void start();
  // "Cancel": the running search stops and shows what it found by then.
  void cancel();
  bool running() const { return worker_ != nullptr; }

  // What "Use" does with the chosen cell and group (the main window's cell tab).
  using UseHook = std::function<void(const indexing::IndexedCell&, const std::string& group,
                                     double lambda)>;
  void set_use(UseHook hook) { use_ = std::move(hook); }

  const indexing::IndexResult& result() const { return result_; }

  QLineEdit* lambda_box() const { return lambda_; }
  QLineEdit* max_axis_box() const { return max_axis_; }
  QLineEdit* max_volume_box() const { return max_volume_; }
  QLineEdit* min_volume_box() const { return min_volume_; }
  QLineEdit* zero_box() const { return zero_; }
  QLineEdit* time_box() const { return time_; }
  QSpinBox* impurities_box() const { return impurities_; }
  QCheckBox* system_check(CrystalSystemId id) const { return systems_[static_cast<size_t>(id)]; }
  QPushButton* index_button() const { return index_; }
  QPushButton* cancel_button() const { return cancel_; }
  QPushButton* use_button() const { return use_button_; }
  QPushButton* close_button() const { return close_; }
  QProgressBar* progress_bar() const { return progress_bar_; }
  QLabel* status_label() const { return status_; }
  QTableWidget* candidates_table() const { return table_; }
  QListWidget* groups_list() const { return groups_; }

 signals:
  // A search ended: done, out of time or cancelled.
  void searchFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void finish();
  void show_progress();
  void show_candidates();
  void show_groups(int row);
  void use_chosen();
  // Stops a running search and waits for it: the thread must not outlive its data.
  void stop_and_wait();

  WorkSession& s_;
  Messages& m_;
  UseHook use_;
  std::vector<double> lines_;  // 2θ of the measured peaks searched
  double lambda_used_ = 0;
  indexing::IndexSettings settings_;
  indexing::IndexResult result_;
  int left_out_ = 0;  // Kα2, Kβ and WLα rows not indexed
  std::unique_ptr<indexing::IndexProgress> progress_;
  QThread* worker_ = nullptr;
  QTimer* ticker_ = nullptr;

  QLineEdit* lambda_ = nullptr;
  QLineEdit* max_axis_ = nullptr;
  QLineEdit* max_volume_ = nullptr;
  QLineEdit* min_axis_ = nullptr;
  QLineEdit* min_volume_ = nullptr;
  QLineEdit* zero_ = nullptr;
  QLineEdit* time_ = nullptr;
  QSpinBox* impurities_ = nullptr;
  std::array<QCheckBox*, 7> systems_{};
  QPushButton* index_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* use_button_ = nullptr;
  QPushButton* close_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* table_ = nullptr;
  QListWidget* groups_ = nullptr;
};

}  // namespace vornax

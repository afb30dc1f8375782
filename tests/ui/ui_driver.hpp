// Drives the main window as a user does: typing into boxes and grids, clicking list
// entries and buttons. Shared by the window tests and the screenshot program; the
// window must be shown and active so that focus and keys go where they would.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/cell.hpp"
#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "ui/cell_tab_widget.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/refine_tab_widget.hpp"
#include "ui/selection_tab_widget.hpp"
#include "ui/shift_mode_panel.hpp"
#include "ui/tform1.hpp"
#include "support/recording_messages.hpp"

namespace vornax::driver {

// Silicon, the certified standard, at Cu Kα1.
constexpr double kSiliconA = 5.431194;
constexpr double kCuKa1 = 1.540593;

// Measured 2θ of the diamond-structure reflections (h k l all odd, or all even with
// h + k + l a multiple of 4) of a cubic cell up to `max_two_theta`, one per d-spacing,
// by increasing angle, with a zero shift or a sample eccentricity (shift · cos θ)
// added, rounded to 0.001 degree as a diffractometer reports them. Computed here with
// the exact degree conversion, independently of the program.
struct Peak {
  int h, k, l;
  double two_theta;
};
inline std::vector<Peak> diamond_peaks(double a, double lambda, double max_two_theta,
                                       double shift = 0, bool eccentric = false) {
  const double pi = std::acos(-1.0);
  std::vector<Peak> out;
  std::vector<int> sums;
  for (int h = 1; h <= 12; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        const bool odd = h % 2 && k % 2 && l % 2;
        const bool even = h % 2 == 0 && k % 2 == 0 && l % 2 == 0 && (h + k + l) % 4 == 0;
        if (!odd && !even) continue;
        const int n = h * h + k * k + l * l;
        bool seen = false;
        for (int s : sums) seen = seen || s == n;
        if (seen) continue;
        const double sin_theta = lambda * std::sqrt(double(n)) / (2 * a);
        if (sin_theta >= 1) continue;
        const double theta = std::asin(sin_theta);
        double tt = 2 * theta * 180 / pi;
        tt += eccentric ? shift * std::cos(theta) : shift;
        if (tt > max_two_theta) continue;
        sums.push_back(n);
        out.push_back({h, k, l, std::round(tt * 1000) / 1000});
      }
  std::sort(out.begin(), out.end(), [](const Peak& x, const Peak& y) { return x.two_theta < y.two_theta; });
  return out;
}

inline void settle() { QApplication::processEvents(); }

// A fresh temporary folder made the current folder for one test: the window deletes and
// writes files with fixed names there.
class TempCurrentFolder {
 public:
  TempCurrentFolder() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~TempCurrentFolder() { QDir::setCurrent(old_); }
  bool valid() const { return dir_.isValid(); }
  QString path() const { return dir_.path(); }
  QString path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  QString old_;
};

// The main window on a fresh session with the supplied data, its messages recorded;
// `shown`: on screen and active, so that focus and keys go where a user's would.
struct MainWindowFixture {
  WorkSession s;
  RecordingMessages m;
  std::unique_ptr<Tform1> w;
  explicit MainWindowFixture(bool shown) {
    s.data_folder = locate_data_folder(QCoreApplication::applicationDirPath().toStdString());
    w = std::make_unique<Tform1>(s, m);
    if (!shown) return;
    w->show();
    QApplication::setActiveWindow(w.get());
    [[maybe_unused]] bool active = QTest::qWaitForWindowActive(w.get());
  }
};

inline void type_into(QLineEdit* e, const QString& text) {
  e->setFocus();
  settle();
  e->selectAll();
  QTest::keyClicks(e, text);
}

inline bool click_item(QListWidget* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    if (item->text().trimmed() != text) continue;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    settle();
    return true;
  }
  return false;
}

inline void click(QAbstractButton* b) {
  QTest::mouseClick(b, Qt::LeftButton);
  settle();
}

// Keys go to the focused widget, as a keyboard's would.
inline void key(Qt::Key k) {
  QWidget* w = QApplication::focusWidget();
  if (w) QTest::keyClick(w, k);
}
inline void keys(const QString& text) {
  for (QChar ch : text)
    if (QWidget* w = QApplication::focusWidget()) QTest::keyClicks(w, QString(ch));
}

// Step 1: the wavelength in "Current values", "Keyboard", one angle per row.
inline void type_peaks(Tform1& w, const QString& lambda, const std::vector<double>& angles) {
  w.tabs()->setCurrentIndex(Tform1::kMeasuredTab);
  type_into(w.lambda_box(), lambda);
  click(w.measured_tab()->keyboard_button());
  QTableWidget* grid = w.measured_tab()->grid();
  grid->setFocus();
  grid->setCurrentCell(0, 0);
  for (double a : angles) {
    keys(QString::number(a, 'f', 3));
    // Across d, area and number; the grid reads a row and grows between a user's keys,
    // so the event loop runs between them here too.
    for (int i = 0; i < 4; ++i) {
      key(Qt::Key_Tab);
      settle();
    }
  }
  settle();
}

// Step 2: system, cell, wavelength, range and group, then "Calc.".
inline void enter_cell(Tform1& w, const QString& system, const QString& group, const QString& a,
                       const QString& lambda, const QString& min, const QString& max) {
  w.tabs()->setCurrentIndex(Tform1::kCellTab);
  CellTabWidget* cell = w.cell_tab();
  click_item(cell->system_list(), system);
  type_into(cell->field(0), a);
  cell->field(6)->setFocus();  // leaving a fills the tied fields
  settle();
  type_into(cell->field(6), lambda);
  type_into(cell->field(7), min);
  type_into(cell->field(8), max);
  click_item(cell->hm_list(), group);
  click(cell->calc_button());
}

// Step 3: the tolerance and "Auto Sel.".
inline void auto_select(Tform1& w, const QString& tolerance) {
  w.tabs()->setCurrentIndex(Tform1::kSelectionTab);
  type_into(w.selection_tab()->tolerance_box(), tolerance);
  click(w.selection_tab()->auto_sel_button());
}

// Step 4: the shift flag with its model (0: shift not refined), then refine.
inline void refine(Tform1& w, int shift_model) {
  w.tabs()->setCurrentIndex(Tform1::kRefineTab);
  RefineTabWidget* tab = w.refine_tab();
  if (shift_model != 0) {
    if (!tab->refine_flag(6)->isChecked()) tab->refine_flag(6)->click();
    ShiftModePanel* panel = w.shift_panel();
    click(shift_model == 1 ? panel->zero_shift_button() : panel->excentricity_button());
    click(panel->ok_button());
  }
  click(tab->refine_button());
}

}  // namespace vornax::driver

// Drives the measured tab and the selection tab as a user would: a wavelength, six
// silicon peaks typed into the grid, the calculated silicon reflections, "Auto Sel.",
// and the texts of every grid in 2θ and in θ mode.
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtTest>

#include <cmath>

#include "core/cell.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "ui/measured_tab_widget.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/selection_tab_widget.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;

namespace {

constexpr double kSiliconA = 5.431194;
constexpr double kCuKa1 = 1.540593;

// Allowed reflections of the diamond structure (Fd-3m) of a cubic cell up to a 2θ
// limit, one per d-spacing, by increasing angle: h k l all odd, or all even with
// h + k + l a multiple of 4.
CalculatedReflectionList diamond_reflections(double a, double lambda, double max_two_theta) {
  CalculatedReflectionList out;
  for (int h = 0; h <= 8; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        if (h + k + l == 0) continue;
        const bool all_odd = h % 2 && k % 2 && l % 2;
        const bool all_even = h % 2 == 0 && k % 2 == 0 && l % 2 == 0;
        if (!all_odd && !(all_even && (h + k + l) % 4 == 0)) continue;
        const double d = a / std::sqrt(double(h * h + k * k + l * l));
        if (lambda / (2 * d) >= 1) continue;
        const double tt = two_theta_from_d(d, lambda);
        if (tt > max_two_theta) continue;
        bool same_d = false;
        for (auto& r : out) same_d = same_d || std::fabs(r.d - d) < 1e-9;
        if (same_d) continue;
        out.push_back({h, k, l, 0, d, tt});
      }
  std::sort(out.begin(), out.end(),
            [](auto& x, auto& y) { return x.two_theta < y.two_theta; });
  return out;
}

QStringList row_texts(QTableWidget* t, int row) {
  QStringList out;
  for (int c = 0; c < t->columnCount(); ++c) {
    QTableWidgetItem* it = t->item(row, c);
    out << (it ? it->text() : QString());
  }
  return out;
}

QStringList header_texts(QTableWidget* t) {
  QStringList out;
  for (int c = 0; c < t->columnCount(); ++c) out << t->horizontalHeaderItem(c)->text();
  return out;
}

}  // namespace

class TestMeasuredSelection : public QObject {
  Q_OBJECT

  struct Fixture {
    WorkSession s;
    RecordingMessages m;
    QWidget window;
    QLineEdit* lambda = nullptr;
    MeasuredTabWidget* measured = nullptr;
    SelectionTabWidget* selection = nullptr;

    Fixture() {
      auto* layout = new QVBoxLayout(&window);
      lambda = new QLineEdit(&window);
      lambda->setObjectName("edit_lambda");
      measured = new MeasuredTabWidget(s, m, lambda, &window);
      selection = new SelectionTabWidget(s, m, &window);
      layout->addWidget(lambda);
      layout->addWidget(measured);
      layout->addWidget(selection);
      // What the main window wires between the two tabs.
      QObject::connect(measured, &MeasuredTabWidget::changed, selection,
                       &SelectionTabWidget::redisplay);
      window.show();
      window.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    template <typename T>
    T* find(const char* name) {
      return window.findChild<T*>(name);
    }
    // Keys go where the user's keyboard would send them: the focused widget. The grid
    // is read once a move is over, as the next events are processed.
    void key(Qt::Key k) {
      QWidget* w = QApplication::focusWidget();
      QTest::keyClick(w ? w : measured->grid(), k);
      QApplication::processEvents();
    }
    void type(const QString& text) {
      for (QChar ch : text) {
        QWidget* w = QApplication::focusWidget();
        QTest::keyClicks(w ? w : measured->grid(), QString(ch));
      }
    }
  };

  // A peak row: its angle, then Tab across d and area (typing the area when given),
  // and on across the number to the next row.
  static void type_peak(Fixture& f, const QString& angle, const QString& area = {}) {
    f.type(angle);
    f.key(Qt::Key_Tab);
    f.key(Qt::Key_Tab);
    if (!area.isEmpty()) f.type(area);
    f.key(Qt::Key_Tab);
    f.key(Qt::Key_Tab);
  }

  static void enter_silicon(Fixture& f) {
    f.lambda->setFocus();
    QTest::keyClicks(f.lambda, "1.540593");
    QTest::mouseClick(f.find<QPushButton>("button_keyboard_peaks"), Qt::LeftButton);
    QTableWidget* grid = f.measured->grid();
    grid->setFocus();
    grid->setCurrentCell(0, 0);
    // Typed out of order, one with an area, as a user might.
    type_peak(f, "47.302", "55");
    type_peak(f, "28.442");
    type_peak(f, "56.121");
    type_peak(f, "69.130");
    type_peak(f, "88.029", "12.6");
    type_peak(f, "76.377");
  }

 private slots:
  void initTestCase() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

  void controls_hints_and_start_state() {
    Fixture f;
    struct Hint { const char* name; const char* text; const char* hint; bool enabled; };
    const Hint hints[] = {
        {"button_file_peaks", "File", "Get the measured Bragg angles from a file", true},
        {"button_diagram_peaks", "Diagram", "Measure the Bragg angles on a diagram", true},
        {"button_erase_peaks", "Erase", "Delete the measured Bragg angles", true},
        {"button_save_peaks", "Save", "Save the measured Bragg angles", true},
        {"button_keyboard_peaks", "Keyboard", "Enter the measured Bragg angles by keyboard", true},
        {"button_auto_sel", "Auto Sel.", "Atomatic selection", true},
        {"button_pair_again", "Pair again",
         "Pair the peaks again with the refined cell and shift, and refine again until the "
         "pairs stop changing",
         true},
        {"button_delete_selection", "Delete", "Delete all the selected reflections", true},
        {"button_save_selection", "Save ", "Save the selected reflections in an indexed list file",
         true},
        {"button_add_modif", "Add/Modif", "Add/Modif reflections data and indices", true},
        {"button_restore_selection", "Restore", "Restore the indexed reflections", true},
        {"button_merge_list", "Merge", "Merge an indexed list", true},
    };
    for (const Hint& h : hints) {
      auto* b = f.find<QPushButton>(h.name);
      QVERIFY2(b, h.name);
      QCOMPARE(b->text(), QString(h.text));
      QCOMPARE(b->toolTip(), QString(h.hint));
      QCOMPARE(b->isEnabled(), h.enabled);
    }
    QCOMPARE(f.find<QWidget>("group_angle_mode")->toolTip(),
             QString("Work with Theta or 2Theta angle"));
    QCOMPARE(f.find<QWidget>("group_mouse_selection")->toolTip(),
             QString("Select the indexation mode by mouse"));
    QVERIFY(f.find<QWidget>("group_mouse_selection")->isEnabled());
    QVERIFY(f.find<QRadioButton>("radio_two_theta")->isChecked());
    QCOMPARE(f.selection->tolerance_box()->text(), QString(" 0.100"));
    QCOMPARE(f.find<QLabel>("label_tolerance")->text(), QString("tolerance"));
    QCOMPARE(f.find<QLabel>("label_tolerance_unit")->text(), QString::fromUtf8("°2θ"));
    QCOMPARE(f.find<QLabel>("label_measured_title")->text(),
             QString("Measured reflections (2Theta)"));

    // Before "Keyboard" the grid panel and "Erase"/"Save" are hidden.
    QVERIFY(f.measured->grid_panel()->isHidden());
    QVERIFY(f.find<QPushButton>("button_erase_peaks")->isHidden());
    f.s.measured.zero_offset = 0.25;
    QTest::mouseClick(f.find<QPushButton>("button_keyboard_peaks"), Qt::LeftButton);
    QVERIFY(!f.measured->grid_panel()->isHidden());
    QVERIFY(!f.find<QPushButton>("button_erase_peaks")->isHidden());
    QVERIFY(!f.find<QPushButton>("button_save_peaks")->isHidden());
    QCOMPARE(f.s.measured.zero_offset, 0.0);
    QCOMPARE(header_texts(f.measured->grid()), (QStringList{"2Theta", "Dhkl", "Area", "Nb."}));
    QCOMPARE(f.measured->grid()->rowCount(), 19);
  }

  void typing_without_wavelength() {
    Fixture f;
    QTest::mouseClick(f.find<QPushButton>("button_keyboard_peaks"), Qt::LeftButton);
    QTableWidget* grid = f.measured->grid();
    grid->setFocus();
    grid->setCurrentCell(0, 0);
    f.m.clear();
    f.type("28.442");
    f.key(Qt::Key_Tab);
    QCOMPARE(f.m.texts(), std::vector<std::string>{"Type first the wavelength"});
    QCOMPARE(f.s.measured_count(), 0);
  }

  void auto_selection_in_two_theta_and_theta() {
    Fixture f;
    enter_silicon(f);
    QVERIFY2(f.m.empty(), f.m.empty() ? "" : f.m.texts().front().c_str());

    // The measured grid, sorted, with d, areas and numbers.
    QTableWidget* grid = f.measured->grid();
    QCOMPARE(f.s.measured_count(), 6);
    QCOMPARE(grid->rowCount(), 19);
    const QStringList measured_rows[] = {
        {" 28.442", "  3.1356", "     100", "1"}, {" 47.302", "  1.9202", "      55", "2"},
        {" 56.121", "  1.6375", "     100", "3"}, {" 69.130", "  1.3577", "     100", "4"},
        {" 76.377", "  1.2459", "     100", "5"}, {" 88.029", "  1.1086", "      13", "6"},
    };
    for (int r = 0; r < 6; ++r) QCOMPARE(row_texts(grid, r), measured_rows[r]);
    QCOMPARE(row_texts(grid, 6), (QStringList{"", "", "", ""}));
    QCOMPARE(f.lambda->text(), QString(" 1.54059"));
    QCOMPARE(f.s.wavelengths.lambda, kCuKa1);
    QCOMPARE(f.s.range_min, 28.442 - 2);
    QCOMPARE(f.s.range_max, 88.029 + 2);
    QCOMPARE(f.s.measured.peaks[5].intensity, 12.6);  // typed area kept, shown as 8:0

    // The selection tab's measured list followed the typing.
    QTableWidget* sel_measured = f.selection->measured_grid();
    QCOMPARE(header_texts(sel_measured), (QStringList{"Nb", "Dhkl", "2Theta"}));
    QCOMPARE(sel_measured->rowCount(), 24);
    QCOMPARE(row_texts(sel_measured, 0), (QStringList{"1", "  3.1356", "  28.442"}));
    QCOMPARE(row_texts(sel_measured, 5), (QStringList{"6", "  1.1086", "  88.029"}));

    // The calculated silicon reflections, as "Calc." would leave them.
    f.s.allowed = diamond_reflections(kSiliconA, kCuKa1, 90);
    QCOMPARE(f.s.allowed_count(), 6);
    f.selection->redisplay();
    QTableWidget* calc = f.selection->calculated_grid();
    QCOMPARE(header_texts(calc), (QStringList{"h   k   l", "Dhkl", "2Theta"}));
    QCOMPARE(row_texts(calc, 0), (QStringList{"  1  1  1", " 3.1357", "  28.441"}));
    QCOMPARE(row_texts(calc, 3), (QStringList{"  4  0  0", " 1.3578", "  69.126"}));

    QTest::mouseClick(f.selection->auto_sel_button(), Qt::LeftButton);
    QVERIFY(f.m.empty());
    QCOMPARE(f.s.selected_count(), 6);
    QCOMPARE(f.s.current_measured_peak, 6);
    QTableWidget* selected = f.selection->selected_grid();
    QCOMPARE(header_texts(selected),
             (QStringList{"Nb.", "h   k   l", "2T Obs", "2T Calc", "Diff."}));
    QCOMPARE(selected->rowCount(), 7);
    // Calculated angles from 2θ = 2 asin(λ / 2d), d = a / √(h² + k² + l²).
    const QStringList two_theta_rows[] = {
        {" 1", "  1  1  1", "  28.442", "  28.441", "   0.001"},
        {" 2", "  2  2  0", "  47.302", "  47.300", "   0.002"},
        {" 3", "  3  1  1", "  56.121", "  56.119", "   0.002"},
        {" 4", "  4  0  0", "  69.130", "  69.126", "   0.004"},
        {" 5", "  3  3  1", "  76.377", "  76.372", "   0.005"},
        {" 6", "  4  2  2", "  88.029", "  88.025", "   0.004"},
    };
    for (int r = 0; r < 6; ++r) QCOMPARE(row_texts(selected, r), two_theta_rows[r]);
    QCOMPARE(row_texts(selected, 6), (QStringList{"", "", "", "", ""}));
    // The last paired peak is highlighted in the measured list.
    QCOMPARE(sel_measured->item(5, 0)->background().color(), QColor(0, 255, 255));
    QCOMPARE(sel_measured->item(4, 0)->background().color(), QColor(192, 192, 192));
    QCOMPARE(f.find<QLabel>("label_paired")->text(), QString("6 of 6 peaks paired"));

    // θ mode: every angle halved, stored values unchanged, the typed tolerance doubled.
    QTest::mouseClick(f.find<QRadioButton>("radio_theta"), Qt::LeftButton);
    QCOMPARE(f.s.angle_mode, AngleMode::Theta);
    QCOMPARE(f.find<QLabel>("label_measured_title")->text(),
             QString("Measured reflections (Theta)"));
    QCOMPARE(f.find<QLabel>("label_tolerance_unit")->text(), QString::fromUtf8("°θ"));
    QCOMPARE(header_texts(grid), (QStringList{"Theta", "Dhkl", "Area", "Nb."}));
    QCOMPARE(row_texts(grid, 0), (QStringList{" 14.221", "  3.1356", "     100", "1"}));
    QCOMPARE(row_texts(grid, 2), (QStringList{" 28.061", "  1.6375", "     100", "3"}));
    QCOMPARE(f.s.measured.peaks[0].two_theta, 28.442);
    QCOMPARE(header_texts(sel_measured), (QStringList{"Nb", "Dhkl", "Theta"}));
    QCOMPARE(row_texts(sel_measured, 1), (QStringList{"2", "  1.9202", "  23.651"}));
    QCOMPARE(header_texts(calc), (QStringList{"h   k   l", "Dhkl", "Theta"}));
    QCOMPARE(row_texts(calc, 0), (QStringList{"  1  1  1", " 3.1357", "  14.220"}));

    f.selection->tolerance_box()->setText("0.002");  // 0.004 in 2θ: drops 76.377 and 88.029
    QTest::mouseClick(f.selection->auto_sel_button(), Qt::LeftButton);
    QCOMPARE(f.s.tolerance, 0.004);
    QCOMPARE(header_texts(selected), (QStringList{"Nb.", "h   k   l", "T Obs", "T Calc", "Diff."}));
    QCOMPARE(selected->rowCount(), 5);
    // The angles are kept in single precision: 56.121 halves to 28.060 here.
    const QStringList theta_rows[] = {
        {" 1", "  1  1  1", "  14.221", "  14.220", "   0.001"},
        {" 2", "  2  2  0", "  23.651", "  23.650", "   0.001"},
        {" 3", "  3  1  1", "  28.060", "  28.060", "   0.001"},
        {" 4", "  4  0  0", "  34.565", "  34.563", "   0.002"},
    };
    for (int r = 0; r < 4; ++r) QCOMPARE(row_texts(selected, r), theta_rows[r]);
    QCOMPARE(f.s.current_measured_peak, 4);
    // The two peaks left are counted and coloured; the paired ones stay silver.
    QCOMPARE(f.find<QLabel>("label_paired")->text(), QString("4 of 6 peaks paired"));
    for (int r : {4, 5}) QCOMPARE(sel_measured->item(r, 2)->background().color(), QColor(255, 190, 120));
    for (int r : {0, 1, 2}) QCOMPARE(sel_measured->item(r, 2)->background().color(), QColor(192, 192, 192));

    // Back to 2θ: the grid shows the typed values again.
    QTest::mouseClick(f.find<QRadioButton>("radio_two_theta"), Qt::LeftButton);
    QCOMPARE(row_texts(grid, 2), measured_rows[2]);
    QCOMPARE(row_texts(selected, 3), (QStringList{" 4", "  4  0  0", "  69.130", "  69.126",
                                                  "   0.004"}));
  }

  // "Keyboard" with peaks in the list (read from a file, say) shows them, so that the
  // next move between cells does not read back an emptied grid and lose them.
  void keyboard_keeps_the_peaks_already_there() {
    Fixture f;
    f.s.wavelengths.lambda = kCuKa1;
    MeasuredPeak read;
    read.two_theta = 28.44123;
    read.two_theta_read = 28.40123;
    read.intensity = 37.6;
    f.s.measured.peaks = {read};
    QTest::mouseClick(f.find<QPushButton>("button_keyboard_peaks"), Qt::LeftButton);
    QTableWidget* grid = f.measured->grid();
    QCOMPARE(row_texts(grid, 0), (QStringList{" 28.441", "  3.1357", "      38", "1"}));
    grid->setFocus();
    grid->setCurrentCell(1, 0);
    type_peak(f, "47.302");
    QVERIFY(f.m.empty());
    QCOMPARE(f.s.measured_count(), 2);
    QCOMPARE(f.s.measured.peaks[0].two_theta, 28.44123);  // untouched, not rounded
    QCOMPARE(f.s.measured.peaks[0].two_theta_read, 28.40123);
    QCOMPARE(f.s.measured.peaks[1].two_theta, 47.302);
  }

  // The grids use a fixed-pitch font, and a number longer than its format widens its
  // column rather than being cut.
  void grid_columns_fit_their_texts() {
    Fixture f;
    // Columns line up when every character advances alike (the font's fixed-pitch flag
    // is not always set for fonts that are).
    QVERIFY(has_even_advances(f.measured->grid()->font()));
    QVERIFY(has_even_advances(f.selection->selected_grid()->font()));
    f.s.wavelengths.lambda = kCuKa1;
    MeasuredPeak huge;
    huge.two_theta = huge.two_theta_read = 28.442;
    huge.intensity = 123456789012.0;
    f.s.measured.peaks = {huge};
    f.measured->redisplay();
    QTableWidget* grid = f.measured->grid();
    const QString area = grid->item(0, 2)->text();
    QCOMPARE(area, QString("123456789012"));
    const int margins =
        2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 1;
    QVERIFY(QFontMetricsF(grid->font()).horizontalAdvance(area) + margins <= grid->columnWidth(2));
    QCOMPARE(grid->minimumWidth(), width_for_columns(grid));
  }

  void mouse_click_reads_the_edited_cell() {
    Fixture f;
    enter_silicon(f);
    QTableWidget* grid = f.measured->grid();
    // Retype the first angle and leave the cell by clicking another one.
    grid->setCurrentCell(0, 0);
    f.key(Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor && editor != grid);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "95.5");
    const QRect target = grid->visualItemRect(grid->item(3, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, target.center());
    QApplication::processEvents();
    QVERIFY(f.m.empty());
    QCOMPARE(f.s.measured_count(), 6);
    QCOMPARE(f.s.measured.peaks[5].two_theta, 95.5);  // sorted to the end
    QCOMPARE(row_texts(grid, 5), (QStringList{" 95.500", "  1.0406", "     100", "6"}));
    QCOMPARE(f.s.range_min, 47.302 - 2);
  }
};

QTEST_MAIN(TestMeasuredSelection)
#include "test_measured_selection.moc"

// The measured-reflection grids: reading the typed grid into the measured list, and
// the texts of the grids that show the measured and calculated lists. The windows
// copy these texts into their cells; nothing here knows about widgets.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/text_grid.hpp"

namespace vornax {

// The wavelength factor of the measured grids: 2θ in degrees -> θ in radians.
constexpr double kMeasuredHalfDegToRad = 0.0087266462619641993;

// Minimum row counts of the grids.
constexpr int kMeasuredGridMinRows = 20;
constexpr int kSelectionListMinRows = 25;

// Message when the typed grid holds more peaks than the measured list can take; the
// same words the diagram uses when a peak is measured into a full list.
inline constexpr const char* kTooManyPeaksMessage = "Too many peaks (>500)";

// The measured grid, emptied, with its headers ("2Theta"/"Theta", "Dhkl", "Area", "Nb.")
// and `row_count` rows in all (header included).
GridText prepare_measured_grid(const WorkSession& s, int row_count);

// One data row of the measured grid as typed: the texts of column 0 (angle, in the
// current angle mode) and column 2 (area).
struct MeasuredGridRow {
  std::string angle;
  std::string area;
};

// What reading the grid changed in the grid itself: the rows read show their d-spacing
// in column 1 (7:3) and their row number in column 3.
struct MeasuredRowText {
  int row = 0;                        // grid row, 1-based (row 0 is the header)
  std::string d;                      // column 1
  std::optional<std::string> number;  // column 3; absent when the area was refused
};

struct MeasuredScan {
  bool ok = false;                    // every row read; the range was set
  std::vector<MeasuredRowText> rows;  // texts for the rows read, in row order
};

// Re-reads the whole grid into the measured list (run on every move between cells).
// `rows` are the grid's data rows 1 .. row count - 1 in order; `lambda_text` is the
// wavelength box of the "Current values" panel. Messages: "Error on Lambda", "Type
// first the wavelength", "Error at  row," + row, "Too many peaks (>500)". The scan
// stops at the first error, keeping the peaks read so far. When it succeeds and read
// at least one peak, the entered range and the measured data's range become
// smallest - 2 .. largest + 2 (degrees 2θ). A row whose texts are exactly what the grid
// shows for the peak already stored at that place keeps that peak as it is, and a
// wavelength box the user has not edited keeps the stored wavelength it shows, so
// moving through the grid does not round peaks or the wavelength to the decimals shown.
// A refused wavelength changes nothing.
MeasuredScan theta_to_dhkl(const std::vector<MeasuredGridRow>& rows,
                           const std::string& lambda_text, WorkSession& s, Messages& m,
                           bool lambda_edited = false);

// Sorts the measured peaks by 2θ (exchange sort; a peak's fields move together).
void sort_measured_peaks(WorkSession& s);

// The measured grid filled from the (sorted) list: count + 3 rows but at least 20;
// angle 7:3 (halved in θ mode), d 8:4, area 8:0, number.
GridText measured_grid_text(const WorkSession& s);

// The wavelength box text after the list is shown: lambda as 8:5.
std::string lambda_box_text(const WorkSession& s);

// The selection tab's measured list: "Nb", "Dhkl", "2Theta"/"Theta".
GridText show_measured_for_selection(const WorkSession& s);

// The selection tab's calculated list (the allowed reflections): "h   k   l", "Dhkl",
// "2Theta"/"Theta".
GridText show_calculated_for_selection(const WorkSession& s);

// Everything `show_measured_list` puts on screen.
struct MeasuredDisplay {
  GridText grid;            // the measured grid of the first tab
  std::string lambda_text;  // the wavelength box
  GridText selection_grid;  // the measured list of the selection tab
};

// Sorts the list and builds its display; nothing when the list is empty.
std::optional<MeasuredDisplay> show_measured_list(WorkSession& s);

// d-spacing of a measured 2θ (degrees) for the wavelength, as the grids show it.
double measured_d_spacing(double two_theta, double lambda);

// h, k and l each at least 3 characters wide, run together.
std::string hkl_text(int h, int k, int l);

}  // namespace vornax

// Automatic pairing of measured peaks with calculated reflections, and the grid
// "Selected reflections".
#pragma once

#include <string>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "selection/measured.hpp"

namespace vornax {

// The "Auto Sel." command: "Error: No measured Bragg angle" when the measured list is
// empty, otherwise `select_automatically`. Returns whether a selection was made.
bool pair_automatically(WorkSession& s, const std::string& tolerance_text, Messages& m);

// Reads the tolerance box text ("Error (angular tolerance)" when it is not a number;
// doubled in θ mode; kept as s.tolerance), then pairs every measured peak inside
// s.range_min .. s.range_max (inclusive) with the nearest allowed reflection (first of
// equals) when they differ by no more than the tolerance (inclusive). The result
// replaces s.selected, sorted by observed angle; the last paired peak becomes
// s.current_measured_peak (1-based). Results of an earlier refinement no longer match
// the new pairs, so s.results.refined is cleared. Returns false when the tolerance was
// refused (nothing changed).
bool select_automatically(WorkSession& s, const std::string& tolerance_text, Messages& m);

// The same pairing with each measured angle first corrected by a shift (shift_correction)
// before it is compared: the pairing again after a refinement, with its cell and shift.
// The pairs keep the measured angles.
bool select_automatically_shifted(WorkSession& s, const std::string& tolerance_text, ShiftMode mode,
                                  double shift, Messages& m);

// Correction of a measured 2θ by a shift: shift · cos(2θ/2) in eccentricity mode, else
// the shift itself.
double shift_correction(ShiftMode mode, double zero_shift, double two_theta);

// What a pairing left: of the measured peaks inside the range, how many are in a pair,
// and those that are not (0-based index in the measured list, and their 2θ).
struct PairingSummary {
  int paired = 0;
  int peaks = 0;
  std::vector<int> unpaired;
  std::vector<double> unpaired_two_theta;
};
PairingSummary pairing_summary(const WorkSession& s);

// σ of the fitted position of the measured peak at `two_theta` (compared in single
// precision, as pairs keep their angles), degrees 2θ; 0 when no such peak was fitted.
double fitted_sigma_at(const WorkSession& s, double two_theta);

// "6 of 8 peaks paired".
std::string pairing_summary_text(const PairingSummary& p);
// Fewer than half of the peaks in the range are paired: the cell, the shift or the
// tolerance is probably wrong, and a refinement of so few pairs is not to be trusted.
bool too_few_paired(const PairingSummary& p);
// The warning for that case, saying what to change.
std::string too_few_paired_warning(const PairingSummary& p);

// Exchange sort of the selected pairs by two_theta_obs (all fields move together).
void sort_selected_by_angle(WorkSession& s);

// The grid "Selected reflections": 5 columns, pairs + 2 rows, headers per angle mode,
// angles and difference 8:3 (halved in θ mode).
GridText show_selected_list(const WorkSession& s);

// The tolerance box text at start-up: 6:3.
std::string tolerance_box_text(double tolerance);

}  // namespace vornax

// Automatic pairing of measured peaks with calculated reflections, and the grid
// "Selected reflections".
#pragma once

#include <string>

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

// Exchange sort of the selected pairs by two_theta_obs (all fields move together).
void sort_selected_by_angle(WorkSession& s);

// The grid "Selected reflections": 5 columns, pairs + 2 rows, headers per angle mode,
// angles and difference 8:3 (halved in θ mode).
GridText show_selected_list(const WorkSession& s);

// The tolerance box text at start-up: 6:3.
std::string tolerance_box_text(double tolerance);

}  // namespace vornax

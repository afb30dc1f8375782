// Pairing by hand: the three mouse-selection modes, retyped indices, deleting one pair,
// deleting and restoring the whole selection, measuring peaks on the profile and the
// zero offset. Pure logic on the session: the diagram's hit tests give the bars under
// the cursor as list indices (0-based), the grids give row numbers.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

enum class MouseMode { None = 0, Mode1 = 1, Mode2 = 2, Mode3 = 3 };

inline constexpr const char* kMode1Text =
    "Selection Mode 1 activated. Click on an observed or calculated reflection bar on the diagram";
inline constexpr const char* kMode2Text =
    "Selection Mode 2 activated. Click FIRST an observed reflection bar THEN on the "
    "correspondant calculated reflection bar on the diagram";
inline constexpr const char* kMode3Text =
    "Selection Mode 3 activated. Click FIRST on a line of the list of the observed "
    "reflections THEN on the correspondant line of the calculated reflections list";
inline constexpr const char* kNotInCalculatedList =
    "Not possible: The reflection is out of range or is forbiden!";
inline constexpr const char* kTooManyPairs = "Too many selected reflections (>500)";

// Mouse-selection state of the selection tab and the diagram.
struct ManualSelection {
  MouseMode mode = MouseMode::None;
  // The measured peak (its 2θ) chosen by a first click of Mode 2 or Mode 3 and waiting
  // for its reflection. Nothing in the list changes until the second click hits.
  std::optional<float> pending_obs;
  int last_calculated = -1;  // last matched calculated reflection (0-based), -1 none
};

// The radio group "Mouse Selection": sets the mode, clears any pending choice and
// returns the mode's explanation (empty for None).
std::string choose_mouse_mode(ManualSelection& st, MouseMode mode);

// The first pair (0-based) holding exactly these indices, or -1.
int find_pair_by_indices(const WorkSession& s, int h, int k, int l);

// Mode 1, click below the axis on the calculated bars `reflections` (0-based, list
// order): the first of them whose nearest measured peak lies within the tolerance and
// whose h k l is not paired yet is paired with that peak. Returns whether a pair was
// added. A full list (500 pairs) refuses with a message.
bool mode1_pair_from_calculated(WorkSession& s, ManualSelection& st,
                                const std::vector<int>& reflections, Messages& m);

// Mode 1, click above the axis on the measured bars `peaks`: the first of them whose
// nearest calculated reflection lies within the tolerance and is not yet paired.
bool mode1_pair_from_measured(WorkSession& s, ManualSelection& st, const std::vector<int>& peaks,
                              Messages& m);

// Mode 2 / Mode 3 first click: choose measured peak `peak` (0-based). Mode 2 removes at
// once the pair that holds exactly this observed angle (the peak is being re-paired; the
// second click appends its new pair). Mode 3 refuses (beep) a peak that a pair already
// holds within 0.01°. Returns whether a choice is pending.
bool choose_measured_peak(WorkSession& s, ManualSelection& st, int peak, Messages& m);

// Second click: pair the pending peak with calculated reflection `reflection`. Mode 2
// never leaves two pairs on the pending observed angle.
// The pending choice is cleared whether or not a reflection was hit (-1 = missed).
bool complete_pending_pair(WorkSession& s, ManualSelection& st, int reflection, Messages& m);

// Right click: remove pair `pair` (0-based). False when it is not a pair.
bool remove_pair(WorkSession& s, int pair);

// Double click in "Selected reflections": delete the pair of that row (1-based row of
// the grid; row 0 is the header). Rows past the list do nothing.
bool delete_pair_row(WorkSession& s, int row);

// Three integers separated by blanks; an empty text gives 0 0 0. Nothing for other text.
std::optional<std::array<int, 3>> parse_indices(std::string_view text);

enum class RetypeResult { Unchanged, Deleted, Changed, Refused };

// The user edited the indices of grid row `row` (1-based) to `text`: 0 0 0 deletes the
// pair; indices of an allowed reflection re-pair it with that reflection; others are
// refused with a beep and a message; text that is not three integers beeps.
RetypeResult retype_indices(WorkSession& s, int row, std::string_view text, Messages& m);

// "Delete": writes the pairs to obs.txt in the working folder and empties the list.
// When the backup cannot be written the pairs are kept and a message says why.
// Returns whether the list was emptied.
bool delete_selection_with_backup(WorkSession& s, Messages& m);

// "Restore": when obs.txt exists and the list is empty, reads it whole; a valid file
// replaces the (empty) list, a bad one is refused with a message.
bool restore_selection(WorkSession& s, Messages& m);

// Profile window, left click at stored angle `two_theta` (2θ, offset included): a new
// measured peak with 2θ as read = 2θ - zero offset, line code 1, intensity of the
// profile point at the low end of the interval holding it. "Too many peaks (>500)" on
// a full list; a peak within 0.001° of an existing one is dropped silently. The list is
// sorted afterwards. Returns whether a peak was added.
bool measure_peak(WorkSession& s, double two_theta, Messages& m);

// The intensity a hand-measured peak takes from the profile (0 outside it).
double profile_intensity_at(const Profile& p, double two_theta);

// Removes measured peak `index` (0-based); false when it is not a peak.
bool remove_measured_peak(WorkSession& s, int index);

// "Zero offset :" with OK. Returns whether the offset was applied.
bool apply_zero_offset(WorkSession& s, std::string_view text, Messages& m);

}  // namespace vornax

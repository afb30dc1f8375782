// The "Calc." command of the cell tab, the space-group list clicks that calculate, the
// forbidden-lines toggle, the "Calculated diagram" grid and the two indx.out reports.
// Everything works on the session and on the tab as data (CellTab); the window mirrors
// the tab in its widgets, shows the hourglass cursor around these calls and refreshes
// the other windows as the returned outcome says.
//
// Errors: a missing operator file or scfs.dat (FileError from the loaders or the list
// fillers) is shown with Messages::error and ends the command. CatalogueMissing
// (spgr2.dat missing, thrown by fill_getspec_list) is NOT caught here: it propagates
// to the caller, and the window ends the program after showing its message.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/cell_entry.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/text_grid.hpp"

namespace vornax {

// What a command did, so the window knows what to refresh.
struct CalcOutcome {
  bool failed = false;          // an error message ended the command
  bool show_cell_tab = false;   // bring the "Initial cell parameters" tab to the front
  bool calculated = false;      // the checks passed and the generator ran
  bool grid_filled = false;     // the "Calculated diagram" grid was rebuilt: refresh the
                                // selection tab's calculated list, the refinement tab's
                                // initial values and the diagram window
  bool pairs_changed = false;   // the indexed list was paired: redraw the selection grid
                                // and the diagram window
};

// Asked by "Calc." when the selection holds pairs made by hand; Yes writes them to
// obs.txt first, so that "Restore" brings them back.
inline constexpr const char* kHandPairsQuestion =
    "The reflections selected by hand will be lost (\"Restore\" brings them back).\n"
    "Do you want to continue?";

// Pairs made by hand are lost by a new calculation: asks first, and on Yes deletes them
// with their backup ("Restore" brings them back). False on No.
bool may_drop_hand_pairs(WorkSession& s, Messages& m);

// "Calc.": empties the selection (asking first when pairs made by hand would be lost),
// reads the cell entry (echoing lambda and the range into tab.fields), copies the cell to the initial cell and runs run_calculation.
CalcOutcome calculate_reflections(WorkSession& s, CellTab& tab, Messages& m);

// The calculation sequence without the first steps of "Calc.": brings the lists in line
// with the session, lays out the cell fields for the system (tab.tied, tab.fields 0..5 =
// show_cell), writes lambda (8:5) and the range (7:2, halved in θ mode) into
// tab.fields 6..8, resets the "To refine" defaults (s.refine_checked / s.refine_enabled),
// empties the selection, then (lambda > 0 and range max > 0) loads the operators, makes
// the five checks, generates the allowed reflections and fills the grid; sets the grid
// title and ends with the wavelength / theta-range warnings or the pairing of a loaded
// indexed list (.LST peak file).
CalcOutcome run_calculation(WorkSession& s, CellTab& tab, Messages& m);

// Which of the two space-group lists a choice comes from.
enum class GroupList { HM, Getspec };

// The choice of entry `index` of a list, without calculating: the symbol, its kind and
// the selection of both lists (a Getspec choice first deletes scfs2.dat, which the
// lookup writes anew). Returns false for an index outside the list.
bool choose_group(WorkSession& s, CellTab& tab, GroupList list, int index);

// Index in the H-M or Getspec list of the entry a user would click for a typed group:
// the exact (upper-cased, trimmed) text first, then the same symbol spaced otherwise,
// then the first entry that adds a setting suffix (":1", ":H") to it; -1 when none.
int find_group(const std::vector<std::string>& list, const std::string& group, GroupList kind);

// The tab as the window has it once a system is chosen and a group clicked in its list
// (no calculation yet): lists filled, symbol set. Returns an error text for an unknown
// system or a group missing from its list. Throws CatalogueMissing and FileError like
// the lists do.
std::optional<std::string> choose_system_and_group(WorkSession& s, CellTab& tab,
                                                   const std::string& system,
                                                   const std::string& group, GroupList kind);

// Clicks in the two space-group lists (index into tab.hm_list / tab.getspec_list).
// Set the symbol and its kind, and calculate when the tab's nine fields are complete;
// like "Calc.", they ask first when pairs made by hand would be lost, and change nothing
// on No.
CalcOutcome select_group_hm(WorkSession& s, CellTab& tab, int index, Messages& m);
CalcOutcome select_group_getspec(WorkSession& s, CellTab& tab, int index, Messages& m);

// The forbidden-lines toggle pressed: `want_up` is the position the user asked for.
// Returns the toggle's new position (also in s.show_forbidden): down when there are no
// allowed reflections. When up, regenerates the forbidden list; in both positions
// rebuilds the merged list and writes forbidden.txt in the current folder. The window
// then refills its grid with fill_calculated_grid and redraws the diagram window.
bool toggle_forbidden(WorkSession& s, bool want_up, Messages& m);

// The "Calculated diagram" grid as texts: the header is its first row; there are at
// least 15 rows (empty ones at the end); forbidden records are styled Forbidden (cyan)
// while forbidden lines are shown. Every cell is drawn centred.
// Pure: the grid for the session's lists (the merged list when forbidden lines are
// shown), headers and formats for the angle mode.
GridText calculated_grid(const WorkSession& s);

// Its title: "Calulated diagram" or "Calc. diagram (+ forbidden lines)".
std::string calculated_grid_title(const WorkSession& s);

// The calculated lists for the session's cell and wavelength as "Calc." leaves them:
// the allowed reflections, and the forbidden and merged ones while they are shown.
void recalculate_reflections(WorkSession& s, Messages& m);

// Rebuilds the merged list when forbidden lines are shown (allowed then forbidden,
// exchange-sorted by increasing 2θ), sets tab.grid_title and returns the grid.
GridText fill_calculated_grid(WorkSession& s, CellTab& tab);


// "Ed/Print": deletes indx.out in the current folder, then, when reflections exist,
// writes the short report there and returns its path (for the report viewer).
std::optional<std::filesystem::path> write_short_reflection_report(WorkSession& s, Messages& m);

// The "Calculated Peaks" report: indx.out in the working folder. Shows "No calculated
// peaks!" without reflections and "No results" when the file was not written. Returns
// the path written.
std::optional<std::filesystem::path> write_calculated_report(WorkSession& s, Messages& m);

// The report lines (without line ends), for the writers above and for tests.
std::vector<std::string> calculated_lines_short(const WorkSession& s);   // Ed/Print
std::vector<std::string> calculated_lines_report(const WorkSession& s);  // Calculated Peaks
std::vector<std::string> forbidden_lines(const WorkSession& s);          // forbidden.txt

}  // namespace vornax

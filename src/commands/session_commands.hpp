// Commands of the main window that act on the session as a whole.
#pragma once

#include <filesystem>

#include "commands/changed.hpp"
#include "core/refined_quantity.hpp"
#include "core/session.hpp"

namespace vornax {

enum class EraseGroup { All, PeakData, Profile, CellParameters };

// The erase menu: brings the group back to its start-up values.
Changed erase_command(WorkSession& s, EraseGroup group);

// The program's start in `folder` (working and current folder): start-up values, the
// catalogue files in `data_folder`, no zero offset, the help file named.
void start_program(WorkSession& s, const std::filesystem::path& folder,
                   const std::filesystem::path& data_folder);

// The θ / 2θ choice of the main or the diagram window; None when it was already so.
Changed set_angle_mode(WorkSession& s, AngleMode mode);

// The shift model of the refinement tab's panel.
Changed set_shift_mode(WorkSession& s, ShiftMode mode);

// A "To refine" check box.
Changed set_refine_key(WorkSession& s, RefinedQuantity key, bool checked);

// The pair the user clicked in a refinement grid (1-based; 0: none), highlighted in
// both grids.
Changed highlight_pair(WorkSession& s, int pair);

// Keyboard entry of peaks starts without a zero offset.
Changed start_keyboard_entry(WorkSession& s);

// The list entry window works in the working folder.
Changed open_list_entry(WorkSession& s);

// Back to the main window: no measured row is marked any more.
Changed forget_measured_row(WorkSession& s);

}  // namespace vornax

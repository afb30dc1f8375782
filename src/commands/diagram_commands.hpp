// The mouse and button commands of the diagram window, the profile window and the
// selection tab's manual pairing. The windows pass what the user did; each command
// returns what it changed in the session. View-only changes (scale, a pending Mode 2
// choice) return Changed::None: the window redraws itself after every command.
#pragma once

#include <string>
#include <string_view>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "selection/manual_selection.hpp"
#include "viewer/diagram.hpp"

namespace vornax {

enum class MouseButton { Left, Right, Middle };

// Pixel distances of the mouse hit tests.
constexpr int kBarHitPixels = 4;        // bars under a click
constexpr int kMode2FirstHitPixels = 3; // the observed bar of a Mode 2 first click

struct DiagramRelease {
  MouseButton button = MouseButton::Left;
  Point at{};
  bool selection_tab_shown = false;  // clicks pair only while that tab is shown
  std::string tolerance_text;        // the main window's tolerance box
};

// Press on the image: keeps the press point and starts a drag.
void diagram_mouse_down(DiagramView& view, Point press);

// Release on the image: a drag of 5 pixels or more zooms; a click removes a pair (right
// button) or pairs in the current mouse mode (left button).
Changed diagram_mouse_up(WorkSession& s, Messages& m, DiagramView& view, ManualSelection& st,
                         const DiagramRelease& r);

// "Reset the diagram".
Changed diagram_reset(WorkSession& s, DiagramView& view);
// A press left the scale control at `value`; the drawing takes the value before it.
Changed diagram_scale(DiagramView& view, int value);
// A press left the shift control at `value`; the range moves by the value before it
// less the last value seen.
Changed diagram_shift(WorkSession& s, DiagramView& view, int value);

// "Reset the selected reflections" and the selection tab's "Delete".
Changed reset_selected_reflections(WorkSession& s, Messages& m);
// "Restore".
Changed restore_selected_reflections(WorkSession& s, Messages& m);
// "Zero offset :" with OK.
Changed modify_zero_offset(WorkSession& s, Messages& m, std::string_view text);

// The radio group "Mouse Selection"; returns the text for the tab's message area.
std::string select_mouse_mode(ManualSelection& st, DiagramView& view, MouseMode mode);

// Selection tab, Mode 3: a click on measured row / calculated row (1-based grid rows).
Changed click_measured_row(WorkSession& s, Messages& m, ManualSelection& st, int row);
Changed click_calculated_row(WorkSession& s, Messages& m, ManualSelection& st, int row);
// The user edited the indices cell of "Selected reflections" row `row`.
Changed retype_selected_indices(WorkSession& s, Messages& m, int row, std::string_view text);
// Double click on "Selected reflections" row `row`.
Changed delete_selected_row(WorkSession& s, int row);

// Profile window: press, release (left click measures a peak, right click deletes the
// peak whose bar is within 4 pixels, a drag zooms) and a double click on grid row `row`.
void profile_mouse_down(ProfileView& view, Point press);
Changed profile_mouse_up(WorkSession& s, Messages& m, ProfileView& view, MouseButton button,
                         Point release);
Changed profile_grid_double_click(WorkSession& s, int row);

}  // namespace vornax

// Commands of the main window that act on the session as a whole.
#pragma once

#include "commands/changed.hpp"
#include "core/session.hpp"

namespace vornax {

enum class EraseGroup { All, PeakData, Profile, CellParameters };

// The erase menu: brings the group back to its start-up values.
Changed erase_command(WorkSession& s, EraseGroup group);

}  // namespace vornax

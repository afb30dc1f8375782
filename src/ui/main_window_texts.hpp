// Texts of the main window's own panels, built from the session (no widgets here):
// the "Current values" boxes, the "Peak data" and "Profile" panels, the angle labels
// and the help texts of the tabs.
#pragma once

#include <array>
#include <string>

#include "core/session.hpp"

namespace vornax {

// "2θ1" / "2θ2" in 2θ mode, "θ1" / "θ2" in θ mode (which = 1 or 2).
std::string range_label(AngleMode mode, int which);

struct CurrentValuesText {
  std::string lambda;               // 8:5, blanks trimmed
  std::string range_min, range_max; // 7:2, halved in θ mode, blanks trimmed
};
CurrentValuesText current_values_text(const WorkSession& s);

// An information panel; shown only when its wavelength is above 0.
struct InfoPanelText {
  bool visible = false;
  std::string file;                 // "File: " + name without folder
  std::string sample;               // "Sample: " + sample text
  std::string anode;                // "Anode: " + anode
  std::string lambda;               // 8:5
  std::string range_min, range_max; // 8:2, halved in θ mode
};
InfoPanelText peak_data_text(const WorkSession& s);
InfoPanelText profile_text(const WorkSession& s);

// Help texts of the four tabs, in tab order.
extern const std::array<const char*, 4> kTabHelpTexts;
// The second text of the measured tab, on indexed lists.
extern const char* const kIndexedListHelpText;

}  // namespace vornax

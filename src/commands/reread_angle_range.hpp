// The "OK" of "Current values": a new wavelength and angle range, the loaded peak and
// profile files read again and kept inside the range, then the calculation again.
#pragma once

#include <string>

#include "commands/changed.hpp"
#include "core/cell_entry.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

inline constexpr const char* kInitialValuesLostQuestion =
    "The initial values will be lost. Do you want to continue?";

// What the three boxes of "Current values" hold; the angles as shown (halved in θ mode).
struct RangeEntry {
  std::string lambda, range_min, range_max;
  // Which boxes the user typed into since the program last wrote them.
  bool lambda_edited = false, range_min_edited = false, range_max_edited = false;
};

// reread_angle_range. The three boxes are read first ("Error at lambda" for a wavelength
// that is no number or not above 0, "Error at Theta Min.", "Error at Theta Max." for an
// angle that is no number or an upper angle not above the lower); only then is the
// question asked. The profile file (as the kind it was read as) and the peak file (.dif, .txt,
// .dat, .di, .prn, .cdt) are read again and both lists keep what lies in the range;
// lists that have no such file (an indexed list, typed or searched peaks) are clipped
// as they stand, an indexed list together with its peaks. The kept profile is scaled again on its own extremes and
// takes its own start and end angles; the kept peaks give the peak range from the
// smallest and largest angle. A file that can no longer be read is reported and leaves the
// session as it was. Then the selection is emptied and, with a space group chosen, "Calc." runs.
Changed reread_angle_range(WorkSession& s, CellTab& tab, Messages& m, const RangeEntry& entry);

}  // namespace vornax

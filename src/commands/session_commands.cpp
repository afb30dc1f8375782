#include "commands/session_commands.hpp"

namespace vornax {

Changed erase_command(WorkSession& s, EraseGroup group) {
  switch (group) {
    case EraseGroup::All:
      erase_all(s);
      return Changed::Everything & ~Changed::AngleMode;
    case EraseGroup::PeakData:
      erase_peak_data(s);
      return Changed::MeasuredPeaks | Changed::Selection | Changed::Results;
    case EraseGroup::Profile:
      erase_profile(s);
      return Changed::Profile;
    case EraseGroup::CellParameters:
      erase_cell_parameters(s);
      return Changed::Calculated | Changed::Selection | Changed::Results | Changed::Cell;
  }
  return Changed::None;
}

}  // namespace vornax

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

void start_program(WorkSession& s, const std::filesystem::path& folder,
                   const std::filesystem::path& data_folder) {
  // The caller may pass the session's own data folder, which the reset clears.
  std::filesystem::path data = data_folder;
  reset_session(s, folder);
  s.data_folder = std::move(data);
  s.measured.zero_offset = 0;
  s.help_file = "vornax2.hlp";
}

Changed set_angle_mode(WorkSession& s, AngleMode mode) {
  if (s.angle_mode == mode) return Changed::None;
  s.angle_mode = mode;
  return Changed::AngleMode;
}

Changed set_shift_mode(WorkSession& s, ShiftMode mode) {
  s.shift_mode = mode;
  return Changed::None;
}

Changed set_refine_key(WorkSession& s, RefinedQuantity key, bool checked) {
  const size_t i = index_of(key);
  s.refine_checked[i] = checked;
  return Changed::None;
}

Changed highlight_pair(WorkSession& s, int pair) {
  s.highlighted_pair = pair;
  return Changed::None;
}

Changed start_keyboard_entry(WorkSession& s) {
  s.measured.zero_offset = 0;
  return Changed::None;
}

Changed open_list_entry(WorkSession& s) {
  s.current_folder = s.working_folder;
  return Changed::None;
}

Changed forget_measured_row(WorkSession& s) {
  s.selected_measured_row = -1;
  return Changed::None;
}

}  // namespace vornax

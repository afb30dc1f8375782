#include "commands/indexed_list_commands.hpp"

#include "commands/cell_files.hpp"
#include "core/errors.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "files/indexed_list_file.hpp"

namespace vornax {

namespace {

// Writes the entries under a confirmed name; the name on success.
std::optional<std::string> write_list(const std::filesystem::path& path,
                                      const std::vector<IndexedEntry>& entries, Messages& m) {
  const auto name = confirm_save_name(path.string(), ".lst", m);
  if (!name) return std::nullopt;
  try {
    write_indexed_list(*name, entries);
  } catch (const FileError& e) {
    m.error(e.what());
    return std::nullopt;
  }
  return name;
}

}  // namespace

Changed save_selection_list(WorkSession& s, const std::filesystem::path& path, Messages& m) {
  if (s.selected.empty()) return Changed::None;
  std::vector<IndexedEntry> entries;
  entries.reserve(s.selected.size());
  for (const auto& p : s.selected) entries.push_back({p.h, p.k, p.l, p.two_theta_obs});
  const auto name = write_list(path, entries, m);
  if (!name) return Changed::None;
  s.measured.file_name = *name;
  s.indexed_list.clear();
  mark_pairs_on_file(s);
  m.info("The indexed list was save in the file " + *name);
  return Changed::MeasuredPeaks | Changed::Selection;
}

Changed merge_indexed_list(WorkSession& s, const std::filesystem::path& path, Messages& m) {
  if (s.allowed.empty()) return Changed::None;
  if (is_fixed_file(s, path)) {
    m.error(fixed_file_input_message(path));
    return Changed::None;
  }
  IndexedListRead read;
  try {
    read = read_indexed_list(read_file_bytes(path), path.filename().string(),
                             kMaxSelectedPairs);
  } catch (const Error& e) {
    m.error(e.what());
    return Changed::None;
  }
  const MergeOutcome out = merge_indexed_entries(s, read.entries, m);
  if (!out.merged) return Changed::None;
  mark_pairs_on_file(s);
  if (read.overflow() || out.dropped > 0) m.warning(kTooManyPairsMessage);
  return Changed::Selection;
}

Changed edit_modif_raies(WorkSession& s, SelectionEditor& ed) {
  return open_selection_editor(s, ed) ? Changed::Selection : Changed::None;
}

Changed editor_add(WorkSession& s, SelectionEditor& ed, const EditorBoxes& boxes, Messages& m) {
  const AddModifResult r = editor_add_modif(s, ed, boxes, m);
  if (!r.added) return Changed::None;
  return r.range_changed ? Changed::Selection | Changed::CurrentValues : Changed::Selection;
}

Changed editor_restore_list(WorkSession& s, SelectionEditor& ed) {
  editor_restore(s, ed);
  return Changed::Selection;
}

Changed editor_cancel_list(WorkSession& s, SelectionEditor& ed) {
  editor_cancel(s, ed);
  return Changed::Selection;
}

Changed accept_entered_list(WorkSession& s, const std::vector<std::array<std::string, 4>>& rows,
                       const std::string& wavelength, Messages& m) {
  const auto list = read_entered_list(rows, wavelength, m);
  if (!list) return Changed::None;
  commit_entered_list(s, *list);
  return Changed::MeasuredPeaks | Changed::CurrentValues;
}

Changed save_entered_list(WorkSession& s, const std::filesystem::path& path, Messages& m) {
  if (s.indexed_list.empty()) return Changed::None;
  const auto name = write_list(path, s.indexed_list, m);
  if (!name) return Changed::None;
  s.measured.file_name = *name;
  return Changed::MeasuredPeaks;
}

}  // namespace vornax

// Indexed-list commands of the selection tab, the selection editor and the indexed-list
// entry window. The windows choose the file names and call these.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "selection/indexed_lists.hpp"

namespace vornax {

// "Save ": writes the selected pairs (h, k, l, 2θ observed) as an indexed list; ".lst"
// is appended when the name lacks it, an existing file is replaced only after a Yes.
// After the write the list becomes the peak file name (so the next "Calc." pairs by
// indices again) and the indexed list loaded with older peaks is dropped; then "The
// indexed list was save in the file " + name. Nothing when there are no pairs.
Changed save_selection_list(WorkSession& s, const std::filesystem::path& path, Messages& m);

// "Merge": reads the list and merges it into the selected pairs (merge_indexed_entries).
// A file that cannot be read or decoded shows its message and changes nothing.
Changed merge_indexed_list(WorkSession& s, const std::filesystem::path& path, Messages& m);

// "Add/Modif" of the selection tab: opens the editor (only with calculated reflections).
Changed edit_modif_raies(WorkSession& s, SelectionEditor& ed);
// The editor's buttons.
Changed editor_add(WorkSession& s, SelectionEditor& ed, const EditorBoxes& boxes, Messages& m);
Changed editor_restore_list(WorkSession& s, SelectionEditor& ed);
Changed editor_cancel_list(WorkSession& s, SelectionEditor& ed);

// The entry window's OK: the rows become the measured peaks and the indexed list.
Changed accept_entered_list(WorkSession& s, const std::vector<std::array<std::string, 4>>& rows,
                       const std::string& wavelength, Messages& m);
// Its save dialog accepted: the typed list written as an indexed list (2θ 10:4); the
// name becomes the peak file name after the write.
Changed save_entered_list(WorkSession& s, const std::filesystem::path& path, Messages& m);

}  // namespace vornax

// Indexed lists in the selection: merging a list into the selected pairs, the logic of
// the selection editor (backup, Add/Modif, Restore, Delete) and of the indexed-list
// entry window. Pure functions on the session; the windows only wire them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

inline constexpr const char* kMergeToleranceQuestion =
    "Warning, something wrong: The difference between Calc. and Obs. angles is greater "
    "than Tolerance. Do you want to continue?";
inline constexpr const char* kTooManyPairsMessage = "Too many selected reflections (>500)";

// Indices as reciprocal-space row vectors: (h' k' l') = (h k l) · R, R being the
// rotation of a real-space operator. Every image has the d-spacing of (h k l).
std::array<int, 3> transform_indices(const SymmetryOperator& op, int h, int k, int l);

// True when an operator maps (h k l) onto (H K L); in hexagonal axes, when none does, the
// images are compared with (K H L) as well.
bool indices_equivalent(const WorkSession& s, int h, int k, int l, int H, int K, int L);

// 2θ of (h k l) for the current cell and wavelength; 0 when it has none (indices all
// 0, no wavelength, or λ / 2d > 1).
double calculated_two_theta(const WorkSession& s, int h, int k, int l);

struct MergeOutcome {
  bool merged = false;  // the selected list was replaced
  int dropped = 0;      // entries of the file beyond the list's capacity
};

// Appends the entries to the selected pairs and gives each the 2θ of the calculated
// reflection its indices are equivalent to (the last one in list order); entries that
// match none get the 2θ of their own indices. A pair further than the tolerance asks
// kMergeToleranceQuestion; No or Cancel leaves the selected list as it was before the
// merge. Then, across the whole list, an entry is removed when a later one has the same
// indices (so a merged entry replaces an existing pair), entries with 2θ observed 0
// are dropped and the list is sorted by 2θ observed. Nothing without calculated
// reflections.
MergeOutcome merge_indexed_entries(WorkSession& s, const std::vector<IndexedEntry>& entries,
                                   Messages& m);

// The selection editor's own state: the backup taken when it opened and whether an
// Add/Modif changed the list since.
struct SelectionEditor {
  bool open = false;
  bool modified = false;
  std::vector<SelectedPair> backup;
};

// Opens the editor when calculated reflections exist: takes the backup, empties the
// indexed list (Add/Modif refills it) and clears the modified flag.
bool open_selection_editor(WorkSession& s, SelectionEditor& ed);

// The editor's boxes as typed.
struct EditorBoxes {
  std::string h, k, l, obs;
};

// Entering a 2θ box: the calculated 2θ of the typed indices, 8:3, for the "Calc" box.
// "indices error" when an index box is empty or not an integer; nothing for 0 0 0.
std::optional<std::string> editor_calc_text(const WorkSession& s, const EditorBoxes& b,
                                            Messages& m);

struct AddModifResult {
  bool added = false;          // the pair was added (or replaced an existing one)
  bool range_changed = false;  // the range was widened to hold the calculated angle
};

// "Add/Modif": everything is checked before anything changes (indices, observed 2θ a
// number above 0, a calculated 2θ, 500 pairs, 100 indexed entries); then the pair with
// the same indices is replaced (or the pair appended), the list sorted by observed 2θ,
// the range widened to calculated ± 2 when the angle lies outside the window, and the
// indexed list gets the entry.
AddModifResult editor_add_modif(WorkSession& s, SelectionEditor& ed, const EditorBoxes& b,
                                Messages& m);

// "Restore": the selected list as it was when the editor opened.
void editor_restore(WorkSession& s, const SelectionEditor& ed);
// "Cancel": Restore, then the editor is closed.
void editor_cancel(WorkSession& s, SelectionEditor& ed);
// "OK": closes the editor, whatever the list holds. Returns true when the list was
// modified, is not empty and the user answers Yes to "Do you want to save the indexed
// list?" (the window then saves it as the selection's Save does).
bool editor_ok(const WorkSession& s, SelectionEditor& ed, Messages& m);

// Deletes the first pair with these indices; false when there is none.
bool delete_pair(WorkSession& s, int h, int k, int l);

// The indexed-list entry window: rows of H, K, L, 2θ texts, read down to the first row
// with an empty cell.
struct EnteredList {
  double lambda = 0;
  std::vector<IndexedEntry> entries;
};

// Checks the wavelength ("No wavelength!", "Wavelength error") and the rows ("Type
// error"; the 101st entry: kTooManyIndexedMessage, the first 100 kept). Nothing when no
// row is complete.
std::optional<EnteredList> read_entered_list(const std::vector<std::array<std::string, 4>>& rows,
                                             const std::string& wavelength, Messages& m);

// Makes the entered list the measured peaks (intensity 100) and the indexed list; the
// peak list's wavelength and the current one take λ; the entered range, the working
// window and the peak list's range become smallest − 0.1 .. largest + 0.1, capped at
// 179. The peaks have no file until they are saved.
void commit_entered_list(WorkSession& s, const EnteredList& list);

}  // namespace vornax

// Cell files: loading a .cry or an ICSD file into the cell tab (with the catalogue
// lookup and the calculation), saving the cell, and erasing the calculated reflections.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "commands/changed.hpp"
#include "core/cell_entry.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

// A symbol as the space-group lists spell it, and the list it was found in.
struct CatalogueSymbol {
  std::string symbol;  // upper-cased and trimmed, as a click in the list sets it
  std::string kind;    // "HM" or "HALL"
};

// Looks a symbol up in the system's H-M list, then its Getspec list, ignoring case and
// blanks on both sides: the same text first, then the same without blanks, then an
// entry that adds a setting (":1", ":H") to it. Throws FileError (and CatalogueMissing)
// as the lists do.
std::optional<CatalogueSymbol> find_catalogue_symbol(const WorkSession& s,
                                                     std::string_view system,
                                                     std::string_view symbol);

// Reads the file (an ICSD file when the name contains ".ics", a .cry file otherwise)
// and, only when it was read whole, makes it the cell of the session: title, system
// (from the cell for an ICSD file), symbol as the catalogue spells it, cell and initial
// cell, file name; the selection and the refinement results are emptied. A bad file
// shows its message and changes nothing. Returns whether the cell was taken.
bool load_cell_file(WorkSession& s, const std::filesystem::path& path, Messages& m);

// The two load commands of the cell tab: load_cell_file, then the calculation.
Changed import_cell_vornax(WorkSession& s, CellTab& tab, const std::filesystem::path& path,
                           Messages& m);
Changed import_cel_icsd(WorkSession& s, CellTab& tab, const std::filesystem::path& path,
                        Messages& m);

// Saves the cell with the system and group chosen in the tab: "No cell parameters!"
// for a zero parameter; ".cry" appended when the name lacks it; an existing file only
// after a Yes to the overwrite question. After the write the file name is recorded and
// the cell becomes the initial cell.
Changed save_cell(WorkSession& s, const CellTab& tab, const std::filesystem::path& path,
                     Messages& m);

// The caption of the calculated-pattern label once a cell file is named.
std::string calculated_pattern_caption(const WorkSession& s);

// The tab's Erase button: no calculated reflections any more.
Changed erase_calculated_reflections(WorkSession& s);

// Shared by the save commands: `name` with `extension` appended when it does not
// contain it (any case), or nothing when the file exists and the user does not answer
// Yes to "This file already exists. Do you want to continue?".
std::optional<std::string> confirm_save_name(std::string name, std::string_view extension,
                                             Messages& m);

}  // namespace vornax

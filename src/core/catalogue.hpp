// The space-group catalogue spgr2.dat and the two space-group lists of the cell tab.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/cell_entry.hpp"
#include "core/errors.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

// Lines (1-based, inclusive) of a system's block in spgr2.dat; {1, 1} for other codes.
CatalogueBlock catalogue_block(std::string_view system);

// Columns of a spgr2.dat line (1-based, inclusive); the rest of a line is not read.
struct CatalogueColumns {
  size_t first, last;
};
constexpr CatalogueColumns kHmColumns{6, 17};
constexpr CatalogueColumns kHallColumns{27, 46};
constexpr CatalogueColumns kCodeColumns{47, 49};

// The text in those columns, as much of it as a short line holds.
std::string catalogue_field(std::string_view line, CatalogueColumns columns);

// The list entry built from one spgr2.dat line: H-M (12), Hall (at least 17), code (3).
std::string getspec_entry(std::string_view catalogue_line);

// Fill the two lists of the tab for the session's system and select the session's
// symbol in them. fill_getspec_list throws CatalogueMissing when spgr2.dat is missing
// (the list is then empty); both throw FileError when their file cannot be read, and
// leave their list as it was.
void fill_getspec_list(const WorkSession& s, CellTab& tab);
void fill_hm_list(const WorkSession& s, CellTab& tab);

// After both lists were refilled, each may select the session's symbol; only the list
// of the symbol's kind keeps its selection, so that reading the lists back does not turn
// a Getspec choice into an H-M one.
void keep_selection_of_kind(const WorkSession& s, CellTab& tab);

// Brings the system list and the H-M list in line with the session.
void sync_symbol_lists(WorkSession& s, CellTab& tab);

}  // namespace vornax

// Import of ICSD text files (.ics): lines whose first four characters are a keyword,
// of which TITL (title), CELL (cell parameters) and SGR (space-group symbol) are used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/session.hpp"
#include "files/cell_file.hpp"

namespace vornax {

struct IcsdData {
  std::optional<std::string> title;   // TITL, the rest of the line as it is
  std::optional<std::string> symbol;  // SGR, without blanks, number and final "H"
  CellParameters cell;
};

// Reads the whole file; a later TITL, CELL or SGR line replaces an earlier one.
// Throws CellParametersNotFound when no CELL line gives six numbers.
IcsdData read_icsd_file(std::string_view bytes, const std::string& name);

// The numbers of a CELL value: parenthesised uncertainties removed (an unclosed "("
// removes the rest of the line), the names before each "=" removed, commas taken as
// blanks. Returns the numbers up to the first field that is not one.
std::vector<double> icsd_cell_numbers(std::string_view value);

// The SGR value as a symbol: up to the first "(", blanks removed, a final "H" removed.
std::string icsd_symbol(std::string_view value);

}  // namespace vornax

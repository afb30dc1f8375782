// The program's own cell file (.cry): four lines, title, crystal-system code,
// space-group symbol and the six cell parameters.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/session.hpp"

namespace vornax {

// The one message for a cell file or an ICSD file whose cell cannot be decoded.
inline constexpr const char* kCellNotFoundMessage = "Cell parameters not found!";

// A cell file (or ICSD file) whose six cell parameters are missing or damaged;
// what() is exactly kCellNotFoundMessage, so the command shows it as it is.
class CellParametersNotFound : public FormatError {
 public:
  CellParametersNotFound() : FormatError(kCellNotFoundMessage) {}
};

struct CellFileData {
  std::string title;   // line 1, as it is
  std::string system;  // line 2, trimmed and upper-cased
  std::string symbol;  // line 3, trimmed
  CellParameters cell; // line 4
};

// Reads the four lines. Every number of line 4 is parsed before anything is returned,
// so a short or damaged file throws CellParametersNotFound and gives nothing.
CellFileData read_cell_file(std::string_view bytes, const std::string& name);

// The four lines as written: the cell as six 10:4 fields, always separated by at least
// one blank (a value of 10000 or more fills its field).
std::vector<std::string> cell_file_lines(const CellFileData& data);
// Writes them with CR LF line ends. Throws FileError.
void write_cell_file(const std::filesystem::path& path, const CellFileData& data);

// Appends `field` to `line`, adding one blank when the field itself starts with none,
// so that numbers read back by blank-separated reading never run together.
void append_field(std::string& line, const std::string& field);

}  // namespace vornax

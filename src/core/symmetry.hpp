// Symmetry operators of the chosen space group: from the system's operator file
// (.pos) or through the space-group library (scfs.dat), plus lattice centring.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

// One coordinate expression of an operator file ("-Y+1/3") as a row and a translation.
struct ParsedExpression {
  std::array<double, 3> row{};
  double translation = 0;
  bool ok = false;  // false when the text matches none of the eight row forms
};
ParsedExpression parse_expression(std::string_view expression);

// Operator file of a system code: "c.pos", "q.pos" (tetragonal), "o.pos", "h.pos",
// "r.pos", "m.pos", "t.pos"; empty for an unknown code.
std::string operator_file_name(std::string_view system);

// Appends the centred copies of the operators for the lattice letter (R only in
// hexagonal axes), keeping the table within kMaxOperators.
void add_lattice_centring(std::vector<SymmetryOperator>& ops, char lattice_letter,
                          std::string_view system);

// Operators of the session's symbol from the system's operator file; writes hm.txt in
// the current folder. Shows symbol + " not found" when the file lacks the symbol.
// Throws FileError when the operator file cannot be read (nothing is changed then).
void load_operators_hm(WorkSession& s, Messages& m);

// Operators of the session's symbol through the space-group library: scfs.dat is
// written in the current folder and read back; writes hall.txt. Throws FileError.
void load_operators_getspec(WorkSession& s, Messages& m);

// hm.txt / hall.txt: one line per operator.
void write_operator_table(const std::filesystem::path& path,
                          const std::vector<SymmetryOperator>& ops);

// The space-group library: given the character codes of the trimmed H-M symbol padded
// with 32 to 16 elements, writes scfs.dat into `out_folder` with the operators of the
// catalogue line of that symbol (case and blanks ignored), without centring
// translations. Throws FileError when the catalogue cannot be read or the file written.
void getspec(const std::array<int32_t, 16>& symbol_codes,
             const std::filesystem::path& catalogue, const std::filesystem::path& out_folder);

}  // namespace vornax

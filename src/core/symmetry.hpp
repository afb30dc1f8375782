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
#include "core/text_file.hpp"

namespace vornax {

// One coordinate expression of an operator file ("-Y+1/3") as a row and a translation.
struct ParsedExpression {
  std::array<double, 3> row{};
  double translation = 0;
  bool ok = false;  // false when the text matches none of the eight row forms
};
ParsedExpression parse_expression(std::string_view expression);

// The lattice letter a symbol stands for under a system: its first character, "P" for
// the rhombohedral system (the cell is primitive in rhombohedral axes) and "P" for
// "No ext." (no extinction at all); blank for an empty symbol.
char symbol_lattice_letter(std::string_view symbol, std::string_view system);

// True for the first entry of the H-M list, "No ext.", whatever its case and blanks.
bool is_no_extinction(std::string_view symbol);

// Operator file of a system code: "c.pos", "q.pos" (tetragonal), "o.pos", "h.pos",
// "r.pos", "m.pos", "t.pos"; empty for an unknown code.
std::string operator_file_name(std::string_view system);

// Appends the centred copies of the operators for the lattice letter (R only in
// hexagonal axes), keeping the table within kMaxOperators.
void add_lattice_centring(std::vector<SymmetryOperator>& ops, char lattice_letter,
                          std::string_view system);

// Operators of the session's symbol from the system's operator file (working folder
// first, then the data folder); writes hm.txt in the current folder after making the
// working folder current. Shows symbol + " not found" when the file lacks the symbol
// (empty table, empty hm.txt); "No ext." is the identity even then. Throws FileError
// when the operator file cannot be read or a block is malformed or too large for the
// table; the session is unchanged then. Does nothing without a system.
void load_operators_hm(WorkSession& s, Messages& m);

// Operators of the session's symbol through the space-group library: scfs.dat is
// written in the current folder (the working folder, made current) and read back, the
// centring is added and hall.txt written. Shows symbol + " not found" when the
// catalogue lacks the symbol. Throws FileError (session unchanged) when spgr2.dat or
// scfs.dat cannot be read.
void load_operators_getspec(WorkSession& s, Messages& m);

// The operators listed in scfs.dat: the first line is skipped, the list ends at an empty
// line or the end of the file. " ." and "-." are read as " 0." and "-0.", commas as
// blanks. Throws FileError when the file cannot be read or a line lacks its twelve numbers.
std::vector<SymmetryOperator> read_scfs(const std::filesystem::path& path);
// The same from lines already read; `file` names the file in messages.
std::vector<SymmetryOperator> scfs_from_lines(const std::vector<std::string>& lines,
                                              const std::filesystem::path& file);

// The operators of `symbol` (case and outer blanks ignored) in the lines of an operator
// file, doubled for a centrosymmetric block and with the centring copies of the
// symbol's lattice: load_operators_hm without the files. Empty when the symbol is empty
// or missing. Throws FileError naming `file` for a malformed or oversized block.
std::vector<SymmetryOperator> operators_from_lines(const std::vector<std::string>& lines,
                                                   const std::string& symbol,
                                                   std::string_view system,
                                                   const std::filesystem::path& file);

// hm.txt / hall.txt: one line per operator.
void write_operator_table(const std::filesystem::path& path,
                          const std::vector<SymmetryOperator>& ops);

// The space-group library: given the character codes of the trimmed H-M symbol padded
// with 32 to 16 elements, writes `out_file` (scfs.dat) with the operators of the
// catalogue line of that symbol (case and blanks ignored), without centring
// translations. Throws FileError when the catalogue cannot be read or the file written.
void getspec(const std::array<int32_t, 16>& symbol_codes,
             const std::filesystem::path& catalogue, const std::filesystem::path& out_file);
// The content getspec writes, from the catalogue's lines already read (`catalogue`
// names the file in messages). Throws FileError for a Hall symbol the library refuses.
TextFile getspec_text(const std::array<int32_t, 16>& symbol_codes,
                      const std::vector<std::string>& lines,
                      const std::filesystem::path& catalogue);

}  // namespace vornax

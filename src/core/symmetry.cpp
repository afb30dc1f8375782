#include "core/symmetry.hpp"

#include <cctype>
#include <cmath>
#include <exception>
#include <system_error>

#include <gemmi/symmetry.hpp>

#include "core/catalogue.hpp"
#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

// A coordinate row form and its coefficients of x, y, z.
struct RowForm {
  const char* text;
  std::array<double, 3> row;
};
constexpr RowForm kRowForms[] = {
    {"X", {1, 0, 0}},  {"Y", {0, 1, 0}},  {"Z", {0, 0, 1}},    {"-X", {-1, 0, 0}},
    {"-Y", {0, -1, 0}}, {"-Z", {0, 0, -1}}, {"X-Y", {1, -1, 0}}, {"Y-X", {-1, 1, 0}},
};

// Translation suffixes in the order they are searched: the first one found anywhere in
// the expression wins, so "+1/2" is tried before "-1/2" whatever the text says.
struct Suffix {
  const char* text;
  double value;
};
constexpr Suffix kSuffixes[] = {
    {"+1/2", 0.5},        {"+1/3", 0.3333333},  {"+2/3", 0.6666667},  {"+1/4", 0.25},
    {"+3/4", 0.75},       {"+1/6", 0.166667},   {"+5/6", 0.83333},    {"-1/2", -0.5},
    {"-1/3", -0.3333333}, {"-2/3", -0.6666667}, {"-1/4", -0.25},      {"-3/4", -0.75},
    {"-1/6", -0.166667},  {"-5/6", -0.83333},
};

// Centring translations, written as the operator tables have always carried them.
using Vector3 = std::array<double, 3>;
constexpr double kThird = 0.3333333333;
constexpr double kTwoThirds = 0.6666666666;

std::vector<Vector3> centring_vectors(char letter, std::string_view system) {
  switch (letter) {
    case 'R':
      if (crystal_system(system).hexagonal_axes)
        return {{kThird, kTwoThirds, kTwoThirds}, {kTwoThirds, kThird, kThird}};
      return {};
    case 'F': return {{0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
    case 'I': return {{0.5, 0.5, 0.5}};
    case 'A': return {{0, 0.5, 0.5}};
    case 'B': return {{0.5, 0, 0.5}};
    case 'C': return {{0.5, 0.5, 0}};
    default: return {};
  }
}

std::string without_blanks_upper(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != ' ' && c != '\t') out += c;
  return to_upper(out);
}

FileError format_error(const std::filesystem::path& file, const std::string& what) {
  return FileError("Cannot read " + file.filename().string() + ": " + what);
}

SymmetryOperator identity_operator() {
  SymmetryOperator op;
  op.rows[0] = {1, 0, 0, 0};
  op.rows[1] = {0, 1, 0, 0};
  op.rows[2] = {0, 0, 1, 0};
  return op;
}

// Operators listed in a file, their count after the centrosymmetric doubling, and the
// centring copies must all fit in the table.
void check_capacity(const std::filesystem::path& file, std::string_view symbol, long long listed,
                    bool doubled, char letter, std::string_view system) {
  // Divided rather than multiplied: a count read from a file may be near the top of
  // the integer range, where the product would overflow.
  const long long per_listed = (doubled ? 2 : 1) *
                               static_cast<long long>(1 + centring_vectors(letter, system).size());
  if (listed < 0 || listed > kMaxOperators / per_listed)
    throw format_error(file, std::string(symbol) + ": more than " +
                                 std::to_string(kMaxOperators) + " operators");
}

// The final table of a symbol: written to its file (hm.txt or hall.txt, in the current
// folder), then kept in the session; a symbol that gave no operator is reported.
void install_operators(WorkSession& s, Messages& m, std::vector<SymmetryOperator> ops,
                       char letter, FixedFile table_file) {
  const bool not_found = ops.empty() && !trim(s.symbol).empty();
  write_operator_table(fixed_file_path(s, table_file), ops);
  s.lattice_letter = letter;
  s.operators = std::move(ops);
  if (not_found) m.error(s.symbol + " not found");
}

}  // namespace

char symbol_lattice_letter(std::string_view symbol, std::string_view system) {
  std::string t = trim(symbol);
  if (t.empty()) return ' ';
  if (crystal_system(system).always_primitive || is_no_extinction(t)) return 'P';
  return static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
}

bool is_no_extinction(std::string_view symbol) { return without_blanks_upper(symbol) == "NOEXT."; }

ParsedExpression parse_expression(std::string_view expression) {
  ParsedExpression r;
  std::string text = to_upper(trim(expression));
  for (const Suffix& sx : kSuffixes) {
    auto p = text.find(sx.text);
    if (p == std::string::npos) continue;
    r.translation = sx.value;
    if (sx.value != 0) text.erase(p, 4);
    break;
  }
  text = trim(text);
  for (const RowForm& f : kRowForms) {
    if (text == f.text) {
      r.row = f.row;
      r.ok = true;
      break;
    }
  }
  return r;
}

std::string operator_file_name(std::string_view system) {
  return std::string(crystal_system(system).operator_file);
}

void add_lattice_centring(std::vector<SymmetryOperator>& ops, char lattice_letter,
                          std::string_view system) {
  const auto vectors = centring_vectors(lattice_letter, system);
  const size_t n = ops.size();
  for (const Vector3& v : vectors) {
    for (size_t j = 0; j < n; ++j) {
      if (ops.size() >= static_cast<size_t>(kMaxOperators)) return;
      SymmetryOperator op = ops[j];
      for (size_t r = 0; r < 3; ++r) {
        double& t = op.rows[r][3];
        t += v[r];
        if (t > 1) t -= 1;  // a translation of exactly 1 stays 1
      }
      ops.push_back(op);
    }
  }
}

void write_operator_table(const std::filesystem::path& path,
                          const std::vector<SymmetryOperator>& ops) {
  TextFile f;
  for (const SymmetryOperator& op : ops) {
    std::string line;
    for (const auto& row : op.rows) {
      for (size_t c = 0; c < 3; ++c) line += format_int(std::llround(row[c]), 4);
      // + 0.0 turns a negated zero into a plain one, so no "-0.00000" appears.
      line += format_fixed(row[3] + 0.0, 10, 5);
      line += " , ";
    }
    f.add(line);
  }
  f.save(path);
}

namespace {

// to_upper(trim(line)) == upper_symbol, without building either string: the operator
// file is scanned line by line for every calculation.
bool is_symbol_line(std::string_view line, std::string_view upper_symbol) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  if (line.size() != upper_symbol.size()) return false;
  for (size_t k = 0; k < line.size(); ++k)
    if (static_cast<char>(std::toupper(static_cast<unsigned char>(line[k]))) != upper_symbol[k])
      return false;
  return true;
}

}  // namespace

std::vector<SymmetryOperator> operators_from_lines(const std::vector<std::string>& lines,
                                                   const std::string& symbol_text,
                                                   std::string_view system,
                                                   const std::filesystem::path& file) {
  const char letter = symbol_lattice_letter(symbol_text, system);
  // Without a symbol there is nothing to look up (an empty symbol would otherwise match
  // the empty line that opens a block); the calculation reports the missing group.
  const std::string symbol = to_upper(trim(symbol_text));
  std::vector<SymmetryOperator> ops;
  size_t i = 0;
  while (!symbol.empty() && i < lines.size() && !is_symbol_line(lines[i], symbol)) ++i;
  if (!symbol.empty() && i < lines.size()) {
    ++i;
    auto next_integer = [&](const char* what) {
      if (i >= lines.size()) throw format_error(file, symbol_text + ": " + what + " missing");
      auto v = parse_integer(lines[i++]);
      if (!v) throw format_error(file, symbol_text + ": " + what + " is not an integer");
      return *v;
    };
    const bool centrosymmetric = next_integer("centrosymmetric flag") != 0;
    const long long n = next_integer("operator count");
    check_capacity(file, symbol_text, n, centrosymmetric, letter, system);

    for (long long k = 0; k < n; ++k) {
      if (i >= lines.size()) throw format_error(file, symbol_text + ": operator lines missing");
      const std::string& line = lines[i++];
      auto c1 = line.find(',');
      auto c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
      if (c2 == std::string::npos)
        throw format_error(file, symbol_text + ": operator line without three expressions");
      const std::string_view parts[3] = {std::string_view(line).substr(0, c1),
                                         std::string_view(line).substr(c1 + 1, c2 - c1 - 1),
                                         std::string_view(line).substr(c2 + 1)};
      SymmetryOperator op;
      for (size_t r = 0; r < 3; ++r) {
        ParsedExpression e = parse_expression(parts[r]);
        if (!e.ok)
          throw format_error(file, symbol_text + ": unknown coordinate expression \"" +
                                       trim(parts[r]) + "\"");
        op.rows[r] = {e.row[0], e.row[1], e.row[2], e.translation};
      }
      ops.push_back(op);
    }

    if (centrosymmetric) {
      // The other half: the same operators after the inversion at the origin.
      const size_t half = ops.size();
      for (size_t k = 0; k < half; ++k) {
        SymmetryOperator op = ops[k];
        for (auto& row : op.rows) {
          for (double& v : row) v = -v + 0.0;
          if (row[3] < 0) row[3] += 1;
        }
        ops.push_back(op);
      }
    }
    add_lattice_centring(ops, letter, system);
  } else if (is_no_extinction(symbol_text)) {
    // "No ext." allows every reflection, even with an operator file that lacks it.
    ops.push_back(identity_operator());
  }
  return ops;
}

void load_operators_hm(WorkSession& s, Messages& m) {
  const std::string file_name = operator_file_name(s.system);
  if (file_name.empty()) return;  // no system chosen

  const char letter = symbol_lattice_letter(s.symbol, s.system);
  const std::filesystem::path file = find_data_file(s, file_name);
  const auto kept = read_text_lines_kept(file);
  std::vector<SymmetryOperator> ops = operators_from_lines(*kept, s.symbol, s.system, file);
  install_operators(s, m, std::move(ops), letter, FixedFile::HmTable);
}

void getspec(const std::array<int32_t, 16>& symbol_codes, const std::filesystem::path& catalogue,
             const std::filesystem::path& out_file) {
  const auto kept = read_text_lines_kept(catalogue);
  getspec_text(symbol_codes, *kept, catalogue).save(out_file);
}

namespace {

// The space-group library writes out of bounds for a screw subscript on a rotation
// whose axis it cannot name (a diagonal or undetermined axis, as in "P 2 2 21" with a
// missing first axis or "P 3* 31"). Real catalogues never hold such a symbol, but a
// damaged one may: this follows the library's own inference of the axis and refuses
// the symbol first. Other errors the library reports itself.
bool hall_axes_are_determined(std::string_view hall) {
  hall = hall.substr(0, hall.find('\0'));  // the library reads a C string
  // The library takes '_' for a blank, both between parts and around them.
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '_'; };
  size_t i = 0;
  while (i < hall.size() && blank(hall[i])) ++i;
  if (i < hall.size() && hall[i] == '-') ++i;
  while (i < hall.size() && blank(hall[i])) ++i;
  ++i;  // lattice letter
  int pos = 0, prev = 0;
  while (true) {
    while (i < hall.size() && blank(hall[i])) ++i;
    if (i >= hall.size() || hall[i] == '(') return true;
    size_t end = i;
    while (end < hall.size() && !blank(hall[end])) ++end;
    const std::string_view part = hall.substr(i, end - i);
    i = end;
    ++pos;
    if (part == "1") continue;
    size_t k = part[0] == '-' ? 1 : 0;
    if (k >= part.size() || part[k] < '1' || part[k] > '6' || part[k] == '5') return true;
    const int n = part[k++] - '0';
    bool screw = false, principal = false, diagonal = false;
    for (; k < part.size(); ++k) {
      const char c = part[k];
      if (c >= '1' && c <= '5') screw = true;
      else if (c == '\'' || c == '"' || c == '*') diagonal = true;
      else if (c == 'x' || c == 'y' || c == 'z') principal = true;
    }
    if (!principal && !diagonal) {
      if (pos == 1) principal = true;
      else if (pos == 2 && n == 2 && (prev == 2 || prev == 4)) principal = true;
    }
    if (screw && !principal) return false;
    prev = n;
  }
}

}  // namespace

TextFile getspec_text(const std::array<int32_t, 16>& symbol_codes,
                      const std::vector<std::string>& lines,
                      const std::filesystem::path& catalogue) {
  std::string symbol;
  for (int32_t c : symbol_codes)
    if (c > 0 && c < 256) symbol += static_cast<char>(c);
  const std::string wanted = without_blanks_upper(symbol);
  std::string hm, hall;
  for (const std::string& line : lines) {
    std::string field = catalogue_field(line, kHmColumns);
    if (!wanted.empty() && without_blanks_upper(field) == wanted) {
      hm = trim(field);
      hall = trim(catalogue_field(line, kHallColumns));
      break;
    }
  }

  TextFile out;
  std::vector<gemmi::Op> sym_ops;
  if (!hall.empty()) {
    if (!hall_axes_are_determined(hall))
      throw format_error(catalogue, hm + ": Hall symbol \"" + hall + "\": screw axis without a direction");
    try {
      sym_ops = gemmi::symops_from_hall(hall.c_str()).sym_ops;
    } catch (const std::exception& e) {
      throw format_error(catalogue, hm + ": Hall symbol \"" + hall + "\": " + e.what());
    }
    out.add(" " + hm + "   (" + hall + ")   " + std::to_string(sym_ops.size()) +
            " operators without lattice centring");
  } else {
    out.add(" " + trim(symbol) + "   not in " + catalogue.filename().string());
  }
  for (const gemmi::Op& op : sym_ops) {
    std::string line;
    for (size_t r = 0; r < 3; ++r) {
      for (size_t c = 0; c < 3; ++c) line += format_int(op.rot[r][c] / gemmi::Op::DEN, 3);
      int t = ((op.tran[r] % gemmi::Op::DEN) + gemmi::Op::DEN) % gemmi::Op::DEN;
      line += format_fixed(static_cast<double>(t) / gemmi::Op::DEN, 14, 10);
      if (r < 2) line += " ,";
    }
    out.add(line);
  }
  out.add("");
  return out;
}

std::vector<SymmetryOperator> read_scfs(const std::filesystem::path& file) {
  return scfs_from_lines(read_text_lines(file), file);
}

std::vector<SymmetryOperator> scfs_from_lines(const std::vector<std::string>& lines,
                                              const std::filesystem::path& file) {
  std::vector<SymmetryOperator> ops;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (trim(line).empty()) break;
    for (size_t p = line.find(" ."); p != std::string::npos; p = line.find(" .", p + 2))
      line.insert(p + 1, "0");
    for (size_t p = line.find("-."); p != std::string::npos; p = line.find("-.", p + 2))
      line.insert(p + 1, "0");
    for (char& c : line)
      if (c == ',') c = ' ';
    std::vector<double> v = split_numbers(line);
    if (v.size() < 12)
      throw format_error(file, "line " + std::to_string(i + 1) + ": twelve numbers expected");
    SymmetryOperator op;
    for (size_t r = 0; r < 3; ++r)
      op.rows[r] = {v[4 * r], v[4 * r + 1], v[4 * r + 2], v[4 * r + 3]};
    ops.push_back(op);
  }
  return ops;
}

void load_operators_getspec(WorkSession& s, Messages& m) {
  const std::string symbol = trim(s.symbol);
  const char letter = symbol.empty() ? ' ' : symbol[0];

  std::array<int32_t, 16> codes;
  codes.fill(32);
  for (size_t i = 0; i < symbol.size() && i < codes.size(); ++i)
    codes[i] = static_cast<unsigned char>(symbol[i]);

  getspec(codes, find_data_file(s, "spgr2.dat"), fixed_file_path(s, FixedFile::Scfs));

  const std::filesystem::path file = fixed_file_path(s, FixedFile::Scfs);
  std::vector<SymmetryOperator> ops = read_scfs(file);
  check_capacity(file, symbol, static_cast<long long>(ops.size()), false, letter, s.system);
  add_lattice_centring(ops, letter, s.system);
  install_operators(s, m, std::move(ops), letter, FixedFile::HallTable);
}

}  // namespace vornax

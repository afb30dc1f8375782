#include "files/cell_file.hpp"

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

void append_field(std::string& line, const std::string& field) {
  if (!line.empty() && !field.empty() && field.front() != ' ') line += ' ';
  line += field;
}

CellFileData read_cell_file(std::string_view bytes, const std::string& name) {
  (void)name;  // the message the user sees is the same whatever the file
  const auto lines = split_text_lines(bytes);
  if (lines.size() < 4) throw CellParametersNotFound();
  const auto v = split_numbers(lines[3]);
  if (v.size() < 6) throw CellParametersNotFound();

  CellFileData d;
  d.title = lines[0];
  d.system = to_upper(trim(lines[1]));
  d.symbol = trim(lines[2]);
  d.cell = {v[0], v[1], v[2], v[3], v[4], v[5]};
  return d;
}

std::vector<std::string> cell_file_lines(const CellFileData& d) {
  std::string numbers;
  for (double x : {d.cell.a, d.cell.b, d.cell.c, d.cell.alpha, d.cell.beta, d.cell.gamma})
    append_field(numbers, format_fixed(x, 10, 4));
  return {d.title, d.system, d.symbol, numbers};
}

void write_cell_file(const std::filesystem::path& path, const CellFileData& data) {
  TextFile f;
  f.lines = cell_file_lines(data);
  f.save(path);
}

}  // namespace vornax

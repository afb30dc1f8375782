#include "files/icsd_file.hpp"

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

std::vector<double> icsd_cell_numbers(std::string_view value) {
  // One pass: an uncertainty "(12)" becomes a blank; an unclosed "(" ends the text.
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '(') {
      const size_t close = value.find(')', i + 1);
      if (close == std::string_view::npos) break;
      text += ' ';
      i = close;
    } else {
      text += value[i] == ',' ? ' ' : value[i];
    }
  }
  // A name before "=" ("a=", "alpha=") goes with it, back to the blank before it.
  std::string cleaned;
  for (char c : text) {
    if (c == '=') {
      while (!cleaned.empty() && cleaned.back() != ' ' && cleaned.back() != '\t')
        cleaned.pop_back();
      cleaned += ' ';
    } else {
      cleaned += c;
    }
  }
  auto numbers = split_numbers(cleaned);
  if (numbers.size() > 10) numbers.resize(10);
  return numbers;
}

std::string icsd_symbol(std::string_view value) {
  const std::string head = trim(value.substr(0, value.find('(')));
  std::string symbol;
  for (char c : head)
    if (c != ' ' && c != '\t') symbol += c;
  if (!symbol.empty() && (symbol.back() == 'H' || symbol.back() == 'h')) symbol.pop_back();
  return symbol;
}

IcsdData read_icsd_file(std::string_view bytes, const std::string& name) {
  (void)name;
  IcsdData d;
  bool have_cell = false;
  for (const auto& line : split_text_lines(bytes)) {
    const std::string_view l(line);
    const std::string_view keyword = l.substr(0, 4);
    const std::string_view value = l.size() > 4 ? l.substr(4) : std::string_view{};
    if (keyword == "TITL") {
      d.title = std::string(value);
      continue;
    }
    const std::string key = trim(keyword);
    if (key == "CELL") {
      const auto v = icsd_cell_numbers(trim(value));
      if (v.size() < 6) throw CellParametersNotFound();
      d.cell = {v[0], v[1], v[2], v[3], v[4], v[5]};
      have_cell = true;
    } else if (key == "SGR") {
      // The whole file is read: a CELL line may follow.
      d.symbol = icsd_symbol(trim(value));
    }
  }
  if (!have_cell) throw CellParametersNotFound();
  return d;
}

}  // namespace vornax

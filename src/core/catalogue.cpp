#include "core/catalogue.hpp"

#include <system_error>

#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

constexpr const char* kNoExtinction = "No ext.";

std::string padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// The first entry (its first `width` characters) that, upper-cased and trimmed, is the
// symbol; -1 when none is.
int find_symbol(const std::vector<std::string>& list, const std::string& symbol,
                size_t width = std::string::npos) {
  const std::string wanted = to_upper(trim(symbol));
  for (size_t i = 0; i < list.size(); ++i)
    if (to_upper(trim(list[i].substr(0, width))) == wanted) return static_cast<int>(i);
  return -1;
}

}  // namespace

CatalogueBlock catalogue_block(std::string_view system) {
  return crystal_system(system).catalogue_block;
}

std::string catalogue_field(std::string_view line, CatalogueColumns columns) {
  if (line.size() < columns.first) return {};
  return std::string(line.substr(columns.first - 1, columns.last - columns.first + 1));
}

std::string getspec_entry(std::string_view line) {
  return padded(trim(catalogue_field(line, kHmColumns)), 12) +
         padded(trim(catalogue_field(line, kHallColumns)), 17) +
         padded(trim(catalogue_field(line, kCodeColumns)), 3);
}

void fill_getspec_list(const WorkSession& s, CellTab& tab) {
  const CatalogueBlock block = catalogue_block(s.system);
  const std::filesystem::path file = find_data_file(s, "spgr2.dat");
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    tab.getspec_list.clear();
    tab.getspec_selected = -1;
    throw CatalogueMissing{};
  }
  const auto kept = read_text_lines_kept(file);
  const std::vector<std::string>& lines = *kept;

  std::vector<std::string> list;
  for (int n = block.first; n <= block.last && n <= static_cast<int>(lines.size()); ++n)
    list.push_back(getspec_entry(lines[static_cast<size_t>(n - 1)]));
  tab.getspec_list = std::move(list);
  tab.getspec_selected = s.symbol.empty() ? -1 : find_symbol(tab.getspec_list, s.symbol, 12);
}

void fill_hm_list(const WorkSession& s, CellTab& tab) {
  std::vector<std::string> list{kNoExtinction};
  const std::string name = operator_file_name(s.system);
  if (!name.empty()) {
    // Read first: a file that cannot be read leaves the list as it was.
    const auto kept = read_text_lines_kept(find_data_file(s, name));
    const std::vector<std::string>& lines = *kept;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i].find_first_not_of(" \t\r\n") != std::string::npos) continue;
      std::string symbol = trim(lines[++i]);
      // The list always opens with "No ext."; a block of that name in the file is the
      // same entry, not a second one.
      if (symbol.empty() || is_no_extinction(symbol)) continue;
      list.push_back(symbol);
    }
  }
  tab.hm_list = std::move(list);
  tab.hm_selected = s.symbol.empty() ? -1 : find_symbol(tab.hm_list, s.symbol);
}

void keep_selection_of_kind(const WorkSession& s, CellTab& tab) {
  if (s.symbol_kind == "HALL" && tab.getspec_selected >= 0) tab.hm_selected = -1;
  else if (s.symbol_kind == "HM" && tab.hm_selected >= 0) tab.getspec_selected = -1;
}

void sync_symbol_lists(WorkSession& s, CellTab& tab) {
  s.lattice_letter = symbol_lattice_letter(s.symbol, s.system);
  if (int index = system_index(s.system); index >= 0) tab.system_index = index;
  if (s.symbol.empty()) return;
  // A symbol the list lacks selects nothing new.
  if (int i = find_symbol(tab.hm_list, s.symbol); i >= 0) tab.hm_selected = i;
}

}  // namespace vornax

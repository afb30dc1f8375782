#include "commands/cell_files.hpp"

#include <filesystem>

#include "commands/calculation.hpp"
#include "core/catalogue.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "files/cell_file.hpp"
#include "files/icsd_file.hpp"

namespace vornax {

namespace {

std::string without_blanks(std::string_view t) {
  std::string out;
  for (char c : t)
    if (c != ' ' && c != '\t') out += c;
  return to_upper(out);
}

bool contains_nocase(std::string_view text, std::string_view part) {
  return to_upper(text).find(to_upper(part)) != std::string::npos;
}

const Changed kCellLoaded = Changed::Cell | Changed::Calculated | Changed::Selection |
                            Changed::Results | Changed::CurrentValues;

}  // namespace

std::optional<CatalogueSymbol> find_catalogue_symbol(const WorkSession& s,
                                                     std::string_view system,
                                                     std::string_view symbol) {
  WorkSession probe;
  probe.working_folder = s.working_folder;
  probe.data_folder = s.data_folder;
  probe.system = std::string(system);
  CellTab tab;
  fill_hm_list(probe, tab);
  fill_getspec_list(probe, tab);

  struct Candidate {
    std::string key;   // what is compared
    std::string text;  // what a click would set
    const char* kind;
  };
  std::vector<Candidate> all;
  for (const auto& e : tab.hm_list) all.push_back({e, to_upper(trim(e)), "HM"});
  for (const auto& e : tab.getspec_list) {
    const std::string hm = e.substr(0, 12);
    all.push_back({hm, to_upper(trim(hm)), "HALL"});
  }

  const std::string exact = to_upper(trim(symbol));
  const std::string loose = without_blanks(symbol);
  if (loose.empty()) return std::nullopt;
  for (const auto& c : all)
    if (to_upper(trim(c.key)) == exact) return CatalogueSymbol{c.text, c.kind};
  for (const auto& c : all)
    if (without_blanks(c.key) == loose) return CatalogueSymbol{c.text, c.kind};
  // "FD-3M" is "F d -3 m:1": the first setting listed (settings share their extinctions).
  for (const auto& c : all) {
    const std::string key = without_blanks(c.key);
    const size_t colon = key.find(':');
    if (colon != std::string::npos && key.substr(0, colon) == loose)
      return CatalogueSymbol{c.text, c.kind};
  }
  return std::nullopt;
}

bool load_cell_file(WorkSession& s, const std::filesystem::path& path, Messages& m) {
  if (is_fixed_file(s, path)) {
    m.error(fixed_file_input_message(path));
    return false;
  }
  std::optional<std::string> title, symbol;
  std::string system;
  CellParameters cell;
  try {
    const std::string bytes = read_file_bytes(path);
    const std::string name = path.filename().string();
    if (contains_nocase(path.string(), ".ics")) {
      IcsdData d = read_icsd_file(bytes, name);
      title = d.title;
      symbol = d.symbol;
      cell = d.cell;
      system = detect_system(cell, s.system);
    } else {
      CellFileData d = read_cell_file(bytes, name);
      title = d.title;
      symbol = d.symbol;
      cell = d.cell;
      // A damaged system line: the cell tells what it can.
      system = system_index(d.system) >= 0 ? d.system : detect_system(cell, "");
    }
  } catch (const Error& e) {
    m.error(e.what());
    return false;
  }

  std::string new_symbol = s.symbol, new_kind = s.symbol_kind;
  if (symbol) {
    new_symbol = to_upper(trim(*symbol));
    new_kind = "HM";
    if (auto found = find_catalogue_symbol(s, system, *symbol)) {
      new_symbol = found->symbol;
      new_kind = found->kind;
    }
  }

  // The whole file was read: commit.
  if (title) s.title = *title;
  s.system = system;
  s.symbol = new_symbol;
  s.symbol_kind = new_kind;
  s.cell = s.initial_cell = cell;
  s.cell_file_name = path.string();
  s.selected.clear();
  s.results = RefinementResults{};
  return true;
}

namespace {

Changed import_cell(WorkSession& s, CellTab& tab, const std::filesystem::path& path,
                    Messages& m) {
  if (!load_cell_file(s, path, m)) return Changed::None;
  run_calculation(s, tab, m);
  return kCellLoaded;
}

}  // namespace

Changed import_cell_vornax(WorkSession& s, CellTab& tab, const std::filesystem::path& path,
                           Messages& m) {
  return import_cell(s, tab, path, m);
}

Changed import_cel_icsd(WorkSession& s, CellTab& tab, const std::filesystem::path& path,
                        Messages& m) {
  return import_cell(s, tab, path, m);
}

std::optional<std::string> confirm_save_name(std::string name, std::string_view extension,
                                             Messages& m) {
  if (name.empty()) return std::nullopt;
  if (!contains_nocase(name, extension)) name += extension;
  std::error_code ec;
  if (std::filesystem::exists(name, ec)) {
    m.beep();
    if (m.ask("This file already exists. Do you want to continue?") != Answer::Yes)
      return std::nullopt;
  }
  return name;
}

Changed save_cell(WorkSession& s, const CellTab& tab, const std::filesystem::path& path,
                     Messages& m) {
  CellFileData d;
  d.title = s.title;
  d.system = tab.system_index >= 0 ? system_code_from_entry(tab.system_entry()) : s.system;
  if (tab.hm_selected >= 0 && tab.hm_selected < static_cast<int>(tab.hm_list.size()))
    d.symbol = to_upper(trim(tab.hm_list[static_cast<size_t>(tab.hm_selected)]));
  else if (tab.getspec_selected >= 0 &&
           tab.getspec_selected < static_cast<int>(tab.getspec_list.size()))
    d.symbol = to_upper(trim(tab.getspec_list[static_cast<size_t>(tab.getspec_selected)].substr(0, 12)));
  else
    d.symbol = s.symbol;
  d.cell = s.cell;
  const auto& c = s.cell;
  if (c.a * c.b * c.c * c.alpha * c.beta * c.gamma == 0) {
    m.error("No cell parameters!");
    return Changed::None;
  }
  const auto name = confirm_save_name(path.string(), ".cry", m);
  if (!name) return Changed::None;
  try {
    write_cell_file(*name, d);
  } catch (const FileError& e) {
    m.error(e.what());
    return Changed::None;
  }
  s.cell_file_name = *name;
  s.initial_cell = s.cell;
  return Changed::Cell;
}

std::string calculated_pattern_caption(const WorkSession& s) {
  return "Calculated pattern (" + file_name_only(s.cell_file_name) + ")";
}

Changed erase_calculated_reflections(WorkSession& s) {
  s.allowed.clear();
  s.forbidden.clear();
  s.merged.clear();
  return Changed::Calculated;
}

}  // namespace vornax

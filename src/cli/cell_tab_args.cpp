#include "cli/cell_tab_args.hpp"

#include <algorithm>
#include <iostream>
#include <system_error>

#include "commands/calculation.hpp"
#include "commands/cell_files.hpp"
#include "core/catalogue.hpp"
#include "core/cell.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"

namespace vornax::cli {

int run_reporting_file_errors(const std::function<int()>& body) {
  try {
    return body();
  } catch (const Error& e) {
    std::cerr << e.what() << '\n';
  }
  return kExitFailed;
}

OptionTaken take_cell_tab_option(const std::vector<std::string>& args, size_t& i,
                                 CellTabArgs& out, std::string& error) {
  const std::string& a = args[i];
  auto values = [&](size_t n, const char* what) {
    if (i + n < args.size()) return true;
    error = a + " needs " + what;
    return false;
  };
  if (a == "--system") {
    if (!values(1, "a value")) return OptionTaken::MissingValue;
    out.system = args[++i];
  } else if (a == "--group") {
    if (!values(1, "a value")) return OptionTaken::MissingValue;
    out.group = args[++i];
  } else if (a == "--getspec") {
    out.getspec = true;
  } else if (a == "--cell") {
    if (!values(6, "six values")) return OptionTaken::MissingValue;
    for (auto& c : out.cell) c = args[++i];
    out.have_cell = true;
  } else if (a == "--lambda") {
    if (!values(1, "a value")) return OptionTaken::MissingValue;
    out.lambda = args[++i];
    out.have_lambda = true;
  } else if (a == "--range") {
    if (!values(2, "two values")) return OptionTaken::MissingValue;
    out.range_min = args[++i];
    out.range_max = args[++i];
    out.have_range = true;
  } else if (a == "--cell-file") {
    if (!values(1, "a file")) return OptionTaken::MissingValue;
    out.cell_file = args[++i];
  } else if (a == "--theta") {
    out.theta = true;
  } else {
    return OptionTaken::NotMine;
  }
  return OptionTaken::Taken;
}

std::optional<std::string> missing_cell_tab_option(const CellTabArgs& a) {
  if (!a.cell_file.empty()) {
    if (!a.system.empty() || !a.group.empty() || a.have_cell)
      return "--cell-file replaces --system, --group and --cell";
    if (!a.have_lambda) return "--lambda is missing";
    if (!a.have_range) return "--range is missing";
    return std::nullopt;
  }
  if (a.system.empty()) return "--system is missing";
  if (a.group.empty()) return "--group is missing";
  if (!a.have_cell) return "--cell is missing";
  if (!a.have_lambda) return "--lambda is missing";
  if (!a.have_range) return "--range is missing";
  return std::nullopt;
}

std::optional<PerQuantity<bool>> parse_refine_keys(const std::string& list, std::string* bad) {
  PerQuantity<bool> keys{};
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string item = trim(list.substr(start, comma - start));
    start = comma + 1;
    if (item.empty()) continue;
    bool found = false;
    for (size_t k = 0; k < kRefinedQuantities; ++k)
      if (item == kQuantityNames[k]) keys[k] = found = true;
    if (!found) {
      if (bad) *bad = item;
      return std::nullopt;
    }
  }
  return keys;
}

std::filesystem::path executable_dir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

std::optional<std::string> prepare_cell_tab(WorkSession& s, CellTab& tab, const CellTabArgs& a) {
  reset_session(s, std::filesystem::current_path());
  s.data_folder = locate_data_folder(executable_dir());
  if (a.theta) s.angle_mode = AngleMode::Theta;
  if (auto error = choose_system_and_group(s, tab, a.system, a.group,
                                           a.getspec ? GroupList::Getspec : GroupList::HM))
    return error;

  // The cell fields as the window shows them once the system is chosen: tied fields
  // copy their master, fixed angles are written.
  const auto layout = apply_system_layout(s.system, a.cell);
  for (size_t i = 0; i < 6; ++i) tab.fields[i] = layout.texts[i];
  tab.tied = layout.tied;
  tab.fields[6] = a.lambda;
  tab.fields[7] = a.range_min;
  tab.fields[8] = a.range_max;
  return std::nullopt;
}

std::optional<std::string> prepare_cell_file(WorkSession& s, const CellTabArgs& a, Messages& m,
                                             bool& loaded) {
  reset_session(s, std::filesystem::current_path());
  s.data_folder = locate_data_folder(executable_dir());
  if (a.theta) s.angle_mode = AngleMode::Theta;
  const auto lambda = parse_typed(a.lambda);
  if (!lambda) return "Error at lambda";
  const auto lo = parse_typed(a.range_min), hi = parse_typed(a.range_max);
  if (!lo) return "Error at Theta Min.";
  if (!hi) return "Error at Theta Max.";
  s.wavelengths.lambda = *lambda;
  s.range_min = angle_from_entry(s, *lo);
  s.range_max = angle_from_entry(s, *hi);
  widen_window_to_range(s);
  loaded = load_cell_file(s, a.cell_file, m);
  return std::nullopt;
}

}  // namespace vornax::cli

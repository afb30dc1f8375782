// vornax-cli refine: measured 2θ values from a file, then "Calc.", "Auto Sel." and the
// refinement as the window runs them, in the current folder (which is also the working
// folder). Leaves vornax.inp, vornax.out, mouchard and Excel.txt there and prints the
// report to standard output.
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/peak_loading.hpp"
#include "cli/stderr_messages.hpp"
#include "commands/calculation.hpp"
#include "commands/indexed_list_commands.hpp"
#include "core/catalogue.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"
#include "refine/figures_of_merit.hpp"
#include "selection/measured.hpp"
#include "selection/selection.hpp"

namespace vornax::cli {

namespace {

struct RefineArgs {
  CellTabArgs tab;
  std::string peaks;
  std::string tolerance = "0.1";
  std::optional<std::string> keys;  // --refine list
  bool eccentricity = false;
  std::string shift = "0";
  std::string save_list;  // --save-list: the selected pairs as an indexed list
  std::optional<PeakFileType> peak_type;
};

int usage_error(const std::string& why) {
  std::cerr << "refine: " << why << "\n"
            << "usage: vornax-cli refine --peaks FILE " << kCellTabUsage << "\n"
            << "         [--tolerance T] [--refine a,b,c,alpha,beta,gamma,shift,lambda]\n"
               "         [--eccentricity] [--shift V] [--peak-type N] [--save-list FILE.lst]\n"
               "  FILE: any peak file (kind from the extension, or --peak-type 1..7);\n"
               "  plain text holds one 2theta (degrees) per line\n"
               "  without --refine, the parameters the crystal system leaves free are refined\n";
  return kExitUsage;
}

std::optional<std::string> parse_args(const std::vector<std::string>& args, RefineArgs& out) {
  bool have_peaks = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    switch (take_cell_tab_option(args, i, out.tab, error)) {
      case OptionTaken::Taken: continue;
      case OptionTaken::MissingValue: return error;
      case OptionTaken::NotMine: break;
    }
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--peaks") {
      if (!has_value) return "--peaks needs a file";
      out.peaks = args[++i];
      have_peaks = true;
    } else if (a == "--peak-type") {
      if (!has_value) return "--peak-type needs a value";
      const auto n = parse_integer(args[++i]);
      out.peak_type = n ? peak_file_type_from_int(static_cast<int>(*n)) : std::nullopt;
      if (!out.peak_type) return "--peak-type must be 1 to 7";
    } else if (a == "--tolerance") {
      if (!has_value) return "--tolerance needs a value";
      out.tolerance = args[++i];
    } else if (a == "--refine") {
      if (!has_value) return "--refine needs a list";
      out.keys = args[++i];
    } else if (a == "--shift") {
      if (!has_value) return "--shift needs a value";
      out.shift = args[++i];
    } else if (a == "--save-list") {
      if (!has_value) return "--save-list needs a file";
      out.save_list = args[++i];
    } else if (a == "--eccentricity") {
      out.eccentricity = true;
    } else {
      return "unknown argument " + a;
    }
  }
  if (!have_peaks) return "--peaks is missing";
  return missing_cell_tab_option(out.tab);
}

// "a,c,shift" -> the eight check boxes.
std::optional<PerQuantity<bool>> parse_keys(const std::string& list, std::string& bad) {
  PerQuantity<bool> keys{};
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    item = trim(item);
    if (item.empty()) continue;
    int found = -1;
    for (size_t k = 0; k < kRefinedQuantities; ++k)
      if (item == kQuantityNames[k]) found = static_cast<int>(k);
    if (found < 0) {
      bad = item;
      return std::nullopt;
    }
    keys[static_cast<size_t>(found)] = true;
  }
  return keys;
}

// The peak file through the load command: its kind from --peak-type, else from the
// extension; plain text (.txt included, the usual name for a hand-made list) is read
// as one 2θ per line. A file without a wavelength takes --lambda. An indexed list keeps
// its order: entry i belongs to peak i when "Calc." pairs the list by its indices.
bool read_peaks(const RefineArgs& a, WorkSession& s) {
  std::optional<PeakFileType> type = a.peak_type;
  if (!type) {
    const auto by_name = peak_type_from_extension(a.peaks);
    type = by_name && *by_name != PeakFileType::Xfit ? *by_name : PeakFileType::ColumnAny;
  }
  const auto lambda = parse_typed(a.tab.lambda);
  if (!load_peaks_for_cli(s, a.peaks, type, lambda && *lambda > 0 ? lambda : std::nullopt))
    return false;
  if (s.indexed_list.empty()) sort_measured_peaks(s);
  return true;
}

// A loaded indexed list is paired by "Calc." from its indices (the peak file's name ends
// in .lst); "Auto Sel." would throw those pairs away.
bool paired_by_indices(const WorkSession& s) {
  return !s.indexed_list.empty() && !s.selected.empty();
}

int run(const RefineArgs& a) {
  if (refuse_program_files({a.peaks, a.tab.cell_file})) return kExitFailed;
  StderrMessages m;
  WorkSession s;
  CellTab tab;
  bool from_file = !a.tab.cell_file.empty();
  if (from_file) {
    bool loaded = false;
    if (auto err = prepare_cell_file(s, a.tab, m, loaded)) {
      std::cerr << *err << '\n';
      return kExitFailed;
    }
    if (!loaded) return kExitFailed;
  } else if (auto err = prepare_cell_tab(s, tab, a.tab)) {
    std::cerr << *err << '\n';
    return kExitFailed;
  }
  if (!read_peaks(a, s)) return kExitFailed;

  // "Calc." (it also sets the default keys of the system).
  const CalcOutcome calc = from_file ? run_calculation(s, tab, m) : calcul_diagramme(s, tab, m);
  if (calc.failed || s.allowed.empty()) {
    if (m.errors == 0) std::cerr << "No calculated reflections\n";
    return kExitFailed;
  }
  if (a.keys) {
    std::string bad;
    const auto keys = parse_keys(*a.keys, bad);
    if (!keys) return usage_error("unknown parameter " + bad + " in --refine");
    s.refine_checked = *keys;
  }
  if (a.eccentricity) s.shift_mode = ShiftMode::SampleEccentricity;

  // "Auto Sel.", unless an indexed list was paired by its indices.
  if (!paired_by_indices(s) && !selection_automatique(s, a.tolerance, m)) return kExitFailed;
  if (!a.save_list.empty() && sauve_selection(s, a.save_list, m) == Changed::None)
    return kExitFailed;

  // The refinement, with the wavelength as typed and the shift given.
  const RefineOutcome out = go_affinement(s, {a.tab.lambda, a.shift}, m);
  if (out.status == RefineStatus::NotStarted || out.status == RefineStatus::FileFailed)
    return kExitFailed;
  for (const auto& line : read_text_lines(in_working_folder(s, kRefineReportFile)))
    std::cout << line << '\n';
  if (out.status == RefineStatus::Singular) return kExitFailed;
  for (const auto& line : quality_lines(refinement_quality(s, out.run.problem), out.run.problem))
    std::cout << line << '\n';
  if (!export_excel(s, m)) return kExitFailed;
  return 0;
}

}  // namespace

int run_refine_command(const std::vector<std::string>& args) {
  RefineArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli

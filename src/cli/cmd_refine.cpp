// vornax-cli refine: measured 2θ values from a file, then "Calc.", "Auto Sel." and the
// refinement as the window runs them, in the current folder (which is also the working
// folder). Leaves vornax.inp, vornax.out, mouchard and Excel.txt there and prints the
// report to standard output.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/output_files.hpp"
#include "cli/option_checks.hpp"
#include "cli/run_folder.hpp"
#include "cli/subcommands.hpp"
#include "cli/peak_loading.hpp"
#include "cli/stderr_messages.hpp"
#include "commands/calculation.hpp"
#include "commands/indexed_list_commands.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"
#include "commands/refinement_road.hpp"
#include "commands/result_cif.hpp"

namespace vornax::cli {

namespace {

constexpr long long kMaxPairAgainRuns = 100;

// "6 of 8 peaks paired" on standard error, with the angles of the peaks left unpaired
// and a warning when fewer than half were paired: a refinement of those few pairs is
// not to be trusted.
void report_pairing(const WorkSession& s) {
  if (s.allowed.empty()) return;
  const PairingSummary p = pairing_summary(s);
  if (p.peaks == 0) return;
  std::cerr << pairing_summary_text(p) << '\n';
  if (!p.unpaired_two_theta.empty()) {
    std::string line = "unpaired peaks (2theta):";
    for (double t : p.unpaired_two_theta) line += ' ' + format_fixed(t, 0, 3);
    std::cerr << line << '\n';
  }
  if (too_few_paired(p)) std::cerr << "warning: " << too_few_paired_warning(p) << '\n';
}

struct RefineArgs {
  CellTabArgs tab;
  std::string peaks;
  std::string tolerance = "0.1";
  std::optional<std::string> keys;  // --refine list
  bool eccentricity = false;
  std::string shift = "0";
  std::string save_list;  // --save-list: the selected pairs as an indexed list
  bool force = false;     // --force: --save-list may replace an existing file
  bool json = false;      // --json: one JSON object at full precision instead of the report
  bool files = false;     // --files: with --json, keep the run's fixed-name files
  std::string work;       // --work: the folder of the run's files instead of the current one
  std::optional<PeakFileType> peak_type;
  int repair = 0;         // --repair N: pair again with the refined cell, up to N times
  WeightMode weights = WeightMode::Unit;  // --weights unit|fitted
  std::string cif;        // --cif: the results as a CIF data block
};

}  // namespace

std::string refine_usage() {
  return std::string() + "vornax-cli refine --peaks FILE " + kCellTabUsage + "\n" + "         [--tolerance T] [--refine a,b,c,alpha,beta,gamma,shift,lambda]\n"
               "         [--eccentricity] [--shift V] [--peak-type N] [--save-list FILE.lst] [--force]\n"
               "         [--repair N] [--weights unit|fitted] [--work DIR] [--json [--files]]\n"
               "         [--cif FILE.cif]\n"
               "  FILE: any peak file (kind from the extension, or --peak-type 1..7);\n"
               "  plain text holds one 2theta (degrees) per line\n"
               "  without --refine, the parameters the crystal system leaves free are refined\n"
               "  --json: one JSON object with every value at full precision instead of the report;\n"
               "  the run's files (vornax.inp, vornax.out, ...) are kept only with --files\n"
               "  --repair N: pair the peaks again with the refined cell and shift and refine\n"
               "  again, up to N times or until the pairs stop changing\n"
               "  --weights fitted: weigh each pair by 1/sigma^2 of its fitted peak position\n"
               "  (sigma from a peak file of 4 or more columns, floor 0.001 degrees); default unit\n"
               "  stderr tells how many peaks were paired and which were not\n"
               "  --cif: the refined cell with its errors, the figures of merit and the pairs as CIF\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("refine", why); }

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
      if (auto e = tolerance_error(out.tolerance)) return e;
    } else if (a == "--refine") {
      if (!has_value) return "--refine needs a list";
      out.keys = args[++i];
      if (auto e = refine_list_error(*out.keys)) return e;
    } else if (a == "--shift") {
      if (!has_value) return "--shift needs a value";
      out.shift = args[++i];
    } else if (a == "--force") {
      out.force = true;
    } else if (a == "--save-list") {
      if (!has_value) return "--save-list needs a file";
      out.save_list = args[++i];
    } else if (a == "--repair") {
      if (!has_value) return "--repair needs a number of runs";
      const auto n = parse_integer(args[++i]);
      if (!n || *n < 0 || *n > kMaxPairAgainRuns) return "--repair must be 0 to " + std::to_string(kMaxPairAgainRuns);
      out.repair = static_cast<int>(*n);
    } else if (a == "--weights") {
      if (!has_value) return "--weights needs unit or fitted";
      const auto mode = weight_mode_from_name(args[++i]);
      if (!mode) return "--weights must be unit or fitted";
      out.weights = *mode;
    } else if (a == "--eccentricity") {
      out.eccentricity = true;
    } else if (a == "--cif") {
      if (!has_value) return "--cif needs a file";
      out.cif = args[++i];
    } else if (a == "--json") {
      out.json = true;
    } else if (a == "--files") {
      out.files = true;
    } else if (a == "--work") {
      if (!has_value) return "--work needs a folder";
      out.work = args[++i];
      if (auto e = work_folder_error(out.work)) return e;
    } else {
      return "unknown argument " + a;
    }
  }
  if (!have_peaks) return "--peaks is missing";
  if (out.files && !out.json) return "--files goes with --json (the report run keeps its files)";
  if (auto missing = missing_cell_tab_option(out.tab)) return missing;
  return cell_tab_value_error(out.tab);
}


int run(const RefineArgs& a) {
  if (refuse_program_files({a.peaks, a.tab.cell_file.native()})) return kExitFailed;
  if (!a.save_list.empty()) {
    // The save command adds .lst to a name without it; the check is on the file written.
    std::string list = a.save_list;
    if (to_upper(list).find(".LST") == std::string::npos) list += ".lst";
    if (!output_allowed(list, {a.peaks, a.tab.cell_file.native()}, a.force)) return kExitFailed;
  }
  if (!a.cif.empty() && !output_allowed(a.cif, {a.peaks, a.tab.cell_file.native(), a.save_list}, a.force))
    return kExitFailed;
  StderrMessages m;
  WorkSession s;
  CellTab tab;
  // The JSON answer carries every value: the fixed-name files are kept only when asked.
  const RunFolder folder(a.work, a.json && !a.files);
  const SessionStart start = session_start(a.tab, folder.path());
  const auto lambda = parse_typed(a.tab.lambda);
  if (!start_session(s, tab, start, m) ||
      !load_peaks_to_pair(s, a.peaks, a.peak_type, lambda && *lambda > 0 ? lambda : std::nullopt))
    return kExitFailed;

  std::string bad;
  auto road = road_settings(a.tolerance, a.keys, a.eccentricity, a.tab.lambda, a.shift, bad);
  if (!road) return usage_error("unknown parameter " + bad + " in --refine");
  road->pair_again = a.repair;
  road->inputs.weights = a.weights;
  const auto save_list = [&](WorkSession& w) {
    return a.save_list.empty() || save_selection_list(w, a.save_list, m) != Changed::None;
  };
  const RefinementRecord r = run_refinement_road(s, tab, start, *road, m, save_list);
  report_pairing(s);
  if (r.status == RoadStatus::Failed) return kExitFailed;
  if (!a.cif.empty() && r.status == RoadStatus::Refined) {
    // Never over a file the run itself writes (vornax.out ...).
    if (is_fixed_file(s, a.cif)) {
      std::cerr << "refine: --cif " << a.cif << " names a file the run writes itself\n";
      return kExitFailed;
    }
    save_result_cif(s, r, a.cif);
  }
  if (a.json) {
    if (r.status == RoadStatus::Singular) return kExitFailed;
    const bool exported = export_excel(s, m).has_value();
    std::cout << record_json(s, r);
    return exported ? 0 : kExitFailed;
  }
  for (const auto& line : read_text_lines(in_working_folder(s, kRefineReportFile)))
    std::cout << line << '\n';
  if (r.status == RoadStatus::Singular) return kExitFailed;
  for (const auto& line : quality_lines(r.quality, r.outcome.run.problem)) std::cout << line << '\n';
  if (r.weighting == WeightMode::Fitted) std::cout << weighting_status_text(r.outcome.run.problem) << '\n';
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

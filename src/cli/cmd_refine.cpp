// vornax-cli refine: measured 2θ values from a file, then "Calc.", "Auto Sel." and the
// refinement as the window runs them, in the current folder (which is also the working
// folder). Leaves vornax.inp, vornax.out, mouchard and Excel.txt there and prints the
// report to standard output.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/peak_loading.hpp"
#include "cli/stderr_messages.hpp"
#include "commands/calculation.hpp"
#include "commands/indexed_list_commands.hpp"
#include "core/catalogue.hpp"
#include "core/crystal_system.hpp"
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
  bool json = false;      // --json: one JSON object at full precision instead of the report
  std::optional<PeakFileType> peak_type;
};

int usage_error(const std::string& why) {
  std::cerr << "refine: " << why << "\n"
            << "usage: vornax-cli refine --peaks FILE " << kCellTabUsage << "\n"
            << "         [--tolerance T] [--refine a,b,c,alpha,beta,gamma,shift,lambda]\n"
               "         [--eccentricity] [--shift V] [--peak-type N] [--save-list FILE.lst]\n"
               "  FILE: any peak file (kind from the extension, or --peak-type 1..7);\n"
               "  plain text holds one 2theta (degrees) per line\n"
               "  without --refine, the parameters the crystal system leaves free are refined\n"
               "  --json: one JSON object with every value at full precision instead of the report\n";
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
    } else if (a == "--json") {
      out.json = true;
    } else {
      return "unknown argument " + a;
    }
  }
  if (!have_peaks) return "--peaks is missing";
  return missing_cell_tab_option(out.tab);
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

// A number as JSON at full precision (the shortest text that reads back the same
// double); NaN and infinities, which JSON lacks, as null.
std::string json_number(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string json_string(const std::string& t) {
  std::string out = "\"";
  for (char c : t) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// The refinement as one JSON object: every refined value with its standard error, the
// same in parenthesis notation, the cycles, the residual and the pairs.
std::string refinement_json(const WorkSession& s, const RefineOutcome& out,
                            const RefinementQuality& q) {
  const RefinementResults& r = s.results;
  const RefinementProblem& p = out.run.problem;
  const auto e = [&](RefinedQuantity x) { return r.errors[index_of(x)]; };
  struct Item {
    const char* name;
    double value, sigma;
  };
  using enum RefinedQuantity;
  const Item items[] = {
      {"a", r.cell.a, e(A)},           {"b", r.cell.b, e(B)},
      {"c", r.cell.c, e(C)},           {"alpha", r.cell.alpha, e(Alpha)},
      {"beta", r.cell.beta, e(Beta)},  {"gamma", r.cell.gamma, e(Gamma)},
      {"volume", r.volume_refined, r.volume_error},
      {"shift", r.zero_shift, e(Shift)}, {"lambda", r.lambda, e(Lambda)},
  };
  std::string j = "{\n  \"system\": " + json_string(s.system) +
                  ",\n  \"group\": " + json_string(s.symbol) + ",\n  \"values\": {";
  for (size_t i = 0; i < std::size(items); ++i) {
    const Item& it = items[i];
    j += std::string(i ? "," : "") + "\n    " + json_string(it.name) + ": {\"value\": " +
         json_number(it.value) + ", \"error\": " + json_number(it.sigma) +
         ", \"text\": " + json_string(with_uncertainty(it.value, it.sigma)) + "}";
  }
  j += "\n  },\n  \"shift_model\": " +
       json_string(r.eccentricity ? "eccentricity" : "constant") +
       ",\n  \"cycles\": " + std::to_string(p.cycles) +
       ",\n  \"residual\": " + json_number(p.residual * kThetaRadToTwoThetaDeg) +
       ",\n  \"converged\": " + (out.run.converged ? "true" : "false");
  const auto& f = q.figures;
  j += ",\n  \"figures_of_merit\": {\"m20\": " + json_number(f.valid ? f.m20 : NAN) +
       ", \"x20\": " + std::to_string(f.x20) + ", \"f_n\": " +
       json_number(f.valid ? f.f_n : NAN) + ", \"n\": " + std::to_string(f.f_lines) + "}";
  j += ",\n  \"pairs\": [";
  for (size_t i = 0; i < s.selected.size(); ++i) {
    const SelectedPair& pr = s.selected[i];
    const double obs = pr.two_theta_obs;
    const double shifted = i < r.obs_shifted.size() ? r.obs_shifted[i] : obs;
    const double calc = i < r.calc.size() ? r.calc[i] : pr.two_theta_calc;
    const bool flagged = q.diagnostics.available && i < q.diagnostics.pairs.size() &&
                         q.diagnostics.pairs[i].flagged;
    j += std::string(i ? "," : "") + "\n    {\"h\": " + std::to_string(pr.h) +
         ", \"k\": " + std::to_string(pr.k) + ", \"l\": " + std::to_string(pr.l) +
         ", \"two_theta_obs\": " + json_number(obs) +
         ", \"two_theta_obs_shifted\": " + json_number(shifted) +
         ", \"two_theta_calc\": " + json_number(calc) +
         ", \"difference\": " + json_number(shifted - calc) +
         ", \"flagged\": " + (flagged ? "true" : "false") + "}";
  }
  j += "\n  ]\n}\n";
  return j;
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
    const auto keys = parse_refine_keys(*a.keys, &bad);
    if (!keys) return usage_error("unknown parameter " + bad + " in --refine");
    // A quantity the system ties to another (b to a in a cubic cell) or fixes (its
    // right angles) cannot be refined on its own: say so rather than "Singular Matrix".
    const CrystalSystem& sys = crystal_system(s.system);
    for (size_t i = 0; i < kCellQuantities; ++i) {
      if (!(*keys)[i] || s.refine_enabled[i]) continue;
      const std::string name(kQuantityNames[i]);
      const auto master = static_cast<size_t>(sys.copy_from[i]);
      if (master != i)
        std::cerr << name << " is tied to " << kQuantityNames[master] << " in this crystal system ("
                  << s.system << "); refine " << kQuantityNames[master] << " instead\n";
      else
        std::cerr << name << " is fixed in this crystal system (" << s.system << ")\n";
      return kExitFailed;
    }
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
  if (a.json) {
    if (out.status == RefineStatus::Singular) return kExitFailed;
    const bool exported = export_excel(s, m).has_value();
    std::cout << refinement_json(s, out, refinement_quality(s, out.run.problem));
    return exported ? 0 : kExitFailed;
  }
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

// vornax-cli index: the unit cells that index the measured lines of a peak file, or of a
// profile after the default peak search, best first.
#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/peak_loading.hpp"
#include "cli/stderr_messages.hpp"
#include "cli/subcommands.hpp"
#include "commands/load_peaks.hpp"
#include "commands/load_profile.hpp"
#include "commands/cell_indexing.hpp"
#include "commands/peak_search.hpp"
#include "commands/series_load.hpp"
#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/profile_formats.hpp"

namespace vornax::cli {

std::string index_usage() {
  return "vornax-cli index PEAKS|PROFILE [--lambda L] [--systems CODES] [--max-axis A]\n"
         "         [--min-axis A] [--max-volume V] [--min-volume V] [--impurities N]\n"
         "         [--zero-range Z] [--tolerance T] [--no-fit] [--top K] [--jobs N] [--time S]\n"
         "         [--json]\n"
         "  finds the cells that index the first 30 lines of the primary wavelength, best\n"
         "  first by de Wolff's M(N) x (N-p)/N; K alpha2, K beta and W L alpha rows are left out. A\n"
         "  profile is searched and its peaks fitted first (--no-fit: the searched positions)\n"
         "  CODES: systems tried, e.g. CUBI,TETR (default CUBI,TETR,HEXA,RHOM,ORTH,MONO,TRIC)\n"
         "  A, V: axes (2 to 25 A) and volume (0 to 3000 A^3) of the reduced cell; N: lines a\n"
         "  cell may leave unindexed, 2; Z: zero searched within +-Z degrees 2theta and T: a\n"
         "  line's tolerance, degrees 2theta (0.15 and 0.06 at Cu K alpha1, in proportion to\n"
         "  lambda); K: cells shown, 10; --jobs: threads, 1; S: time budget in seconds, 60\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("index", why); }

struct IndexArgs {
  std::string file;
  std::optional<double> lambda;
  bool json = false;
  bool fit = true;
  indexing::IndexSettings settings;
};

std::optional<std::vector<CrystalSystemId>> parse_systems(const std::string& text) {
  std::vector<CrystalSystemId> out;
  std::string item;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',') {
      item += text[i];
      continue;
    }
    const CrystalSystemId id = system_of(to_upper(trim(item)));
    if (id == CrystalSystemId::None) return std::nullopt;
    out.push_back(id);
    item.clear();
  }
  return out;
}

std::optional<std::string> parse_args(const std::vector<std::string>& args, IndexArgs& a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto number = [&](double& out) -> std::optional<std::string> {
      if (i + 1 >= args.size()) return opt + " needs a value";
      const auto v = parse_real(args[i + 1]);
      if (!v || !std::isfinite(*v)) return "bad value for " + opt;
      out = *v;
      ++i;
      return std::nullopt;
    };
    auto whole = [&](int& out, int min) -> std::optional<std::string> {
      double v = 0;
      if (auto err = number(v)) return err;
      if (v != std::floor(v) || v < min || v > 1e6) return "bad value for " + opt;
      out = static_cast<int>(v);
      return std::nullopt;
    };
    auto positive = [&](double& out) -> std::optional<std::string> {
      if (auto err = number(out)) return err;
      if (!(out > 0)) return opt + " must be above 0";
      return std::nullopt;
    };
    indexing::IndexSettings& s = a.settings;
    double v = 0;
    if (opt == "--lambda") {
      if (auto err = positive(v)) return err;
      a.lambda = v;
    } else if (opt == "--systems") {
      if (i + 1 >= args.size()) return std::string("--systems needs the codes");
      const auto systems = parse_systems(args[++i]);
      if (!systems) return "bad codes for --systems: " + args[i];
      s.systems = *systems;
    } else if (opt == "--max-axis") {
      if (auto err = positive(s.max_axis)) return err;
    } else if (opt == "--max-volume") {
      if (auto err = positive(s.max_volume)) return err;
    } else if (opt == "--min-volume") {
      if (auto err = number(s.min_volume)) return err;
      if (s.min_volume < 0) return std::string("--min-volume must be 0 or above");
    } else if (opt == "--min-axis") {
      if (auto err = number(s.min_axis)) return err;
      if (s.min_axis < 0) return std::string("--min-axis must be 0 or above");
    } else if (opt == "--tolerance") {
      if (auto err = positive(s.tolerance)) return err;
      if (s.tolerance > 1) return std::string("--tolerance is above 0 and at most 1 degree");
    } else if (opt == "--no-fit") {
      a.fit = false;
    } else if (opt == "--impurities") {
      if (auto err = whole(s.impurities, 0)) return err;
    } else if (opt == "--zero-range") {
      if (auto err = number(s.zero_range)) return err;
      if (s.zero_range < 0 || s.zero_range > 2) return std::string("--zero-range is 0 to 2 degrees");
    } else if (opt == "--top") {
      if (auto err = whole(s.top, 1)) return err;
    } else if (opt == "--jobs") {
      if (auto err = whole(s.threads, 1)) return err;
    } else if (opt == "--time") {
      if (auto err = positive(s.time_budget)) return err;
    } else if (opt == "--json") {
      a.json = true;
    } else if (a.file.empty() && (opt.empty() || opt[0] != '-')) {
      a.file = opt;
    } else {
      return "unknown argument " + opt;
    }
  }
  if (a.file.empty()) return std::string("no file given");
  if (a.settings.min_volume >= a.settings.max_volume)
    return std::string("--min-volume must be below --max-volume");
  if (a.settings.min_axis >= a.settings.max_axis)
    return std::string("--min-axis must be below --max-axis");
  return std::nullopt;
}

// The lines and the wavelength to index them with; nothing when the file gave none.
std::optional<PhaseLines> measured_lines(const IndexArgs& a) {
  WorkSession s;
  WavelengthSet w;
  if (names_a_profile(a.file)) {
    StderrMessages m;
    AnodeTypedWavelength dialog;
    dialog.lambda = a.lambda;
    const Changed loaded = load_profile_file(s, m, dialog, a.file, std::nullopt, 0, nullptr,
                                             ProfileFileType::Column);
    if (!any(loaded, Changed::Profile)) {
      if (m.errors == 0 && dialog.asked) m.error("no wavelength in " + a.file + ": give --lambda L");
      return std::nullopt;
    }
    PeakSearchState st;
    prepare_peak_search(s, m, st);
    const PeakSearchSettings settings = requested_search_settings(st.estimate, {});
    if (search_peaks(s, m, st, settings) == Changed::None) return std::nullopt;
    // Fitted, every line sits at its Kα1 position, which fixes the cell best.
    if (a.fit && !s.measured.peaks.empty()) {
      PeakFitSummary f;
      fit_measured_peaks(s, m, st, &f);
      std::cerr << "fit: " << peak_fit_summary_text(f) << '\n';
    }
    w = s.profile.wavelengths;
  } else if (!load_peaks_to_pair(s, a.file, std::nullopt, a.lambda)) {
    return std::nullopt;
  } else {
    w = s.measured.wavelengths;
    if (a.lambda) w.lambda = *a.lambda;
  }
  PhaseLines lines = phase_lines(s.measured.peaks, w);
  if (!(lines.lambda > 0)) {
    std::cerr << "no wavelength in " << a.file << ": give --lambda L\n";
    return std::nullopt;
  }
  return lines;
}

std::string codes_of(const std::vector<CrystalSystemId>& systems) {
  std::string out;
  for (CrystalSystemId id : systems) out += (out.empty() ? "" : ",") + system_code(id);
  return out;
}

void print_text(const indexing::IndexResult& r) {
  std::string out =
      "system lattice        a          b          c        alpha    beta     gamma     volume"
      "    figure      M(N)        F(N) (|D2T|, Nposs)    unindexed   zero\n";
  for (const auto& c : r.candidates) {
    out += system_code(c.type.system) + "   " + std::string(c.type.symbol) + "    " +
           format_fixed(c.cell.a, 10, 5) + ' ' + format_fixed(c.cell.b, 10, 5) + ' ' +
           format_fixed(c.cell.c, 10, 5) + ' ' + format_fixed(c.cell.alpha, 8, 3) + ' ' +
           format_fixed(c.cell.beta, 8, 3) + ' ' + format_fixed(c.cell.gamma, 8, 3) + ' ' +
           format_fixed(c.volume, 10, 2) + ' ' + format_fixed(c.figure, 9, 1) + ' ' +
           format_fixed(c.m20, 9, 1) + '(' +
           std::to_string(c.m_lines) + ")  " + format_fixed(c.fn, 8, 1) + '(' +
           std::to_string(c.fn_lines) + ") (" + format_fixed(c.fn_error, 0, 4) + ", " +
           std::to_string(c.fn_possible) + ')' + format_int(static_cast<long long>(c.unindexed.size()), 6) +
           "    " + format_fixed(c.zero, 7, 4) + '\n';
  }
  std::cout << out;
}

const char* stop_text(indexing::IndexStop stop) {
  switch (stop) {
    case indexing::IndexStop::Budget: return "budget";
    case indexing::IndexStop::Cancel: return "cancel";
    case indexing::IndexStop::Done: break;
  }
  return "done";
}

void print_json(const indexing::IndexResult& r, const PhaseLines& lines) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& c : r.candidates) {
    nlohmann::ordered_json j;
    j["system"] = system_code(c.type.system);
    j["lattice"] = std::string(c.type.symbol);
    j["a"] = c.cell.a;
    j["b"] = c.cell.b;
    j["c"] = c.cell.c;
    j["alpha"] = c.cell.alpha;
    j["beta"] = c.cell.beta;
    j["gamma"] = c.cell.gamma;
    j["volume"] = c.volume;
    j["figure"] = c.figure;
    j["m20"] = c.m20;
    j["m_lines"] = c.m_lines;
    j["fn"] = c.fn;
    j["fn_lines"] = c.fn_lines;
    j["fn_mean_error"] = c.fn_error;
    j["fn_possible"] = c.fn_possible;
    j["unindexed"] = c.unindexed;
    j["zero"] = c.zero;
    list.push_back(std::move(j));
  }
  nlohmann::ordered_json doc;
  doc["lambda"] = lines.lambda;
  doc["lines_used"] = r.lines_used;
  doc["lines_left_out"] = lines.left_out;
  doc["lines_beyond_largest_axis"] = r.beyond_largest_axis;
  doc["tolerance"] = r.tolerance;
  doc["zero_range"] = r.zero_range;
  doc["stopped"] = stop_text(r.stop);
  doc["zone_covered"] = r.zone_covered;
  doc["dichotomy_covered"] = r.dichotomy_covered;
  doc["candidates"] = std::move(list);
  std::cout << doc.dump(2) << '\n';
}

int run(IndexArgs& a) {
  const auto measured = measured_lines(a);
  if (!measured) return kExitFailed;
  a.settings.lambda = measured->lambda;
  const indexing::IndexSettings& s = a.settings;
  std::cerr << "index: " << measured->two_theta.size() << " lines at lambda "
            << format_fixed(measured->lambda, 0, 5) << " A";
  if (measured->left_out > 0)
    std::cerr << "; " << measured->left_out << " K alpha2, K beta or W L alpha lines left out";
  std::cerr << '\n';
  const indexing::IndexResult r = indexing::index_lines(measured->two_theta, s);
  if (r.beyond_largest_axis > 0)
    std::cerr << "index: " << r.beyond_largest_axis << " lines of a d above the largest axis ("
              << format_fixed(s.max_axis, 0, 1) << " A) left aside\n";
  std::cerr << "search: " << stop_text(r.stop) << "; zone passes "
            << format_fixed(100 * r.zone_covered, 0, 0) << " %, dichotomy "
            << format_fixed(100 * r.dichotomy_covered, 0, 0) << " % of their trials\n";
  if (r.out_of_time)
    std::cerr << "index: the time budget of " << s.time_budget
              << " s ran out; the cells shown are those found by then\n";
  if (r.candidates.empty()) {
    if (r.lines_used < indexing::kMinIndexingLines) {
      std::cerr << "no cell indexes the lines: " << r.lines_used << " lines, "
                << indexing::kMinIndexingLines << " needed\n"
                << "hint: give a peak file with more lines, or search the profile for more peaks\n";
    } else if (r.out_of_time) {
      std::cerr << "no cell indexes the lines: none was found in " << s.time_budget
                << " s\nhint: give more --time\n";
    } else {
      std::cerr << "no cell indexes the lines: no " << codes_of(s.systems) << " cell up to "
                << format_fixed(s.max_axis, 0, 1) << " A and " << format_fixed(s.max_volume, 0, 0)
                << " A^3 (reduced cell) leaves at most " << s.impurities << " of the first " << r.lines_used
                << " lines unindexed\n"
                << "hint: check --lambda, or allow more --impurities, a wider --zero-range, a "
                   "larger --max-axis or --max-volume, more --systems\n";
    }
    return kExitFailed;
  }
  if (a.json) print_json(r, *measured);
  else print_text(r);
  return 0;
}

}  // namespace

int run_index_command(const std::vector<std::string>& args) {
  IndexArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli

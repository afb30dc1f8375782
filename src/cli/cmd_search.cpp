// vornax-cli search: the profile window's automatic peak search on a profile file,
// then the peak kill, and the kept peaks written for `vornax-cli refine --peaks`.
#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/cli_profile_load.hpp"
#include "cli/commands.hpp"
#include "cli/output_files.hpp"
#include "cli/option_checks.hpp"
#include "cli/subcommands.hpp"
#include "commands/peak_search.hpp"
#include "commands/series_load.hpp"
#include "core/format.hpp"

namespace vornax::cli {

namespace {

}  // namespace

std::string search_usage() {
  return std::string() + "vornax-cli search FILE [--threshold T] [--min-width W1] [--max-width W2]\n"
               "         [--classic] [--contamination L1 P1 L2 P2] [--keep CODES] [--out PEAKS]\n"
               "         [--fit [--split]] [--strip-ka2] [--force] [--type N] [--lambda L]\n"
               "  T in percent of the largest second derivative, W1 W2 in degrees 2theta between\n"
               "  the inflection points; by default all three are measured on the pattern (its\n"
               "  step, the width of its strongest peaks, the noise of its second derivative)\n"
               "  and printed on stderr; --classic: 2.0, 0.10 and 1.0; a value given wins\n"
               "  --out: one 2theta per line, 6 decimals; CODES: line codes to keep, e.g. 1,2\n"
               "  --fit: each peak's position fitted on the profile (a pseudo-Voigt K alpha1 +\n"
               "  K alpha2 doublet per line, --split: its two sides with their own widths); every\n"
               "  line is then at K alpha1 (keep 1,2 and refine with lambda1), and --out writes\n"
               "  2THETA INTENSITY CODE SIGMA FWHM for `refine --weights fitted`\n"
               "  --strip-ka2: search the pattern with K alpha2 stripped (Rachinger); the doublet\n"
               "  fit measures positions better\n"
               "  (1 K Alpha, 2 K Alpha1, 3 K Alpha2, 4 L1 (K beta), 5 L2 (WL Alpha))\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("search", why); }

struct SearchArgs {
  std::string file;
  std::optional<ProfileFileType> type;  // none: the extension decides
  std::optional<double> lambda;
  SearchSettingsRequest settings;
  std::optional<ContaminationTexts> contamination;
  std::optional<PeakKillSettings> keep;
  std::string out;
  bool force = false;
  bool fit = false, split = false, strip = false;
};


// Returns the reason when the arguments are wrong.
std::optional<std::string> parse_args(const std::vector<std::string>& args, SearchArgs& a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto value = [&](size_t ahead) -> std::optional<std::string> {
      if (i + ahead >= args.size()) return std::nullopt;
      return args[i + ahead];
    };
    auto number = [&](double& out) -> std::optional<std::string> {
      const auto text = value(1);
      if (!text) return opt + " needs a value";
      const auto v = parse_real(*text);
      if (!v || !std::isfinite(*v)) return "bad value for " + opt;
      out = *v;
      ++i;
      return std::nullopt;
    };
    double v = 0;
    if (opt == "--threshold" || opt == "--min-width" || opt == "--max-width") {
      if (auto err = number(v)) return err;
      if (auto err = search_setting_error(opt, v)) return err;
      if (opt == "--threshold") a.settings.threshold = v;
      else if (opt == "--min-width") a.settings.min_width = v;
      else a.settings.max_width = v;
    } else if (opt == "--classic") {
      a.settings.classic = true;
    } else if (opt == "--type") {
      if (auto err = number(v)) return err;
      a.type = profile_type_argument(v);
      if (!a.type) return profile_type_range_error();
    } else if (opt == "--lambda") {
      if (auto err = number(v)) return err;
      if (auto err = wavelength_error(v)) return err;
      a.lambda = v;
    } else if (opt == "--contamination") {
      if (i + 4 >= args.size()) return std::string("--contamination needs L1 P1 L2 P2");
      a.contamination = ContaminationTexts{args[i + 1], args[i + 2], args[i + 3], args[i + 4]};
      i += 4;
    } else if (opt == "--keep") {
      const auto text = value(1);
      if (!text) return std::string("--keep needs the codes");
      a.keep = parse_line_codes(*text);
      if (!a.keep) return "bad codes for --keep: " + *text;
      ++i;
    } else if (opt == "--force") {
      a.force = true;
    } else if (opt == "--fit") {
      a.fit = true;
    } else if (opt == "--split") {
      a.split = true;
    } else if (opt == "--strip-ka2") {
      a.strip = true;
    } else if (opt == "--out") {
      const auto text = value(1);
      if (!text || text->empty()) return std::string("--out needs a file");
      a.out = *text;
      ++i;
    } else if (a.file.empty() && (opt.empty() || opt[0] != '-')) {
      a.file = opt;
    } else {
      return "unknown argument " + opt;
    }
  }
  if (a.file.empty()) return std::string("no file given");
  if (a.split && !a.fit) return std::string("--split needs --fit");
  if (a.settings.min_width && a.settings.max_width && *a.settings.min_width > *a.settings.max_width)
    return std::string("--min-width is above --max-width");
  return std::nullopt;
}

int run(const SearchArgs& a) {
  if (!a.out.empty() && !output_allowed(a.out, {a.file}, a.force)) return kExitFailed;
  StderrMessages m;
  WorkSession s;
  AnodeTypedWavelength dialog;
  dialog.lambda = a.lambda;
  ProfileLoadNote note;
  // Without --type, a name no kind knows is tried as RAW, as it always was.
  const Changed loaded = load_profile_file(s, m, dialog, a.file, a.type, 0, &note,
                                           ProfileFileType::BrukerRaw);
  if (any(loaded, Changed::Profile)) print_profile_kind_note(a.file, note);
  if (!any(loaded, Changed::Profile)) {
    if (m.errors == 0 && dialog.asked) m.error("no wavelength in " + a.file + ": give --lambda L");
    return kExitFailed;
  }

  PeakSearchState st;
  prepare_peak_search(s, m, st);
  if (a.contamination) st.contamination = *a.contamination;
  st.search_stripped = a.strip;
  st.split_profile = a.split;
  const int errors_before = m.errors;
  const PeakSearchSettings settings = requested_search_settings(st.estimate, a.settings);
  std::cerr << search_settings_line(settings, st.estimate) << '\n';
  const Changed searched = search_peaks(s, m, st, settings);
  if (searched == Changed::None) return kExitFailed;
  if (m.errors != errors_before) return kExitFailed;  // bad contamination data
  if (a.fit && !s.measured.peaks.empty()) {
    PeakFitSummary f;
    fit_measured_peaks(s, m, st, &f);
    std::cerr << "fit: " << peak_fit_summary_text(f) << '\n';
  }

  std::string out;
  for (const MeasuredPeak& p : s.measured.peaks) {
    out += format_fixed(p.two_theta, 0, 6) + ' ' + format_fixed(p.intensity, 0, 6) + ' ' +
           std::to_string(p.line_code);
    if (a.fit) out += ' ' + format_fixed(p.sigma, 0, 6) + ' ' + format_fixed(p.fwhm, 0, 5);
    out += '\n';
  }
  std::cout << out;

  if (a.keep) {
    // The window offers Peak Kill only after contamination lines were set; asked for
    // here, it applies whatever the classification left (code 1 when none ran).
    keep_peak_codes(s, st, *a.keep);
  }
  if (!a.out.empty()) write_found_peaks(s, a.out, a.fit);
  return 0;
}

}  // namespace

int run_search_command(const std::vector<std::string>& args) {
  SearchArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli

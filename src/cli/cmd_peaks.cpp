// vornax-cli peaks: reads a measured-peak file through the load command and prints the
// wavelengths, the range and the peaks.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/option_checks.hpp"
#include "cli/subcommands.hpp"
#include "cli/peak_loading.hpp"
#include "core/format.hpp"
#include "core/session.hpp"

namespace vornax::cli {

namespace {

}  // namespace

std::string peaks_usage() {
  return std::string() + "vornax-cli peaks FILE [--type N] [--lambda L]\n"
               "  N: 1 DIF, 2 XFIT, 3 WINFIT, 4 Philips DI, 5/6 column, 7 indexed list\n"
               "  (default: from the file's extension, else column)\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("peaks", why); }

std::string num(double v) { return format_fixed(v, 0, 6); }

}  // namespace

int run_peaks_command(const std::vector<std::string>& args) {
  std::string file;
  std::optional<std::string> type_text, lambda_text;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--type" || a == "--lambda") {
      if (i + 1 >= args.size()) return usage_error(a + " needs a value");
      (a == "--type" ? type_text : lambda_text) = args[++i];
    } else if (file.empty() && !a.starts_with("--")) {
      file = a;
    } else {
      return usage_error("unknown argument " + a);
    }
  }
  if (file.empty()) return usage_error("FILE is missing");
  std::optional<PeakFileType> type;
  if (type_text) {
    const auto n = parse_integer(*type_text);
    if (n) type = peak_file_type_from_int(static_cast<int>(*n));
    if (!type) return usage_error("--type must be 1 to 7");
  }
  std::optional<double> lambda;
  if (lambda_text) {
    lambda = parse_real(*lambda_text);
    if (!lambda || !(*lambda > 0)) return usage_error("--lambda must be a wavelength above 0");
    if (auto e = wavelength_error(*lambda)) return usage_error(*e);
  }

  WorkSession s;
  if (!load_peaks_for_cli(s, file, type, lambda)) return kExitFailed;
  const WavelengthSet& w = s.measured.wavelengths;
  std::cout << "lambda " << num(w.lambda) << " lambda1 " << num(w.lambda1) << " lambda2 "
            << num(w.lambda2) << " ratio " << num(w.ratio) << " anode " << w.anode << '\n';
  std::cout << "range " << num(s.measured.range_min) << ' ' << num(s.measured.range_max) << '\n';
  for (const auto& p : s.measured.peaks) std::cout << num(p.two_theta) << ' ' << num(p.intensity) << '\n';
  return 0;
}

}  // namespace vornax::cli

// vornax-cli convert: reads a peak or profile file and writes it in the format the
// output's extension names (.dif: DIF2 and .prn: one column from a peak file; .raw: RAW2
// and .cpi: CPI from a profile), as the save commands do but without the overwrite
// question.
#include <filesystem>
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
#include "cli/peak_loading.hpp"
#include "commands/save_peaks.hpp"
#include "commands/save_profile.hpp"
#include "core/format.hpp"

namespace vornax::cli {

namespace {

}  // namespace

std::string convert_usage() {
  return std::string() + "vornax-cli convert IN OUT [--force] [--lambda L]\n"
               "  OUT: .dif (DIF2) or .prn (one column) for a peak file,\n"
               "       .raw (RAW2) or .cpi for a profile\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("convert", why); }

}  // namespace

int run_convert_command(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  bool force = false;
  std::optional<double> lambda;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--force") {
      force = true;
    } else if (args[i] == "--lambda") {
      if (i + 1 >= args.size()) return usage_error("--lambda needs a value");
      lambda = parse_real(args[++i]);
      if (!lambda) return usage_error("bad value for --lambda");
      if (auto e = wavelength_error(*lambda)) return usage_error(*e);
    } else if (args[i].size() > 2 && args[i].rfind("--", 0) == 0) {
      return usage_error("unknown argument " + args[i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return usage_error("give one input and one output file");
  const std::filesystem::path in(files[0]), out(files[1]);
  const std::string ext = to_upper(out.filename().extension().string());
  const bool peaks = ext == ".DIF" || ext == ".PRN";
  if (!peaks && ext != ".RAW" && ext != ".CPI")
    return usage_error("unknown output kind " + out.string());
  // A profile's every point would become a peak: the search makes peaks of a profile.
  if (peaks && !peak_type_from_extension(in) && !profile_types_named_by(in).empty())
    return usage_error("cannot convert a profile (" + in.string() + ") into a peak file (" +
                       out.string() + "); run vornax-cli search on it");
  // Converting a file onto itself would rewrite it from a rescaled copy of its counts.
  if (!output_allowed(out, {in}, force)) return kExitFailed;

  StderrMessages m;
  WorkSession s;
  if (peaks) {
    // The kind of the input from its extension, as the window's load corrects it.
    if (!load_peaks_for_cli(s, in.string(), std::nullopt, lambda)) return kExitFailed;
    const Changed c = ext == ".DIF" ? save_bruker_dif(s, m, out) : save_column_dif(s, m, out);
    return any(c, Changed::MeasuredPeaks) ? 0 : kExitFailed;
  }
  // The kind from the extension (and the content where kinds share it); RAW otherwise.
  if (!load_profile_for_cli(s, m, in, std::nullopt, lambda, 0, ProfileFileType::BrukerRaw))
    return kExitFailed;
  // The file's own range is the one a window user would have in front of them.
  const auto kind = ext == ".RAW" ? ProfileSaveKind::Raw2 : ProfileSaveKind::Cpi;
  if (!any(save_profile(s, m, out, kind), Changed::Profile)) return kExitFailed;
  return 0;
}

}  // namespace vornax::cli

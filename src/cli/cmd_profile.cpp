// vornax-cli profile: loads a profile file as the profile window would and prints
// what the session then holds.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/cli_profile_load.hpp"
#include "cli/commands.hpp"
#include "cli/option_checks.hpp"
#include "cli/subcommands.hpp"
#include "core/format.hpp"

namespace vornax::cli {

namespace {

}  // namespace

std::string profile_usage() {
  return std::string() + "vornax-cli profile FILE [--type N] [--lambda L] [--range-index I]\n"
               "  N: " + profile_type_list() + "\n"
               "     (without it the extension decides, and the content when kinds share it)\n"
               "  I: the range of a RAW4 or BRML file, from 0\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("profile", why); }

std::string f6(double v) { return format_fixed(v, 0, 6); }

}  // namespace

int run_profile_command(const std::vector<std::string>& args) {
  std::string file;
  std::optional<ProfileFileType> type;
  std::optional<double> lambda;
  int range_index = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--range-index") {
      if (i + 1 >= args.size()) return usage_error(a + " needs a value");
      const auto v = parse_integer(args[++i]);
      if (!v || *v < 0 || *v > 1000) return usage_error("--range-index is 0 or more");
      range_index = static_cast<int>(*v);
    } else if (a == "--type" || a == "--lambda") {
      if (i + 1 >= args.size()) return usage_error(a + " needs a value");
      const auto v = parse_real(args[++i]);
      if (!v) return usage_error("bad value for " + a);
      if (a == "--type") {
        type = profile_type_argument(*v);
        if (!type) return usage_error(profile_type_range_error());
      } else {
        if (auto e = wavelength_error(*v)) return usage_error(*e);
        lambda = *v;
      }
    } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
      return usage_error("unknown argument " + a);
    } else if (file.empty()) {
      file = a;
    } else {
      return usage_error("unknown argument " + a);
    }
  }
  if (file.empty()) return usage_error("no file given");

  StderrMessages m;
  WorkSession s;
  // Without --type, a name no kind knows is tried as RAW, as it always was.
  if (!load_profile_for_cli(s, m, file, type, lambda, range_index, ProfileFileType::BrukerRaw)) {
    if (range_index > 0)
      std::cerr << "profile: --range-index " << range_index << " may name no range of " << file << '\n';
    return kExitFailed;
  }
  // A kind without ranges reads its one range whatever the index: a script asking for
  // another one must hear that there is none.
  if (range_index > 0 && s.profile.file_kind && !profile_type_has_ranges(*s.profile.file_kind)) {
    std::cerr << "profile: --range-index " << range_index << ": " << file
              << " holds a single range (index 0)\n";
    return kExitFailed;
  }
  const Profile& p = s.profile;
  const WavelengthSet& w = p.wavelengths;
  std::string out;
  out += "lambda " + f6(w.lambda) + " lambda1 " + f6(w.lambda1) + " lambda2 " + f6(w.lambda2) +
         " ratio " + f6(w.ratio) + " anode " + w.anode + "\n";
  out += "title " + p.sample + "\n";
  out += "range " + f6(p.start_angle) + " " + f6(p.final_angle) + "\n";
  out += "counts " + f6(p.intensity_min) + " " + f6(p.intensity_max) + "\n";
  out += "points " + std::to_string(p.points.size()) + "\n";
  for (const auto& pt : p.points) {
    out += f6(pt.two_theta);
    out += ' ';
    out += f6(pt.intensity);
    out += '\n';
  }
  std::cout << out;
  return 0;
}

}  // namespace vornax::cli

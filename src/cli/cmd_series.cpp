// vornax-cli series: the peak search, "Auto Sel." and the refinement on each profile
// of a series, one CSV row per pattern, an optional SVG plot of the refined lengths
// and the volume against the pattern's index, a progress line per pattern on stderr.
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/output_files.hpp"
#include "cli/option_checks.hpp"
#include "cli/subcommands.hpp"
#include "commands/series.hpp"
#include "core/format.hpp"
#include "core/profile_formats.hpp"
#include "core/text_file.hpp"

namespace vornax::cli {

namespace {

struct SeriesArgs {
  CellTabArgs tab;
  std::vector<std::filesystem::path> profiles;
  std::string out, plot;
  bool force = false;
  SeriesSettings settings;
};

}  // namespace

std::string series_usage() {
  return std::string() + "vornax-cli series --profiles FILE... | --profiles FOLDER\n"
               "         --system CODE --group SYMBOL [--getspec] --cell A B C ALPHA BETA GAMMA\n"
               "         --lambda L --range MIN MAX [--theta]\n"
               "         [--threshold T] [--min-width W] [--max-width W] [--classic] [--tolerance T]\n"
               "         [--refine a,b,c,alpha,beta,gamma,shift,lambda] [--eccentricity]\n"
               "         [--chain] [--jobs N] [--type N] [--work DIR] --out TABLE.csv [--plot CELLS.svg] [--force]\n"
               "  --chain: each pattern starts from the cell refined on the one before (runs in order)\n"
               "  --jobs N: N patterns at a time when not chained\n"
               "  the search settings are measured on each pattern, as `search` does\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("series", why); }


std::optional<std::string> parse_args(const std::vector<std::string>& args, SeriesArgs& out) {
  SeriesSettings& st = out.settings;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    switch (take_cell_tab_option(args, i, out.tab, error)) {
      case OptionTaken::Taken: continue;
      case OptionTaken::MissingValue: return error;
      case OptionTaken::NotMine: break;
    }
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    auto real = [&](std::optional<double>& target) -> std::optional<std::string> {
      if (!has_value) return a + " needs a value";
      const auto v = parse_real(args[++i]);
      if (!v) return "bad value for " + a;
      target = *v;
      return search_setting_error(a, *v);
    };
    if (a == "--profiles") {
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) out.profiles.emplace_back(args[++i]);
      if (out.profiles.empty()) return "--profiles needs files or a folder";
    } else if (a == "--classic") {
      st.search.classic = true;
    } else if (a == "--threshold") {
      if (auto e = real(st.search.threshold)) return e;
    } else if (a == "--min-width") {
      if (auto e = real(st.search.min_width)) return e;
    } else if (a == "--max-width") {
      if (auto e = real(st.search.max_width)) return e;
    } else if (a == "--tolerance") {
      if (!has_value) return "--tolerance needs a value";
      st.tolerance = args[++i];
      if (auto e = tolerance_error(st.tolerance)) return e;
    } else if (a == "--refine") {
      if (!has_value) return "--refine needs a list";
      if (auto e = refine_list_error(args[i + 1])) return e;
      st.keys = parse_refine_keys(args[++i]);
      if (!st.keys) return "unknown parameter in --refine " + args[i];
    } else if (a == "--eccentricity") {
      st.eccentricity = true;
    } else if (a == "--force") {
      out.force = true;
    } else if (a == "--chain") {
      st.chain = true;
    } else if (a == "--jobs" || a == "--type") {
      if (!has_value) return a + " needs a value";
      const auto n = parse_integer(args[++i]);
      if (a == "--jobs") {
        if (!n || *n < 1 || *n > 256) return "--jobs is 1 to 256";
        st.jobs = static_cast<int>(*n);
      } else {
        st.type = n ? profile_type_from_number(*n) : std::nullopt;
        if (!st.type) return profile_type_range_error();
      }
    } else if (a == "--out" || a == "--plot" || a == "--work") {
      if (!has_value) return a + " needs a file";
      const std::string& v = args[++i];
      if (a == "--out") out.out = v;
      else if (a == "--plot") out.plot = v;
      else st.work_root = v;
      if (a == "--work") {
        if (auto e = work_folder_error(v)) return e;
      }
    } else {
      return "unknown argument " + a;
    }
  }
  if (out.profiles.empty()) return "--profiles is missing";
  if (out.out.empty()) return "--out is missing";
  if (!out.tab.cell_file.empty()) return "--cell-file is not taken by series; give --system, --group and --cell";
  if (st.search.min_width && st.search.max_width && *st.search.min_width > *st.search.max_width)
    return "--min-width is above --max-width";
  if (auto missing = missing_cell_tab_option(out.tab)) return missing;
  return cell_tab_value_error(out.tab);
}

int run(SeriesArgs& a) {
  SeriesSettings& st = a.settings;
  std::vector<std::filesystem::path> files;
  for (const auto& p : a.profiles) {
    std::error_code ec;
    const bool folder = std::filesystem::is_directory(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
      // A link loop or a folder that cannot be entered: the name cannot be a profile.
      std::cerr << "series: cannot read " << p.string() << ": " << ec.message() << '\n';
      return kExitFailed;
    }
    if (folder) {
      const auto in = series_files_in(p, ec);
      if (ec) {
        std::cerr << "series: cannot read the folder " << p.string() << ": " << ec.message()
                  << '\n';
        return kExitFailed;
      }
      files.insert(files.end(), in.begin(), in.end());
    } else {
      files.push_back(p);
    }
  }
  if (files.empty()) {
    std::cerr << "series: no profile found\n";
    return kExitFailed;
  }
  // Neither result may replace a profile of the series, nor the other result.
  if (!output_allowed(a.out, files, a.force)) return kExitFailed;
  if (!a.plot.empty()) {
    std::vector<std::filesystem::path> inputs = files;
    inputs.emplace_back(a.out);
    if (!output_allowed(a.plot, inputs, a.force)) return kExitFailed;
  }
  CellParameters start;
  double* fields[] = {&start.a, &start.b, &start.c, &start.alpha, &start.beta, &start.gamma};
  for (size_t k = 0; k < 6; ++k) {
    // Tied fields may be left as typed ("0"): the system's layout copies their master.
    const auto v = parse_typed(a.tab.cell[k]);
    *fields[k] = v ? *v : 0;
  }
  st.start = start;
  st.session = session_start(a.tab);
  const auto lambda = parse_typed(a.tab.lambda);
  if (lambda && *lambda > 0) st.lambda = *lambda;

  const auto rows = run_series(files, st, [](const SeriesRow& row, int done, int total) {
    std::cerr << series_progress_line(row, done, total) << std::endl;
  });

  TextFile csv;
  for (auto& line : series_csv_lines(rows)) csv.add(std::move(line));
  csv.save(a.out);
  if (!a.plot.empty()) {
    TextFile svg;
    std::istringstream in(series_svg(rows));
    for (std::string line; std::getline(in, line);) svg.add(line);
    svg.save(a.plot);
  }
  int failed = 0;
  for (const auto& r : rows) failed += r.status != SeriesStatus::Ok;
  std::cerr << rows.size() - failed << " of " << rows.size() << " patterns refined\n";
  return failed == static_cast<int>(rows.size()) ? kExitFailed : 0;
}

}  // namespace

int run_series_command(const std::vector<std::string>& args) {
  SeriesArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli

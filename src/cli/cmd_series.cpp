// vornax-cli series: the peak search, "Auto Sel." and the refinement on each profile
// of a series, one CSV row per pattern, an optional SVG plot of the refined lengths
// and the volume against the pattern's index, optional CIF files, and on stderr a line
// for each row that is not ok (for every row with --progress).
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
  std::string out, plot, cif;
  bool force = false;
  bool progress = false;
  bool allow_suspect = false;
  SeriesSettings settings;
};

}  // namespace

std::string series_usage() {
  return std::string() + "vornax-cli series --profiles FILE... | --profiles FOLDER\n"
               "         --system CODE --group SYMBOL [--getspec] --cell A B C ALPHA BETA GAMMA\n"
               "         --lambda L --range MIN MAX [--theta]\n"
               "         [--threshold T] [--min-width W] [--max-width W] [--classic] [--tolerance T]\n"
               "         [--refine a,b,c,alpha,beta,gamma,shift,lambda] [--eccentricity]\n"
               "         [--fit [--split]] [--keep CODES] [--chain] [--jobs N] [--shard I/N] [--type N] [--work DIR] [--files]\n"
               "         --out TABLE.csv [--plot CELLS.svg] [--cif FOLDER] [--force] [--progress]\n"
               "         [--min-paired F] [--min-pairs N] [--min-m20 M] [--min-fn F] [--max-shift S]\n"
               "         [--max-rel-error E] [--allow-suspect]\n"
               "  --chain: each pattern starts from the cell refined on the one before (runs in order);\n"
               "  without it every pattern starts from --cell\n"
               "  --jobs N: N patterns at a time when not chained\n"
               "  --shard I/N: only the patterns at positions k (0-based, in the order given; a\n"
               "  folder's profiles in name order) with k mod N = I, I from 0 to N-1; their rows\n"
               "  keep their index in the whole list\n"
               "  the search settings are measured on each pattern, as `search` does\n"
               "  --fit: each pattern's peaks fitted on its profile (as `search --fit`) and refined\n"
               "  with weights 1/sigma^2; the lines then stand at K alpha1: give lambda1 (a --lambda\n"
               "  of the K alpha mean is taken as the anode's lambda1)\n"
               "  --keep CODES: the line codes kept for the pairing (as `search --keep`); default\n"
               "  1,2: K Alpha and K Alpha1, so that no K Alpha2 line is paired\n"
               "  the refinement runs in memory; --files keeps vornax.inp, vornax.out and mouchard\n"
               "  of each pattern in a folder of its own under --work (or the current folder)\n"
               "  --cif FOLDER: a CIF per refined pattern, named after it\n"
               "  stderr has a line for each row that is not ok; --progress: for every row\n"
               "  a refined row that misses a gate is \"suspect: <reason>\", never \"ok\":\n"
               "  paired fraction of the peaks in range (--min-paired, 0.5), pairs (--min-pairs, 6),\n"
               "  M(N) and F(N) (--min-m20, --min-fn, 10), |zero shift| in degrees (--max-shift,\n"
               "  0.5), sigma of each length over the length (--max-rel-error, 0.001), convergence\n"
               "  exit status 1 when a row failed or is suspect, unless --allow-suspect\n";
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
    } else if (a == "--fit") {
      st.fit = true;
    } else if (a == "--split") {
      st.split = true;
    } else if (a == "--keep") {
      if (!has_value) return "--keep needs the codes";
      const std::string& text = args[++i];
      const auto keep = parse_line_codes(text);
      if (!keep) return "bad codes for --keep: " + text;
      st.keep = *keep;
    } else if (a == "--files") {
      st.files = true;
    } else if (a == "--progress") {
      out.progress = true;
    } else if (a == "--allow-suspect") {
      out.allow_suspect = true;
    } else if (a == "--min-paired" || a == "--min-m20" || a == "--min-fn" || a == "--max-shift" ||
               a == "--max-rel-error") {
      if (!has_value) return a + " needs a value";
      const auto v = parse_real(args[++i]);
      if (!v || !(*v >= 0) || (a == "--min-paired" && *v > 1)) return "bad value for " + a;
      SeriesGates& g = st.gates;
      (a == "--min-paired" ? g.min_paired : a == "--min-m20" ? g.min_m20 : a == "--min-fn" ? g.min_fn
                           : a == "--max-shift" ? g.max_shift : g.max_rel_error) = *v;
    } else if (a == "--min-pairs") {
      if (!has_value) return a + " needs a value";
      const auto n = parse_integer(args[++i]);
      if (!n || *n < 0 || *n > 500) return "--min-pairs is 0 to 500";
      st.gates.min_pairs = static_cast<int>(*n);
    } else if (a == "--shard") {
      if (!has_value) return "--shard needs I/N";
      const std::string& v = args[++i];
      const size_t slash = v.find('/');
      const auto index = slash == std::string::npos ? std::nullopt : parse_integer(v.substr(0, slash));
      const auto count = slash == std::string::npos ? std::nullopt : parse_integer(v.substr(slash + 1));
      if (!index || !count || *count < 1 || *count > 100000 || *index < 0 || *index >= *count)
        return "--shard is I/N with 0 <= I < N";
      st.shard_index = static_cast<int>(*index);
      st.shard_count = static_cast<int>(*count);
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
    } else if (a == "--out" || a == "--plot" || a == "--work" || a == "--cif") {
      if (!has_value) return a + " needs a file";
      const std::string& v = args[++i];
      if (a == "--out") out.out = v;
      else if (a == "--plot") out.plot = v;
      else if (a == "--cif") out.cif = v;
      else st.work_root = v;
      if (a == "--work") {
        if (auto e = work_folder_error(v)) return e;
      }
    } else {
      return "unknown argument " + a;
    }
  }
  if (out.profiles.empty()) return "--profiles is missing";
  if (st.split && !st.fit) return std::string("--split needs --fit");
  if (st.chain && st.shard_count > 1) return "--shard cannot go with --chain (a chain runs through every pattern)";
  if (!out.cif.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(out.cif, ec)) return "--cif " + out.cif + " is not a folder";
  }
  st.cif = !out.cif.empty();
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

  if (!a.cif.empty()) {
    // A CIF may replace neither a profile nor the other results.
    std::vector<std::filesystem::path> inputs = files;
    inputs.emplace_back(a.out);
    if (!a.plot.empty()) inputs.emplace_back(a.plot);
    for (size_t k = 0; k < files.size(); ++k) {
      if (k % static_cast<size_t>(st.shard_count) != static_cast<size_t>(st.shard_index)) continue;
      SeriesRow named;
      named.file = files[k];
      if (!output_allowed(std::filesystem::path(a.cif) / series_cif_name(named), inputs, a.force))
        return kExitFailed;
    }
  }

  // A row that is not ok is always said, with its reason; --progress says every row.
  const bool every_row = a.progress;
  const auto rows = run_series(files, st, [every_row](const SeriesRow& row, int done, int total) {
    if (every_row || row.status != SeriesStatus::Ok)
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
  int failed = 0, suspect = 0;
  for (const auto& r : rows) {
    failed += r.status == SeriesStatus::Failed;
    suspect += r.status == SeriesStatus::Suspect;
    if (!a.cif.empty() && !r.cif.empty())
      write_file_atomically(std::filesystem::path(a.cif) / series_cif_name(r), r.cif);
  }
  std::cerr << rows.size() - failed << " of " << rows.size() << " patterns refined\n";
  if (suspect > 0) std::cerr << suspect << " of them suspect\n";
  if (failed == static_cast<int>(rows.size())) return kExitFailed;
  return (failed > 0 || suspect > 0) && !a.allow_suspect ? kExitFailed : 0;
}

}  // namespace

int run_series_command(const std::vector<std::string>& args) {
  SeriesArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli

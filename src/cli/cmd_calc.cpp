// vornax-cli calc: the "Calc." command of the cell tab run on a tab filled from the
// arguments, in the current folder (which is also the working folder). Prints the
// "Ed/Print" report to standard output and leaves the files the window leaves.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"
#include "cli/option_checks.hpp"
#include "cli/run_folder.hpp"
#include "cli/subcommands.hpp"
#include "cli/peak_loading.hpp"
#include "cli/stderr_messages.hpp"
#include "commands/calculation.hpp"
#include "core/catalogue.hpp"
#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax::cli {

namespace {

struct CalcArgs {
  CellTabArgs tab;
  bool forbidden = false;
  std::string work;  // --work: the folder of the run's files instead of the current one
};

}  // namespace

std::string calc_usage() {
  return std::string() + "vornax-cli calc " + kCellTabUsage + " [--forbidden] [--work DIR]\n" + "  CODE: CUBI TETR ORTH HEXA RHOM MONO TRIC (or the list entry, e.g. Cubic)\n"
               "  --theta: the range is given, and the grid shown, in theta\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("calc", why); }

std::optional<std::string> parse_args(const std::vector<std::string>& args, CalcArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    switch (take_cell_tab_option(args, i, out.tab, error)) {
      case OptionTaken::Taken: continue;
      case OptionTaken::MissingValue: return error;
      case OptionTaken::NotMine: break;
    }
    if (args[i] == "--forbidden") {
      out.forbidden = true;
    } else if (args[i] == "--work") {
      if (i + 1 >= args.size()) return std::string("--work needs a folder");
      out.work = args[++i];
      if (auto e = work_folder_error(out.work)) return e;
    } else {
      return "unknown argument " + args[i];
    }
  }
  if (auto missing = missing_cell_tab_option(out.tab)) return missing;
  if (auto bad = cell_tab_value_error(out.tab)) return bad;
  const std::string& sys = out.tab.system;
  if (out.tab.cell_file.empty() && system_index(sys.size() > 4 ? system_code_from_entry(sys) : to_upper(sys)) < 0)
    return "unknown system " + sys;
  return std::nullopt;
}

int run(const CalcArgs& a) {
  if (refuse_program_files({a.tab.cell_file.native()})) return kExitFailed;
  StderrMessages m;
  WorkSession s;
  CellTab tab;
  const RunFolder folder(a.work, false);
  const SessionStart start = session_start(a.tab, folder.path());
  if (!start_session(s, tab, start, m)) return kExitFailed;
  calculate_started(s, tab, start, m);
  if (a.forbidden) toggle_forbidden(s, true, m);

  auto report = write_short_reflection_report(s, m);
  if (report) {
    for (const auto& line : read_text_lines(*report)) std::cout << line << '\n';
  }
  if (m.errors > 0) return kExitFailed;
  if (s.allowed.empty()) {
    // The window would just show an empty grid; a script needs to be told why it failed.
    if (m.messages == 0) m.error("No calculated peaks!");
    return kExitFailed;
  }
  return 0;
}

}  // namespace

int run_calc_command(const std::vector<std::string>& args) {
  CalcArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli

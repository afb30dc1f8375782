#include "cli/cell_tab_args.hpp"

#include <algorithm>
#include <iostream>
#include <system_error>

#include "commands/calculation.hpp"
#include "commands/cell_files.hpp"
#include "core/catalogue.hpp"
#include "core/cell.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"

namespace vornax::cli {

int run_reporting_file_errors(const std::function<int()>& body) {
  try {
    return body();
  } catch (const Error& e) {
    std::cerr << e.what() << '\n';
  } catch (const std::filesystem::filesystem_error& e) {
    // A file system call left without its error_code form: still a message, not an abort.
    std::cerr << e.what() << '\n';
  }
  return kExitFailed;
}

std::filesystem::path current_folder() {
  std::error_code ec;
  auto folder = std::filesystem::current_path(ec);
  if (ec) throw FileError("The current folder cannot be read (" + ec.message() + ")");
  return folder;
}

OptionTaken take_cell_tab_option(const std::vector<std::string>& args, size_t& i,
                                 CellTabArgs& out, std::string& error) {
  const std::string& a = args[i];
  auto values = [&](size_t n, const char* what) {
    if (i + n < args.size()) return true;
    error = a + " needs " + what;
    return false;
  };
  if (a == "--system") {
    if (!values(1, "a value")) return OptionTaken::MissingValue;
    out.system = args[++i];
  } else if (a == "--group") {
    if (!values(1, "a value")) return OptionTaken::MissingValue;
    out.group = args[++i];
  } else if (a == "--getspec") {
    out.getspec = true;
  } else if (a == "--cell") {
    if (!values(6, "six values")) return OptionTaken::MissingValue;
    for (auto& c : out.cell) c = args[++i];
    out.have_cell = true;
  } else if (a == "--lambda") {
    if (!values(1, "a value")) return OptionTaken::MissingValue;
    out.lambda = args[++i];
    out.have_lambda = true;
  } else if (a == "--range") {
    if (!values(2, "two values")) return OptionTaken::MissingValue;
    out.range_min = args[++i];
    out.range_max = args[++i];
    out.have_range = true;
  } else if (a == "--cell-file") {
    if (!values(1, "a file")) return OptionTaken::MissingValue;
    out.cell_file = args[++i];
  } else if (a == "--theta") {
    out.theta = true;
  } else {
    return OptionTaken::NotMine;
  }
  return OptionTaken::Taken;
}

std::optional<std::string> missing_cell_tab_option(const CellTabArgs& a) {
  if (!a.cell_file.empty()) {
    if (!a.system.empty() || !a.group.empty() || a.have_cell)
      return "--cell-file replaces --system, --group and --cell";
    if (!a.have_lambda) return "--lambda is missing";
    if (!a.have_range) return "--range is missing";
    return std::nullopt;
  }
  if (a.system.empty()) return "--system is missing";
  if (a.group.empty()) return "--group is missing";
  if (!a.have_cell) return "--cell is missing";
  if (!a.have_lambda) return "--lambda is missing";
  if (!a.have_range) return "--range is missing";
  return std::nullopt;
}

std::filesystem::path executable_dir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

std::optional<RoadSettings> road_settings(const std::string& tolerance,
                                          const std::optional<std::string>& keys, bool eccentricity,
                                          const std::string& lambda, const std::string& shift,
                                          std::string& bad) {
  RoadSettings road;
  road.tolerance = tolerance;
  if (keys) {
    road.keys = parse_refine_keys(*keys, &bad);
    if (!road.keys) return std::nullopt;
  }
  road.eccentricity = eccentricity;
  road.inputs = {lambda, shift};
  return road;
}

SessionStart session_start(const CellTabArgs& a, const std::filesystem::path& folder) {
  SessionStart st = a;
  st.folder = folder.empty() ? current_folder() : folder;
  st.data_folder = locate_data_folder(executable_dir());
  return st;
}

}  // namespace vornax::cli

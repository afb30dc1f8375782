// The options that fill the "Initial cell parameters" tab (--system, --group,
// --getspec, --cell, --lambda, --range, --theta), shared by the commands that run
// "Calc.", and the set-up the window does once the user has chosen and typed them.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "commands/refinement_road.hpp"
#include "core/cell_entry.hpp"
#include "core/messages.hpp"
#include "core/refined_quantity.hpp"
#include "core/session.hpp"

namespace vornax::cli {

constexpr int kExitFailed = 1;  // a check, a run or a file failed
constexpr int kExitUsage = 2;   // the arguments were wrong

// Runs a command body; the program's errors it throws (a missing catalogue, a file that
// cannot be read or written, a damaged file) become their message on standard error and
// kExitFailed.
int run_reporting_file_errors(const std::function<int()>& body);

// The tab as the options fill it (--cell-file: system, group and cell from a .cry or
// .ics file), and which of the required options were given.
struct CellTabArgs : SessionStart {
  bool have_cell = false, have_lambda = false, have_range = false;
};

enum class OptionTaken { NotMine, Taken, MissingValue };

// Takes the option at args[i] when it is a cell-tab option, moving i onto its last
// value; on MissingValue, `error` says what is missing.
OptionTaken take_cell_tab_option(const std::vector<std::string>& args, size_t& i,
                                 CellTabArgs& out, std::string& error);

// The first required option that was not given ("--system is missing"), if any.
std::optional<std::string> missing_cell_tab_option(const CellTabArgs& a);

// Usage lines of these options.
inline constexpr const char* kCellTabUsage =
    "--system CODE --group SYMBOL [--getspec]\n"
    "         --cell A B C ALPHA BETA GAMMA --lambda L --range MIN MAX [--theta]\n"
    "   or: --cell-file FILE.cry|FILE.ics --lambda L --range MIN MAX [--theta]";

// The current folder, where the commands leave their result files; a FileError when it
// cannot be known (it was deleted).
std::filesystem::path current_folder();

// The folder of the running program (for its data folder).
std::filesystem::path executable_dir();

// The road's settings from the refinement options (--tolerance, --refine, --eccentricity,
// --shift and the typed λ); nothing, with the unknown item of --refine in `bad`.
std::optional<RoadSettings> road_settings(const std::string& tolerance,
                                          const std::optional<std::string>& keys, bool eccentricity,
                                          const std::string& lambda, const std::string& shift,
                                          std::string& bad);

// The session start the options describe, in `folder` (the working and current folder
// of the run; the current folder when empty) with the catalogue files found beside the
// program.
SessionStart session_start(const CellTabArgs& a, const std::filesystem::path& folder = {});

}  // namespace vornax::cli

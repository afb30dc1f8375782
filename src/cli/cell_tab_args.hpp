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

struct CellTabArgs {
  std::string system;
  std::string group;
  bool getspec = false;
  std::array<std::string, 6> cell;
  std::string lambda;
  std::string range_min, range_max;
  bool theta = false;
  bool have_cell = false, have_lambda = false, have_range = false;
  std::string cell_file;  // --cell-file: system, group and cell from a .cry or .ics file
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

// "--refine a,c,shift": the eight "To refine" check boxes; `bad` names an unknown item.
std::optional<PerQuantity<bool>> parse_refine_keys(const std::string& list,
                                                   std::string* bad = nullptr);

// The folder of the running program (for its data folder).
std::filesystem::path executable_dir();

// A fresh session in the current folder with the tab as the window has it once the
// system and the group are chosen and the fields typed: lists filled, symbol set,
// fields laid out for the system. Returns an error text for an unknown system or a
// group missing from its list. Throws CatalogueMissing and FileError like the lists do.
std::optional<std::string> prepare_cell_tab(WorkSession& s, CellTab& tab, const CellTabArgs& a);

// For --cell-file: a fresh session with the wavelength and range of the arguments, and
// the cell file loaded as the window's load command does (its messages on `m`). Returns
// an error text when the values do not convert; false in `loaded` when the file was
// refused (its message was shown). The calculation is then run_calculation.
std::optional<std::string> prepare_cell_file(WorkSession& s, const CellTabArgs& a, Messages& m,
                                             bool& loaded);

}  // namespace vornax::cli

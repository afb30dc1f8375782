// Checks of option values that several sub-commands share, so that each refuses a
// misused option alike: the reason, naming the option, or nothing when the value is
// fine.
#pragma once

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "cli/cell_tab_args.hpp"
#include "commands/peak_search.hpp"
#include "core/format.hpp"

namespace vornax::cli {

// --keep's line codes, "1,2": each from 1 to 5; nothing when one is not.
inline std::optional<PeakKillSettings> parse_line_codes(const std::string& text) {
  PeakKillSettings k;
  std::string item;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',') {
      item += text[i];
      continue;
    }
    item = trim(item);
    if (item.size() != 1 || item[0] < '1' || item[0] > '5') return std::nullopt;
    k.keep[static_cast<size_t>(item[0] - '1')] = true;
    item.clear();
  }
  return k;
}

// No X-ray or neutron wavelength a powder pattern is measured with lies above this (Å).
inline constexpr double kMaxWavelength = 10.0;

// A wavelength given as a number: above 0 and at most kMaxWavelength.
inline std::optional<std::string> wavelength_error(double lambda) {
  if (!(lambda > 0 && lambda <= kMaxWavelength))
    return "--lambda must be a wavelength above 0 and at most " +
           format_fixed(kMaxWavelength, 0, 0) + " A";
  return std::nullopt;
}

// The cell tab's --lambda as typed: the tab itself answers a text that is not a number,
// a zero or a negative wavelength with the window's messages; only a number beyond any
// wavelength is refused here.
inline std::optional<std::string> typed_wavelength_error(const std::string& text) {
  const auto v = parse_typed(text);
  if (!v || *v <= 0) return std::nullopt;
  return wavelength_error(*v);
}

// The peak search's --threshold, --min-width and --max-width: numbers above 0.
inline std::optional<std::string> search_setting_error(const std::string& option, double v) {
  if (!(v > 0) || !std::isfinite(v)) return option + " must be above 0";
  return std::nullopt;
}

// The pair-matching --tolerance: a number above 0 (degrees).
inline std::optional<std::string> tolerance_error(const std::string& text) {
  const auto v = parse_real(text);
  if (!v || !(*v > 0) || !std::isfinite(*v)) return "--tolerance must be a number above 0";
  return std::nullopt;
}

// --refine must name at least one parameter: an empty list would run a refinement of
// nothing and report it as a success.
inline std::optional<std::string> refine_list_error(const std::string& list) {
  if (list.find_first_not_of(", \t") == std::string::npos)
    return "--refine names no parameter (give e.g. a,b,c)";
  return std::nullopt;
}

// The 2theta window of --range (in theta with --theta) within 0 to 180 degrees of 2theta.
inline std::optional<std::string> range_error(const std::string& min, const std::string& max,
                                              bool theta) {
  const double top = theta ? 90.0 : 180.0;
  for (const std::string* t : {&min, &max}) {
    const auto v = parse_typed(*t);
    if (v && !(*v >= 0 && *v <= top))
      return std::string("--range must lie within 0 and ") + (theta ? "90 (theta)" : "180 (2theta)");
  }
  return std::nullopt;
}

// A --work folder: made by the run when missing, but only its last level, so that a
// mistyped path does not leave a chain of folders behind.
inline std::optional<std::string> work_folder_error(const std::string& folder) {
  if (folder.empty()) return "--work needs a folder";
  const std::filesystem::path p(folder);
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) return std::nullopt;
  if (std::filesystem::exists(p, ec)) return "--work " + folder + " is not a folder";
  std::filesystem::path named = p.lexically_normal();
  if (!named.has_filename()) named = named.parent_path();  // "a/b/"
  const std::filesystem::path parent = named.parent_path();
  if (!std::filesystem::is_directory(parent.empty() ? "." : parent, ec))
    return "--work " + folder + ": the folder above it does not exist";
  return std::nullopt;
}

// The values of the cell-tab options that no run could use.
inline std::optional<std::string> cell_tab_value_error(const CellTabArgs& a) {
  if (auto e = typed_wavelength_error(a.lambda)) return e;
  return range_error(a.range_min, a.range_max, a.theta);
}

}  // namespace vornax::cli

#include "cli/stop_hints.hpp"

#include <array>
#include <utility>

#include "core/format.hpp"

namespace vornax::cli {

namespace {

// The message as shown (trimmed), and its hint.
constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kHints{{
    {"Nb of selected reflections too low",
     "pair more peaks (a larger --tolerance, a --cell closer to the pattern, --repair N) or "
     "refine fewer parameters (--refine a,shift)"},
    {"No selected reflections!",
     "no peak lies within --tolerance of a reflection: check --cell, --lambda and --range, or "
     "give a larger --tolerance"},
    {"Singular Matrix",
     "the pairs do not fix every refined parameter: refine fewer (--refine) or pair peaks spread "
     "over the range"},
    {"No calculated reflections",
     "check --cell, --group, --lambda and --range (no reflection falls in the range)"},
    {"Error: No measured Bragg angle", "the peak file holds no peak: check --peaks and --peak-type"},
    {"The wavelength =0", "give the wavelength with --lambda L"},
    {"Theta range error", "give --range MIN MAX with MIN below MAX"},
    {"Cell parameters error!", "give --cell with positive lengths and angles between 0 and 180"},
    {"No system!", "give --system CODE"},
    {"No space group!", "give --group SYMBOL"},
    {"Error on Lambda!", "give --lambda as a number above 0"},
    {"Error on Angular Shift!", "give --shift as a number of degrees 2theta"},
    {"Error (angular tolerance)", "give --tolerance as a number of degrees"},
    {"Pair again needs a refined cell: refine first",
     "the first refinement failed: see the message above"},
}};

}  // namespace

std::optional<std::string> stop_hint(std::string_view message) {
  const std::string shown = trim(message);
  for (const auto& [text, hint] : kHints)
    if (shown == text) return "hint: " + std::string(hint);
  return std::nullopt;
}

}  // namespace vornax::cli

#include "cli/subcommands.hpp"

#include <array>
#include <iostream>

#include "cli/cell_tab_args.hpp"
#include "cli/commands.hpp"

namespace vornax::cli {

namespace {

constexpr std::array<Subcommand, 9> kSubcommands{{
    {"calc", calc_usage, run_calc_command},
    {"refine", refine_usage, run_refine_command},
    {"peaks", peaks_usage, run_peaks_command},
    {"profile", profile_usage, run_profile_command},
    {"convert", convert_usage, run_convert_command},
    {"search", search_usage, run_search_command},
    {"plot", plot_usage, run_plot_command},
    {"series", series_usage, run_series_command},
    {"index", index_usage, run_index_command},
}};

}  // namespace

std::span<const Subcommand> subcommands() { return kSubcommands; }

const Subcommand* find_subcommand(std::string_view name) {
  for (const Subcommand& c : kSubcommands)
    if (c.name == name) return &c;
  return nullptr;
}

int usage_error(std::string_view name, const std::string& why) {
  std::cerr << name << ": " << why << "\n";
  if (const Subcommand* c = find_subcommand(name)) std::cerr << "usage: " << c->usage();
  return kExitUsage;
}

std::string help_text() {
  std::string text = "usage:\n";
  for (const Subcommand& c : kSubcommands) text += c.usage() + "\n";
  return text;
}

}  // namespace vornax::cli

// Sub-commands of vornax-cli. Each takes the arguments after its name and returns the
// process exit code; messages go to standard error. Each has its usage text (after
// "usage: "), from which the program's help is made.
#pragma once

#include <string>
#include <vector>

namespace vornax::cli {

int run_calc_command(const std::vector<std::string>& args);
int run_refine_command(const std::vector<std::string>& args);
int run_profile_command(const std::vector<std::string>& args);
int run_convert_command(const std::vector<std::string>& args);
int run_peaks_command(const std::vector<std::string>& args);
int run_plot_command(const std::vector<std::string>& args);
int run_search_command(const std::vector<std::string>& args);
int run_series_command(const std::vector<std::string>& args);
int run_index_command(const std::vector<std::string>& args);

std::string calc_usage();
std::string refine_usage();
std::string profile_usage();
std::string convert_usage();
std::string peaks_usage();
std::string plot_usage();
std::string search_usage();
std::string series_usage();
std::string index_usage();

}  // namespace vornax::cli

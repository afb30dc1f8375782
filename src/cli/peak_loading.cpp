#include "cli/peak_loading.hpp"

#include <iostream>

#include "cli/cell_tab_args.hpp"
#include "cli/cli_profile_load.hpp"
#include "cli/stderr_messages.hpp"
#include "commands/load_peaks.hpp"
#include "commands/selection_commands.hpp"
#include "core/paths.hpp"

namespace vornax::cli {

namespace {

// The command line never asks: the file named is the file meant.
struct QuietYes : StderrMessages {
  Answer ask(std::string_view) override { return Answer::Yes; }
};

}  // namespace

bool load_peaks_for_cli(WorkSession& s, const std::string& file, std::optional<PeakFileType> type,
                        std::optional<double> lambda) {
  QuietYes m;
  TypedWavelength dialog;
  dialog.lambda = lambda;
  const Changed c = type ? load_peak_file_as(s, m, dialog, file, *type)
                         : load_peak_file(s, m, dialog, file, PeakFileType::ColumnAny);
  if (c != Changed::None) return true;
  if (dialog.asked && !lambda && m.errors == 0)
    std::cerr << "The wavelength is missing: give it with --lambda L\n";
  else if (m.errors == 0)
    std::cerr << "No peaks read from " << file << '\n';
  return false;
}

bool load_peaks_to_pair(WorkSession& s, const std::string& file, std::optional<PeakFileType> type,
                        std::optional<double> lambda) {
  if (!type) {
    const auto by_name = peak_type_from_extension(file);
    type = by_name && *by_name != PeakFileType::Xfit ? *by_name : PeakFileType::ColumnAny;
  }
  if (!load_peaks_for_cli(s, file, type, lambda)) return false;
  if (s.indexed_list.empty()) sort_measured_peaks(s);
  return true;
}

bool refuse_program_files(std::initializer_list<std::string_view> inputs) {
  WorkSession probe;
  reset_session(probe, current_folder());
  for (std::string_view file : inputs) {
    if (file.empty()) continue;
    const std::filesystem::path path{std::string(file)};
    if (is_fixed_file(probe, path)) {
      std::cerr << fixed_file_input_message(path) << '\n';
      return true;
    }
  }
  return false;
}

}  // namespace vornax::cli

// Saving the measured peaks (DIF2, one column) and the dif.out report.
#pragma once

#include <filesystem>
#include <optional>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

inline constexpr const char* kFileExistsQuestion = "This file already exists. Do you want to continue?";
inline constexpr const char* kNoPeakAnglesMessage = "No measured reflection angles!";
inline constexpr const char* kNoPeaksReportMessage = "No measured peaks!";

// save_bruker_dif: ".dif" appended when the name lacks it; an existing file is replaced
// only after Yes; the peak file name becomes the name once the file is written; then
// "The peak positions were saved in the file " + name.
Changed save_bruker_dif(WorkSession& s, Messages& m, const std::filesystem::path& chosen);

// save_column_dif: the same with ".prn", one 2θ per line, no message.
Changed save_column_dif(WorkSession& s, Messages& m, const std::filesystem::path& chosen);

// The profile window's column save: the same, each line with the peak's intensity
// after its 2θ.
Changed save_column_peaks_with_intensity(WorkSession& s, Messages& m,
                                         const std::filesystem::path& chosen);

// write_peak_report: writes dif.out in the working folder and returns its path for the
// window to show; "No measured peaks!" when the list is empty.
std::optional<std::filesystem::path> write_peak_report(const WorkSession& s, Messages& m);

}  // namespace vornax

// Loading a peak file from the command line: no questions are asked; a file without a
// wavelength takes the one given on the command line.
#pragma once

#include <optional>
#include <string>

#include "core/session.hpp"
#include "files/peak_files.hpp"

namespace vornax::cli {

// Loads `file` into the session through the load command. Without `type` the kind
// comes from the extension, else the column reader. The messages go to standard error;
// false when nothing was loaded.
bool load_peaks_for_cli(WorkSession& s, const std::string& file, std::optional<PeakFileType> type,
                        std::optional<double> lambda);

}  // namespace vornax::cli

// Loading a peak file from the command line: no questions are asked; a file without a
// wavelength takes the one given on the command line.
#pragma once

#include <initializer_list>
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

// True, with the message on standard error, when one of the input files named on the
// command line is one the run writes or deletes in the current folder. Checked before
// anything else happens, so that such a file is never touched.
bool refuse_program_files(std::initializer_list<std::string_view> inputs);

}  // namespace vornax::cli

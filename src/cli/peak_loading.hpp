// Loading a peak file from the command line: no questions are asked; a file without a
// wavelength takes the one given on the command line.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "core/session.hpp"
#include "commands/load_peaks.hpp"

namespace vornax::cli {

// Loads `file` into the session through the load command. Without `type` the kind
// comes from the extension, else the column reader. The messages go to standard error;
// false when nothing was loaded.
bool load_peaks_for_cli(WorkSession& s, const std::string& file, std::optional<PeakFileType> type,
                        std::optional<double> lambda);

// The peaks of a refinement or a drawing: the kind from `type`, else from the extension;
// plain text (.txt included, the usual name for a hand-made list) is read as one 2θ per
// line. Sorted by angle, except an indexed list, whose entry i belongs to peak i when
// "Calc." pairs the list by its indices.
bool load_peaks_to_pair(WorkSession& s, const std::string& file, std::optional<PeakFileType> type,
                        std::optional<double> lambda);

// True, with the message on standard error, when one of the input files named on the
// command line is one the run writes or deletes in the current folder. Checked before
// anything else happens, so that such a file is never touched.
bool refuse_program_files(std::initializer_list<std::string_view> inputs);

}  // namespace vornax::cli

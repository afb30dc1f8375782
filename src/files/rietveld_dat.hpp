// Rietveld DAT profile files: a four-line header (sample, wavelengths), a line with
// start, step and end angle, then intensities, several to a line.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

ProfileFileData read_rietveld_dat(std::string_view bytes, const std::string& name);

// Signature: "SampleIdent" on the first line. With a blank first line and, on line 5,
// a start below the end and a step above 0: Likely when the counts that follow are as
// many as that range holds, Plausible otherwise. No for anything else.
ContentMatch rietveld_dat_content(std::string_view bytes);

}  // namespace vornax

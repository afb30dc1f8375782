// Rietveld DAT profile files: a four-line header (sample, wavelengths), a line with
// start, step and end angle, then intensities, several to a line.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

ProfileFileData read_rietveld_dat(std::string_view bytes, const std::string& name);

}  // namespace vornax

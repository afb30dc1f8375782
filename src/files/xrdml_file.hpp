// XRDML profile files (XML): the 2θ positions of one scan (each scan is a range), as
// start and end or as a list, its counts or intensities times any beam attenuation
// factors, the wavelengths used (a ratio of 0 kept) and the anode.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

// Throws FormatError for a damaged file, a missing range, or a scan without 2θ
// positions (Omega or Chi only).
ProfileFileData read_xrdml_file(std::string_view bytes, const std::string& name,
                                int range_index = 0);

}  // namespace vornax

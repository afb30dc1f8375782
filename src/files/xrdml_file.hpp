// XRDML profile files (XML): the 2θ positions of the first scan, as start and end
// or as a list, its counts or intensities, the wavelengths used and the anode.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

// Throws FormatError for a damaged file or one without a 2θ scan.
ProfileFileData read_xrdml_file(std::string_view bytes, const std::string& name);

}  // namespace vornax

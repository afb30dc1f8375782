// Philips RD profile files: a binary header (anode code, Kα pair, range, sample) and
// one 16-bit word per point, the square root of a tenth of the counts.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

ProfileFileData read_philips_rd(std::string_view bytes, const std::string& name);

}  // namespace vornax

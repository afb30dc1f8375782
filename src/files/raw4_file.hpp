// Bruker RAW version 4 profile files ("RAW4.00"): a short file header, a chain of
// typed metadata segments (the hardware segment holds the wavelengths and the anode),
// then one or more ranges, each a fixed header, its own extra segments and the
// intensities as float32.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

inline constexpr std::string_view kRaw4Signature = "RAW4.00";

// Reads range `range_index` (0 = the first). Throws FormatError for a damaged file or
// a range the file does not have.
ProfileFileData read_raw4_file(std::string_view bytes, const std::string& name,
                               int range_index = 0);

// Number of ranges in the file (for a menu of ranges). Throws FormatError.
int raw4_range_count(std::string_view bytes, const std::string& name);

}  // namespace vornax

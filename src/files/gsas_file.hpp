// GSAS powder data files: a title line, a "BANK" line with the point count and the
// binning, here CONS start and step in centidegrees, then the data: STD (ten
// intensities a line, each in eight columns whose first two may hold a counter
// number), ESD (five intensity and σ pairs a line, eight columns each) or FXYE
// (x in centidegrees, y, σ on each line).
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

// The first bank. Throws FormatError for a damaged file or a bank that is not CONS
// (FXYE banks take any binning, their angles being on every line).
ProfileFileData read_gsas_file(std::string_view bytes, const std::string& name);

}  // namespace vornax

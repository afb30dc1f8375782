// Plain column profiles (.xy, .xye, .txt, .prn): one point per line, 2θ and intensity
// and an optional standard deviation, separated by blanks or tabs. Blank lines and
// comment lines (starting with # or ') are skipped, and so are text lines before the
// first point (a column header).
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

ProfileFileData read_column_profile(std::string_view bytes, const std::string& name);

// Likely when, past an optional header of text lines, every line (blank and comment
// lines aside) holds two or three numbers and the first column rises from line to line,
// over two points at least; No otherwise.
ContentMatch column_profile_content(std::string_view bytes);

}  // namespace vornax

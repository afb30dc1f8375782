// Indexed lists (h k l 2θ per line) as the peak loader reads them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/session.hpp"
#include "files/byte_cursor.hpp"

namespace vornax {

// Lines h k l 2θ in free format; a 2θ of 0 drops the line, blank lines are skipped, a
// line without four numbers is a FormatError. Keeps the first 100 entries.
std::vector<IndexedEntry> read_indexed_list(std::string_view bytes, const std::string& name);

}  // namespace vornax

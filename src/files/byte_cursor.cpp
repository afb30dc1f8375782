#include "files/byte_cursor.hpp"

namespace vornax {

void ByteCursor::short_file(size_t wanted) const {
  throw FormatError(name_ + ": file too short (needs " + std::to_string(wanted) +
                    " bytes, has " + std::to_string(bytes_.size()) + ")");
}

}  // namespace vornax

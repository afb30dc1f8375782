#include "core/replace_file.hpp"

#include <cstring>

#include "core/text_file.hpp"

namespace vornax {

std::optional<std::string> replace_file_contents(const std::filesystem::path& target,
                                                 std::string_view bytes) {
  if (const int error = replace_file_bytes(target, bytes, true))
    return "cannot write " + target.string() + ": " + std::strerror(error);
  return std::nullopt;
}

}  // namespace vornax

// Writing a whole file so that a failure never leaves a damaged one behind: the bytes
// go to a temporary file beside the target, which replaces the target only once every
// byte is on disk. A full disk or a folder that cannot be written leaves the old file
// as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vornax {

// Writes `bytes` as the file `target`; returns why it could not, or nothing on success.
// A target that exists but is not a regular file (a device, a pipe) cannot be replaced
// by renaming and is written directly, still checking every write.
std::optional<std::string> replace_file_contents(const std::filesystem::path& target,
                                                 std::string_view bytes);

}  // namespace vornax

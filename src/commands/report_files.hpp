// The text reports written at fixed names (dif.out, raw.out ...) for the report viewer.
#pragma once

#include <filesystem>
#include <optional>

#include "core/messages.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"
#include "core/text_file.hpp"

namespace vornax {

// Writes `report` to its fixed file and returns the path, or shows the input/output
// error and returns nothing.
std::optional<std::filesystem::path> write_report(const WorkSession& s, FixedFile file,
                                                  const TextFile& report, Messages& m);

}  // namespace vornax

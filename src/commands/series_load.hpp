// The profile load of a series run, in a unit of its own: the wavelength window's
// header and the peak search's header both declare an AnodeLines and cannot meet in
// one file.
#pragma once

#include <filesystem>
#include <optional>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "files/profile_files.hpp"

namespace vornax {

// The load command with its wavelength window answered by `lambda` (closed when
// none). True when the profile is in the session.
bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         ProfileFileType type, std::optional<double> lambda);

}  // namespace vornax

// The profile load of a series run: no window to ask, so the wavelength comes from
// the command.
#pragma once

#include <filesystem>
#include <optional>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/profile_formats.hpp"

namespace vornax {

// The load command with its wavelength window answered by `lambda` (closed when
// none; a wavelength that names an anode brings its Kα2, so that the search classifies
// the doublets); the kind `type` when given, else from the extension and the content. True
// when the profile is in the session.
bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         std::optional<ProfileFileType> type, std::optional<double> lambda);

}  // namespace vornax

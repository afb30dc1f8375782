// The profile load of a series run: no window to ask, so the wavelength comes from
// the command.
#pragma once

#include <filesystem>
#include <optional>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/profile_formats.hpp"
#include "core/wavelength.hpp"

namespace vornax {

// The wavelength window answered by a typed wavelength. One that names an anode is
// taken as choosing that anode (its Kα1 and Kα2, ratio 0.5): without the doublet the
// search cannot tell a Kα2 line from a reflection of its own. Any other wavelength is
// taken alone.
struct AnodeTypedWavelength : TypedWavelength {
  std::optional<WavelengthSet> choose(const WavelengthSet& proposed, bool profile) override;
};

// The load command with its wavelength window answered by `lambda` (closed when
// none; a wavelength that names an anode brings its Kα2, so that the search classifies
// the doublets); the kind `type` when given, else from the extension and the content. True
// when the profile is in the session.
bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         std::optional<ProfileFileType> type, std::optional<double> lambda);

}  // namespace vornax

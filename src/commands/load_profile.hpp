// Loading a measured profile: the kind from the dialog and the file's extension, the
// reading, the wavelength completion (asking through the wavelength window when the
// file holds none), the anode, the check against the measured peaks' wavelength.
// The session changes only when all of it succeeded.
#pragma once

#include <filesystem>

#include "commands/changed.hpp"
#include "core/wavelength.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "files/profile_files.hpp"

namespace vornax {

Changed load_profile_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path, ProfileFileType type,
                          int range_index = 0);

}  // namespace vornax

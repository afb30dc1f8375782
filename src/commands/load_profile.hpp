// Loading a measured profile: the kind from the dialog and the file's extension, the
// reading, the wavelength completion (asking through the wavelength window when the
// file holds none), the anode, the check against the measured peaks' wavelength.
// The session changes only when all of it succeeded.
#pragma once

#include <filesystem>

#include "commands/changed.hpp"
#include "commands/profile_wavelength_tmp.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "files/profile_files.hpp"

namespace vornax {

// Profile and measured-peak wavelengths may differ by this much (Å).
constexpr double kProfileLambdaTolerance = 0.01;

Changed load_profile_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path, ProfileFileType type);

// λ1 and λ2 of an anode ("Cu", any case), or nullopt for an unknown one.
struct AnodeLines {
  double lambda1, lambda2;
};
std::optional<AnodeLines> anode_lines(std::string_view anode);

}  // namespace vornax

// Loading a measured profile: the kind the user chose, or else the one the extension
// names (the content settling an extension several kinds share), the reading, the wavelength completion (asking through the wavelength window when the
// file holds none), the anode, the check against the measured peaks' wavelength.
// The session changes only when all of it succeeded.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "commands/changed.hpp"
#include "core/wavelength.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/profile_formats.hpp"

namespace vornax {

// What a load settled about the kind.
struct ProfileLoadNote {
  ProfileFileType type = ProfileFileType::Column;
  bool by_content = false;  // the content overrode the extension's first guess
};

// `chosen`: the kind picked in a menu or by --type, honoured whatever the extension;
// none: the extension decides, and `fallback` for a name that names no kind. `note`
// (when given) receives the kind read, once the file could be read.
Changed load_profile_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path,
                          std::optional<ProfileFileType> chosen, int range_index = 0,
                          ProfileLoadNote* note = nullptr,
                          ProfileFileType fallback = ProfileFileType::Column);

// "SiC.dat read as Column Format": what a command line says when the content settled
// the kind; empty otherwise.
std::string profile_kind_note_text(const std::filesystem::path& path, const ProfileLoadNote& note);

// Whether the profile can be read again from its file: read from a file of a known kind.
bool profile_can_be_reread(const Profile& p);

// The profile's file read again as the kind and range it was read as (the kind its
// name and content tell when none is recorded). Points with 2θ as read, no zero offset.
// Throws FormatError or FileError.
Profile reread_profile_file(const Profile& p);

}  // namespace vornax

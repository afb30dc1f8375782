// Loading a profile for the command-line tool: the wavelength window is answered by
// --lambda (as if OK were pressed with no source chosen), or closed when none was given.
#pragma once

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "cli/stderr_messages.hpp"
#include "commands/load_profile.hpp"
#include "core/profile_formats.hpp"
#include "core/session.hpp"

namespace vornax::cli {

// A --type value: a whole number from 1 to the number of kinds.
inline std::optional<ProfileFileType> profile_type_argument(double value) {
  if (!(value >= 1 && value <= kProfileKindCount) || value != static_cast<int>(value))
    return std::nullopt;
  return profile_type_from_number(static_cast<int>(value));
}

// Says on standard error which kind the content chose, when it overrode the extension.
inline void print_profile_kind_note(const std::filesystem::path& path, const ProfileLoadNote& note) {
  const std::string text = profile_kind_note_text(path, note);
  if (!text.empty()) std::cerr << "profile: " << text << '\n';
}

// True when the profile is in the session; otherwise the reason is on standard error.
// `type`: the --type given (honoured whatever the extension), or none; a name that
// names no kind is then read as `fallback`.
inline bool load_profile_for_cli(WorkSession& s, StderrMessages& m,
                                 const std::filesystem::path& path,
                                 std::optional<ProfileFileType> type,
                                 std::optional<double> lambda, int range_index = 0,
                                 ProfileFileType fallback = ProfileFileType::Column) {
  TypedWavelength dialog;
  dialog.lambda = lambda;
  ProfileLoadNote note;
  const Changed c = load_profile_file(s, m, dialog, path, type, range_index, &note, fallback);
  if (any(c, Changed::Profile)) {
    print_profile_kind_note(path, note);
    return true;
  }
  if (m.errors == 0 && dialog.asked) m.error("The wavelenth was not found  in the file! ");
  return false;
}

}  // namespace vornax::cli

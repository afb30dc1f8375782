// Saving the profile as RAW2 or CPI, and the profile report raw.out.
#pragma once

#include <filesystem>
#include <optional>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/profile_formats.hpp"
#include "core/session.hpp"
#include "core/text_file.hpp"

namespace vornax {

enum class ProfileSaveKind { Raw2 = 3, Cpi = 4 };

// Writes the profile to `chosen` (its extension appended when the name lacks it),
// asking before it overwrites a file. Once the file is written its name is the
// session's saved-profile name; the profile keeps the name it was read from.
Changed save_profile(WorkSession& s, Messages& m, const std::filesystem::path& chosen,
                     ProfileSaveKind kind);
// The same for any kind the table marks writable (its first extension appended).
Changed save_profile(WorkSession& s, Messages& m, const std::filesystem::path& chosen,
                     ProfileFileType kind);

// The lines of raw.out for a profile.
TextFile raw_out_report(const Profile& p);

// Writes raw.out in the working folder and returns where it is, for the report viewer;
// nullopt when there is no profile ("No diagram!") or the file cannot be written.
std::optional<std::filesystem::path> edit_raw(const WorkSession& s, Messages& m);

}  // namespace vornax

// Loading a profile for the command-line tool: the wavelength window is answered by
// --lambda (as if OK were pressed with no source chosen), or closed when none was given.
#pragma once

#include <filesystem>
#include <optional>

#include "cli/stderr_messages.hpp"
#include "commands/load_profile.hpp"
#include "core/session.hpp"

namespace vornax::cli {

// Answers the wavelength window with the command line's λ, as OK without a chosen
// source (peak and profile files alike).
struct LambdaOptionDialog : WavelengthDialog {
  std::optional<double> lambda;
  bool asked = false;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    asked = true;
    if (!lambda) return std::nullopt;
    WavelengthSet w;
    w.lambda = *lambda;
    w.anode = "?";
    w.ratio = 1.0;
    return w;
  }
};

// True when the profile is in the session; otherwise the reason is on standard error.
inline bool load_profile_for_cli(WorkSession& s, StderrMessages& m,
                                 const std::filesystem::path& path, ProfileFileType type,
                                 std::optional<double> lambda, int range_index = 0) {
  LambdaOptionDialog dialog;
  dialog.lambda = lambda;
  const Changed c = load_profile_file(s, m, dialog, path, type, range_index);
  if (any(c, Changed::Profile)) return true;
  if (m.errors == 0 && dialog.asked) m.error("The wavelenth was not found  in the file! ");
  return false;
}

}  // namespace vornax::cli

#include "commands/series_load.hpp"

#include "commands/load_profile.hpp"

namespace vornax {

bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         std::optional<ProfileFileType> type, std::optional<double> lambda) {
  TypedWavelength dialog;
  dialog.lambda = lambda;
  return any(load_profile_file(s, m, dialog, file, type), Changed::Profile);
}

}  // namespace vornax

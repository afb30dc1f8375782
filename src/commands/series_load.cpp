#include "commands/series_load.hpp"

#include "commands/load_profile.hpp"
#include "core/format.hpp"
#include "core/wavelength.hpp"

namespace vornax {

std::optional<WavelengthSet> AnodeTypedWavelength::choose(const WavelengthSet& proposed, bool profile) {
  auto w = TypedWavelength::choose(proposed, profile);
  if (!w) return w;
  const std::string anode = name_anode(w->lambda, kProfileAnodeTolerance);
  for (size_t i = 0; i < AnodeTable.size(); ++i) {
    if (AnodeTable[i].anode != anode) continue;
    SourceChoice c;
    choose_source(c, static_cast<int>(i));
    c.lambda_text = format_fixed(w->lambda, 0, 6);
    const SourceResult r = accept_source(c);
    if (r.set) return r.set;
  }
  return w;
}

bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         std::optional<ProfileFileType> type, std::optional<double> lambda) {
  AnodeTypedWavelength dialog;
  dialog.lambda = lambda;
  return any(load_profile_file(s, m, dialog, file, type), Changed::Profile);
}

}  // namespace vornax

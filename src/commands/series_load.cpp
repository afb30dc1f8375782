#include "commands/series_load.hpp"

#include "commands/load_profile.hpp"
#include "core/format.hpp"
#include "core/wavelength.hpp"

namespace vornax {

namespace {

// The wavelength window answered by a typed wavelength. One that names an anode is
// taken as choosing that anode (its Kα1 and Kα2, ratio 0.5), as `search` takes it:
// without the doublet the search cannot tell a Kα2 line from a reflection of its own.
struct AnodeTypedWavelength : TypedWavelength {
  std::optional<WavelengthSet> choose(const WavelengthSet& proposed, bool profile) override {
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
};

}  // namespace

bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         std::optional<ProfileFileType> type, std::optional<double> lambda) {
  AnodeTypedWavelength dialog;
  dialog.lambda = lambda;
  return any(load_profile_file(s, m, dialog, file, type), Changed::Profile);
}

}  // namespace vornax

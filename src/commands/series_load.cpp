#include "commands/series_load.hpp"

#include "commands/load_profile.hpp"

namespace vornax {

namespace {

struct SeriesWavelength : WavelengthDialog {
  std::optional<double> lambda;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    if (!lambda) return std::nullopt;
    WavelengthSet w;
    w.lambda = *lambda;
    w.anode = "?";
    w.ratio = 1.0;
    return w;
  }
};

}  // namespace

bool load_series_profile(WorkSession& s, Messages& m, const std::filesystem::path& file,
                         ProfileFileType type, std::optional<double> lambda) {
  SeriesWavelength dialog;
  dialog.lambda = lambda;
  return any(load_profile_file(s, m, dialog, file, type), Changed::Profile);
}

}  // namespace vornax

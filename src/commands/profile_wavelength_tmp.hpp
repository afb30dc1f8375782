// Wavelength window interface, Kα-pair completion and anode naming used by the
// profile load command.
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "core/session.hpp"

namespace vornax {

struct WavelengthDialog {
  virtual ~WavelengthDialog() = default;
  // nullopt: the user closed the window without OK.
  virtual std::optional<WavelengthSet> choose(const WavelengthSet& proposed, bool profile_mode) = 0;
};

// λ = (ratio·λ2 + λ1)/(ratio + 1); λ2 == 0 -> λ1; ratio == -1 -> 0.5
inline void complete_wavelength_set(WavelengthSet& w) {
  if (w.ratio == -1) w.ratio = 0.5;
  w.lambda = w.lambda2 == 0 ? w.lambda1 : (w.ratio * w.lambda2 + w.lambda1) / (w.ratio + 1);
}

// the anode whose Kα1 or mean λ is within `tolerance` Å of w.lambda, else "?"
inline std::string name_anode(double lambda, double tolerance) {
  struct Row {
    const char* anode;
    double mean, kalpha1;
  };
  static constexpr std::array<Row, 5> rows = {{{"Mo", 0.7107, 0.7093},
                                               {"Cu", 1.5418, 1.54056},
                                               {"Co", 1.7902, 1.78897},
                                               {"Fe", 1.93604, 1.93339},
                                               {"Cr", 2.2909, 2.2897}}};
  for (const Row& r : rows)
    if (std::abs(lambda - r.mean) < tolerance || std::abs(lambda - r.kalpha1) < tolerance)
      return r.anode;
  return "?";
}

}  // namespace vornax

// Peak kill: drops from the measured list every peak whose source line is not wanted.
#pragma once

#include <array>
#include <vector>

#include "core/session.hpp"

namespace vornax {

// The five boxes of "Select the peaks to be kept": box c (0-based c-1) keeps the
// peaks of line code c ("K Alpha", "K Alpha1", "K Alpha2", "L1 (K beta)",
// "L2 (WL Alpha)"). All unticked at first; they keep their state between runs.
struct PeakKillSettings {
  std::array<bool, 5> keep{};

  bool keeps(int line_code) const {
    return line_code >= 1 && line_code <= 5 && keep[static_cast<size_t>(line_code - 1)];
  }
};

// Keeps, in order, the peaks whose code has its box ticked (code 0 never survives);
// returns the number of peaks dropped.
int kill_peaks(std::vector<MeasuredPeak>& peaks, const PeakKillSettings& settings);

}  // namespace vornax

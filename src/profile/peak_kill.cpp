#include "profile/peak_kill.hpp"

#include <algorithm>

namespace vornax {

int kill_peaks(std::vector<MeasuredPeak>& peaks, const PeakKillSettings& settings) {
  const auto before = peaks.size();
  // stable: the kept peaks close ranks in their order, each with all its fields
  auto end = std::stable_partition(peaks.begin(), peaks.end(),
                                   [&](const MeasuredPeak& p) { return settings.keeps(p.line_code); });
  peaks.erase(end, peaks.end());
  return static_cast<int>(before - peaks.size());
}

}  // namespace vornax

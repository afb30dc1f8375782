#include "commands/peak_undo.hpp"

#include <utility>

namespace vornax {

bool same_peaks(const std::vector<MeasuredPeak>& a, const std::vector<MeasuredPeak>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const MeasuredPeak& p = a[i];
    const MeasuredPeak& q = b[i];
    if (p.two_theta != q.two_theta || p.two_theta_read != q.two_theta_read ||
        p.intensity != q.intensity || p.line_code != q.line_code)
      return false;
  }
  return true;
}

void PeakListUndo::observe(const WorkSession& s) {
  if (!same_peaks(seen_.peaks, s.measured.peaks)) before_ = std::move(seen_);
  seen_ = s.measured;
}

Changed PeakListUndo::undo(WorkSession& s) {
  if (!before_) return Changed::None;
  MeasuredPeakList restored = std::move(*before_);
  before_ = s.measured;
  s.measured = restored;
  seen_ = std::move(restored);
  return Changed::MeasuredPeaks;
}

}  // namespace vornax

// Undo of the last change of the measured-peak list: a stray click on the profile, a
// search or a file read over peaks one wanted to keep. The windows that change the
// list share one of these and report every refresh to it, so it needs no help from the
// commands themselves.
#pragma once

#include <optional>
#include <vector>

#include "commands/changed.hpp"
#include "core/session.hpp"

namespace vornax {

// True when both lists hold the same peaks, field by field, in the same order.
bool same_peaks(const std::vector<MeasuredPeak>& a, const std::vector<MeasuredPeak>& b);

class PeakListUndo {
 public:
  // After every command: when the peaks differ from those last seen, those become the
  // state to go back to. A change of the file name or wavelengths alone is no step.
  void observe(const WorkSession& s);

  bool can_undo() const { return before_.has_value(); }

  // Puts the list (peaks, file name, wavelengths, offset) back as it was before its
  // last change; undoing again puts the change back. Changed::None when there is
  // nothing to undo.
  Changed undo(WorkSession& s);

 private:
  MeasuredPeakList seen_;
  std::optional<MeasuredPeakList> before_;
};

}  // namespace vornax

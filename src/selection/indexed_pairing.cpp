#include "selection/indexed_pairing.hpp"

#include <cmath>
#include <utility>

#include "core/crystal_system.hpp"

namespace vornax {

void pair_indexed_list(WorkSession& s) {
  const bool hexagonal_axes = crystal_system(s.system).hexagonal_axes;
  int row = 0;
  for (const auto& e : s.indexed_list) {
    ++row;
    // The entry's 2θ lives in the peak of the same number, which a zero offset may
    // have moved since the list was read.
    const double two_theta_obs =
        row <= s.measured_count() ? s.measured.peaks[static_cast<size_t>(row - 1)].two_theta
                                  : e.two_theta;
    for (const auto& r : s.allowed) {
      auto image = [&](const SymmetryOperator& op, size_t i) {
        const auto& w = op.rows[i];
        return std::lround(w[0] * e.h + w[1] * e.k + w[2] * e.l);
      };
      auto matches = [&](bool swapped) {
        for (const auto& op : s.operators) {
          long h = image(op, 0), k = image(op, 1), l = image(op, 2);
          if (swapped) std::swap(h, k);
          if (h == r.h && k == r.k && l == r.l) return true;
        }
        return false;
      };
      if (!matches(false) && !(hexagonal_axes && matches(true))) continue;
      if (s.selected_count() >= kMaxSelectedPairs) return;
      SelectedPair p;
      p.h = static_cast<int16_t>(r.h);
      p.k = static_cast<int16_t>(r.k);
      p.l = static_cast<int16_t>(r.l);
      p.two_theta_obs = static_cast<float>(two_theta_obs);
      p.two_theta_calc = static_cast<float>(r.two_theta);
      s.selected.push_back(p);
      s.current_measured_peak = row;
    }
  }
}

}  // namespace vornax

#include "selection/indexed_pairing.hpp"

#include "selection/indexed_lists.hpp"

namespace vornax {

void pair_indexed_list(WorkSession& s) {
  int row = 0;
  for (const auto& e : s.indexed_list) {
    ++row;
    // The entry's 2θ lives in the peak of the same number, which a zero offset may
    // have moved since the list was read.
    const bool has_peak = row <= s.measured_count();
    const double two_theta_obs =
        has_peak ? s.measured.peaks[static_cast<size_t>(row - 1)].two_theta : e.two_theta;
    const double sigma = has_peak ? s.measured.peaks[static_cast<size_t>(row - 1)].sigma : 0.0;
    for (const auto& r : s.allowed) {
      if (!indices_equivalent(s, e.h, e.k, e.l, r.h, r.k, r.l)) continue;
      if (s.selected_count() >= kMaxSelectedPairs) {
        mark_pairs_automatic(s);
        return;
      }
      SelectedPair p;
      p.h = static_cast<int32_t>(r.h);
      p.k = static_cast<int32_t>(r.k);
      p.l = static_cast<int32_t>(r.l);
      p.two_theta_obs = static_cast<float>(two_theta_obs);
      p.two_theta_calc = static_cast<float>(r.two_theta);
      p.sigma = sigma;
      s.selected.push_back(p);
      s.current_measured_peak = row;
    }
  }
  mark_pairs_automatic(s);
}

}  // namespace vornax

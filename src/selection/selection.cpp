#include "selection/selection.hpp"

#include <cmath>

#include "core/cell.hpp"
#include "core/exchange_sort.hpp"
#include "core/format.hpp"
#include "core/tolerance.hpp"

namespace vornax {

bool pair_automatically(WorkSession& s, const std::string& tolerance_text, Messages& m) {
  if (s.measured.peaks.empty()) {
    m.error("Error: No measured Bragg angle");
    return false;
  }
  return select_automatically(s, tolerance_text, m);
}

bool select_automatically(WorkSession& s, const std::string& tolerance_text, Messages& m) {
  const std::string typed = trim(tolerance_text);
  auto value = typed.empty() ? std::nullopt : parse_typed(typed);
  if (!value) {
    m.error("Error (angular tolerance)");
    return false;
  }
  const double tolerance = s.angle_mode == AngleMode::Theta ? 2 * *value : *value;
  s.tolerance = tolerance;

  s.selected.clear();
  s.results.refined = false;

  const auto& calc = s.allowed;
  const int npeaks = s.measured_count();
  for (int b = 1; b <= npeaks; ++b) {
    const double obs = s.measured.peaks[static_cast<size_t>(b - 1)].two_theta;
    if (obs < s.range_min || obs > s.range_max) continue;
    // An empty calculated list leaves no candidate at all.
    if (calc.empty()) continue;
    double best = 1000.0;
    size_t candidate = 0;
    for (size_t c = 0; c < calc.size(); ++c) {
      const double diff = std::fabs(obs - calc[c].two_theta);
      if (diff < best) {
        best = diff;
        candidate = c;
      }
    }
    if (!within_tolerance(best, tolerance)) continue;
    if (s.selected_count() >= kMaxSelectedPairs) break;
    SelectedPair pair;
    pair.h = static_cast<int32_t>(calc[candidate].h);
    pair.k = static_cast<int32_t>(calc[candidate].k);
    pair.l = static_cast<int32_t>(calc[candidate].l);
    pair.two_theta_obs = static_cast<float>(obs);
    pair.two_theta_calc = static_cast<float>(calc[candidate].two_theta);
    pair.two_theta_obs_shifted = 0;
    s.selected.push_back(pair);
    s.current_measured_peak = b;
  }

  sort_selected_by_angle(s);
  mark_pairs_automatic(s);
  return true;
}

void sort_selected_by_angle(WorkSession& s) {
  exchange_sort(s.selected, [](const SelectedPair& a, const SelectedPair& b) {
    return a.two_theta_obs > b.two_theta_obs;
  });
}

GridText show_selected_list(const WorkSession& s) {
  const int count = s.selected_count();
  GridText g = empty_grid_text({25, 46, 46, 46, 46}, {3, 9, 8, 8, 8}, count + 2);
  const bool theta = s.angle_mode == AngleMode::Theta;
  g.rows[0] = {"Nb.", "h   k   l", theta ? "T Obs" : "2T Obs", theta ? "T Calc" : "2T Calc",
               "Diff."};
  for (int n = 1; n <= count; ++n) {
    const SelectedPair& p = s.selected[static_cast<size_t>(n - 1)];
    const double obs = p.two_theta_obs, calc = p.two_theta_calc;
    auto& row = g.rows[static_cast<size_t>(n)];
    row[0] = format_int(n, 2);
    row[1] = hkl_text(p.h, p.k, p.l);
    row[2] = format_fixed(angle_for_display(s, obs), 8, 3);
    row[3] = format_fixed(angle_for_display(s, calc), 8, 3);
    row[4] = format_fixed(angle_for_display(s, obs - calc), 8, 3);
  }
  return g;
}

std::string tolerance_box_text(double tolerance) { return format_fixed(tolerance, 6, 3); }

}  // namespace vornax

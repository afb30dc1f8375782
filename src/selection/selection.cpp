#include "selection/selection.hpp"

#include <cmath>

#include "core/cell.hpp"
#include "core/exchange_sort.hpp"
#include "core/format.hpp"
#include "core/tolerance.hpp"

namespace vornax {

namespace {
// Degrees 2θ to radians θ.
constexpr double kTwoThetaDegreesToThetaRadians = 0.0087266462619641993;  // π / 360, as the refinement has it
}  // namespace

bool pair_automatically(WorkSession& s, const std::string& tolerance_text, Messages& m) {
  if (s.measured.peaks.empty()) {
    m.error("Error: No measured Bragg angle");
    return false;
  }
  return select_automatically(s, tolerance_text, m);
}

bool select_automatically(WorkSession& s, const std::string& tolerance_text, Messages& m) {
  return select_automatically_shifted(s, tolerance_text, ShiftMode::ConstantZeroShift, 0.0, m);
}

bool select_automatically_shifted(WorkSession& s, const std::string& tolerance_text, ShiftMode mode,
                                  double shift, Messages& m) {
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
    // The pair keeps the angle as measured: a refinement that follows refines the whole
    // shift again, so only the comparison sees the corrected angle.
    const double corrected = obs - shift_correction(mode, shift, obs);
    // An empty calculated list leaves no candidate at all.
    if (calc.empty()) continue;
    double best = 1000.0;
    size_t candidate = 0;
    for (size_t c = 0; c < calc.size(); ++c) {
      const double diff = std::fabs(corrected - calc[c].two_theta);
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
    pair.sigma = s.measured.peaks[static_cast<size_t>(b - 1)].sigma;
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

double shift_correction(ShiftMode mode, double zero_shift, double two_theta) {
  return mode == ShiftMode::SampleEccentricity
             ? zero_shift * std::cos(two_theta * kTwoThetaDegreesToThetaRadians)
             : zero_shift;
}

PairingSummary pairing_summary(const WorkSession& s) {
  PairingSummary out;
  for (size_t i = 0; i < s.measured.peaks.size(); ++i) {
    const double obs = s.measured.peaks[i].two_theta;
    if (obs < s.range_min || obs > s.range_max) continue;
    ++out.peaks;
    // A pair keeps the single-precision copy of the angle it was made from.
    const float kept = static_cast<float>(obs);
    bool paired = false;
    for (const SelectedPair& p : s.selected)
      if (p.two_theta_obs == kept) {
        paired = true;
        break;
      }
    if (paired) {
      ++out.paired;
    } else {
      out.unpaired.push_back(static_cast<int>(i));
      out.unpaired_two_theta.push_back(obs);
    }
  }
  return out;
}

double fitted_sigma_at(const WorkSession& s, double two_theta) {
  const float kept = static_cast<float>(two_theta);
  for (const MeasuredPeak& p : s.measured.peaks)
    if (static_cast<float>(p.two_theta) == kept) return p.sigma;
  return 0.0;
}

bool too_few_paired(const PairingSummary& p) { return p.peaks > 0 && 2 * p.paired < p.peaks; }

std::string pairing_summary_text(const PairingSummary& p) {
  return std::to_string(p.paired) + " of " + std::to_string(p.peaks) + " peaks paired";
}

std::string too_few_paired_warning(const PairingSummary& p) {
  return "fewer than half of the peaks paired (" + pairing_summary_text(p) +
         "): start from a closer cell, check the zero shift and the wavelength, or widen the "
         "tolerance";
}

}  // namespace vornax

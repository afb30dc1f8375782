#include "core/session.hpp"

#include <algorithm>

namespace vornax {

void reset_session(WorkSession& s, const std::filesystem::path& working_folder) {
  s = WorkSession{};
  s.working_folder = working_folder;
  s.current_folder = working_folder;
}

void clear_results(WorkSession& s) {
  s.results.refined = false;
  s.results.obs_shifted.clear();
  s.results.calc.clear();
  s.results.suspect.clear();
  s.results.figures_of_merit.clear();
}

void erase_peak_data(WorkSession& s) {
  s.measured.peaks.clear();
  s.measured.wavelengths = WavelengthSet{};
  s.measured.file_name.clear();
  s.selected.clear();
  clear_results(s);
}

void erase_profile(WorkSession& s) {
  s.profile.points.clear();
  ++s.profile.generation;
  s.profile.wavelengths = WavelengthSet{};
  s.profile.file_name.clear();
}

void erase_cell_parameters(WorkSession& s) {
  s.allowed.clear();
  s.forbidden.clear();
  s.merged.clear();
  s.selected.clear();
  s.cell_file_name.clear();
  clear_results(s);
}

void erase_all(WorkSession& s) {
  erase_peak_data(s);
  erase_profile(s);
  erase_cell_parameters(s);
  // The current ratio survives; the wavelengths themselves do not.
  s.wavelengths.lambda = 0;
  s.wavelengths.lambda1 = 0;
  s.wavelengths.lambda2 = 0;
  s.wavelengths.anode.clear();
  s.range_min = s.range_max = 0;
  s.window_min = s.window_max = 0;
}

void widen_window_to_range(WorkSession& s) {
  if (s.window_min > s.range_min) s.window_min = s.range_min;
  if (s.window_max < s.range_max) s.window_max = s.range_max;
}

void mark_peaks_on_file(WorkSession& s) { s.peaks_on_file = s.measured.peaks; }
void mark_pairs_on_file(WorkSession& s) { s.pairs_on_file = s.selected; }

namespace {
// What a file holds of a pair: its indices and observed angle (refinement adds the rest).
bool same_pairs(const std::vector<SelectedPair>& a, const std::vector<SelectedPair>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const SelectedPair& x, const SelectedPair& y) {
                      return x.h == y.h && x.k == y.k && x.l == y.l &&
                             x.two_theta_obs == y.two_theta_obs;
                    });
}
}  // namespace

void mark_pairs_automatic(WorkSession& s) { s.pairs_automatic = s.selected; }

bool holds_pairs_made_by_hand(const WorkSession& s) {
  return !s.selected.empty() && !same_pairs(s.selected, s.pairs_automatic) &&
         !same_pairs(s.selected, s.pairs_on_file);
}

bool holds_unsaved_work(const WorkSession& s) {
  // What a file holds of a peak is its angle as read and its intensity; of a pair its
  // indices and observed angle (refinement adds the rest).
  const auto same_peak = [](const MeasuredPeak& a, const MeasuredPeak& b) {
    return a.two_theta_read == b.two_theta_read && a.intensity == b.intensity;
  };
  const auto same_pair = [](const SelectedPair& a, const SelectedPair& b) {
    return a.h == b.h && a.k == b.k && a.l == b.l && a.two_theta_obs == b.two_theta_obs;
  };
  const auto& peaks = s.measured.peaks;
  const bool peaks_unsaved =
      !peaks.empty() && !std::equal(peaks.begin(), peaks.end(), s.peaks_on_file.begin(),
                                    s.peaks_on_file.end(), same_peak);
  const bool pairs_unsaved =
      !s.selected.empty() && !std::equal(s.selected.begin(), s.selected.end(),
                                         s.pairs_on_file.begin(), s.pairs_on_file.end(), same_pair);
  return peaks_unsaved || pairs_unsaved;
}

}  // namespace vornax

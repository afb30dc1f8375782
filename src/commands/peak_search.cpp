#include "commands/peak_search.hpp"

#include "files/column_peaks.hpp"
#include "files/profile_files.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/exchange_sort.hpp"
#include "core/format.hpp"
#include "profile/hand_measure.hpp"

namespace vornax {

namespace {

// A peak within this distance of an earlier one is the same click again.
constexpr double kSamePeakDistance = 0.001;  // degrees 2θ

bool classification_wanted(const std::string& anode) { return !anode.empty() && anode != "?"; }


// The stripped pattern of the session's profile, computed once per profile.
const std::vector<double>& stripped_intensities(const WorkSession& s, PeakSearchState& st) {
  if (st.stripped.size() != s.profile.points.size() || st.stripped_generation != s.profile.generation) {
    st.stripped = strip_kalpha2(s.profile, s.profile.wavelengths);
    st.stripped_generation = s.profile.generation;
  }
  return st.stripped;
}

std::optional<double> read_angle_field(const WorkSession& s, std::string_view text) {
  auto v = parse_typed(text);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return s.angle_mode == AngleMode::Theta ? *v * 2 : *v;
}

}  // namespace

Changed prepare_peak_search(WorkSession& s, Messages&, PeakSearchState& st) {
  if (s.profile.points.empty()) return Changed::None;
  st.contamination = preset_contamination(s.profile.wavelengths);
  st.contamination_line_count = st.contamination.l1_lambda.empty() ? 0 : 2;
  st.derivative = compute_second_derivative(s.profile);
  st.estimate = estimate_search_data(s.profile, st.derivative);
  st.sliders = derived_slider_positions(st.estimate);
  st.derivative_drawable = true;
  return Changed::None;
}

Changed search_peaks(WorkSession& s, Messages& m, PeakSearchState& st) {
  return search_peaks(s, m, st, settings_from_sliders(st.sliders));
}

Changed search_peaks(WorkSession& s, Messages& m, PeakSearchState& st,
                     const PeakSearchSettings& settings) {
  if (s.profile.points.empty()) return Changed::None;
  if (!is_current(st.derivative, s.profile)) {
    st.derivative = compute_second_derivative(s.profile);
    st.estimate = estimate_search_data(s.profile, st.derivative);
  }
  if (!is_searchable(st.derivative, s.profile)) {
    m.info(kNothingToSearch);
    return Changed::None;
  }

  PeakSearchSettings used = settings;
  if (used.doublet_fwhm == 0 && st.estimate.valid) used.doublet_fwhm = st.estimate.fwhm;
  std::vector<FoundPeak> found;
  const bool stripped = st.search_stripped && has_kalpha2(s.profile.wavelengths);
  if (stripped) {
    // Kα2 is gone from the searched pattern: no doublet is left to keep apart.
    Profile kalpha1 = s.profile;
    const std::vector<double>& values = stripped_intensities(s, st);
    for (size_t i = 0; i < kalpha1.points.size(); ++i)
      kalpha1.points[i].intensity = static_cast<float>(values[i]);
    used.doublet_fwhm = 0;
    found = find_peaks(kalpha1, compute_second_derivative(kalpha1), used);
  } else {
    found = find_peaks(s.profile, st.derivative, used);
  }
  st.fit = PeakFitResult{};
  std::vector<MeasuredPeak> peaks;
  peaks.reserve(found.size());
  for (const FoundPeak& f : found)
    peaks.push_back({f.two_theta, f.two_theta - s.measured.zero_offset, f.intensity, kLineKAlpha});

  // The list is replaced, so are the lines that classified the old one.
  s.measured.peaks = std::move(peaks);
  st.contamination_line_count = 0;
  Changed changed = Changed::MeasuredPeaks;

  if (classification_wanted(s.profile.wavelengths.anode)) {
    const double ratio_before = s.profile.wavelengths.ratio;
    ClassificationResult r = classify_lines(s.measured.peaks, s.profile.wavelengths, st.contamination);
    if (!r.bad_data) mark_resolved_kalpha1(s.measured.peaks, found);
    st.contamination_line_count = r.contamination_line_count;
    if (s.profile.wavelengths.ratio != ratio_before) changed |= Changed::Profile;
    if (r.bad_data) m.error(kBadContamination);
  }
  // Found on the stripped pattern, a Kα line is the Kα1 line of its reflection.
  if (stripped)
    for (MeasuredPeak& p : s.measured.peaks)
      if (p.line_code == kLineKAlpha) p.line_code = kLineKAlpha1;
  m.beep();
  return changed;
}

Changed fit_measured_peaks(WorkSession& s, Messages& m, PeakSearchState& st,
                           PeakFitSummary* summary) {
  if (s.profile.points.empty() || s.measured.peaks.empty()) {
    m.error(kNoPeakToFit);
    return Changed::None;
  }
  std::vector<PeakToFit> wanted;
  wanted.reserve(s.measured.peaks.size());
  for (const MeasuredPeak& p : s.measured.peaks) {
    // Peaks found on the stripped pattern sit at Kα1 already.
    const int start_code = st.search_stripped && p.line_code == kLineKAlpha ? kLineKAlpha1 : p.line_code;
    wanted.push_back({p.two_theta, start_code});
  }
  PeakFitOptions options;
  options.split = st.split_profile;
  if (st.estimate.valid) options.fwhm = st.estimate.fwhm;
  st.fit = fit_peaks(s.profile, wanted, s.profile.wavelengths, options);
  st.fit_generation = s.profile.generation;

  PeakFitSummary f;
  f.peaks = static_cast<int>(s.measured.peaks.size());
  f.fitted = st.fit.fitted_count;
  f.worst_reduced_chi2 = st.fit.worst_reduced_chi2;
  for (size_t i = 0; i < s.measured.peaks.size() && i < st.fit.peaks.size(); ++i) {
    const FittedPeak& r = st.fit.peaks[i];
    MeasuredPeak& p = s.measured.peaks[i];
    if (!r.fitted) {
      p.sigma = p.fwhm = 0;
      continue;
    }
    p.two_theta = r.two_theta;
    p.two_theta_read = r.two_theta - s.measured.zero_offset;
    p.sigma = r.sigma;
    p.fwhm = r.fwhm;
  }
  std::stable_sort(s.measured.peaks.begin(), s.measured.peaks.end(),
                   [](const MeasuredPeak& a, const MeasuredPeak& b) { return a.two_theta < b.two_theta; });
  if (summary) *summary = f;
  m.beep();
  return Changed::MeasuredPeaks;
}

std::string peak_fit_summary_text(const PeakFitSummary& f) {
  return std::to_string(f.fitted) + " of " + std::to_string(f.peaks) +
         " peaks fitted, worst reduced chi2 " + format_fixed(f.worst_reduced_chi2, 0, 2);
}

const PeakFitResult* fit_to_draw(const WorkSession& s, const PeakSearchState& st) {
  if (st.fit.curve.size() != s.profile.points.size() || st.fit_generation != s.profile.generation)
    return nullptr;
  return &st.fit;
}

const std::vector<double>* stripped_to_draw(const WorkSession& s, PeakSearchState& st) {
  if (!st.draw_stripped || s.profile.points.empty()) return nullptr;
  return &stripped_intensities(s, st);
}

void close_peak_search(PeakSearchState& st) { st.derivative_drawable = false; }

const SecondDerivative* derivative_to_draw(const WorkSession& s, const PeakSearchState& st) {
  if (!st.derivative_drawable || !st.draw_derivative) return nullptr;
  return is_current(st.derivative, s.profile) ? &st.derivative : nullptr;
}

bool peak_kill_available(const WorkSession& s, const PeakSearchState& st) {
  return !s.measured.peaks.empty() && st.contamination_line_count != 0;
}

Changed apply_peak_kill(WorkSession& s, PeakSearchState& st) {
  if (!peak_kill_available(s, st)) return Changed::None;
  kill_peaks(s.measured.peaks, st.kill);
  return Changed::MeasuredPeaks;
}

Changed erase_measured_peaks(WorkSession& s, PeakSearchState& st) {
  s.measured.peaks.clear();
  st.fit = PeakFitResult{};
  st.contamination_line_count = 0;
  return Changed::MeasuredPeaks;
}

Changed delete_profile_diagram(WorkSession& s, PeakSearchState& st) {
  s.profile.points.clear();
  s.profile.file_name.clear();
  ++s.profile.generation;
  st.derivative = SecondDerivative{};
  st.derivative_drawable = false;
  return Changed::Profile;
}

Changed new_angle_range(WorkSession& s, Messages& m, PeakSearchState& st,
                        std::string_view field_min, std::string_view field_max,
                        const ProfileRereader& reread) {
  const auto lo = read_angle_field(s, field_min);
  if (!lo) {
    m.error(kThetaMinError);
    return Changed::None;
  }
  const auto hi = read_angle_field(s, field_max);
  if (!hi || !(*lo < *hi)) {
    m.error(kThetaMaxError);
    return Changed::None;
  }

  // Everything that can fail happens before the session is touched.
  const bool has_profile = !s.profile.points.empty();
  Profile fresh;
  if (has_profile) {
    if (reread && !s.profile.file_name.empty()) {
      fresh = reread(s.profile.file_name);
      for (ProfilePoint& pt : fresh.points)
        pt.two_theta = static_cast<float>(pt.two_theta_read + s.measured.zero_offset);
      fresh.file_name = s.profile.file_name;
    } else {
      fresh = s.profile;
    }
    WavelengthSet kept = s.profile.wavelengths;
    if (kept.anode.size() > 2) kept.anode.resize(2);
    fresh.wavelengths = kept;

    keep_range_scaled_to_largest(fresh, *lo, *hi);
    fresh.start_angle = *lo;
    fresh.final_angle = *hi;
    fresh.generation = s.profile.generation + 1;
  }

  s.range_min = s.window_min = *lo;
  s.range_max = s.window_max = *hi;
  s.measured.peaks.clear();
  st.contamination_line_count = 0;
  st.draw_derivative = false;
  st.derivative_drawable = false;
  Changed changed = Changed::MeasuredPeaks | Changed::CurrentValues;
  if (has_profile) {
    s.profile = std::move(fresh);
    changed |= Changed::Profile;
  } else {
    s.profile.start_angle = *lo;
    s.profile.final_angle = *hi;
  }
  return changed;
}

Changed reset_profile_range(WorkSession& s) {
  s.range_min = s.window_min;
  s.range_max = s.window_max;
  return Changed::CurrentValues;
}

Changed add_hand_measured_peak(WorkSession& s, Messages& m, double two_theta) {
  if (s.profile.points.empty()) return Changed::None;
  if (s.measured_count() >= kMaxMeasuredPeaks) {
    m.error(kTooManyPeaks);
    return Changed::None;
  }
  for (const MeasuredPeak& p : s.measured.peaks)
    if (std::fabs(p.two_theta - two_theta) <= kSamePeakDistance) return Changed::None;
  s.measured.peaks.push_back({two_theta, two_theta - s.measured.zero_offset,
                              hand_measured_intensity(s.profile, two_theta), kLineKAlpha});
  return Changed::MeasuredPeaks;
}

Changed hand_over_peaks(WorkSession& s) {
  exchange_sort(s.measured.peaks,
                [](const MeasuredPeak& a, const MeasuredPeak& b) { return a.two_theta > b.two_theta; });
  return Changed::MeasuredPeaks;
}

Changed keep_peak_codes(WorkSession& s, PeakSearchState& st, const PeakKillSettings& keep) {
  st.kill = keep;
  kill_peaks(s.measured.peaks, st.kill);
  return Changed::MeasuredPeaks;
}

void write_found_peaks(const WorkSession& s, const std::filesystem::path& path, bool fitted) {
  (fitted ? fitted_peak_lines(s.measured.peaks) : column_peak_lines(s.measured.peaks)).save(path);
}

}  // namespace vornax

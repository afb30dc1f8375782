#include "commands/reread_angle_range.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "commands/calculation.hpp"
#include "commands/load_profile.hpp"
#include "core/cell.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/peak_files.hpp"
#include "files/profile_files.hpp"

namespace vornax {

namespace {

bool in_range(double angle, double lo, double hi) { return angle >= lo && angle <= hi; }

// The profile read again (as the kind it was read as, or the kind its name tells),
// clipped to the range and scaled on what is kept. Throws FormatError / FileError when
// the file cannot be read.
Profile reread_profile(const WorkSession& s, double lo, double hi) {
  Profile p = s.profile;
  if (profile_can_be_reread(p)) {
    Profile fresh = reread_profile_file(p);
    p.points = std::move(fresh.points);
    p.intensity_max = fresh.intensity_max;
    p.intensity_min = fresh.intensity_min;
    for (auto& pt : p.points)
      pt.two_theta = static_cast<float>(pt.two_theta_read + s.measured.zero_offset);
  }
  // The same scaling as the profile window's own new range: the highest kept point
  // becomes 100, the others keep their ratio to it.
  keep_range_scaled_to_largest(p, lo, hi);
  if (p.points.empty()) {
    p.intensity_max = p.intensity_min = 0;
    p.start_angle = p.final_angle = 0;
  } else {
    auto [first, last] = std::minmax_element(
        p.points.begin(), p.points.end(),
        [](const ProfilePoint& a, const ProfilePoint& b) { return a.two_theta_read < b.two_theta_read; });
    p.start_angle = first->two_theta_read;
    p.final_angle = last->two_theta_read;
  }
  ++p.generation;
  return p;
}

// The peak list read again (the kinds whose name tells how), clipped to the range; an
// indexed list keeps its entries paired with their peaks.
struct ReadPeaks {
  MeasuredPeakList list;
  std::vector<IndexedEntry> indexed;
};

ReadPeaks reread_peaks(const WorkSession& s, double lo, double hi) {
  ReadPeaks r{s.measured, s.indexed_list};
  MeasuredPeakList& m = r.list;
  const auto type = peak_type_from_extension(m.file_name);
  if (!m.file_name.empty() && type && *type != PeakFileType::IndexedList) {
    PeakFileData d = read_peak_file(*type, std::filesystem::path(m.file_name), s.tolerance);
    m.peaks = std::move(d.peaks);
    for (auto& p : m.peaks) p.two_theta = p.two_theta_read + m.zero_offset;
    m.intensity_max = d.intensity_max;
    r.indexed.clear();
  }
  const bool paired = r.indexed.size() == m.peaks.size();
  std::vector<MeasuredPeak> kept;
  std::vector<IndexedEntry> kept_indexed;
  for (size_t i = 0; i < m.peaks.size(); ++i) {
    if (!in_range(m.peaks[i].two_theta, lo, hi)) continue;
    kept.push_back(m.peaks[i]);
    if (paired) kept_indexed.push_back(r.indexed[i]);
  }
  m.peaks = std::move(kept);
  if (paired) r.indexed = std::move(kept_indexed);
  if (m.peaks.empty()) {
    m.range_min = m.range_max = 0;
  } else {
    auto [first, last] = std::minmax_element(
        m.peaks.begin(), m.peaks.end(),
        [](const MeasuredPeak& a, const MeasuredPeak& b) { return a.two_theta < b.two_theta; });
    m.range_min = first->two_theta - s.tolerance;
    m.range_max = last->two_theta + s.tolerance;
  }
  return r;
}

}  // namespace

Changed reread_angle_range(WorkSession& s, CellTab& tab, Messages& m, const RangeEntry& entry) {
  const auto lambda = read_shown_number(entry.lambda, s.wavelengths.lambda, 5, entry.lambda_edited);
  if (!lambda || !(*lambda > 0) || !std::isfinite(*lambda)) {
    m.error("Error at lambda");
    return Changed::None;
  }
  const auto lo_shown = read_shown_number(entry.range_min, angle_for_display(s, s.range_min), 2,
                                          entry.range_min_edited);
  if (!lo_shown || !std::isfinite(*lo_shown)) {
    m.error("Error at Theta Min.");
    return Changed::None;
  }
  const auto hi_shown = read_shown_number(entry.range_max, angle_for_display(s, s.range_max), 2,
                                          entry.range_max_edited);
  const double lo = angle_from_entry(s, *lo_shown);
  const double hi = hi_shown ? angle_from_entry(s, *hi_shown) : 0;
  if (!hi_shown || !std::isfinite(hi) || !(hi > lo)) {
    m.error("Error at Theta Max.");
    return Changed::None;
  }
  m.beep();
  if (m.ask(kInitialValuesLostQuestion) != Answer::Yes) return Changed::None;

  // Everything is read before anything is committed.
  std::optional<Profile> profile;
  std::optional<ReadPeaks> peaks;
  try {
    if (!s.profile.file_name.empty() && s.profile.wavelengths.lambda > 0)
      profile = reread_profile(s, lo, hi);
    if (!s.measured.peaks.empty()) peaks = reread_peaks(s, lo, hi);
  } catch (const Error& e) {
    m.error(e.what());
    return Changed::None;
  }

  Changed changed = Changed::CurrentValues | Changed::Selection | Changed::Results;
  s.wavelengths.lambda = *lambda;
  s.range_min = s.window_min = lo;
  s.range_max = s.window_max = hi;
  if (profile) {
    s.profile = std::move(*profile);
    changed |= Changed::Profile;
  }
  if (peaks) {
    s.measured = std::move(peaks->list);
    s.indexed_list = std::move(peaks->indexed);
    changed |= Changed::MeasuredPeaks;
  }
  s.selected.clear();
  s.results = RefinementResults{};
  // Without a space group there is nothing to calculate: the lists are only clipped.
  if (!s.symbol.empty()) {
    run_calculation(s, tab, m);
    changed |= Changed::Calculated;
  }
  return changed;
}

}  // namespace vornax

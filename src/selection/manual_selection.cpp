#include "selection/manual_selection.hpp"

#include <cmath>

#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "core/tolerance.hpp"
#include "selection/measured.hpp"
#include "selection/obs_backup.hpp"
#include "selection/selection.hpp"

namespace vornax {

namespace {

constexpr double kFarAway = 1000.0;          // start of every nearest-angle search
constexpr double kAlreadyPaired = 0.01;      // Mode 3: a peak held by a pair, degrees
constexpr double kSamePeak = 0.001;          // hand measuring: the same peak, degrees

bool valid_index(int i, size_t size) { return i >= 0 && static_cast<size_t>(i) < size; }

// The pairs changed: results of an earlier refinement no longer describe them.
void pairs_changed(WorkSession& s) {
  sort_selected_by_angle(s);
  s.results.refined = false;
}

bool room_for_pair(const WorkSession& s, Messages& m) {
  if (s.selected_count() < kMaxSelectedPairs) return true;
  m.error(kTooManyPairs);
  return false;
}

SelectedPair make_pair(double obs, double sigma, const CalculatedReflection& r) {
  SelectedPair p;
  p.sigma = sigma;
  p.h = static_cast<int32_t>(r.h);
  p.k = static_cast<int32_t>(r.k);
  p.l = static_cast<int32_t>(r.l);
  p.two_theta_obs = static_cast<float>(obs);
  p.two_theta_calc = static_cast<float>(r.two_theta);
  return p;
}

}  // namespace

std::string choose_mouse_mode(ManualSelection& st, MouseMode mode) {
  st.mode = mode;
  st.pending_obs.reset();
  switch (mode) {
    case MouseMode::Mode1: return kMode1Text;
    case MouseMode::Mode2: return kMode2Text;
    case MouseMode::Mode3: return kMode3Text;
    case MouseMode::None: break;
  }
  return std::string();
}

int find_pair_by_indices(const WorkSession& s, int h, int k, int l) {
  for (size_t i = 0; i < s.selected.size(); ++i) {
    const SelectedPair& p = s.selected[i];
    if (p.h == h && p.k == k && p.l == l) return static_cast<int>(i);
  }
  return -1;
}

bool mode1_pair_from_calculated(WorkSession& s, ManualSelection& st,
                                const std::vector<int>& reflections, Messages& m) {
  if (s.measured.peaks.empty()) return false;
  for (int r : reflections) {
    if (!valid_index(r, s.allowed.size())) continue;
    const CalculatedReflection& refl = s.allowed[static_cast<size_t>(r)];
    double best = kFarAway;
    size_t peak = 0;
    for (size_t i = 0; i < s.measured.peaks.size(); ++i) {
      const double d = std::fabs(s.measured.peaks[i].two_theta - refl.two_theta);
      if (d < best) {
        best = d;
        peak = i;
      }
    }
    if (!within_tolerance(best, s.tolerance) || find_pair_by_indices(s, refl.h, refl.k, refl.l) >= 0)
      continue;
    if (!room_for_pair(s, m)) return false;
    const MeasuredPeak& chosen = s.measured.peaks[peak];
    s.selected.push_back(make_pair(chosen.two_theta, chosen.sigma, refl));
    st.last_calculated = r;
    s.current_measured_peak = static_cast<int>(peak) + 1;
    pairs_changed(s);
    return true;
  }
  return false;
}

bool mode1_pair_from_measured(WorkSession& s, ManualSelection& st, const std::vector<int>& peaks,
                              Messages& m) {
  if (s.allowed.empty()) return false;
  for (int b : peaks) {
    if (!valid_index(b, s.measured.peaks.size())) continue;
    const double obs = s.measured.peaks[static_cast<size_t>(b)].two_theta;
    double best = kFarAway;
    size_t refl = 0;
    for (size_t c = 0; c < s.allowed.size(); ++c) {
      const double d = std::fabs(obs - s.allowed[c].two_theta);
      if (d < best) {
        best = d;
        refl = c;
      }
    }
    const CalculatedReflection& r = s.allowed[refl];
    if (!within_tolerance(best, s.tolerance) || find_pair_by_indices(s, r.h, r.k, r.l) >= 0)
      continue;
    if (!room_for_pair(s, m)) return false;
    s.selected.push_back(make_pair(obs, s.measured.peaks[static_cast<size_t>(b)].sigma, r));
    st.last_calculated = static_cast<int>(refl);
    s.current_measured_peak = b + 1;
    pairs_changed(s);
    return true;
  }
  return false;
}

bool choose_measured_peak(WorkSession& s, ManualSelection& st, int peak, Messages& m) {
  if (st.mode != MouseMode::Mode2 && st.mode != MouseMode::Mode3) return false;
  if (!valid_index(peak, s.measured.peaks.size())) return false;
  const double obs = s.measured.peaks[static_cast<size_t>(peak)].two_theta;
  if (st.mode == MouseMode::Mode3) {
    for (const SelectedPair& p : s.selected)
      if (std::fabs(p.two_theta_obs - obs) < kAlreadyPaired) {
        m.beep();
        st.pending_obs.reset();
        return false;
      }
  }
  st.pending_obs = static_cast<float>(obs);
  s.current_measured_peak = peak + 1;
  if (st.mode == MouseMode::Mode2) {
    // The old pair goes with the first click, compared as pairs keep their angles.
    for (size_t i = 0; i < s.selected.size(); ++i)
      if (s.selected[i].two_theta_obs == *st.pending_obs) {
        s.selected.erase(s.selected.begin() + static_cast<std::ptrdiff_t>(i));
        pairs_changed(s);
        break;
      }
  }
  return true;
}

bool complete_pending_pair(WorkSession& s, ManualSelection& st, int reflection, Messages& m) {
  if (!st.pending_obs) return false;
  const float obs = *st.pending_obs;
  st.pending_obs.reset();
  if (!valid_index(reflection, s.allowed.size())) return false;
  const CalculatedReflection& r = s.allowed[static_cast<size_t>(reflection)];
  if (st.mode == MouseMode::Mode2) {
    // The peak is re-paired: its old pair (same observed angle, as pairs store it) goes.
    for (size_t i = 0; i < s.selected.size(); ++i)
      if (s.selected[i].two_theta_obs == obs) {
        s.selected.erase(s.selected.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
  }
  if (!room_for_pair(s, m)) {
    pairs_changed(s);
    return false;
  }
  SelectedPair p = make_pair(obs, fitted_sigma_at(s, obs), r);
  p.two_theta_obs = obs;
  s.selected.push_back(p);
  st.last_calculated = reflection;
  pairs_changed(s);
  return true;
}

bool remove_pair(WorkSession& s, int pair) {
  if (!valid_index(pair, s.selected.size())) return false;
  s.selected.erase(s.selected.begin() + pair);
  pairs_changed(s);
  return true;
}

bool delete_pair_row(WorkSession& s, int row) { return remove_pair(s, row - 1); }

std::optional<std::array<int, 3>> parse_indices(std::string_view text) {
  std::array<int, 3> hkl{0, 0, 0};
  size_t pos = 0;
  int n = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (true) {
    while (pos < text.size() && blank(text[pos])) ++pos;
    if (pos == text.size()) break;
    size_t end = pos;
    while (end < text.size() && !blank(text[end])) ++end;
    if (n == 3) return std::nullopt;
    auto v = parse_integer(text.substr(pos, end - pos));
    if (!v || *v < -32768 || *v > 32767) return std::nullopt;
    hkl[static_cast<size_t>(n++)] = static_cast<int>(*v);
    pos = end;
  }
  if (n != 0 && n != 3) return std::nullopt;
  return hkl;
}

RetypeResult retype_indices(WorkSession& s, int row, std::string_view text, Messages& m) {
  if (row < 1 || row > s.selected_count()) return RetypeResult::Unchanged;
  const auto hkl = parse_indices(text);
  if (!hkl) {
    m.beep();
    return RetypeResult::Refused;
  }
  const auto [h, k, l] = *hkl;
  if (h == 0 && k == 0 && l == 0) {
    remove_pair(s, row - 1);
    return RetypeResult::Deleted;
  }
  for (const CalculatedReflection& r : s.allowed) {
    if (r.h == h && r.k == k && r.l == l) {
      SelectedPair& p = s.selected[static_cast<size_t>(row - 1)];
      p.h = static_cast<int32_t>(h);
      p.k = static_cast<int32_t>(k);
      p.l = static_cast<int32_t>(l);
      p.two_theta_calc = static_cast<float>(r.two_theta);
      s.results.refined = false;
      return RetypeResult::Changed;
    }
  }
  m.beep();
  m.error(kNotInCalculatedList);
  return RetypeResult::Refused;
}

bool delete_selection_with_backup(WorkSession& s, Messages& m) {
  if (s.selected.empty()) return false;
  const auto lines = obs_backup_lines(s.selected);
  if (!lines) {
    m.error("A selected reflection does not fit the columns of obs.txt. "
            "The selected reflections are kept.");
    return false;
  }
  try {
    TextFile f;
    f.lines = *lines;
    f.save(fixed_file_path(s, FixedFile::ObsBackup));
  } catch (const FileError& e) {
    m.error(std::string(e.what()) + "\nThe selected reflections are kept.");
    return false;
  }
  s.selected.clear();
  s.results.refined = false;
  return true;
}

bool restore_selection(WorkSession& s, Messages& m) {
  if (!s.selected.empty()) return false;
  const auto path = fixed_file_path(s, FixedFile::ObsBackup);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return false;
  ObsBackupRead read;
  try {
    read = parse_obs_backup(read_file_bytes(path));
  } catch (const FileError& e) {
    m.error(e.what());
    return false;
  }
  if (!read.ok()) {
    m.error("obs.txt cannot be restored: " + read.error);
    return false;
  }
  if (read.pairs.empty()) return false;
  s.selected = std::move(read.pairs);
  // obs.txt has no σ column: the pairs find it again on their peaks.
  for (SelectedPair& p : s.selected) p.sigma = fitted_sigma_at(s, p.two_theta_obs);
  return true;
}

double profile_intensity_at(const Profile& p, double a) {
  const auto& pts = p.points;
  for (size_t k = 0; k + 1 < pts.size(); ++k) {
    if (pts[k].two_theta == a) return pts[k].intensity;
    if (pts[k].two_theta < a && a < pts[k + 1].two_theta) return pts[k].intensity;
  }
  if (!pts.empty() && pts.back().two_theta == a) return pts.back().intensity;
  return 0.0;
}

bool measure_peak(WorkSession& s, double two_theta, Messages& m) {
  if (!std::isfinite(two_theta)) return false;
  if (s.measured_count() >= kMaxMeasuredPeaks) {
    m.error(kTooManyPeaksMessage);
    return false;
  }
  for (const MeasuredPeak& p : s.measured.peaks)
    if (std::fabs(p.two_theta - two_theta) <= kSamePeak) return false;
  MeasuredPeak peak;
  peak.two_theta = two_theta;
  peak.two_theta_read = two_theta - s.measured.zero_offset;
  peak.intensity = profile_intensity_at(s.profile, two_theta);
  peak.line_code = 1;
  s.measured.peaks.push_back(peak);
  sort_measured_peaks(s);
  return true;
}

bool remove_measured_peak(WorkSession& s, int index) {
  if (!valid_index(index, s.measured.peaks.size())) return false;
  s.measured.peaks.erase(s.measured.peaks.begin() + index);
  return true;
}

bool apply_zero_offset(WorkSession& s, std::string_view text, Messages& m) {
  if (s.measured.peaks.empty() && s.profile.points.empty()) return false;
  const std::string t = trim(text);
  if (t == "-") return false;
  std::optional<double> value = t.empty() ? std::optional<double>(0.0) : parse_real(t);
  if (!value) {
    m.error("Read error");
    return false;
  }
  const double offset = *value;
  s.measured.zero_offset = offset;
  for (MeasuredPeak& p : s.measured.peaks) p.two_theta = p.two_theta_read + offset;
  for (ProfilePoint& p : s.profile.points)
    p.two_theta = static_cast<float>(p.two_theta_read + offset);
  return true;
}

}  // namespace vornax

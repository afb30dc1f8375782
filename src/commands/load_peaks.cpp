#include "commands/load_peaks.hpp"

#include <cmath>

#include "core/cell.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "selection/measured.hpp"

namespace vornax {

namespace {

// Everything the load decided, ready to be committed.
Changed commit(WorkSession& s, PeakFileData d, const std::filesystem::path& path) {
  MeasuredPeakList& m = s.measured;
  m.peaks = std::move(d.peaks);
  for (auto& p : m.peaks) p.two_theta = p.two_theta_read + m.zero_offset;
  m.file_name = path.string();
  m.sample = d.sample;
  m.wavelengths = d.wavelengths;
  m.range_min = d.range_min;
  m.range_max = d.range_max;
  m.intensity_max = d.intensity_max;
  s.indexed_list = std::move(d.indexed);
  s.selected.clear();
  s.results = RefinementResults{};
  mark_peaks_on_file(s);
  mark_pairs_on_file(s);
  Changed changed = Changed::MeasuredPeaks | Changed::Selection | Changed::Results;
  if (d.has_title) {
    s.title = d.title;
    changed |= Changed::Cell;
  }
  if (s.profile.wavelengths.lambda == 0) {
    // Without a profile the peaks set the current wavelength and range.
    s.wavelengths.lambda = m.wavelengths.lambda;
    s.wavelengths.lambda1 = m.wavelengths.lambda1;
    s.wavelengths.lambda2 = m.wavelengths.lambda2;
    s.wavelengths.ratio = m.wavelengths.ratio;
    s.range_min = s.window_min = m.range_min;
    s.range_max = s.window_max = m.range_max;
    changed |= Changed::CurrentValues;
  }
  if (s.range_min < 0) {
    s.range_min = 0;
    changed |= Changed::CurrentValues;
  }
  return changed;
}

Changed load(WorkSession& s, Messages& m, WavelengthDialog& dialog,
             const std::filesystem::path& path, PeakFileType type) {
  if (is_fixed_file(s, path)) {
    m.error(fixed_file_input_message(path));
    return Changed::None;
  }
  std::optional<WavelengthSet> chosen;
  if (!peak_type_has_wavelength(type)) {
    chosen = dialog.choose(s.measured.wavelengths, false);
    if (!chosen) return Changed::None;
  }
  PeakFileData d;
  try {
    d = read_peak_file(type, path, s.tolerance);
  } catch (const Error& e) {
    m.error(e.what());
    return Changed::None;
  }
  if (chosen) d.wavelengths = *chosen;
  complete_peak_wavelength(d.wavelengths);
  if (wavelengths_differ(d.wavelengths.lambda, s.profile.wavelengths.lambda)) {
    m.error(kWavelengthMismatchMessage);
    return Changed::None;
  }
  name_anode_if_unknown(d.wavelengths, kPeakAnodeTolerance);
  if (d.truncated) m.warning(d.limit_message.empty() ? kTooManyPeaksMessage : d.limit_message);
  return commit(s, std::move(d), path);
}

}  // namespace

Changed load_peak_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                       const std::filesystem::path& path, PeakFileType type) {
  if (is_fixed_file(s, path)) {
    m.error(fixed_file_input_message(path));
    return Changed::None;
  }
  if (const auto by_name = peak_type_from_extension(path)) {
    if (*by_name == PeakFileType::IndexedList) {
      m.beep();
      if (m.ask(kIndexedListQuestion) != Answer::Yes) return Changed::None;
    }
    type = *by_name;
  }
  return load(s, m, dialog, path, type);
}

Changed load_peak_file_as(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path, PeakFileType type) {
  return load(s, m, dialog, path, type);
}

std::string observed_caption(const WorkSession& s) {
  return trim("Observed reflections (" + file_name_only(s.measured.file_name) + ")");
}

Changed read_lambda_box(WorkSession& s, Messages& m, const std::string& text, bool edited) {
  const auto v = read_shown_number(text, s.wavelengths.lambda, 5, edited);
  if (!v || !(*v > 0)) {
    m.error("Error at lambda");
    return Changed::None;
  }
  if (*v == s.wavelengths.lambda) return Changed::None;
  s.wavelengths.lambda = *v;
  return Changed::CurrentValues;
}

Changed entree_lambda(WorkSession&) {
  // Only the displays are emptied; the lists stay until a new calculation.
  return Changed::Calculated | Changed::Results;
}

Changed change_lambda_affi(WorkSession& s, CellTab& tab, Messages& m, const std::string& text) {
  const auto v = parse_typed(text);
  if (!v || !(*v > 0)) {
    m.error("Error on Lambda!");
    return Changed::None;
  }
  if (*v == s.wavelengths.lambda) return Changed::None;
  s.wavelengths.lambda = *v;
  tab.fields[6] = text;
  // The calculation empties the selection; the pairs are kept and re-angled here.
  const std::vector<SelectedPair> pairs = s.selected;
  run_calculation(s, tab, m);
  s.selected = pairs;
  Changed changed = Changed::CurrentValues | Changed::Calculated | Changed::Results;
  if (s.allowed.empty()) return changed;
  compute_reciprocal(s);
  for (auto& p : s.selected) {
    bool found = false;
    for (const auto& r : s.allowed) {
      if (r.h == p.h && r.k == p.k && r.l == p.l) {
        p.two_theta_calc = static_cast<float>(r.two_theta);
        found = true;
      }
    }
    if (!found) {
      const double inv_d2 = inverse_d_squared(s.B, p.h, p.k, p.l);
      const double x = *v * std::sqrt(inv_d2) / 2;
      if (inv_d2 > 0 && x <= 1) p.two_theta_calc = static_cast<float>(two_theta_from_d(1 / std::sqrt(inv_d2), *v));
    }
  }
  s.results.refined = false;
  return changed | Changed::Selection;
}

}  // namespace vornax

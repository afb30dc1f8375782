#include "profile/search_settings.hpp"

#include <algorithm>
#include <cmath>

#include "core/format.hpp"

namespace vornax {

namespace {

// How many of the strongest peaks give the typical width.
constexpr size_t kStrongPeaks = 10;
// Threshold in units of the noise of D: a noise stretch reaching it is a rare event
// even over tens of thousands of points.
constexpr double kNoiseFactor = 6.0;
// Widths allowed around the typical distance between inflection points.
constexpr double kMinWidthFactor = 0.5;
constexpr double kMaxWidthFactor = 4.0;

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(mid), v.end());
  double m = v[mid];
  if (v.size() % 2 == 0) m = (m + *std::max_element(v.begin(), v.begin() + static_cast<long>(mid))) / 2;
  return m;
}

struct Stretch {
  size_t lo = 0, hi = 0;  // 0-based, D < 0 on lo..hi
  double width = 0;       // between the interpolated zero crossings
  double depth = 0;       // largest |D| inside
};

double crossing(double xa, double da, double xb, double db) {
  if (da == db) return (xa + xb) / 2;
  return (da * xb - db * xa) / (da - db);
}

std::vector<Stretch> negative_stretches(const Profile& p, const std::vector<double>& d) {
  std::vector<Stretch> out;
  const size_t n = d.size();
  size_t i = 1;
  while (i + 1 < n) {
    while (i + 1 < n && !(d[i] < 0)) ++i;
    if (i + 1 >= n) break;
    size_t j = i;
    while (j + 1 < n && !(d[j] > 0)) ++j;
    if (!(d[j] > 0)) break;
    Stretch s{i, j - 1, 0, 0};
    const double xl = crossing(p.points[i - 1].two_theta, d[i - 1], p.points[i].two_theta, d[i]);
    const double xr = crossing(p.points[j - 1].two_theta, d[j - 1], p.points[j].two_theta, d[j]);
    s.width = xr - xl;
    for (size_t k = i; k < j; ++k) s.depth = std::max(s.depth, -d[k]);
    out.push_back(s);
    i = j;
  }
  return out;
}

// Full width at half height of the peak of one stretch, on the lightly smoothed
// profile, above the lowest point around it.
double half_height_width(const Profile& p, const Stretch& s) {
  const size_t n = p.points.size();
  // The 5-point smoothed profile, only where it is looked at.
  auto y = [&](size_t k) {
    k = std::clamp<size_t>(k, 2, n - 3);
    auto v = [&](size_t q) { return static_cast<double>(p.points[q].intensity); };
    return (-3 * (v(k - 2) + v(k + 2)) + 12 * (v(k - 1) + v(k + 1)) + 17 * v(k)) / 35;
  };
  size_t top = s.lo;
  for (size_t k = s.lo; k <= s.hi; ++k)
    if (y(k) > y(top)) top = k;
  const size_t span = s.hi - s.lo + 1;
  const size_t from = s.lo > 3 * span ? s.lo - 3 * span : 0;
  const size_t to = std::min(n - 1, s.hi + 3 * span);
  double base = y(top);
  for (size_t k = from; k <= to; ++k) base = std::min(base, y(k));
  const double half = base + (y(top) - base) / 2;
  if (!(y(top) > base)) return 0;
  size_t l = top;
  while (l > from && y(l) > half) --l;
  size_t r = top;
  while (r < to && y(r) > half) ++r;
  if (y(l) > half || y(r) > half) return 0;
  auto at = [&](size_t a, size_t b) {  // where the line a→b crosses half
    const double xa = p.points[a].two_theta, xb = p.points[b].two_theta;
    return y(a) == y(b) ? (xa + xb) / 2 : xa + (half - y(a)) * (xb - xa) / (y(b) - y(a));
  };
  return at(r - 1, r) - at(l, l + 1);
}

// A slider position from a real one, clamped before it becomes an integer: a profile
// with absurd angles gives widths no int holds.
int clamped_position(const SliderSpec& spec, double position) {
  if (!(position > spec.min_position)) return spec.min_position;
  if (!(position < spec.max_position)) return spec.max_position;
  return static_cast<int>(position);
}

int nearest_position(const SliderSpec& spec, double value) {
  return clamped_position(spec, std::round(value / spec.factor));
}

}  // namespace

SearchDataEstimate estimate_search_data(const Profile& p, const SecondDerivative& d) {
  SearchDataEstimate e;
  if (!is_searchable(d, p) || p.points.size() < 13) return e;
  const size_t n = p.points.size();

  // A few thousand steps spread over the profile tell its step as well as all of them.
  const size_t stride = std::max<size_t>(1, (n - 1) / 4096);
  std::vector<double> steps;
  for (size_t k = 0; k + 1 < n; k += stride)
    steps.push_back(p.points[k + 1].two_theta - p.points[k].two_theta);
  e.step = median(steps);

  std::vector<Stretch> stretches = negative_stretches(p, d.values);
  if (stretches.empty() || !(e.step > 0)) return e;
  const size_t strongest = std::min(kStrongPeaks, stretches.size());
  std::partial_sort(stretches.begin(), stretches.begin() + static_cast<long>(strongest), stretches.end(),
                    [](const Stretch& a, const Stretch& b) { return a.depth > b.depth; });
  // Only stretches well above the noise are peaks to measure.
  const double floor = 0.05 * stretches.front().depth;
  std::vector<double> widths, fwhms;
  for (size_t q = 0; q < strongest; ++q) {
    const Stretch& s = stretches[q];
    if (s.depth < floor) break;
    if (!(s.width > 0)) continue;
    widths.push_back(s.width);
    const double f = half_height_width(p, s);
    if (f > 0) fwhms.push_back(f);
  }
  if (widths.empty()) return e;
  e.inflection_width = median(widths);
  e.fwhm = fwhms.empty() ? e.inflection_width : median(fwhms);

  // The depths of the weaker stretches as wide as a peak: noise, with the weak peaks
  // as outliers.
  const double min_width = std::max(e.step, kMinWidthFactor * e.inflection_width);
  const double max_width = kMaxWidthFactor * e.inflection_width;
  std::vector<double> depths;
  for (const Stretch& s : stretches)
    if (s.width >= min_width && s.width <= max_width && s.depth < floor) depths.push_back(s.depth);
  e.noise_level = median(depths);
  for (double& v : depths) v = std::fabs(v - e.noise_level);
  e.noise = 1.4826 * median(depths);
  e.valid = std::isfinite(e.noise) && e.inflection_width > 0;
  return e;
}

SliderPositions derived_slider_positions(const SearchDataEstimate& e) {
  if (!e.valid) return SliderPositions{};
  SliderPositions s;
  s.threshold = nearest_position(kThresholdSlider, e.noise_level + kNoiseFactor * e.noise);
  s.min_width = nearest_position(kMinWidthSlider,
                                 std::max(e.step, kMinWidthFactor * e.inflection_width));
  // Rounded up, so that the widest of the usual peaks still passes.
  s.max_width = clamped_position(
      kMaxWidthSlider, std::ceil(kMaxWidthFactor * e.inflection_width / kMaxWidthSlider.factor - 1e-9));
  if (slider_value(kMinWidthSlider, s.min_width) > slider_value(kMaxWidthSlider, s.max_width))
    s.min_width = nearest_position(kMinWidthSlider, slider_value(kMaxWidthSlider, s.max_width));
  return s;
}

PeakSearchSettings derived_search_settings(const SearchDataEstimate& e) {
  PeakSearchSettings s = settings_from_sliders(derived_slider_positions(e));
  if (e.valid) s.doublet_fwhm = e.fwhm;
  return s;
}

PeakSearchSettings requested_search_settings(const SearchDataEstimate& e,
                                             const SearchSettingsRequest& r) {
  PeakSearchSettings s = r.classic ? kClassicSearchSettings : derived_search_settings(e);
  if (r.threshold) s.threshold = *r.threshold;
  if (r.min_width) s.min_width = *r.min_width;
  if (r.max_width) s.max_width = *r.max_width;
  // One width given against a derived other: the given one wins.
  if (s.min_width > s.max_width) {
    if (r.min_width) s.max_width = s.min_width;
    else s.min_width = s.max_width;
  }
  return s;
}

std::string search_settings_line(const PeakSearchSettings& s, const SearchDataEstimate& e) {
  return "search settings: threshold " + format_fixed(s.threshold, 0, 1) + " (noise " +
         format_fixed(e.noise, 0, 2) + ") widths " + format_fixed(s.min_width, 0, 3) +
         "\u2013" + format_fixed(s.max_width, 0, 1) + "\u00b0";
}

}  // namespace vornax

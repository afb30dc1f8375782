#include "profile/peak_search.hpp"

#include <algorithm>
#include <cmath>

#include "core/format.hpp"
#include "profile/filters.hpp"

namespace vornax {

SecondDerivative compute_second_derivative(const Profile& p) {
  const size_t n = p.points.size();
  std::vector<double> intensity(n);
  for (size_t i = 0; i < n; ++i) intensity[i] = p.points[i].intensity;

  SecondDerivative d;
  d.values = second_derivative_13(smooth_13(intensity));
  d.profile_size = n;
  d.profile_generation = p.generation;

  double m = 0;
  for (double v : d.values) m = std::max(m, std::fabs(v));
  d.max_magnitude = m;
  if (m > 0 && std::isfinite(m)) {
    const double f = 100.0 / m;
    for (double& v : d.values) v *= f;
  }
  return d;
}

bool is_current(const SecondDerivative& d, const Profile& p) {
  return !d.values.empty() && d.values.size() == p.points.size() &&
         d.profile_size == p.points.size() && d.profile_generation == p.generation;
}

bool is_searchable(const SecondDerivative& d, const Profile& p) {
  return is_current(d, p) && d.max_magnitude > 0 && std::isfinite(d.max_magnitude);
}

double slider_value(const SliderSpec& spec, int position) {
  position = std::clamp(position, spec.min_position, spec.max_position);
  return position * spec.factor;
}

std::string slider_text(const SliderSpec& spec, int position) {
  return format_fixed(slider_value(spec, position), spec.box_width, spec.box_decimals);
}

PeakSearchSettings settings_from_sliders(const SliderPositions& s) {
  return {slider_value(kThresholdSlider, s.threshold), slider_value(kMinWidthSlider, s.min_width),
          slider_value(kMaxWidthSlider, s.max_width)};
}

namespace {

// Zero of the straight line through (xa, da) and (xb, db); the midpoint when the two
// values are too close to divide by their difference.
double zero_crossing(double xa, double da, double xb, double db, double tolerance) {
  if (std::fabs(da - db) < tolerance) return (xa + xb) / 2;
  return (da * xb - db * xa) / (da - db);
}

}  // namespace

std::vector<FoundPeak> find_peaks(const Profile& p, const SecondDerivative& deriv,
                                  const PeakSearchSettings& settings) {
  std::vector<FoundPeak> found;
  if (!is_current(deriv, p)) return found;
  const size_t n = p.points.size();
  if (n < 4) return found;

  // 1-based views, so that the index rules read as the scan is usually written.
  auto X = [&](size_t k) { return static_cast<double>(p.points[k - 1].two_theta); };
  auto I = [&](size_t k) { return static_cast<double>(p.points[k - 1].intensity); };
  auto D = [&](size_t k) { return deriv.values[k - 1]; };

  const double threshold = std::max(settings.threshold, kMinThreshold);
  // The step over the last-but-one point, as the scan has always measured it.
  const double step = (X(n - 1) - X(1)) / static_cast<double>(n - 1);
  // Halves round to even; a zero or invalid step admits no stretch at all.
  double min_points = std::nearbyint(settings.min_width / step);
  if (!(step > 0) || std::isnan(min_points)) min_points = HUGE_VAL;

  const bool ascending = std::is_sorted(
      p.points.begin(), p.points.end(),
      [](const ProfilePoint& a, const ProfilePoint& b) { return a.two_theta < b.two_theta; });

  size_t i = 2;
  while (found.size() < static_cast<size_t>(kMaxMeasuredPeaks) && i < n - 1) {
    while (i <= n - 1 && !(D(i) < 0)) ++i;
    if (i > n - 1) break;
    size_t j = i;
    while (j <= n - 1 && !(D(j) > 0)) ++j;
    if (j > n - 1) break;  // a stretch that runs off the end is no peak

    if (static_cast<double>(j - i) >= min_points) {
      const double x_left = zero_crossing(X(i - 1), D(i - 1), X(i), D(i), 1e-13);
      const double x_right = zero_crossing(X(j - 1), D(j - 1), X(j), D(j), 1e-14);
      const double width = x_right - x_left;
      if (settings.min_width <= width && width <= settings.max_width) {
        const double centre = (x_right + x_left) / 2;
        size_t k = 0;  // first point beyond the centre, 0 if none
        if (ascending) {
          auto it = std::upper_bound(p.points.begin(), p.points.end(), centre,
                                     [](double c, const ProfilePoint& pt) { return c < pt.two_theta; });
          if (it != p.points.end()) k = static_cast<size_t>(it - p.points.begin()) + 1;
        } else {
          for (size_t q = 1; q <= n; ++q)
            if (X(q) > centre) {
              k = q;
              break;
            }
        }
        if (k >= 4 && k + 3 <= n && std::fabs(D(k)) > threshold)
          found.push_back({centre, I(k), k - 1});
      }
    }
    i = j;
  }
  return found;
}

std::vector<FoundPeak> run_peak_search(const Profile& p, const PeakSearchSettings& settings) {
  return find_peaks(p, compute_second_derivative(p), settings);
}

ContaminationTexts preset_contamination(const WavelengthSet& w) {
  ContaminationTexts t;
  if (w.anode.empty()) return t;
  for (const AnodeKBetaLines& row : kAnodeLines) {
    if (std::fabs(row.k_alpha - w.lambda) < 0.006) {
      t.l1_lambda = format_fixed(row.k_beta, 8, 5);
      t.l1_percent = " 1";
      t.l2_lambda = " 1.025";
      t.l2_percent = " 0.5";
      break;
    }
  }
  return t;
}

}  // namespace vornax

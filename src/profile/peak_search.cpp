#include "profile/peak_search.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/format.hpp"
#include "profile/classification.hpp"
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
          slider_value(kMaxWidthSlider, s.max_width), 0};
}

namespace {

// Zero of the straight line through (xa, da) and (xb, db); the midpoint when the two
// values are too close to divide by their difference.
double zero_crossing(double xa, double da, double xb, double db, double tolerance) {
  if (std::fabs(da - db) < tolerance) return (xa + xb) / 2;
  return (da * xb - db * xa) / (da - db);
}

// The 5-point smoothed intensity at one point (the ends take the nearest full window):
// only the few points around the peaks are ever needed.
struct Smoothed5 {
  const Profile& p;
  size_t size() const { return p.points.size(); }
  double operator[](size_t k) const {
    const size_t n = p.points.size();
    if (n < 5) return p.points[k].intensity;
    k = std::clamp<size_t>(k, 2, n - 3);
    auto y = [&](size_t q) { return static_cast<double>(p.points[q].intensity); };
    return (-3 * (y(k - 2) + y(k + 2)) + 12 * (y(k - 1) + y(k + 1)) + 17 * y(k)) / 35;
  }
};

// Vertex of the parabola through three equally spaced samples, as a fraction of a step
// from the middle one (within ±0.5 for a true maximum).
double vertex_offset(double a, double b, double c) {
  const double den = a - 2 * b + c;
  if (!(den < 0)) return 0;
  return std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
}

// Places the peaks of one stretch of negative D at the maxima of the lightly smoothed
// profile when the Kα1 and Kα2 lines are resolved at that angle: the Kα1 peak at the
// highest maximum, and a second peak at the Kα2 maximum when one stands where λ2
// puts it (with a dip before it and a plausible height). Returns false when the
// doublet is not resolved there, so that the usual centre is kept.
struct DoubletPlacer {
  const Profile& p;
  const PeakSearchSettings& settings;
  Smoothed5 smooth;  // 5-point smoothed intensities, 0-based, worked out where looked at

  DoubletPlacer(const Profile& prof, const PeakSearchSettings& s) : p(prof), settings(s), smooth{prof} {}

  double x(size_t k) const { return p.points[k].two_theta; }
  bool is_max(size_t k) const {
    return k > 0 && k + 1 < smooth.size() && smooth[k] >= smooth[k - 1] && smooth[k] >= smooth[k + 1];
  }
  // The top of the line at maximum k: the vertex of the least-squares parabola over
  // the points within about a third of a width of it, steadier on noisy counts than
  // three points alone.
  double position(size_t k) const {
    const double step = (x(k + 1) - x(k - 1)) / 2;
    long h = std::lround(0.35 * settings.doublet_fwhm / step);
    h = std::clamp(h, 1L, 20L);
    h = std::min({h, static_cast<long>(k), static_cast<long>(smooth.size() - 1 - k)});
    if (h <= 1) return x(k) + vertex_offset(smooth[k - 1], smooth[k], smooth[k + 1]) * step;
    double n = 0, su2 = 0, su4 = 0, sy = 0, suy = 0, su2y = 0;
    for (long u = -h; u <= h; ++u) {
      const double y = smooth[static_cast<size_t>(static_cast<long>(k) + u)];
      const double uu = static_cast<double>(u * u);
      n += 1;
      su2 += uu;
      su4 += uu * uu;
      sy += y;
      suy += static_cast<double>(u) * y;
      su2y += uu * y;
    }
    const double b = suy / su2;
    const double c = (su2y - su2 / n * sy) / (su4 - su2 * su2 / n);
    if (!(c < 0)) return x(k);
    return x(k) + std::clamp(-b / (2 * c), -static_cast<double>(h), static_cast<double>(h)) * step;
  }

  // lo..hi: 0-based inclusive range of the stretch. Appends the angle of its highest
  // maximum, and that of the Kα2 line when the stretch holds both lines of the doublet.
  bool place(size_t lo, size_t hi, double centre, std::vector<double>& out) const {
    const WavelengthSet& w = p.wavelengths;
    if (!(settings.doublet_fwhm > 0) || !(w.lambda1 > 0) || !(w.lambda2 > w.lambda1)) return false;
    double second = 0;
    if (!same_reflection_angle(centre, w.lambda1, w.lambda2, second)) return false;
    if (!(second - centre > settings.doublet_fwhm)) return false;

    size_t m1 = lo;
    for (size_t k = lo; k <= hi; ++k)
      if (smooth[k] > smooth[m1]) m1 = k;
    if (!is_max(m1)) return false;
    const double x1 = position(m1);
    if (!same_reflection_angle(x1, w.lambda1, w.lambda2, second)) return false;

    // The background under the doublet: the lowest smoothed point within one stretch
    // width of it.
    const size_t span = hi - lo + 1;
    const size_t from = lo > span ? lo - span : 0;
    const size_t to = std::min(smooth.size() - 1, hi + span);
    double base = smooth[m1];
    for (size_t k = from; k <= to; ++k) base = std::min(base, smooth[k]);
    const double h1 = smooth[m1] - base;
    if (!(h1 > 0)) return false;

    // The Kα2 maximum where λ2 puts it, no further than half a width past the stretch.
    const double step = (x(m1 + 1) - x(m1 - 1)) / 2;
    const double tolerance = std::max(0.2 * (second - x1), 1.5 * step);
    const double last = std::min(second + tolerance, x(hi) + settings.doublet_fwhm / 2);
    size_t m2 = 0;
    for (size_t k = m1 + 1; k + 1 < smooth.size() && x(k) <= last; ++k)
      if (x(k) >= second - tolerance && is_max(k) && (m2 == 0 || smooth[k] > smooth[m2])) m2 = k;
    out.push_back(x1);
    if (m2 == 0) return true;
    double dip = smooth[m2];
    for (size_t k = m1; k <= m2; ++k) dip = std::min(dip, smooth[k]);
    const double ratio = (smooth[m2] - base) / h1;
    if (smooth[m2] - dip > 0.03 * h1 && ratio > 0.2 && ratio < 0.9) out.push_back(position(m2));
    return true;
  }
};

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

  std::optional<DoubletPlacer> doublets;
  if (settings.doublet_fwhm > 0 && p.wavelengths.lambda2 > p.wavelengths.lambda1) doublets.emplace(p, settings);
  // Peaks placed at a maximum are exact; a plain centre close to one of them is the
  // same line seen again by the next stretch.
  std::vector<bool> at_maximum;
  auto first_beyond = [&](double centre) -> size_t {  // 1-based, 0 if none
    if (ascending) {
      auto it = std::upper_bound(p.points.begin(), p.points.end(), centre,
                                 [](double c, const ProfilePoint& pt) { return c < pt.two_theta; });
      return it != p.points.end() ? static_cast<size_t>(it - p.points.begin()) + 1 : 0;
    }
    for (size_t q = 1; q <= n; ++q)
      if (X(q) > centre) return q;
    return 0;
  };

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
        const size_t k = first_beyond(centre);
        // Measured settings ask for a negative D there: a stretch whose centre point
        // has already turned positive is a sliver at the foot of a stronger line.
        const bool inside = k >= 4 && k + 3 <= n;  // no point beyond the centre: k is 0
        const double depth = !inside ? 0.0 : settings.doublet_fwhm > 0 ? -D(k) : std::fabs(D(k));
        if (inside && depth > threshold) {
          std::vector<double> placed;
          // A maximum that is no peak top (noise on the foot of a line) keeps the centre.
          if (doublets && doublets->place(i - 1, j - 2, centre, placed) &&
              -D(std::max<size_t>(first_beyond(placed.front()), 1)) > threshold) {
            for (double x : placed) {
              const size_t q = first_beyond(x);
              if (q >= 4 && q + 3 <= n && -D(q) > threshold) {
                found.push_back({x, I(q), q - 1, x == placed.front()});
                at_maximum.push_back(true);
              }
            }
          } else {
            found.push_back({centre, I(k), k - 1});
            at_maximum.push_back(false);
          }
        }
      }
    }
    i = j;
  }
  if (settings.doublet_fwhm > 0 && found.size() > 1) {
    // The 13-point filters leave an echo in D on either side of a peak, about 12 points
    // plus a bit over one σ of the peak away: a few percent as deep for lines a few
    // points wide, up to 8 % for the narrowest. A much weaker peak there is that echo.
    const double step = (X(n) - X(1)) / static_cast<double>(n - 1);
    const double sigma_points = settings.doublet_fwhm / 2.3548 / step;
    const double near = 8 * step, far = (16 + 3 * sigma_points) * step;
    // Neighbours in angle order, so that each peak looks only at those within reach.
    std::vector<size_t> order(found.size());
    for (size_t q = 0; q < order.size(); ++q) order[q] = q;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return found[a].two_theta < found[b].two_theta; });
    std::vector<bool> echo(found.size(), false);
    for (size_t a = 0; a < order.size(); ++a) {
      const size_t q = order[a];
      const double depth = std::fabs(D(found[q].index + 1));
      auto look = [&](size_t b) {  // false once b is out of reach
        const size_t r = order[b];
        const double gap = std::fabs(found[r].two_theta - found[q].two_theta);
        if (gap > far) return false;
        if (gap >= near && depth < 0.1 * std::fabs(D(found[r].index + 1))) echo[q] = true;
        return true;
      };
      for (size_t b = a + 1; b < order.size() && !echo[q] && look(b);) ++b;
      for (size_t b = a; b > 0 && !echo[q] && look(b - 1);) --b;
    }
    std::vector<FoundPeak> kept;
    std::vector<bool> kept_max;
    for (size_t q = 0; q < found.size(); ++q)
      if (!echo[q]) {
        kept.push_back(found[q]);
        kept_max.push_back(at_maximum[q]);
      }
    found = std::move(kept);
    at_maximum = std::move(kept_max);
  }
  if (doublets) {
    // A Kα2 line placed from its Kα1 may also have a stretch of its own.
    std::vector<size_t> order(found.size());
    for (size_t q = 0; q < order.size(); ++q) order[q] = q;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return found[a].two_theta < found[b].two_theta; });
    std::vector<FoundPeak> kept;
    std::vector<bool> kept_max;
    const double same = 0.5 * settings.doublet_fwhm;
    for (size_t q : order) {
      if (!kept.empty() && std::fabs(found[q].two_theta - kept.back().two_theta) < same) {
        if (at_maximum[q] && !kept_max.back()) {
          kept.back() = found[q];
          kept_max.back() = true;
        }
        continue;
      }
      kept.push_back(found[q]);
      kept_max.push_back(at_maximum[q]);
    }
    if (kept.size() > static_cast<size_t>(kMaxMeasuredPeaks)) kept.resize(kMaxMeasuredPeaks);
    found = std::move(kept);
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

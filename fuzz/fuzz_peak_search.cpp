// The search on any profile a reader can hand it: settings measured from the data,
// doublet placement, echo removal, the classification, the profile fit of the found
// peaks and the Kα2 stripping. Points come as finite
// floats in any order, with any step and wavelengths; nothing may overflow, divide by
// zero, read out of bounds or loop.
#include <cmath>
#include <cstdint>

#include "fuzz_support.hpp"
#include "profile/classification.hpp"
#include "profile/peak_fit.hpp"
#include "profile/peak_search.hpp"
#include "profile/search_settings.hpp"

namespace {

using vornax::fuzz::take;

float finite(float v) { return std::isfinite(v) ? v : 0.0f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  size_t n = size;
  vornax::Profile profile;
  vornax::WavelengthSet& w = profile.wavelengths;
  w.lambda1 = finite(take<float>(p, n));
  w.lambda2 = finite(take<float>(p, n));
  w.ratio = finite(take<float>(p, n));
  w.lambda = finite(take<float>(p, n));
  w.anode = "Cu";
  // Either a stepped scan (start, step, then intensities) or free (angle, intensity) pairs.
  const uint8_t flags = take<uint8_t>(p, n);
  const bool stepped = flags & 1;
  profile.counts = flags & 2;
  profile.intensity_max = finite(take<float>(p, n));
  const float start = finite(take<float>(p, n)), step = finite(take<float>(p, n));
  for (size_t i = 0; n >= sizeof(float) && profile.points.size() < 30000; ++i) {
    const float x = stepped ? start + step * static_cast<float>(i) : finite(take<float>(p, n));
    const float y = finite(take<float>(p, n));
    if (!std::isfinite(x)) break;
    profile.points.push_back({x, y, x});
  }
  const vornax::SecondDerivative d = vornax::compute_second_derivative(profile);
  const vornax::SearchDataEstimate e = vornax::estimate_search_data(profile, d);
  const vornax::PeakSearchSettings settings = vornax::derived_search_settings(e);
  const std::vector<vornax::FoundPeak> found = vornax::find_peaks(profile, d, settings);
  std::vector<vornax::MeasuredPeak> peaks;
  for (const vornax::FoundPeak& f : found) peaks.push_back({f.two_theta, f.two_theta, f.intensity, 1});
  vornax::classify_lines(peaks, w, vornax::ContaminationTexts{});
  vornax::mark_resolved_kalpha1(peaks, found);
  std::vector<vornax::PeakToFit> to_fit;
  // A few lines are enough to reach every path of the fit; hundreds only slow the
  // sanitized runs down.
  for (const vornax::MeasuredPeak& m : peaks)
    if (to_fit.size() < 6) to_fit.push_back({m.two_theta, m.line_code});
  vornax::PeakFitOptions options;
  options.split = flags & 4;
  options.fwhm = e.valid ? e.fwhm : 0;
  (void)vornax::fit_peaks(profile, to_fit, w, options);
  (void)vornax::strip_kalpha2(profile, w);
  return 0;
}

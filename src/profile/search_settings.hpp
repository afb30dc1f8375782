// Search settings taken from the data: the angular step, the width of the strongest
// peaks and the noise of the second derivative decide the minimum and maximum widths
// and the threshold, so that a synchrotron pattern of 0.01° peaks and a noisy lab
// pattern are both searched sensibly without touching the sliders.
#pragma once

#include <optional>
#include <string>

#include "core/session.hpp"
#include "profile/peak_search.hpp"

namespace vornax {

// The fixed settings a user gets by asking for them (threshold 2.0, widths 0.10–1.0°).
constexpr PeakSearchSettings kClassicSearchSettings{2.0, 0.1, 1.0, 0};

struct SearchDataEstimate {
  bool valid = false;        // false: nothing to measure (flat, too short, no peak)
  double step = 0;           // median distance between neighbouring points, degrees 2θ
  double fwhm = 0;           // median full width at half height of the strongest peaks
  double inflection_width = 0;  // median distance between their inflection points in D
  // The stretches of negative D whose width passes are mostly noise when there is
  // noise: their typical depth (median) and its robust spread (1.4826 × the median
  // absolute deviation) give the threshold, level + 6 × noise.
  double noise_level = 0;
  double noise = 0;
};

// Measures the profile and its (current) second derivative.
SearchDataEstimate estimate_search_data(const Profile& p, const SecondDerivative& d);

// The slider positions nearest to the settings derived from the estimate; the
// classic positions when the estimate is not valid.
SliderPositions derived_slider_positions(const SearchDataEstimate& e);

// The settings the sliders at those positions give, with the estimated peak width
// kept for telling resolved Kα1/Kα2 doublets apart.
PeakSearchSettings derived_search_settings(const SearchDataEstimate& e);

// What the command line asked for: every value given wins over the derived one.
struct SearchSettingsRequest {
  bool classic = false;
  std::optional<double> threshold, min_width, max_width;
};

PeakSearchSettings requested_search_settings(const SearchDataEstimate& e,
                                             const SearchSettingsRequest& r);

// "search settings: threshold 2.1 (noise 0.80) widths 0.012–0.2°"
std::string search_settings_line(const PeakSearchSettings& s, const SearchDataEstimate& e);

}  // namespace vornax

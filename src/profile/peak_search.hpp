// Automatic peak search on a measured profile: the scaled second derivative of the
// smoothed profile, the three search parameters and their sliders, and the scan for
// stretches of negative curvature.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/session.hpp"

namespace vornax {

// The second derivative D of the 13-point smoothed profile, scaled so that its
// largest magnitude is 100, and the profile it was computed from. A D whose size or
// generation differs from the profile's belongs to another profile and must not be
// drawn or searched.
struct SecondDerivative {
  std::vector<double> values;
  size_t profile_size = 0;
  uint64_t profile_generation = 0;
  double max_magnitude = 0;  // largest |D| before scaling; 0: flat or too short

  bool empty() const { return values.empty(); }
};

// D of the profile's intensities. Scaled to ±100 only when its largest magnitude is
// above 0 (a flat profile, or one of fewer than 13 points, has D = 0 everywhere).
SecondDerivative compute_second_derivative(const Profile& p);

// D still describes p (same point count and generation, and not empty).
bool is_current(const SecondDerivative& d, const Profile& p);

// A D on which a search can find something: current and not all zero.
bool is_searchable(const SecondDerivative& d, const Profile& p);

// ---- The three sliders of the parameter panel ----

struct SliderSpec {
  int min_position, max_position, tick, default_position;
  double factor;       // value = position * factor
  int box_width, box_decimals;
  const char* initial_text;  // what the box shows before the slider first moves
};

constexpr SliderSpec kThresholdSlider{1, 100, 10, 20, 0.1, 3, 1, "2"};
// Steps of 0.001° so that the minimum width comes down to one step of a synchrotron
// pattern (0.005°).
constexpr SliderSpec kMinWidthSlider{1, 500, 50, 100, 0.001, 5, 3, "0.100"};
constexpr SliderSpec kMaxWidthSlider{1, 50, 5, 10, 0.1, 4, 2, "1"};

// The value of a slider position (clamped to the slider's range).
double slider_value(const SliderSpec& spec, int position);
// The text of the box beside the slider for a position.
std::string slider_text(const SliderSpec& spec, int position);

struct SliderPositions {
  int threshold = kThresholdSlider.default_position;
  int min_width = kMinWidthSlider.default_position;
  int max_width = kMaxWidthSlider.default_position;
};

struct PeakSearchSettings {
  double threshold = 2.0;  // percent of the largest |D|; raised to 0.01 when below
  double min_width = 0.1;  // degrees 2θ, between the inflection points
  double max_width = 1.0;
  // Full width at half height of the peaks, degrees 2θ; when above 0 and the profile
  // has Kα1 and Kα2, a doublet whose separation exceeds it is taken as two lines, each
  // placed at its own maximum. 0: every peak sits between its inflection points.
  double doublet_fwhm = 0;
};

// The parameters under their usual name in the profile window.
using PeakSearchParameters = PeakSearchSettings;

constexpr double kMinThreshold = 0.01;

PeakSearchSettings settings_from_sliders(const SliderPositions& s);

// ---- The search ----

struct FoundPeak {
  double two_theta = 0;   // midpoint of the two inflection points, on the profile's angles
  double intensity = 0;   // unsmoothed intensity of the first point beyond the centre
  size_t index = 0;       // 0-based index of that point
  // Placed at the Kα1 maximum of a resolved doublet: its angle is Kα1's whether or not
  // the weaker Kα2 line was found beside it.
  bool at_kalpha1_maximum = false;
};

// Every stretch where D < 0, bounded by a negative sample and a positive one, whose
// sample count reaches the minimum width, whose interpolated width lies inside
// [min_width, max_width], and whose first point beyond the centre has |D| strictly
// above the threshold and is not among the three points at either end. Ascending
// angle, at most kMaxMeasuredPeaks. D must be current for the profile (see
// is_current); an empty result otherwise.
std::vector<FoundPeak> find_peaks(const Profile& p, const SecondDerivative& d,
                                  const PeakSearchSettings& settings);

// compute_second_derivative + find_peaks, for callers without a kept D.
std::vector<FoundPeak> run_peak_search(const Profile& p, const PeakSearchSettings& settings);

// ---- Contamination lines preset from the anode ----

// Mean Kα and Kβ wavelengths of the five anodes, in the order Mo, Cu, Co, Fe, Cr.
struct AnodeKBetaLines {
  const char* anode;
  double k_alpha;
  double k_beta;
};
constexpr AnodeKBetaLines kAnodeLines[5] = {
    {"Mo", 0.7107, 0.63229},  {"Cu", 1.5418, 1.39222}, {"Co", 1.7902, 1.62079},
    {"Fe", 1.93604, 1.75661}, {"Cr", 2.2909, 2.08487},
};

// The four texts of the contamination box: L1 (Kβ) and L2 (WLα), a wavelength in Å
// and a relative strength in percent each. An empty wavelength: line not used.
struct ContaminationTexts {
  std::string l1_lambda, l1_percent, l2_lambda, l2_percent;
};

// The texts a new preparation starts from: empty, or, when an anode is named and λ is
// within 0.006 Å of one anode's mean Kα, that anode's Kβ at 1 % and the 1.025 Å line
// at 0.5 %.
ContaminationTexts preset_contamination(const WavelengthSet& w);

}  // namespace vornax

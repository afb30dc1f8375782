// Peak positions by profile fitting: each searched peak becomes a pseudo-Voigt line
// (a Kα1 + Kα2 doublet when the wavelength set has both lines), overlapping lines are
// fitted together on their window of the profile over a linear background, and each
// Kα1 position comes with a standard error from the fit's covariance.
#pragma once

#include <cstddef>
#include <vector>

#include "core/session.hpp"

namespace vornax {

// A peak to fit: where the search put it (degrees 2θ, on the profile's angles) and its
// line code (see PeakLineCode). Codes 0, 1 and 2 are Kα lines, fitted as doublets; a
// code 3 (Kα2) line is the Kα2 of the nearest code 2 line below it whose Kα2 angle lies
// within 0.07°, and is not a line of its own in the model (alone, it is fitted as a
// single line); codes 4 and 5 (Kβ, WLα) are single lines. Such an attached Kα2 peak
// is given the Kα2 angle of its partner's fitted Kα1, with that error carried over.
struct PeakToFit {
  double two_theta = 0;
  int line_code = 1;
};

struct PeakFitOptions {
  bool split = false;    // split pseudo-Voigt: a width on each side of the maximum
  // Starting full width at half height, degrees 2θ; 0: measured on the profile.
  double fwhm = 0;
  // Half-width of the fitted window around a line, in starting FWHMs: three hold the
  // line and enough background on each side to fix the straight line under it.
  double window_fwhms = 3;
};

struct FittedPeak {
  double two_theta = 0;  // fitted Kα1 position (the line's own for a single line)
  double sigma = 0;      // its standard error, degrees 2θ (covariance × reduced χ²)
  double fwhm = 0;       // degrees 2θ (the mean of both sides when split)
  double fwhm_left = 0, fwhm_right = 0;  // below and above the maximum; equal unless split
  double height = 0;     // above the background, in the profile's intensity units
  double eta = 0;        // Lorentzian fraction
  int line_code = 1;     // the code of the peak it came from
  int group = -1;        // index into PeakFitResult::groups; -1: not fitted
  bool fitted = false;   // false: kept at the searched position, sigma 0
};

struct FitGroup {
  size_t first_point = 0, last_point = 0;  // the window, indices into the profile
  double reduced_chi2 = 0;
  int lines = 0;
  bool converged = false;
};

struct PeakFitResult {
  std::vector<FittedPeak> peaks;  // one per input, in the input's order
  std::vector<FitGroup> groups;
  // The fitted model on every profile point inside a window (background included);
  // NaN outside the windows. Empty when nothing was fitted.
  std::vector<double> curve;
  double worst_reduced_chi2 = 0;
  int fitted_count = 0;
};

// The set has a Kα2 line to model or strip: λ2 above λ1 and a ratio above 0.
bool has_kalpha2(const WavelengthSet& w);

// Fits the peaks on the profile. Kα2 sits at 2 asin((λ2/λ1) sin θ1) with the set's
// ratio times Kα1's height, sharing its width and mixing; λ2 ≤ λ1 or a ratio of 0 (a
// monochromated beam) means single lines. Counts-based weights (variance = counts) when
// the profile holds counts, unit weights otherwise. A peak whose group cannot be fitted
// (too few points, no convergence, a position leaving its window) keeps its searched
// position with fitted = false. Never throws on odd input (empty, flat, NaN-free).
PeakFitResult fit_peaks(const Profile& p, const std::vector<PeakToFit>& peaks,
                        const WavelengthSet& w, const PeakFitOptions& options = {});

// Kα2 stripped from the profile (Rachinger): the intensities, in the profile's units,
// with the Kα2 share removed point by point from low to high angle. The profile itself
// when the set has no Kα2 (λ2 ≤ λ1 or ratio 0).
std::vector<double> strip_kalpha2(const Profile& p, const WavelengthSet& w);

}  // namespace vornax

// Builds measured-looking profiles for the tests: Gaussian peaks of known centre,
// width and height on a flat or sloping background, with optional seeded noise.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/session.hpp"

namespace vornax::testing {

struct GaussianPeak {
  double centre;  // degrees 2θ
  double sigma;   // degrees 2θ; the inflection points lie at centre ± sigma
  double height;
};

struct ProfileRecipe {
  double start = 10;
  double step = 0.02;
  size_t points = 1000;
  std::vector<GaussianPeak> peaks;
  double background = 0;        // constant part
  double background_slope = 0;  // per degree
  double noise = 0;             // standard deviation of added Gaussian noise
  uint32_t seed = 12345;
};

inline Profile make_profile(const ProfileRecipe& r) {
  Profile p;
  p.points.resize(r.points);
  std::mt19937 rng(r.seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  for (size_t i = 0; i < r.points; ++i) {
    const double x = r.start + r.step * static_cast<double>(i);
    double y = r.background + r.background_slope * (x - r.start);
    for (const GaussianPeak& g : r.peaks) {
      const double u = (x - g.centre) / g.sigma;
      if (std::fabs(u) < 12) y += g.height * std::exp(-0.5 * u * u);
    }
    if (r.noise > 0) y += r.noise * gauss(rng);
    p.points[i] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(x)};
  }
  p.start_angle = r.start;
  p.final_angle = r.start + r.step * static_cast<double>(r.points - 1);
  p.intensity_max = 100;
  p.intensity_min = 0;
  return p;
}

// A profile with the given angles and intensities, point by point.
inline Profile profile_from(const std::vector<double>& x, const std::vector<double>& y) {
  Profile p;
  for (size_t i = 0; i < x.size(); ++i)
    p.points.push_back({static_cast<float>(x[i]), static_cast<float>(y[i]), static_cast<float>(x[i])});
  return p;
}

// Bragg angle (degrees 2θ) of spacing d for wavelength lambda.
inline double bragg_two_theta(double d, double lambda) {
  return 2 * std::asin(lambda / (2 * d)) * 180 / 3.14159265358979323846;
}

// ---- Counted patterns: pseudo-Voigt lines, Kα1 + Kα2 doublets, Poisson counts ----

struct DiffractionLine {
  double two_theta;  // degrees 2θ of the Kα1 line (or of the single line)
  double counts;     // height of that line above the background, in counts
};

struct CountedRecipe {
  double start = 20, step = 0.02;
  size_t points = 5000;
  std::vector<DiffractionLine> lines;
  double fwhm = 0.08;         // degrees 2θ at 2θ = 0
  double fwhm_tan = 0;        // added per tan θ, as lines broaden with the angle
  double eta = 0.5;           // Lorentzian share of the pseudo-Voigt
  double asymmetry = 1;       // width above the maximum / width below it
  double lambda1 = 0, lambda2 = 0, ratio = 0.5;  // λ2 = 0: one line per reflection
  double background = 100;    // counts
  bool poisson = true;
  uint32_t seed = 2024;
};

inline double line_fwhm(const CountedRecipe& r, double two_theta) {
  return r.fwhm + r.fwhm_tan * std::tan(two_theta / 2 * 3.14159265358979323846 / 180);
}

// 2θ of the Kα2 line of the reflection whose Kα1 line lies at two_theta.
inline double alpha2_angle(double two_theta, double lambda1, double lambda2) {
  const double rad = 3.14159265358979323846 / 180;
  return 2 * std::asin(lambda2 / lambda1 * std::sin(two_theta / 2 * rad)) / rad;
}

inline double pseudo_voigt(double dx, double fwhm, double eta) {
  const double u = 2 * dx / fwhm;
  return eta / (1 + u * u) + (1 - eta) * std::exp(-std::log(2.0) * u * u);
}

// Split: fwhm below the maximum, asymmetry × fwhm above it.
inline double split_pseudo_voigt(double dx, double fwhm, double eta, double asymmetry) {
  return pseudo_voigt(dx, dx < 0 ? fwhm : fwhm * asymmetry, eta);
}

// The counts drawn from Poisson statistics, then scaled so that the highest point is
// 100, as the profile readers leave them (intensity_max: the highest count).
inline Profile make_counted_profile(const CountedRecipe& r) {
  std::vector<double> x(r.points), y(r.points);
  std::mt19937 rng(r.seed);
  double top = 0;
  for (size_t i = 0; i < r.points; ++i) {
    x[i] = r.start + r.step * static_cast<double>(i);
    double c = r.background;
    for (const DiffractionLine& l : r.lines) {
      const double w = line_fwhm(r, l.two_theta);
      const double a = r.asymmetry;
      if (std::fabs(x[i] - l.two_theta) < 40 * w)
        c += l.counts * split_pseudo_voigt(x[i] - l.two_theta, w, r.eta, a);
      if (r.lambda2 > 0) {
        const double a2 = alpha2_angle(l.two_theta, r.lambda1, r.lambda2);
        if (std::fabs(x[i] - a2) < 40 * w) c += r.ratio * l.counts * split_pseudo_voigt(x[i] - a2, w, r.eta, a);
      }
    }
    if (r.poisson) c = static_cast<double>(std::poisson_distribution<long>(c)(rng));
    y[i] = c;
    top = std::max(top, c);
  }
  for (double& v : y) v *= 100 / top;
  Profile p = profile_from(x, y);
  p.start_angle = x.front();
  p.final_angle = x.back();
  p.intensity_max = top;
  p.counts = r.poisson;
  p.wavelengths.lambda1 = r.lambda1;
  p.wavelengths.lambda2 = r.lambda2;
  p.wavelengths.ratio = r.lambda2 > 0 ? r.ratio : 0;
  p.wavelengths.lambda = r.lambda2 > 0 ? (2 * r.lambda1 + r.lambda2) / 3 : r.lambda1;
  return p;
}

}  // namespace vornax::testing

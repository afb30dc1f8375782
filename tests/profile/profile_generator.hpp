// Builds measured-looking profiles for the tests: Gaussian peaks of known centre,
// width and height on a flat or sloping background, with optional seeded noise.
#pragma once

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

}  // namespace vornax::testing

// Least squares of a lattice against measured lines: each line takes the index of the
// nearest calculated Q, and the metric coefficients of the crystal system, with the zero
// of the 2θ scale, are solved linearly in Q (weights make the residuals degrees 2θ);
// then the figures of merit M(20) (de Wolff 1968) and F(N) (Smith & Snyder 1979).
#pragma once

#include <vector>

#include "indexing/lattice.hpp"

namespace vornax::indexing {

// The free metric coefficients of each system's conventional cell; rhombohedral lattices
// are fitted on hexagonal axes.
enum class MetricModel { Cubic, Tetragonal, Hexagonal, Orthorhombic, Monoclinic, Triclinic };
int parameter_count(MetricModel m);
QMetric metric_of_parameters(MetricModel m, const double* p);
// The nearest coefficients of the model to a metric (averages of the tied terms).
void parameters_of_metric(MetricModel m, const QMetric& q, double* p);

// The measured lines, sorted by angle.
struct Lines {
  std::vector<double> two_theta;  // degrees
  std::vector<double> q;          // 4 sin²θ / λ²
  std::vector<double> slope;      // dQ / d(2θ), per degree
  double lambda = 0;
};
Lines make_lines(const std::vector<double>& two_theta, double lambda);

struct FitSettings {
  double tolerance = 0.05;  // degrees 2θ: a line farther from every reflection is unindexed
  double zero_range = 0;    // |zero| is kept within it; 0 fixes the zero
  double start_tolerance = 0;  // of the first assignment, for a rough start; 0: tolerance
};

// The zero is the offset of the measured scale: corrected 2θ = measured 2θ - zero.
struct Fit {
  QMetric metric;
  double zero = 0;
  std::vector<Hkl> hkl;       // per line
  std::vector<double> error;  // corrected minus calculated 2θ per line, degrees
  std::vector<bool> indexed;
  int indexed_count = 0;
  double mean_error = 0;  // mean |error| over the indexed lines, degrees
  bool ok = false;
};

// Assigns indices and refines `start` in the model with its centring, `cycles` times.
Fit refine_lattice(MetricModel model, Centring centring, const QMetric& start, double start_zero,
                   const Lines& lines, const FitSettings& settings, int cycles = 4);
// Assigns indices to every line under a fixed metric and zero.
Fit assign_indices(Centring centring, const QMetric& metric, double zero, const Lines& lines,
                   double tolerance);

// Over the first 20 lines (M) and all lines (F); an unindexed line counts with the
// tolerance as its error. Reflections of equal Q make one calculated line, and so do
// those closer than `merge` (degrees 2θ).
struct Merit {
  double m20 = 0;       // M(N) with N the first 20 lines, or all when fewer
  int m_lines = 0;      // its N
  double fn = 0;
  int n = 0;            // N of F(N)
  double fn_error = 0;  // mean |Δ2θ| of F(N), degrees
  int fn_possible = 0;  // calculated lines up to the Nth
};
Merit figures_of_merit(const Fit& fit, Centring centring, const Lines& lines, double tolerance,
                       double merge = 0);

}  // namespace vornax::indexing

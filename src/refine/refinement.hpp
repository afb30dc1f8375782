// The cell refinement: iterated linear least squares (Gauss-Newton with step
// damping) on the reciprocal cell, an angular shift and half the wavelength, so that
// calculated Bragg angles fit the measured ones. The problem is loaded from the echo
// file vornax.inp; the run writes the report vornax.out and the cycle trace mouchard.
//
// Inside the fit every angle is a Bragg angle θ in radians; the reciprocal angles are
// in radians too.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "core/refined_quantity.hpp"
#include "core/session.hpp"
#include "refine/least_squares.hpp"

namespace vornax {

// The eight parameter slots, in the order that fixes the design-matrix columns: the
// order of the refined quantities, each in the form the engine refines.
enum ParameterSlot : int {
  kSlotAStar = static_cast<int>(RefinedQuantity::A),              // a*, 1/Å
  kSlotBStar = static_cast<int>(RefinedQuantity::B),              // b*
  kSlotCStar = static_cast<int>(RefinedQuantity::C),              // c*
  kSlotAlphaStar = static_cast<int>(RefinedQuantity::Alpha),      // alpha*, radians
  kSlotBetaStar = static_cast<int>(RefinedQuantity::Beta),        // beta*
  kSlotGammaStar = static_cast<int>(RefinedQuantity::Gamma),      // gamma*
  kSlotShift = static_cast<int>(RefinedQuantity::Shift),          // angular shift, radians of θ
  kSlotHalfLambda = static_cast<int>(RefinedQuantity::Lambda),    // λ/2, Å
};
constexpr int kSlotCount = static_cast<int>(kRefinedQuantities);

// RefinementKey values. The shift slot also takes kKeyEccentricity: the shift is then
// refined as a sample eccentricity, entering as shift · cos θ_obs.
constexpr int kKeyFixed = 0;
constexpr int kKeyRefined = 1;
constexpr int kKeyEccentricity = 2;

constexpr int kMaxObservations = 500;
constexpr int kMaxCycles = 30;

// 2θ in degrees -> θ in radians, and back.
constexpr double kTwoThetaDegToThetaRad = 0.0087266462619641993;
constexpr double kThetaRadToTwoThetaDeg = 114.591559;

struct RefinementObservation {
  int h = 0, k = 0, l = 0;
  double theta_obs = 0;   // measured θ, radians
  double theta_calc = 0;  // calculated θ, radians, shift included
  // Weight of the observation in the sums: 1/σ² with σ in radians of θ under fitted
  // weighting, 1 otherwise. A weight of 1 multiplies exactly, so unit weights give the
  // unweighted fit bit for bit.
  double weight = 1;
};

// How the observations are weighted: all alike, or by 1/σ² of their fitted positions.
enum class WeightMode { Unit, Fitted };

// Smallest σ (degrees 2θ) a fitted weight is made from: a peak fitted too perfectly
// must not outweigh every other or give absurdly small errors.
constexpr double kDefaultSigmaFloor = 0.001;

struct RefinementProblem {
  std::string title;   // first line of vornax.inp
  std::string system;  // crystal system code
  CellParameters direct;              // Å, degrees
  std::array<double, 6> reciprocal{}; // a*, b*, c* (1/Å), alpha*, beta*, gamma* (radians)
  double volume = 0;                  // Å³, set by the conversions

  std::array<double, kSlotCount> P{};  // ParameterSlot values
  std::array<int, kSlotCount> K{};     // RefinementKey of each slot
  std::array<double, kSlotCount> x{};  // refined values, in slot order of the non-zero keys
  int npar = 0;

  std::vector<RefinementObservation> obs;         // N = obs.size()
  std::vector<std::array<double, kSlotCount>> D;  // design matrix, N x npar
  std::array<double, kSlotCount> r{};             // right-hand side
  NormalMatrix M{};                               // normal matrix, then its inverse

  std::array<double, kSlotCount> S{};  // standard error of each slot
  // Standard errors of a, b, c (Å), alpha, beta, gamma (degrees), shift (radians of θ),
  // half wavelength (Å).
  std::array<double, kSlotCount> E{};
  double residual = 0;  // radians of θ, unweighted
  WeightMode weighting = WeightMode::Unit;
  double sigma_floor = 0;      // degrees 2θ, under fitted weighting
  // sqrt(Σ w·Δ² / (N − npar)): with fitted weights about 1 when the σ describe the
  // scatter; with unit weights it equals the residual.
  double goodness_of_fit = 0;
  int cycles = 0;       // cycles run in the current call of the cycle loop
  int max_cycles = kMaxCycles;

  int count() const { return static_cast<int>(obs.size()); }
};

// What a run hands back to its caller.
struct RefinementRun {
  bool failed = false;       // the normal matrix was singular
  bool converged = false;    // the residual stopped decreasing (not merely 30 cycles)
  bool diverging = false;    // stopped on a correlation above 2
  bool wavelength_stage = false;  // a wavelength-only fit ran first
  double initial_volume = 0, final_volume = 0, volume_error = 0;
  double lambda_error = 0;    // of the half wavelength, as the report prints it (x2)
  RefinementProblem problem;  // the engine's own values at the end of the run
};

// Reads vornax.inp; converts the shift (2θ degrees -> θ radians), halves the
// wavelength and converts every measured 2θ; stops at the first zero angle or at the
// end. Throws FileError when the file cannot be read or a line does not hold its numbers.
RefinementProblem load_refinement_problem(const std::filesystem::path& inp);
// The same from the lines of the echo text already in memory; `inp` names it in errors.
RefinementProblem load_refinement_problem(const std::vector<std::string>& lines,
                                          const std::filesystem::path& inp);

// Direct cell -> reciprocal cell (radians) and volume, and back, on the problem.
void direct_to_reciprocal(RefinementProblem& p);
void reciprocal_to_direct(RefinementProblem& p);

// x from the keys: the slots with a non-zero key, in slot order; sets npar.
void build_refined_vector(RefinementProblem& p);

// Copies tied reciprocal parameters per crystal system (cubic, rhombohedral: b* = c* =
// a*, beta* = gamma* = alpha*; hexagonal, tetragonal: b* = a*, beta* = alpha*).
void apply_system_ties(RefinementProblem& p);

// θ_calc of every observation from the current slots (ties applied first).
// `messages` receives "nb de cycles : " for a reflection with 1/d² below 1e-7.
void compute_calculated_angles(RefinementProblem& p, Messages& messages);

// Design matrix D and right-hand side r. A refined slot's column is the derivative of
// θ_calc through the system ties, so that the fixed point of the cycles is the
// least-squares solution of the tied problem; a slot that a tie overwrites has no
// effect on θ_calc and gets a zero column.
void compute_design_matrix(RefinementProblem& p);

// sqrt(sum (θ_obs - θ_calc)² / (N - npar)), radians.
double residual_of(const RefinementProblem& p);

// sqrt(sum w·(θ_obs - θ_calc)² / (N - npar)): the quantity the cycles minimise.
double weighted_residual_of(const RefinementProblem& p);

// Fitted weights: observation i gets 1/σ² from sigma[i] (degrees 2θ, raised to `floor`),
// converted to radians of θ; the problem's weighting becomes Fitted. Returns how many
// of the observations' σ are missing (0, not finite, or beyond `sigma`); then the
// problem is left as it was.
int apply_fitted_weights(RefinementProblem& p, const std::vector<double>& sigma,
                         double floor = kDefaultSigmaFloor);

// The floor as the reports print it: the shortest decimal text ("0.001").
std::string sigma_floor_text(double floor);

// The line the report gains under fitted weighting.
std::string weighting_report_line(const RefinementProblem& p);

// The cycle loop; rewrites the trace file (empty path: no trace). `singular`: the
// normal matrix was singular ("Singular Matrix" shown).
struct CycleOutcome {
  bool singular = false;
  bool converged = false;
  bool diverging = false;
};
CycleOutcome refine_cycles(RefinementProblem& p, const std::filesystem::path& trace,
                           Messages& messages);

// First stage of a wavelength refinement: the half wavelength alone, every other key
// held at 0, then the keys restored with the wavelength fixed at its refined value.
// Returns the cycle outcome of the wavelength fit and, in `lambda_error`, the standard
// error of the half wavelength it gave.
CycleOutcome refine_wavelength_alone(RefinementProblem& p, const std::filesystem::path& trace,
                                     Messages& messages, double& lambda_error);

// S, E, the residual and the goodness of fit from the last inverse in p.M: the
// standard errors are sqrt(diag(M⁻¹)·GoF²), the direct cell's carried through the
// whole covariance.
void compute_errors(RefinementProblem& p);

// Standard error of the volume (quadratic sum) from the direct cell and E.
double compute_volume_error(const RefinementProblem& p);

// The whole run: load `folder`/vornax.inp, refine, write `folder`/vornax.out and
// `folder`/mouchard. With the wavelength alone keyed there is no second stage, so the
// trace stays that of the wavelength fit. Throws FileError on input/output failures.
RefinementRun run_refinement(const std::filesystem::path& folder, Messages& messages);

// The same on a problem already loaded (the files still go to `folder`; an empty
// `folder` writes neither the report nor the trace).
RefinementRun run_refinement(RefinementProblem problem, const std::filesystem::path& folder,
                             Messages& messages);

}  // namespace vornax

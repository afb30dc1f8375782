// How good an indexing is, and which pair spoils it: de Wolff's M20, Smith and
// Snyder's F(N), and, for each refined pair, its leverage and what leaving it out
// would do to the refined parameters.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "refine/refinement.hpp"

namespace vornax {

// One observed line, in increasing 2θ. `two_theta_calc` is the refined calculated
// position of the reflection it was paired with; none for a line left unindexed.
struct ObservedLine {
  double two_theta = 0;  // degrees, corrected by the refined shift
  std::optional<double> two_theta_calc;
};

struct FiguresOfMerit {
  bool valid = false;          // at least one indexed line and one possible line
  // M20 = Q20 / (2 ε̄ N20), Q = 1/d² (Å⁻²), ε̄ the mean |Q_obs − Q_calc| of the
  // indexed lines among the first 20, N20 the distinct calculated Q up to Q20 (or up
  // to the calculated Q of an indexed line when that lies higher). With fewer than 20
  // observed lines it is M(N) over all of them.
  int m_lines = 0;             // observed lines used (20, or all when fewer)
  double m20 = 0;
  double mean_abs_delta_q = 0;
  int possible_lines_m = 0;    // N20
  int x20 = 0;                 // unindexed among the m_lines
  // F(N) = N / (mean |Δ2θ| · Nposs) over the first N observed lines; Nposs counts the
  // distinct positions up to the Nth line, or up to the calculated position of an
  // indexed line when that lies higher.
  int f_lines = 0;             // N
  double f_n = 0;
  double mean_abs_delta_two_theta = 0;  // degrees
  int possible_lines_f = 0;             // Nposs
  // Why the figures could not be computed (empty when valid).
  std::string note;
};

// Most lines F(N) uses (the customary F30).
constexpr int kFigureOfMeritMaxLines = 30;
constexpr int kM20Lines = 20;

// From the observed lines (sorted by 2θ) and every calculated position the cell and
// group allow (any order; coincident positions count once), at wavelength `lambda`.
// A figure whose mean discrepancy is 0 (a perfect fit) is left at 0 with valid set.
FiguresOfMerit compute_figures_of_merit(const std::vector<ObservedLine>& lines,
                                        const std::vector<double>& possible_two_theta,
                                        double lambda);

// Influence of one pair on the least-squares solution.
struct PairDiagnostic {
  double leverage = 0;  // diagonal of the hat matrix D (DᵀD)⁻¹ Dᵀ
  // Change of each refined slot (slot order, first npar used) when this pair alone is
  // left out, in standard errors of the full fit: positive = the value would grow.
  std::array<double, kSlotCount> deletion_shift{};
  // Residual in standard deviations (weighted by sqrt(w) under fitted weights), with
  // the σ of the fit without this pair
  // (externally studentised): a wrong pair cannot hide by inflating σ.
  double residual_in_sigma = 0;
  bool flagged = false;
};

struct RefinementDiagnostics {
  bool available = false;     // false: too few pairs or a singular normal matrix
  std::vector<int> refined_slots;  // the refined slots, in column order
  std::vector<PairDiagnostic> pairs;  // in the order of problem.obs
};

// Pairs whose deletion moves a parameter by more than this many standard errors, or
// whose residual exceeds kResidualFlag standard deviations, are flagged.
constexpr double kDeletionFlag = 2.0;
constexpr double kResidualFlag = 3.0;

// On the problem as a run left it (final slots and keys): the design matrix at the
// solution, its normal matrix and hat matrix, and the exact leave-one-out update of
// the linearised problem.
RefinementDiagnostics deletion_diagnostics(const RefinementProblem& problem);

// Both, for the session after a successful refinement: the measured peaks as observed
// lines (a peak is indexed when a pair holds its 2θ), the calculated reflections
// repositioned with the refined cell and wavelength as the possible lines.
struct RefinementQuality {
  FiguresOfMerit figures;
  RefinementDiagnostics diagnostics;
};
RefinementQuality refinement_quality(const WorkSession& s, const RefinementProblem& problem);

// Text lines of both: "M20 …", "F(N) …", then one line per pair (h k l, leverage,
// residual and largest deletion shift in σ, "*" when flagged) and the flagged pairs.
std::vector<std::string> quality_lines(const RefinementQuality& q, const RefinementProblem& problem);

}  // namespace vornax

#include "refine/refinement.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "core/cell.hpp"
#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "refine/report.hpp"

namespace vornax {

namespace {

constexpr double kVolumeDegToRad = 0.0174533167;  // 1/57.2957, as the volume error has it

// Which slot a tie copies into each reciprocal slot (itself when it is free).
const std::array<int, 6>& tie_masters(const std::string& system) {
  return crystal_system(system).tie_to;
}

FileError input_error(const std::filesystem::path& inp, int line) {
  return FileError("Read error in " + inp.filename().string() + ", line " + std::to_string(line));
}

int key_of(double v) { return static_cast<int>(std::lround(v)); }

// The slot of the i-th refined value.
std::array<int, kSlotCount> refined_slots(const RefinementProblem& p) {
  std::array<int, kSlotCount> slots{};
  int n = 0;
  for (int s = 0; s < kSlotCount; ++s)
    if (p.K[s] != kKeyFixed) slots[n++] = s;
  return slots;
}

// The reciprocal cell as the observation equation uses it.
struct ReciprocalTerms {
  double as, bs, cs, ca, cb, cg;
  explicit ReciprocalTerms(const std::array<double, 6>& r)
      : as(r[0]), bs(r[1]), cs(r[2]), ca(std::cos(r[3])), cb(std::cos(r[4])), cg(std::cos(r[5])) {}
  // 1/d²
  double q(double h, double k, double l) const {
    return h * h * as * as + k * k * bs * bs + l * l * cs * cs +
           2 * (h * k * as * bs * cg + k * l * bs * cs * ca + l * h * cs * as * cb);
  }
};

double sum_of_squares(const RefinementProblem& p) {
  double sum = 0;
  for (const auto& o : p.obs) sum += (o.theta_obs - o.theta_calc) * (o.theta_obs - o.theta_calc);
  return sum;
}

// Σ w·Δ²; the weight multiplies first so that a weight of 1 leaves each term exact.
double weighted_sum_of_squares(const RefinementProblem& p) {
  double sum = 0;
  for (const auto& o : p.obs) {
    const double diff = o.theta_obs - o.theta_calc;
    sum += o.weight * diff * diff;
  }
  return sum;
}

// DᵀWD into p.M (leading npar block, the rest zero).
void form_normal_matrix(RefinementProblem& p) {
  const int n = p.npar;
  p.M = {};
  for (int j = 0; j < n; ++j)
    for (int k = j; k < n; ++k) {
      double sum = 0;
      for (size_t i = 0; i < p.D.size(); ++i) sum += p.obs[i].weight * p.D[i][j] * p.D[i][k];
      p.M[j][k] = p.M[k][j] = sum;
    }
}

// sum / (N - npar), the divisor kept at 1 or more for a problem not checked by the caller.
double per_degree_of_freedom(const RefinementProblem& p, double sum) {
  const int dof = p.count() - p.npar;
  return sum / (dof > 0 ? dof : 1);
}

// Trace of the cycles in the program's own (French) words. Lines gather in memory and
// reach the disk when the loop ends, whichever way it ends.
struct Trace {
  bool on = false;
  std::filesystem::path path;
  TextFile file;
  void add(std::string line) {
    if (on) file.add(std::move(line));
  }
  void save() {
    if (on) file.save(path);
  }
};

void trace_matrix(Trace& t, const NormalMatrix& m, int n) {
  if (!t.on) return;
  for (int i = 0; i < n; ++i) {
    std::string line;
    for (int j = 0; j < n; ++j) line += format_fixed(m[i][j], 10, 5);
    t.add(std::move(line));
  }
}

}  // namespace

RefinementProblem load_refinement_problem(const std::filesystem::path& inp) {
  return load_refinement_problem(read_text_lines(inp), inp);
}

RefinementProblem load_refinement_problem(const std::vector<std::string>& lines,
                                          const std::filesystem::path& inp) {
  RefinementProblem p;
  if (lines.size() < 10) throw input_error(inp, static_cast<int>(lines.size()) + 1);
  p.title = lines[0];
  p.system = to_upper(trim(lines[1]));
  double* cell_values[6] = {&p.direct.a,     &p.direct.b,    &p.direct.c,
                            &p.direct.alpha, &p.direct.beta, &p.direct.gamma};
  const int cell_slots[6] = {kSlotAStar,     kSlotBStar,    kSlotCStar,
                             kSlotAlphaStar, kSlotBetaStar, kSlotGammaStar};
  for (int i = 0; i < 6; ++i) {
    auto v = split_numbers(lines[2 + i]);
    if (v.size() < 2) throw input_error(inp, 3 + i);
    *cell_values[i] = v[0];
    p.K[cell_slots[i]] = key_of(v[1]);
  }
  auto shift = split_numbers(lines[8]);
  if (shift.size() < 2) throw input_error(inp, 9);
  p.P[kSlotShift] = shift[0] * kTwoThetaDegToThetaRad;
  p.K[kSlotShift] = key_of(shift[1]);
  auto lambda = split_numbers(lines[9]);
  if (lambda.size() < 2) throw input_error(inp, 10);
  p.P[kSlotHalfLambda] = lambda[0] / 2.0;
  p.K[kSlotHalfLambda] = key_of(lambda[1]);

  for (size_t i = 10; i < lines.size() && p.obs.size() < kMaxObservations; ++i) {
    auto v = split_numbers(lines[i]);
    if (v.size() < 4 || v[3] == 0.0) break;
    RefinementObservation o;
    o.h = key_of(v[0]);
    o.k = key_of(v[1]);
    o.l = key_of(v[2]);
    o.theta_obs = v[3] * kTwoThetaDegToThetaRad;
    p.obs.push_back(o);
  }
  return p;
}

void direct_to_reciprocal(RefinementProblem& p) {
  const CellParameters& c = p.direct;
  const double ca = std::cos(c.alpha * kDegToRad), cb = std::cos(c.beta * kDegToRad),
               cg = std::cos(c.gamma * kDegToRad);
  const double sa = std::sin(c.alpha * kDegToRad), sb = std::sin(c.beta * kDegToRad),
               sg = std::sin(c.gamma * kDegToRad);
  p.volume = c.a * c.b * c.c * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
  p.reciprocal[0] = c.b * c.c * sa / p.volume;
  p.reciprocal[1] = c.c * c.a * sb / p.volume;
  p.reciprocal[2] = c.a * c.b * sg / p.volume;
  p.reciprocal[3] = arc_cos((cb * cg - ca) / (sb * sg));
  p.reciprocal[4] = arc_cos((cg * ca - cb) / (sg * sa));
  p.reciprocal[5] = arc_cos((ca * cb - cg) / (sa * sb));
}

void reciprocal_to_direct(RefinementProblem& p) {
  const auto& r = p.reciprocal;
  const double ca = std::cos(r[3]), cb = std::cos(r[4]), cg = std::cos(r[5]);
  const double sa = std::sin(r[3]), sb = std::sin(r[4]), sg = std::sin(r[5]);
  const double root = std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
  p.direct.a = sa / (r[0] * root);
  p.direct.b = sb / (r[1] * root);
  p.direct.c = sg / (r[2] * root);
  const double cal = (cb * cg - ca) / (sb * sg);
  const double cbe = (cg * ca - cb) / (sg * sa);
  const double cga = (ca * cb - cg) / (sa * sb);
  p.direct.alpha = arc_cos(cal) * kRadToDeg;
  p.direct.beta = arc_cos(cbe) * kRadToDeg;
  p.direct.gamma = arc_cos(cga) * kRadToDeg;
  p.volume = p.direct.a * p.direct.b * p.direct.c *
             std::sqrt(1 - cal * cal - cbe * cbe - cga * cga + 2 * cal * cbe * cga);
}

void build_refined_vector(RefinementProblem& p) {
  p.npar = 0;
  p.x = {};
  for (int s = 0; s < kSlotCount; ++s)
    if (p.K[s] != kKeyFixed) p.x[p.npar++] = p.P[s];
}

void apply_system_ties(RefinementProblem& p) {
  const auto masters = tie_masters(p.system);
  for (int i = 0; i < 6; ++i) p.reciprocal[i] = p.reciprocal[masters[i]];
}

void compute_calculated_angles(RefinementProblem& p, Messages& messages) {
  apply_system_ties(p);
  const ReciprocalTerms t(p.reciprocal);
  const double half_lambda = p.P[kSlotHalfLambda];
  const bool eccentricity = p.K[kSlotShift] == kKeyEccentricity;
  for (auto& o : p.obs) {
    const double Q = t.q(o.h, o.k, o.l);
    if (Q < 1e-7) show_message(messages, "nb de cycles : " + std::to_string(p.cycles));
    const double d = 1.0 / std::sqrt(Q);
    const double theta_b = arc_sin(half_lambda / d);
    o.theta_calc = theta_b + p.P[kSlotShift] * (eccentricity ? std::cos(o.theta_obs) : 1.0);
  }
}

void compute_design_matrix(RefinementProblem& p) {
  const auto masters = tie_masters(p.system);
  const auto slots = refined_slots(p);
  const auto& r = p.reciprocal;
  const ReciprocalTerms t(r);
  const double as = t.as, bs = t.bs, cs = t.cs, ca = t.ca, cb = t.cb, cg = t.cg;
  const double sa = std::sin(r[3]), sb = std::sin(r[4]), sg = std::sin(r[5]);
  const double lp = p.P[kSlotHalfLambda];
  const bool eccentricity = p.K[kSlotShift] == kKeyEccentricity;

  p.D.assign(p.obs.size(), {});
  p.r = {};
  for (size_t i = 0; i < p.obs.size(); ++i) {
    const auto& o = p.obs[i];
    const double h = o.h, k = o.k, l = o.l;
    const double Q = t.q(h, k, l);
    const double d = 1.0 / std::sqrt(Q);
    const double cos_b = std::sqrt(1.0 - Q * lp * lp);
    const double U = d * lp / cos_b;
    // Partial derivatives of θ_calc with respect to each slot alone.
    std::array<double, kSlotCount> part{};
    part[kSlotAStar] = h * U * (h * as + k * bs * cg + l * cs * cb);
    part[kSlotBStar] = k * U * (k * bs + l * cs * ca + h * as * cg);
    part[kSlotCStar] = l * U * (l * cs + h * as * cb + k * bs * ca);
    part[kSlotAlphaStar] = -U * k * l * bs * cs * sa;
    part[kSlotBetaStar] = -U * l * h * cs * as * sb;
    part[kSlotGammaStar] = -U * h * k * as * bs * sg;
    part[kSlotShift] = eccentricity ? std::cos(o.theta_obs) : 1.0;
    part[kSlotHalfLambda] = 1.0 / (d * cos_b);
    // Chain rule through the ties: a tied slot follows its master, so the master's
    // column gathers the partials of every slot tied to it. With the master's partial
    // alone the cycles would settle away from the least-squares minimum.
    std::array<double, kSlotCount> total = part;
    for (int s = 0; s < 6; ++s) total[s] = 0.0;
    for (int s = 0; s < 6; ++s) total[masters[s]] += part[s];

    const double weighted_diff = o.weight * (o.theta_obs - o.theta_calc);
    for (int j = 0; j < p.npar; ++j) {
      p.D[i][j] = total[slots[j]];
      p.r[j] += weighted_diff * p.D[i][j];
    }
  }
}

double residual_of(const RefinementProblem& p) {
  return std::sqrt(per_degree_of_freedom(p, sum_of_squares(p)));
}

double weighted_residual_of(const RefinementProblem& p) {
  return std::sqrt(per_degree_of_freedom(p, weighted_sum_of_squares(p)));
}

int apply_fitted_weights(RefinementProblem& p, const std::vector<double>& sigma, double floor) {
  int missing = 0;
  for (size_t i = 0; i < p.obs.size(); ++i)
    if (i >= sigma.size() || !(sigma[i] > 0) || !std::isfinite(sigma[i])) ++missing;
  if (missing > 0) return missing;
  for (size_t i = 0; i < p.obs.size(); ++i) {
    const double s = std::max(sigma[i], floor) * kTwoThetaDegToThetaRad;
    p.obs[i].weight = 1.0 / (s * s);
  }
  p.weighting = WeightMode::Fitted;
  p.sigma_floor = floor;
  return 0;
}

std::string sigma_floor_text(double floor) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, floor);
  return std::string(buf, res.ptr);
}

std::string weighting_report_line(const RefinementProblem& p) {
  return "Weights 1/sigma**2 of the fitted positions (sigma floor " +
         sigma_floor_text(p.sigma_floor) + "° 2Th), goodness of fit : " +
         format_fixed(p.goodness_of_fit, 0, 4);
}

CycleOutcome refine_cycles(RefinementProblem& p, const std::filesystem::path& trace_path,
                           Messages& messages) {
  CycleOutcome out;
  Trace trace{!trace_path.empty(), trace_path, {}};
  p.cycles = 0;
  if (p.npar == 0) {
    compute_calculated_angles(p, messages);
    trace.save();
    return out;
  }
  const auto slots = refined_slots(p);
  double f = 1.0;
  double s_prev = 0.0;
  const int n = p.npar;

  for (int cycle = 1; cycle <= p.max_cycles; ++cycle) {
    const auto saved_x = p.x;
    const auto saved_P = p.P;
    const auto saved_rec = p.reciprocal;

    compute_calculated_angles(p, messages);
    compute_design_matrix(p);
    ++p.cycles;
    trace.add("Cycle Nb " + std::to_string(cycle));
    if (trace.on) {
      trace.add("Matrice Q des équations normales");
      for (const auto& row : p.D) {
        std::string line;
        for (int j = 0; j < n; ++j) line += format_fixed(row[j], 10, 5);
        trace.add(std::move(line));
      }
      trace.add("");
    }

    form_normal_matrix(p);
    trace.add("Matrice Q*Qt");
    trace_matrix(trace, p.M, n);
    trace.add("");

    if (invert_normal_matrix(p.M, n)) {
      trace.add("Matrice singulière");
      trace.save();
      show_message(messages, "Singular Matrix");
      out.singular = true;
      return out;
    }
    trace.add("Matrice inverse de Q*Qt");
    trace_matrix(trace, p.M, n);
    trace.add("");

    // Correlations. A diagonal product that is not positive cannot come from a sound
    // inverse; it stops the refinement like a correlation above 2.
    trace.add("Matrice de covariance");
    bool stop = false;
    for (int j = 0; j < n && !stop; ++j) {
      std::string line;
      for (int k = 0; k < n; ++k) {
        const double prod = p.M[j][j] * p.M[k][k];
        const double c = p.M[j][k] / std::sqrt(std::fabs(prod));
        line += format_fixed(c, 10, 5);
        if (j != k && (!(prod > 0.0) || !(std::fabs(c) <= 2.0))) {
          stop = true;
          break;
        }
      }
      trace.add(std::move(line));
    }
    if (stop) {
      trace.save();
      show_message(messages, n >= 2 && p.K[kSlotShift] > 0
                                 ? "Refinement cannot converge, Refine zero shift alone"
                                 : "Refinement cannot converge");
      out.diverging = true;
      return out;
    }
    trace.add("");

    trace.add("Nouveaux paramètres");
    trace.add(" No      1         2          1-2");
    for (int j = 0; j < n; ++j) {
      double delta = 0;
      for (int k = 0; k < n; ++k) delta += p.M[j][k] * p.r[k];
      const double old = p.x[j];
      p.x[j] = old + f * delta;
      trace.add(format_int(j + 1, 4) + format_fixed(old, 10, 6) + format_fixed(p.x[j], 10, 6) +
                format_fixed(old - p.x[j], 12, 7));
    }
    trace.add("");

    for (int j = 0; j < n; ++j) p.P[slots[j]] = p.x[j];
    for (int i = 0; i < 6; ++i) p.reciprocal[i] = p.P[i];
    compute_calculated_angles(p, messages);
    const double s_c = weighted_residual_of(p);

    if (cycle >= 2) {
      // A step that does not lower the residual (or makes it meaningless) is undone
      // and the next one shortened.
      if (!(s_c < s_prev)) {
        p.x = saved_x;
        p.P = saved_P;
        p.reciprocal = saved_rec;
        f *= 0.7;
        continue;
      }
      if ((s_prev - s_c) / std::fabs(s_prev) <= 1e-5) {
        out.converged = true;
        break;
      }
    }
    s_prev = s_c;
  }
  trace.save();
  return out;
}

CycleOutcome refine_wavelength_alone(RefinementProblem& p, const std::filesystem::path& trace,
                                     Messages& messages, double& lambda_error) {
  const auto keys = p.K;
  for (int s = 0; s < kSlotHalfLambda; ++s) p.K[s] = kKeyFixed;
  p.K[kSlotHalfLambda] = kKeyRefined;
  build_refined_vector(p);
  const CycleOutcome out = refine_cycles(p, trace, messages);
  lambda_error = 0;
  if (!out.singular) {
    compute_calculated_angles(p, messages);
    compute_errors(p);
    lambda_error = p.S[kSlotHalfLambda];
  }
  p.K = keys;
  p.K[kSlotHalfLambda] = kKeyFixed;
  build_refined_vector(p);
  return out;
}

namespace {

// The direct cell (Å, degrees) and the volume of a reciprocal cell (radians).
std::array<double, 7> direct_quantities(const std::array<double, 6>& reciprocal) {
  RefinementProblem q;
  q.reciprocal = reciprocal;
  reciprocal_to_direct(q);
  const CellParameters& c = q.direct;
  return {c.a, c.b, c.c, c.alpha, c.beta, c.gamma, q.volume};
}

// Derivatives of the direct cell and the volume with respect to each refined
// parameter, through the system ties: moving a refined reciprocal parameter moves every
// parameter tied to it (central differences). Columns of the shift and the wavelength
// are zero: the cell does not depend on them.
std::array<std::array<double, kSlotCount>, 7> direct_jacobian(const RefinementProblem& p) {
  std::array<std::array<double, kSlotCount>, 7> J{};
  const auto masters = tie_masters(p.system);
  const auto slots = refined_slots(p);
  for (int k = 0; k < p.npar; ++k) {
    const int slot = slots[k];
    if (slot >= 6) continue;
    const double h = 1e-6 * std::max(std::fabs(p.reciprocal[slot]), 1e-3);
    auto up = p.reciprocal, down = p.reciprocal;
    for (int t = 0; t < 6; ++t)
      if (masters[t] == slot) {
        up[t] += h;
        down[t] -= h;
      }
    const auto a = direct_quantities(up), b = direct_quantities(down);
    for (int i = 0; i < 7; ++i) J[i][k] = (a[i] - b[i]) / (2 * h);
  }
  return J;
}

// Standard error of direct quantity i (0..5 the cell, 6 the volume): the covariance of
// the refined parameters (s² times the inverse normal matrix) carried through J.
double propagated_error(const RefinementProblem& p,
                        const std::array<std::array<double, kSlotCount>, 7>& J, int i) {
  // Unit weights keep the residual's own square, as the errors have always been scaled.
  const double s = p.weighting == WeightMode::Unit ? p.residual : p.goodness_of_fit;
  const double s2 = s * s;
  double var = 0;
  for (int k = 0; k < p.npar; ++k)
    for (int l = 0; l < p.npar; ++l) var += J[i][k] * p.M[k][l] * J[i][l];
  return std::sqrt(std::fabs(s2 * var));
}

}  // namespace

void compute_errors(RefinementProblem& p) {
  const double s2 = per_degree_of_freedom(p, weighted_sum_of_squares(p));
  p.goodness_of_fit = std::sqrt(s2);
  p.residual = p.weighting == WeightMode::Unit ? p.goodness_of_fit
                                               : std::sqrt(per_degree_of_freedom(p, sum_of_squares(p)));

  p.S = {};
  const auto slots = refined_slots(p);
  for (int i = 0; i < p.npar; ++i) p.S[slots[i]] = std::sqrt(s2 * std::fabs(p.M[i][i]));

  // The cell's errors carry the whole covariance through the ties: in a rhombohedral
  // cell alpha depends on the one refined alpha* through all three reciprocal angles.
  p.E = {};
  apply_system_ties(p);
  const auto J = direct_jacobian(p);
  for (int i = 0; i < 6; ++i)
    if (p.K[i] > 0) p.E[i] = propagated_error(p, J, i);
  if (p.K[kSlotShift] > 0) p.E[kSlotShift] = p.S[kSlotShift];
  if (p.K[kSlotHalfLambda] > 0) p.E[kSlotHalfLambda] = p.S[kSlotHalfLambda];
}

double compute_volume_error(const RefinementProblem& p) {
  return propagated_error(p, direct_jacobian(p), 6);
}

RefinementRun run_refinement(const std::filesystem::path& folder, Messages& messages) {
  return run_refinement(load_refinement_problem(folder / kRefineInputFile), folder, messages);
}

RefinementRun run_refinement(RefinementProblem problem, const std::filesystem::path& folder,
                             Messages& messages) {
  RefinementRun run;
  RefinementProblem& p = run.problem;
  p = std::move(problem);
  p.S = {};
  p.E = {};
  p.max_cycles = kMaxCycles;
  p.cycles = 0;

  direct_to_reciprocal(p);
  for (int i = 0; i < 6; ++i) p.P[i] = p.reciprocal[i];
  build_refined_vector(p);
  run.initial_volume = p.volume;

  TextFile report;
  report_initial_part(report, p, report_time_stamp());
  compute_calculated_angles(p, messages);
  report_observation_table(report, p);

  const bool files = !folder.empty();
  const auto trace = files ? folder / kRefineTraceFile : std::filesystem::path();
  const bool wavelength = p.K[kSlotHalfLambda] == kKeyRefined;
  double lambda_error = 0;
  CycleOutcome out;
  if (wavelength) {
    run.wavelength_stage = true;
    out = refine_wavelength_alone(p, trace, messages, lambda_error);
    if (out.singular) {
      run.failed = true;
      if (files) report.save(folder / kRefineReportFile);
      return run;
    }
  }
  // Refining the wavelength alone leaves nothing for the second stage; its empty
  // trace would replace that of the wavelength fit.
  if (!wavelength || p.npar > 0) out = refine_cycles(p, trace, messages);
  run.converged = out.converged;
  run.diverging = out.diverging;
  if (out.singular) {
    run.failed = true;
    if (files) report.save(folder / kRefineReportFile);
    return run;
  }
  apply_system_ties(p);
  reciprocal_to_direct(p);
  // The angles of the parameters kept (a rejected last step leaves them stale).
  compute_calculated_angles(p, messages);
  compute_errors(p);
  run.final_volume = p.volume;
  run.volume_error = compute_volume_error(p);
  run.lambda_error = lambda_error != 0 ? lambda_error : p.E[kSlotHalfLambda];
  report_final_part(report, p, wavelength, run.lambda_error, run.volume_error);
  if (p.weighting == WeightMode::Fitted) report.add(weighting_report_line(p));
  if (files) report.save(folder / kRefineReportFile);
  return run;
}

}  // namespace vornax

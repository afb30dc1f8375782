#include "profile/peak_fit.hpp"

#include <Eigen/Cholesky>
#include <Eigen/Core>
#include <unsupported/Eigen/LevenbergMarquardt>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "profile/classification.hpp"
#include "profile/peak_search.hpp"
#include "profile/search_settings.hpp"

namespace vornax {

namespace {

constexpr double kRad = std::numbers::pi / 180;
constexpr double kLn2 = std::numbers::ln2;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A chain of overlapping windows longer than this is cut into several groups: the
// least-squares cost grows with the square of the parameters, and lines this far apart
// hardly share points.
constexpr int kMaxGroupLines = 12;
// Points beyond the parameter count, so that χ² has degrees of freedom to speak of.
constexpr long kMinSpareDegreesOfFreedom = 3;
constexpr double kGaussianReach = 60;  // u² = (2·Δ/FWHM)² beyond which exp is 0
// Used when nothing tells the width: a laboratory pattern's typical line.
constexpr double kFallbackFwhm = 0.1;

// The Kα doublet of the wavelength set: on when the set has a Kα2 line longer than
// Kα1 and a ratio above 0.
struct Doublet {
  bool on = false;
  double lambda_ratio = 1;  // λ2 / λ1
  double height_ratio = 0;
};

}  // namespace

bool has_kalpha2(const WavelengthSet& w) {
  return w.lambda1 > 0 && w.lambda2 > w.lambda1 && w.ratio > 0 && std::isfinite(w.lambda2) &&
         std::isfinite(w.ratio);
}

namespace {

Doublet doublet_of(const WavelengthSet& w) {
  Doublet d;
  if (has_kalpha2(w)) {
    d.on = true;
    d.lambda_ratio = w.lambda2 / w.lambda1;
    d.height_ratio = w.ratio;
  }
  return d;
}

// 2θ of the Kα2 line whose Kα1 lies at two_theta (NaN when none exists), and its
// derivative with respect to the Kα1 angle.
double alpha2_angle(double two_theta, double lambda_ratio) {
  const double s = lambda_ratio * std::sin(two_theta / 2 * kRad);
  if (!(std::fabs(s) < 1)) return kNaN;
  return 2 * std::asin(s) / kRad;
}

double alpha2_slope(double two_theta, double alpha2, double lambda_ratio) {
  return lambda_ratio * std::cos(two_theta / 2 * kRad) / std::cos(alpha2 / 2 * kRad);
}

// One line of a group's model.
struct ModelLine {
  double start = 0;       // starting Kα1 (or single-line) position; the parameter is the shift
  bool doublet = false;
};

// The model of one group on its window: a linear background around the window's
// centre, then per line a pseudo-Voigt (split: own width on each side of the maximum)
// plus, for a doublet, its Kα2 copy. Width and mixing are shared by the group's lines:
// lines whose windows overlap lie within a few widths of each other, where the width
// hardly changes, and sharing keeps small overlapping lines from trading widths.
//
// Parameters: 0 b0, 1 b1, 2 width (left), [3 right width when split], then η unless
// fixed, then per line its position shift and its height.
struct GroupModel {
  const double* x = nullptr;
  const double* y = nullptr;
  const double* s = nullptr;  // 1 / standard deviation of each point
  long m = 0;
  double centre = 0;
  std::array<ModelLine, kMaxGroupLines> lines{};
  int line_count = 0;
  bool split = false;
  bool eta_free = true;
  double eta_fixed = 0;
  double lambda_ratio = 1, height_ratio = 0;

  int right_width_index() const { return split ? 3 : 2; }
  int eta_index() const { return split ? 4 : 3; }
  int first_line_index() const { return (split ? 4 : 3) + (eta_free ? 1 : 0); }
  int parameter_count() const { return first_line_index() + 2 * line_count; }

  // The model on the window's points into f and, when jac is given, its derivatives
  // (unweighted). One component (a line, or its Kα2 copy) at a time, so that every
  // loop runs down contiguous columns.
  template <typename P, typename J>
  void model(const P& q, double* f, J* jac) const {
    const double b0 = q[0], b1 = q[1];
    const double width_l = q[2], width_r = q[right_width_index()];
    const double eta = eta_free ? q[eta_index()] : eta_fixed;
    const int first = first_line_index();
    const double* xs = x;
    const long count = m;
    for (long i = 0; i < count; ++i) f[i] = b0 + b1 * (xs[i] - centre);
    double *d_wl = nullptr, *d_wr = nullptr, *d_eta = nullptr;
    if (jac) {
      jac->setZero();
      for (long i = 0; i < count; ++i) (*jac)(i, 0) = 1, (*jac)(i, 1) = xs[i] - centre;
      d_wl = &(*jac)(0, 2);
      d_wr = &(*jac)(0, right_width_index());
      d_eta = eta_free ? &(*jac)(0, eta_index()) : nullptr;
    }
    for (int j = 0; j < line_count; ++j) {
      const double x1 = lines[j].start + q[first + 2 * j];
      const double h = q[first + 2 * j + 1];
      double* d_pos = jac ? &(*jac)(0, first + 2 * j) : nullptr;
      double* d_h = jac ? &(*jac)(0, first + 2 * j + 1) : nullptr;
      const int components = lines[j].doublet ? 2 : 1;
      for (int c = 0; c < components; ++c) {
        double at = x1, amp = 1, slope = 1;
        if (c == 1) {
          at = alpha2_angle(x1, lambda_ratio);
          amp = height_ratio;
          slope = alpha2_slope(x1, at, lambda_ratio);
        }
        const double ah = amp * h;
        const double inv_l = 1 / width_l, inv_r = 1 / width_r;
        for (long i = 0; i < count; ++i) {
          const double d = xs[i] - at;
          const bool left = d < 0;
          const double inv_w = left ? inv_l : inv_r;
          const double u = 2 * d * inv_w;
          const double u2 = u * u;
          const double lor = 1 / (1 + u2);
          // Beyond about 4.5 half-widths the Gaussian is below 1e-18 of the height.
          const double gau = u2 < kGaussianReach ? std::exp(-kLn2 * u2) : 0.0;
          const double pv = eta * lor + (1 - eta) * gau;
          f[i] += ah * pv;
          if (!jac) continue;
          const double dpv_du = -2 * u * (eta * lor * lor + (1 - eta) * kLn2 * gau);
          d_pos[i] -= ah * dpv_du * 2 * inv_w * slope;
          d_h[i] += amp * pv;
          (left ? d_wl : d_wr)[i] -= ah * dpv_du * u * inv_w;
          if (d_eta) d_eta[i] += ah * (lor - gau);
        }
      }
    }
  }

  // Weighted residuals (model − data) from the model's values, in place; the
  // Jacobian's rows weighted alike.
  template <typename J>
  void weigh(double* r, J* jac) const {
    for (long i = 0; i < m; ++i) r[i] = s[i] * (r[i] - y[i]);
    if (!jac) return;
    for (long c = 0; c < jac->cols(); ++c) {
      double* col = &(*jac)(0, c);
      for (long i = 0; i < m; ++i) col[i] *= s[i];
    }
  }
};

// What the optimiser sees of the model. Levenberg–Marquardt needs the residuals r and
// the Jacobian J only through ‖r‖ and the linear model ‖r + J·δ‖ at the point where J
// is taken. With JᵀJ = RᵀR (Cholesky, on the equilibrated normal matrix) and
// z = R⁻ᵀJᵀr, the n + 1 values [z, √(‖r‖² − ‖z‖²)] with the Jacobian [R; 0] give the
// same norm and the same linear model, so the optimiser takes the same steps on n + 1
// rows instead of hundreds of points. Each evaluation computes the model's Jacobian
// anyway (the optimiser asks for it at the point it has just evaluated).
struct LmFunctor : Eigen::DenseFunctor<double> {
  using Jacobian = Eigen::MatrixXd;
  const GroupModel& g;
  const int n;
  mutable Eigen::VectorXd at, r_full, scale, z;
  mutable Eigen::MatrixXd j_full, normal;
  mutable Eigen::LLT<Eigen::MatrixXd> llt;
  mutable Eigen::VectorXd r_at;  // the n + 1 values at `at`
  mutable Jacobian jac_at;       // [R; 0] at `at`
  mutable bool cached = false;
  LmFunctor(const GroupModel& model, int parameters)
      : Eigen::DenseFunctor<double>(parameters, parameters + 1), g(model), n(parameters),
        at(parameters), r_full(model.m), scale(parameters), z(parameters),
        j_full(model.m, parameters), normal(parameters, parameters), llt(parameters),
        r_at(parameters + 1), jac_at(parameters + 1, parameters) {}
  int operator()(const Eigen::VectorXd& q, Eigen::VectorXd& r) const {
    g.model(q, r_full.data(), &j_full);
    g.weigh(r_full.data(), &j_full);
    // Column by column: a general matrix product packs its operands first, which costs
    // more than the products themselves at this width.
    for (int a = 0; a < n; ++a) {
      for (int b = 0; b <= a; ++b) normal(a, b) = normal(b, a) = j_full.col(a).dot(j_full.col(b));
      z[a] = j_full.col(a).dot(r_full);
    }
    for (int k = 0; k < n; ++k) {
      const double d = normal(k, k);
      scale[k] = d > 0 && std::isfinite(d) ? 1 / std::sqrt(d) : 1;
    }
    normal = scale.asDiagonal() * normal * scale.asDiagonal();
    llt.compute(normal);
    jac_at.setZero();
    if (llt.info() != Eigen::Success || !std::isfinite(r_full.squaredNorm())) {
      // A singular model (a line without data under it) or an overflow: no step can be
      // trusted, and a negative answer stops the optimiser at once.
      cached = false;
      return -1;
    }
    // R = Lᵀ S⁻¹, z = L⁻¹ S Jᵀr.
    jac_at.topRows(n) = llt.matrixU();
    jac_at.topRows(n) = jac_at.topRows(n) * scale.cwiseInverse().asDiagonal();
    z = scale.cwiseProduct(z);
    llt.matrixL().solveInPlace(z);
    r.head(n) = z;
    r[n] = std::sqrt(std::max(0.0, r_full.squaredNorm() - z.squaredNorm()));
    at = q;
    r_at = r;
    cached = true;
    return 0;
  }
  int df(const Eigen::VectorXd& q, Jacobian& jac) const {
    if (!cached || q != at) {
      Eigen::VectorXd r(n + 1);
      if ((*this)(q, r) < 0) return -1;
    }
    jac = jac_at;
    return 0;
  }
};

struct FitOutcome {
  bool ok = false;
  bool converged = false;
  double reduced_chi2 = 0;
  Eigen::VectorXd q;
  Eigen::VectorXd sigma;  // standard errors of the parameters
};

bool all_finite(const Eigen::VectorXd& v) { return v.allFinite(); }

// One least-squares fit of the model from q; the errors from (JᵀWJ)⁻¹ × reduced χ².
FitOutcome least_squares(const GroupModel& g, Eigen::VectorXd q) {
  FitOutcome out;
  const int n = g.parameter_count();
  if (g.m < n + kMinSpareDegreesOfFreedom) return out;
  LmFunctor functor(g, n);
  Eigen::LevenbergMarquardt<LmFunctor> lm(functor);
  // A fit that has not settled after this many evaluations will not: a usual group
  // converges in a dozen steps, and a hopeless one must not hold the search up.
  lm.setMaxfev(30 * (n + 1));
  // A relative change of χ² below 1e-5 (a few thousandths of a unit on a window of
  // hundreds of points) moves a position by well under a tenth of its error: enough,
  // and each iteration saved counts.
  lm.setXtol(1e-5);
  lm.setFtol(1e-5);
  const auto status = lm.minimize(q);
  using namespace Eigen::LevenbergMarquardtSpace;
  out.converged = status == RelativeReductionTooSmall || status == RelativeErrorTooSmall ||
                  status == RelativeErrorAndReductionTooSmall || status == CosinusTooSmall ||
                  status == FtolTooSmall || status == XtolTooSmall || status == GtolTooSmall;
  out.q = q;
  if (!out.converged || !all_finite(q)) return out;

  if (!functor.cached || q != functor.at) {
    Eigen::VectorXd r(n + 1);
    if (functor(q, r) < 0) return out;
  }
  const Eigen::VectorXd& r = functor.r_at;
  const LmFunctor::Jacobian& jac = functor.jac_at;
  if (!r.allFinite() || !jac.allFinite()) return out;
  using Square = Eigen::MatrixXd;
  const Square normal = jac.transpose() * jac;
  const Eigen::LDLT<Square> ldlt(normal);
  if (ldlt.info() != Eigen::Success || !ldlt.isPositive()) return out;
  const Square cov = ldlt.solve(Square::Identity(n, n));
  out.reduced_chi2 = r.squaredNorm() / static_cast<double>(g.m - n);
  out.sigma.resize(n);
  for (int k = 0; k < n; ++k) {
    const double v = cov(k, k);
    if (!(v > 0) || !std::isfinite(v)) return out;
    out.sigma[k] = std::sqrt(v * out.reduced_chi2);
  }
  out.ok = std::isfinite(out.reduced_chi2);
  return out;
}

double starting_fwhm(const Profile& p, const PeakFitOptions& options) {
  if (options.fwhm > 0 && std::isfinite(options.fwhm)) return options.fwhm;
  const SearchDataEstimate e = estimate_search_data(p, compute_second_derivative(p));
  if (e.valid && e.fwhm > 0 && std::isfinite(e.fwhm)) return e.fwhm;
  return kFallbackFwhm;
}

// A line of the model before grouping: which inputs it stands for and its window.
struct PlannedLine {
  size_t peak = 0;           // the input it comes from
  long attached = -1;        // an input code 3 peak that is its Kα2, or -1
  double start = 0;          // starting Kα1 position
  bool doublet = false;
  double lo = 0, hi = 0;     // its window
};

// Linear interpolation of the profile's intensity at angle a (points sorted).
double intensity_at(const std::vector<double>& x, const std::vector<double>& y, double a) {
  const auto it = std::lower_bound(x.begin(), x.end(), a);
  if (it == x.begin()) return y.front();
  if (it == x.end()) return y.back();
  const size_t k = static_cast<size_t>(it - x.begin());
  const double x0 = x[k - 1], x1 = x[k];
  if (!(x1 > x0)) return y[k];
  return y[k - 1] + (y[k] - y[k - 1]) * (a - x0) / (x1 - x0);
}

double pseudo_voigt(double d, double fwhm, double eta) {
  const double u2 = 4 * d * d / (fwhm * fwhm);
  return eta / (1 + u2) + (1 - eta) * std::exp(-kLn2 * u2);
}

}  // namespace

PeakFitResult fit_peaks(const Profile& p, const std::vector<PeakToFit>& peaks,
                        const WavelengthSet& w, const PeakFitOptions& options) {
  PeakFitResult result;
  result.peaks.resize(peaks.size());
  for (size_t k = 0; k < peaks.size(); ++k) {
    result.peaks[k].two_theta = peaks[k].two_theta;
    result.peaks[k].line_code = peaks[k].line_code;
  }
  const size_t n = p.points.size();
  if (peaks.empty() || n == 0) return result;
  // Windows are stretches of points, so the angles must be in order.
  const auto by_angle = [](const ProfilePoint& a, const ProfilePoint& b) {
    return a.two_theta < b.two_theta;
  };
  if (!std::is_sorted(p.points.begin(), p.points.end(), by_angle)) return result;

  std::vector<double> x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    x[i] = p.points[i].two_theta;
    y[i] = p.points[i].intensity;
  }

  const Doublet doublet = doublet_of(w);
  const double fwhm = starting_fwhm(p, options);
  const double half_window =
      (options.window_fwhms > 0 && std::isfinite(options.window_fwhms) ? options.window_fwhms : PeakFitOptions{}.window_fwhms) * fwhm;

  // The lines of the model, a code 3 peak folded into its Kα1 partner when it has one
  // (one Kα2 per Kα1; a second one stays a line of its own).
  std::vector<PlannedLine> planned;
  std::vector<long> alpha2_of(peaks.size(), -1);  // per Kα1 input: its Kα2 input
  std::vector<bool> folded(peaks.size(), false);
  if (doublet.on) {
    for (size_t k = 0; k < peaks.size(); ++k) {
      if (peaks[k].line_code != kLineKAlpha2) continue;
      long best = -1;
      for (size_t j = 0; j < peaks.size(); ++j) {
        if (peaks[j].line_code != kLineKAlpha1 || !(peaks[j].two_theta < peaks[k].two_theta)) continue;
        if (best < 0 || peaks[j].two_theta > peaks[static_cast<size_t>(best)].two_theta)
          best = static_cast<long>(j);
      }
      if (best < 0 || alpha2_of[static_cast<size_t>(best)] >= 0) continue;
      const double a2 = alpha2_angle(peaks[static_cast<size_t>(best)].two_theta, doublet.lambda_ratio);
      if (std::fabs(a2 - peaks[k].two_theta) <= kDoubletTolerance) {
        alpha2_of[static_cast<size_t>(best)] = static_cast<long>(k);
        folded[k] = true;
      }
    }
  }

  for (size_t k = 0; k < peaks.size(); ++k) {
    if (folded[k]) continue;
    const int code = peaks[k].line_code;
    const double pos = peaks[k].two_theta;
    if (!std::isfinite(pos)) continue;
    PlannedLine line;
    line.peak = k;
    line.attached = alpha2_of[k];
    line.doublet = doublet.on && (code == kLineUnclassified || code == kLineKAlpha || code == kLineKAlpha1);
    line.start = pos;
    double a2 = line.doublet ? alpha2_angle(pos, doublet.lambda_ratio) : kNaN;
    if (line.doublet && std::isfinite(a2) && code != kLineKAlpha1) {
      // An unresolved doublet is found near its centroid, above Kα1.
      const double shift = doublet.height_ratio / (1 + doublet.height_ratio) * (a2 - pos);
      line.start = pos - shift;
      a2 = alpha2_angle(line.start, doublet.lambda_ratio);
    }
    if (!std::isfinite(a2)) line.doublet = false;
    line.lo = line.start - half_window;
    line.hi = (line.doublet ? a2 : line.start) + half_window;
    planned.push_back(line);
  }
  std::sort(planned.begin(), planned.end(),
            [](const PlannedLine& a, const PlannedLine& b) { return a.lo < b.lo; });

  // Scratch reused by every group.
  std::vector<double> wx, wy, ws, wcurve;
  const double span = p.intensity_max - p.intensity_min;
  const bool counted = p.counts && span > 0 && std::isfinite(span);

  size_t next = 0;
  while (next < planned.size()) {
    size_t end = next + 1;
    double hi = planned[next].hi;
    while (end < planned.size() && planned[end].lo <= hi && end - next < kMaxGroupLines) {
      hi = std::max(hi, planned[end].hi);
      ++end;
    }
    const double lo = planned[next].lo;
    const size_t first = static_cast<size_t>(std::lower_bound(x.begin(), x.end(), lo) - x.begin());
    const size_t last_end = static_cast<size_t>(std::upper_bound(x.begin(), x.end(), hi) - x.begin());

    FitGroup group;
    group.lines = static_cast<int>(end - next);
    group.first_point = first;
    group.last_point = last_end > first ? last_end - 1 : first;

    GroupModel g;
    g.split = options.split;
    g.lambda_ratio = doublet.lambda_ratio;
    g.height_ratio = doublet.height_ratio;
    g.line_count = group.lines;
    for (int j = 0; j < g.line_count; ++j) {
      g.lines[j].start = planned[next + j].start;
      g.lines[j].doublet = planned[next + j].doublet;
    }

    const long m = static_cast<long>(last_end > first ? last_end - first : 0);
    FitOutcome fit;
    bool good_data = m > 0;
    if (good_data) {
      wx.assign(x.begin() + static_cast<long>(first), x.begin() + static_cast<long>(last_end));
      wy.assign(y.begin() + static_cast<long>(first), y.begin() + static_cast<long>(last_end));
      ws.resize(static_cast<size_t>(m));
      for (size_t i = 0; i < wx.size(); ++i) {
        double sd = 1;
        if (counted) {
          const double raw = p.intensity_min + wy[i] * span / 100;
          sd = std::sqrt(std::max(raw, 1.0)) * 100 / span;
        }
        ws[i] = 1 / sd;
        if (!std::isfinite(wx[i]) || !std::isfinite(wy[i]) || !(ws[i] > 0) || !std::isfinite(ws[i]))
          good_data = false;
      }
      good_data = good_data && wx.back() > wx.front();
    }
    if (good_data) {
      g.x = wx.data(), g.y = wy.data(), g.s = ws.data(), g.m = m;
      g.centre = (wx.front() + wx.back()) / 2;
      // Background through the means of the first and last few points.
      const size_t edge = std::max<size_t>(1, std::min<size_t>(3, wx.size() / 4));
      double y_lo = 0, y_hi = 0, x_lo = 0, x_hi = 0;
      for (size_t i = 0; i < edge; ++i) {
        y_lo += wy[i], x_lo += wx[i];
        y_hi += wy[wy.size() - 1 - i], x_hi += wx[wx.size() - 1 - i];
      }
      y_lo /= static_cast<double>(edge), y_hi /= static_cast<double>(edge);
      x_lo /= static_cast<double>(edge), x_hi /= static_cast<double>(edge);
      const double b1 = x_hi > x_lo ? (y_hi - y_lo) / (x_hi - x_lo) : 0;
      const double b0 = y_lo + b1 * (g.centre - x_lo);

      Eigen::VectorXd q(g.parameter_count());
      q[0] = b0, q[1] = b1, q[2] = fwhm;
      if (g.split) q[3] = fwhm;
      q[g.eta_index()] = 0.5;
      for (int j = 0; j < g.line_count; ++j) {
        const ModelLine& l = g.lines[j];
        double share = 1;
        if (l.doublet)
          share += doublet.height_ratio *
                   pseudo_voigt(alpha2_angle(l.start, doublet.lambda_ratio) - l.start, fwhm, 0.5);
        const double top = intensity_at(wx, wy, l.start) - (b0 + b1 * (l.start - g.centre));
        q[g.first_line_index() + 2 * j] = 0;
        q[g.first_line_index() + 2 * j + 1] = std::max(top, 1e-6 * std::fabs(top) + 1e-12) / share;
      }
      fit = least_squares(g, q);
      // A mixing outside [0, 1] is no pseudo-Voigt: fix it at the bound it crossed and
      // fit the rest again, so that the errors come from the model actually reported.
      if (fit.ok) {
        const double eta = fit.q[g.eta_index()];
        if (eta < 0 || eta > 1) {
          Eigen::VectorXd fixed_q(g.parameter_count() - 1);
          const int ie = g.eta_index();
          fixed_q << fit.q.head(ie), fit.q.tail(fit.q.size() - ie - 1);
          g.eta_free = false;
          g.eta_fixed = std::clamp(eta, 0.0, 1.0);
          fit = least_squares(g, fixed_q);
        }
      }
    }

    bool ok = fit.ok;
    if (ok) {
      const double wl = fit.q[2], wr = fit.q[g.right_width_index()];
      ok = wl > 0 && wr > 0 && all_finite(fit.q) && all_finite(fit.sigma);
      for (int j = 0; ok && j < g.line_count; ++j) {
        const double x1 = g.lines[j].start + fit.q[g.first_line_index() + 2 * j];
        const double h = fit.q[g.first_line_index() + 2 * j + 1];
        ok = x1 >= wx.front() && x1 <= wx.back() && h > 0;
      }
    }
    group.converged = ok;
    group.reduced_chi2 = ok ? fit.reduced_chi2 : 0;
    const int group_index = static_cast<int>(result.groups.size());
    result.groups.push_back(group);
    if (ok) {
      result.worst_reduced_chi2 = std::max(result.worst_reduced_chi2, fit.reduced_chi2);
      const double wl = fit.q[2], wr = fit.q[g.right_width_index()];
      const double eta = g.eta_free ? fit.q[g.eta_index()] : g.eta_fixed;
      for (int j = 0; j < g.line_count; ++j) {
        const PlannedLine& pl = planned[next + j];
        const int iq = g.first_line_index() + 2 * j;
        FittedPeak& f = result.peaks[pl.peak];
        f.two_theta = g.lines[j].start + fit.q[iq];
        f.sigma = fit.sigma[iq];
        f.fwhm_left = wl, f.fwhm_right = wr, f.fwhm = (wl + wr) / 2;
        f.height = fit.q[iq + 1];
        f.eta = eta;
        f.group = group_index;
        f.fitted = true;
        if (pl.attached >= 0) {
          FittedPeak& a = result.peaks[static_cast<size_t>(pl.attached)];
          a = f;
          a.line_code = peaks[static_cast<size_t>(pl.attached)].line_code;
          a.two_theta = alpha2_angle(f.two_theta, doublet.lambda_ratio);
          a.sigma = f.sigma * alpha2_slope(f.two_theta, a.two_theta, doublet.lambda_ratio);
          a.height = f.height * doublet.height_ratio;
        }
      }
      if (result.curve.empty()) result.curve.assign(n, kNaN);
      wcurve.resize(wx.size());
      g.model(fit.q, wcurve.data(), static_cast<Eigen::MatrixXd*>(nullptr));
      std::copy(wcurve.begin(), wcurve.end(), result.curve.begin() + static_cast<long>(first));
    }
    next = end;
  }
  for (const FittedPeak& f : result.peaks) result.fitted_count += f.fitted ? 1 : 0;
  return result;
}

std::vector<double> strip_kalpha2(const Profile& p, const WavelengthSet& w) {
  const size_t n = p.points.size();
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = p.points[i].intensity;
  const Doublet doublet = doublet_of(w);
  const auto by_angle = [](const ProfilePoint& a, const ProfilePoint& b) {
    return a.two_theta < b.two_theta;
  };
  if (!doublet.on || n < 2 || !std::is_sorted(p.points.begin(), p.points.end(), by_angle)) return out;
  const double rho = doublet.height_ratio;
  const double inverse = 1 / doublet.lambda_ratio;  // λ1 / λ2
  // x′ rises with x, so the interval holding it only moves forward.
  size_t k = 0;
  for (size_t i = 0; i < n; ++i) {
    const double xi = p.points[i].two_theta;
    const double s = inverse * std::sin(xi / 2 * kRad);
    if (!(std::fabs(s) <= 1)) continue;
    const double xp = 2 * std::asin(s) / kRad;  // the Kα1 angle whose Kα2 falls at xi
    if (!(xp >= p.points[0].two_theta)) continue;
    while (k + 1 < i && p.points[k + 1].two_theta <= xp) ++k;
    // x′ lies between points k and k + 1 ≤ i. When k + 1 is i itself, I1 at i is still
    // unknown and enters the interpolation: solve for it.
    const double x0 = p.points[k].two_theta, x1 = p.points[k + 1].two_theta;
    const double t = x1 > x0 ? std::clamp((xp - x0) / (x1 - x0), 0.0, 1.0) : 0.0;
    if (k + 1 == i)
      out[i] = (out[i] - rho * (1 - t) * out[k]) / (1 + rho * t);
    else
      out[i] -= rho * ((1 - t) * out[k] + t * out[k + 1]);
  }
  return out;
}

}  // namespace vornax

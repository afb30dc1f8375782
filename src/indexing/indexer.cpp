#include "indexing/indexer.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <thread>

#include "indexing/dichotomy.hpp"
#include "indexing/lattice_fit.hpp"

namespace vornax::indexing {

namespace {

using Clock = std::chrono::steady_clock;

// Lines a trial cell is first tested on.
constexpr size_t kTrialLines = 15;

// The search's passes: the first, and those for lists whose first lines give no lattice.
enum class Pass { First, LongDiagonals, Doubled };

// A primitive lattice found by the search, refined on its reduced reciprocal basis.
struct Found {
  Mat3 reduced{};  // Niggli direct metric
  Fit fit;
  double m20 = 0;  // unindexed lines count with the tolerance as their error
};

// Reduced cells of the same axes and volume: one lattice, as far as the search is concerned.
bool roughly_same(const Mat3& x, const Mat3& y, double tol) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(x[i][i] - y[i][i]) > 2 * tol * std::max(x[i][i], y[i][i])) return false;
  const double vx = volume_of_metric(x), vy = volume_of_metric(y);
  return std::abs(vx - vy) <= 3 * tol * std::max(vx, vy);
}

void keep(std::vector<Found>& pool, Found f) {
  for (Found& p : pool)
    if (roughly_same(p.reduced, f.reduced, 0.003)) {
      if (f.m20 > p.m20) p = std::move(f);
      return;
    }
  pool.push_back(std::move(f));
}

// Bases (rows, in the old reciprocal basis) of the reciprocal lattices that add half of
// a*, b*, c*, a* + b*, a* + c*, b* + c* or a* + b* + c* to the old one: it is their
// sublattice of index 2, and their direct cells double the old cell along a row.
constexpr Mat3 kHalvings[] = {
    {{{0.5, 0, 0}, {0, 1, 0}, {0, 0, 1}}},     {{{1, 0, 0}, {0, 0.5, 0}, {0, 0, 1}}},
    {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0.5}}},     {{{0.5, 0.5, 0}, {0, 1, 0}, {0, 0, 1}}},
    {{{0.5, 0, 0.5}, {0, 1, 0}, {0, 0, 1}}},   {{{1, 0, 0}, {0, 0.5, 0.5}, {0, 0, 1}}},
    {{{0.5, 0.5, 0.5}, {0, 1, 0}, {0, 0, 1}}},
};

// The metric of the basis whose vectors are the rows of t in the basis of m.
QMetric transformed(const QMetric& m, const Mat3& t) {
  const Mat3 g = metric_matrix(m);
  Mat3 out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) out[i][j] += t[i][k] * g[k][l] * t[j][l];
  return q_metric(out);
}

// The limits hold for the lattice, whatever cell describes it: its reduced cell's axes
// and volume.
bool within_lattice_limits(const Mat3& g, const IndexSettings& s) {
  const double v = volume_of_metric(g);
  if (v > s.max_volume || v < s.min_volume) return false;
  const Mat3 r = niggli_metric(g);
  return std::max({r[0][0], r[1][1], r[2][2]}) <= s.max_axis * s.max_axis &&
         std::min({r[0][0], r[1][1], r[2][2]}) >= s.min_axis * s.min_axis;
}

class Search {
 public:
  Search(const Lines& lines, const IndexSettings& s, Clock::time_point deadline,
         IndexProgress* progress)
      : lines_(lines), s_(s), deadline_(deadline), progress_(progress),
        n_(static_cast<int>(lines.q.size())) {
    // The low-angle lines a trial cell is tested and first refined on.
    const size_t low = std::min(lines.q.size(), kTrialLines);
    low_.lambda = lines.lambda;
    low_.two_theta.assign(lines.two_theta.begin(), lines.two_theta.begin() + low);
    low_.q.assign(lines.q.begin(), lines.q.begin() + low);
    low_.slope.assign(lines.slope.begin(), lines.slope.begin() + low);
  }

  // Trial sets run at each zero: one per line tried as a*.
  int first_lines() const { return std::min(n_, s_.impurities + 1); }

  // All trials at one zero of the scale. The passes after the first, for lists whose
  // first lines give no lattice, reach basis vectors whose own lines are missing:
  // - `Pass::LongDiagonals` also takes the cross terms from the longer of a* ± b* (and
  //   a* ± c*, b* ± c*), as a space group's absences can remove the shorter one (the 200
  //   line of the diamond structure is the shorter diagonal of two 111 vectors);
  // - `Pass::Doubled` also tries each trial cell doubled along the rows of its basis,
  //   as a screw axis or glide plane can remove the first order of a basis vector, which
  //   is then taken from its second (rutile has no 100 or 001 line, but 200 and 002).
  void run(double zero, Pass pass, std::vector<Found>& pool, long& trials,
           std::atomic<bool>& stop) {
    std::vector<double> q(n_), tol(n_);
    const double trial_tol = trial_tolerance();
    for (int i = 0; i < n_; ++i) {
      q[i] = lines_.q[i] - zero * lines_.slope[i];
      tol[i] = trial_tol * lines_.slope[i];
    }
    const int a_lines = first_lines();
    const int n = static_cast<int>(q.size());
    auto lines_between = [&](double lo, double hi) {
      std::vector<int> out;
      for (int j = 0; j < n; ++j)
        if (q[j] >= lo - tol[j] && q[j] <= hi + tol[j]) out.push_back(j);
      return out;
    };
    // The cross term of two basis vectors of Q = X and Y (|term| <= cap) from the lines
    // of their diagonals: the shorter, Q = X + Y - term, and maybe the longer, X + Y + term.
    auto cross_terms = [&](double X, double Y, double cap) {
      std::vector<double> out;
      for (int j : lines_between(Y, X + Y)) out.push_back(std::clamp(X + Y - q[j], 0.0, cap));
      if (pass != Pass::First)
        for (int j : lines_between(X + Y, X + Y + cap))
          out.push_back(std::clamp(q[j] - X - Y, 0.0, cap));
      return out;
    };
    const int need = n_ - s_.impurities;
    for (int ia = 0; ia < a_lines; ++ia) {
      if (progress_ && ia > 0 && pass == Pass::First) ++progress_->done;
      const double A = q[ia];
      // b*: the shortest reciprocal vector off the line of a* (the same line when |b*| = |a*|).
      std::vector<int> b_lines{ia};
      for (int j = ia + 1; j < n && static_cast<int>(b_lines.size()) < s_.impurities + 3; ++j) {
        bool collinear = false;
        for (int m = 2; m <= 4; ++m) collinear |= std::abs(q[j] - m * m * A) <= tol[j];
        if (!collinear) b_lines.push_back(j);
      }
      for (int ib : b_lines) {
        const double B = q[ib];
        // |2a*·b*| <= A, and the shorter of a*±b* is no shorter than b*.
        for (double F : cross_terms(A, B, A)) {
          std::vector<bool> in_zone(n, false);
          zone_lines(A, B, F, q, tol, in_zone);
          std::vector<int> c_lines;
          int outside = 0;
          for (int j = ib; j < n && outside <= s_.impurities && c_lines.size() < 12; ++j) {
            c_lines.push_back(j);
            if (!in_zone[j]) ++outside;
          }
          for (int ic : c_lines) {
            const double C = q[ic];
            if (C < B - tol[ic]) continue;
            const auto e_terms = cross_terms(A, C, A);
            const auto d_terms = cross_terms(B, C, B);
            for (double E : e_terms) {
              for (double D : d_terms) {
                for (double sign : {1.0, -1.0}) {
                  if (sign < 0 && D == 0) continue;
                  if ((++trials & 15) == 0 &&
                      (stop.load() || Clock::now() > deadline_ ||
                       (progress_ && progress_->cancel.load()))) {
                    stop = true;
                    return;
                  }
                  try_cell({A, B, C, sign * D, E, F}, zero, need, pool, pass == Pass::Doubled);
                }
              }
            }
          }
        }
      }
    }
  }

 private:
  // Marks the lines indexed by the zone of a* and b*.
  void zone_lines(double A, double B, double F, const std::vector<double>& q,
                  const std::vector<double>& tol, std::vector<bool>& in_zone) const {
    const double q_max = q.back() + tol.back();
    const double det = A * B - F * F / 4;
    if (det <= 0) return;
    const int h_max = static_cast<int>(std::sqrt(q_max * B / det));
    const int k_max = static_cast<int>(std::sqrt(q_max * A / det));
    for (int h = 0; h <= h_max; ++h)
      for (int k = (h == 0 ? 1 : -k_max); k <= k_max; ++k) {
        const double v = A * h * h + B * k * k + F * h * k;
        if (v > q_max) continue;
        for (size_t j = 0; j < q.size(); ++j)
          if (std::abs(q[j] - v) <= tol[j]) in_zone[j] = true;
      }
  }

  // A trial cell comes from a few lines, each with its error: it indexes the others
  // loosely until it is refined.
  double trial_tolerance() const { return 2 * s_.tolerance; }

  void try_cell(const QMetric& m, double zero, int need, std::vector<Found>& pool,
                bool may_double) {
    const auto g = direct_metric(m);
    if (!g || volume_of_metric(*g) > s_.max_volume) return;
    // A trial cell from low-angle lines predicts the high-angle ones too roughly to index
    // them: it is tested and refined on the low-angle lines first, then on all.
    const int need_low = static_cast<int>(low_.q.size()) - s_.impurities;
    const Fit quick = assign_indices(Centring::P, m, zero, low_, trial_tolerance());
    if (quick.indexed_count < need_low) {
      // A basis vector taken from its second order (its first extinguished) gives a cell
      // that indexes the lines of even index along it and misses the others: the cells
      // doubled along each row of the basis (half of a*, b*, c* and their sums added to
      // the reciprocal lattice) are tried.
      if (may_double && 2 * quick.indexed_count >= static_cast<int>(low_.q.size()))
        for (const Mat3& t : kHalvings) try_cell(transformed(m, t), zero, need, pool, false);
      return;
    }
    FitSettings fs;
    fs.tolerance = s_.tolerance;
    fs.start_tolerance = trial_tolerance();
    fs.zero_range = s_.zero_range;
    const Fit first = refine_lattice(MetricModel::Triclinic, Centring::P, m, zero, low_, fs);
    if (!first.ok || first.indexed_count < need_low) return;
    Fit fit = refine_lattice(MetricModel::Triclinic, Centring::P, first.metric, first.zero, lines_, fs);
    if (!fit.ok || fit.indexed_count < need) return;
    const auto fg = direct_metric(fit.metric);
    if (!fg || !within_lattice_limits(*fg, s_)) return;
    Found f;
    f.reduced = niggli_metric(*fg);
    // The free fit splits the lines of a symmetric lattice a little: counted apart, they
    // would push the lattice out of the best few before its symmetry is found.
    f.m20 = figures_of_merit(fit, Centring::P, lines_, s_.tolerance, 0.5 * s_.tolerance).m20;
    f.fit = std::move(fit);
    keep(pool, std::move(f));
  }

  const Lines& lines_;
  Lines low_;
  const IndexSettings& s_;
  Clock::time_point deadline_;
  IndexProgress* progress_;
  int n_;
};

// A constrained fit is taken when its mean error stays within this share of the tolerance.
constexpr double kSymmetricFitError = 0.5;

// Relative tolerance on the metrics of related candidates: each is refined on its own
// lines, a sub-cell's metric a little away from the lattice it belongs to.
constexpr double kRelatedTolerance = 0.01;

// Step of the grid of zeros searched, in tolerances: the trial tolerance (two of them)
// covers half of it with the lines' own errors.
constexpr double kZeroStep = 1.25;

// A best lattice of a lower M(20) is no answer yet: the later passes and the dichotomy
// go on looking.
constexpr double kConvincingM20 = 20;

// Lines a list needs for the dichotomy.
constexpr int kDichotomyLines = 15;

// The dichotomy's windows of volume: the first, then each twice the last.
constexpr double kFirstWindow = 400;
// Beyond this many times a convincing lattice's volume the dichotomy stops.
constexpr double kDerivativeVolume = 2;

// The best lattices of the search that are given their conventional cells.
constexpr size_t kDescribed = 100;
// The best lattices described even when the budget has run out.
constexpr size_t kAlwaysDescribed = 40;
// The best lattices whose doubled lattices are described too.
constexpr size_t kDoubledCandidates = 20;

bool system_allowed(const IndexSettings& s, CrystalSystemId id) {
  return std::find(s.systems.begin(), s.systems.end(), id) != s.systems.end();
}

// The most symmetric conventional cell of an allowed system whose constrained fit indexes
// the lines about as well as the free one does.
std::optional<IndexedCell> describe(const Found& f, const Lines& lines, const IndexSettings& s) {
  for (const ConventionalCell& conv : conventional_cells(f.reduced, 0.01, 1.0)) {
    if (!system_allowed(s, conv.type.system)) continue;
    const auto recip = inverse_positive(conv.metric);
    if (!recip) continue;
    FitSettings fs;
    fs.tolerance = s.tolerance;
    fs.zero_range = s.zero_range;
    const Fit fit = refine_lattice(conv.type.model, conv.type.centring, q_metric(*recip),
                                   f.fit.zero, lines, fs, 6);
    if (!fit.ok) continue;
    const int unindexed = static_cast<int>(lines.q.size()) - fit.indexed_count;
    // Not compared with the free fit's count: that fit also catches impurity lines with
    // the reflections it splits.
    if (unindexed > s.impurities) continue;
    const auto g = direct_metric(fit.metric);
    if (!g) continue;
    // The free fit splits the reflections a symmetry makes equal and a line then picks the
    // nearest of them, so its error is no yardstick: the constrained fit must index as
    // many lines, well within the tolerance.
    if (conv.type.model != MetricModel::Triclinic &&
        fit.mean_error > kSymmetricFitError * s.tolerance)
      continue;
    const Merit m = figures_of_merit(fit, conv.type.centring, lines, s.tolerance);
    IndexedCell c;
    c.type = conv.type;
    c.cell = cell_of_metric(*g);
    c.volume = volume_of_metric(*g);
    c.m20 = m.m20;
    c.m_lines = m.m_lines;
    // Each free parameter lowers the error, and so raises M(N), on the same lines: the
    // ranking discounts M(N) for them as a mean error is for its degrees of freedom
    // (the metric's coefficients and the zero).
    const double p = parameter_count(conv.type.model) + (s.zero_range > 0 ? 1 : 0);
    c.figure = m.m20 * std::max(0.0, m.m_lines - p) / std::max(1, m.m_lines);
    c.fn = m.fn;
    c.fn_lines = m.n;
    c.fn_error = m.fn_error;
    c.fn_possible = m.fn_possible;
    for (size_t i = 0; i < lines.q.size(); ++i)
      if (!fit.indexed[i]) c.unindexed.push_back(lines.two_theta[i]);
    c.zero = fit.zero;
    c.reduced = niggli_metric(primitive_metric(*g, conv.type.centring));
    return c;
  }
  return std::nullopt;
}

// Of two related candidates (one lattice, or a sub- and a super-cell), both within the
// unindexed lines allowed, the more symmetric one is better: a lower symmetry splits its
// lines and fits the noise, or an impurity line, by picking among them. Then the one
// of the higher ranking figure.
constexpr double kDerivativeLines = 1.05;
bool better(const IndexedCell& x, const IndexedCell& y, bool same_lattice) {
  const int px = parameter_count(x.type.model), py = parameter_count(y.type.model);
  if (px != py) {
    if (same_lattice) return px < py;
    // A derivative lattice of a higher symmetry wins when it calculates no more lines
    // than the other: the two then give the same pattern (a hexagonal cell and the
    // orthorhombic one of half its volume, a/2 × a√3/2 × c, have the same d-spacings).
    // A metric that only happens to fit a larger symmetric cell gives it about twice the
    // lines, and it must then index them better.
    const IndexedCell& high = px < py ? x : y;
    const IndexedCell& low = px < py ? y : x;
    const bool high_wins = high.fn_possible <= kDerivativeLines * low.fn_possible ||
                           high.figure >= low.figure;
    return (px < py) == high_wins;
  }
  // Of one symmetry, the figure weighs the lines left unindexed against the lines a
  // larger cell adds: a supercell always indexes more, impurity lines included.
  return x.figure > y.figure;
}

}  // namespace

double index_tolerance(const IndexSettings& s) {
  if (s.tolerance >= 0) return s.tolerance;
  return kCuTolerance * (s.lambda > 0 ? s.lambda / kCuKalpha1 : 1);
}

double index_zero_range(const IndexSettings& s) {
  if (s.zero_range >= 0) return s.zero_range;
  return kCuZeroRange * (s.lambda > 0 ? s.lambda / kCuKalpha1 : 1);
}

IndexResult index_lines(const std::vector<double>& two_theta, const IndexSettings& settings,
                        IndexProgress* progress) {
  IndexResult r;
  IndexSettings s = settings;
  s.tolerance = r.tolerance = index_tolerance(settings);
  s.zero_range = r.zero_range = index_zero_range(settings);
  // Only angles a diffractometer can measure: a NaN would break the sort, a line at 0°
  // or 180° has no d.
  std::vector<double> sorted;
  for (double t : two_theta)
    if (std::isfinite(t) && t > 0 && t < 180) sorted.push_back(t);
  std::sort(sorted.begin(), sorted.end());
  if (!(s.lambda > 0) || !std::isfinite(s.lambda)) {
    r.lines_used = static_cast<int>(std::min<size_t>(sorted.size(), s.max_lines));
    return r;
  }
  // A lattice's plane spacings are no longer than its longest reduced axis: a line of a
  // larger d is no line of any cell within the limits (at a synchrotron, the beam stop's
  // edge and small-angle scatter below 1°). It is kept out of the search, whose
  // reflections up to it would be beyond counting, and reported unindexed by every cell,
  // but not among the lines a cell may leave: those are the lines of the searched range.
  std::vector<double> too_long;
  const double d_max = s.max_axis * (1 + 1e-3);
  while (!sorted.empty() &&
         s.lambda / (2 * std::sin(sorted.front() * std::numbers::pi / 360)) > d_max) {
    too_long.push_back(sorted.front());
    sorted.erase(sorted.begin());
  }
  r.beyond_largest_axis = static_cast<int>(too_long.size());
  if (static_cast<int>(sorted.size()) > s.max_lines) sorted.resize(s.max_lines);
  r.lines_used = static_cast<int>(sorted.size());
  if (r.lines_used < kMinIndexingLines) return r;
  const Lines lines = make_lines(sorted, s.lambda);

  const auto start = Clock::now();
  const auto deadline = s.time_budget > 0
                            ? start + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(s.time_budget))
                            : Clock::time_point::max();
  // The zero is searched on a grid (then refined with each cell).
  std::vector<double> zeros{0};
  if (s.zero_range > 0) {
    const int steps = static_cast<int>(std::ceil(s.zero_range / (kZeroStep * s.tolerance) - 1e-9));
    zeros.clear();
    // From zero outwards, so that a short budget covers the likeliest zeros first.
    zeros.push_back(0);
    for (int k = 1; k <= steps; ++k) {
      zeros.push_back(s.zero_range * k / steps);
      zeros.push_back(-s.zero_range * k / steps);
    }
  }
  std::atomic<bool> stop{false};
  std::atomic<long> completed{0};  // zeros whose trial sets ran to the end
  Search search(lines, s, deadline, progress);
  const long sets = static_cast<long>(zeros.size()) * search.first_lines();
  if (progress) progress->total = sets;
  // One pass over the grid of zeros; its lattices merged in the order of the zeros, so
  // that the result does not depend on the threads.
  auto run_pass = [&](Pass pass) {
    std::vector<std::vector<Found>> pools(zeros.size());
    std::vector<long> trials(zeros.size(), 0);
    std::atomic<size_t> next{0};
    auto worker = [&] {
      for (size_t i; (i = next++) < zeros.size() && !stop.load();) {
        search.run(zeros[i], pass, pools[i], trials[i], stop);
        if (stop.load()) break;
        ++completed;
        if (progress) ++progress->done;
      }
    };
    const int threads = std::max(1, std::min<int>(s.threads, static_cast<int>(zeros.size())));
    std::vector<std::thread> pool_threads;
    for (int t = 1; t < threads; ++t) pool_threads.emplace_back(worker);
    worker();
    for (auto& t : pool_threads) t.join();
    std::vector<Found> found;
    for (size_t i = 0; i < zeros.size(); ++i) {
      r.trials += trials[i];
      for (Found& f : pools[i]) keep(found, std::move(f));
    }
    return found;
  };
  std::vector<Found> all = run_pass(Pass::First);
  int passes = 1;
  // A search that stops at the first lattice it finds stops at a triclinic cell of a poor
  // figure on real lists, found by chance: the search goes on while none is convincing.
  auto convincing = [&] {
    return std::any_of(all.begin(), all.end(),
                       [](const Found& f) { return f.m20 >= kConvincingM20; });
  };
  // The successive dichotomy, for the systems asked that it scans: exhaustive within the
  // limits, and blind to which lines the absences of screw axes and glides remove.
  auto run_dichotomy = [&](std::vector<CrystalSystemId> systems, double min_volume,
                           double max_volume) {
    // A few lines with a few of them allowed unindexed leave whole volumes of boxes
    // standing: the zone passes are the road for short lists.
    if (stop.load() || systems.empty() || r.lines_used < kDichotomyLines) return;
    DichotomySettings d;
    d.systems = std::move(systems);
    d.min_volume = min_volume;
    d.max_volume = max_volume;
    d.min_axis = s.min_axis;
    d.max_axis = s.max_axis;
    d.impurities = s.impurities;
    d.zero_range = s.zero_range;
    d.tolerance = s.tolerance;
    d.threads = s.threads;
    d.deadline = deadline;
    d.cancel = progress ? &progress->cancel : nullptr;
    if (progress) ++progress->total;
    const DichotomyResult found = dichotomy_search(lines, {}, d);
    if (found.stopped) stop = true;
    if (progress && !found.stopped) ++progress->done;
    for (const DichotomyCell& c : found.cells) {
      const auto g = direct_metric(c.fit.metric);
      if (!g) continue;
      // The dichotomy finds a centred lattice as the P cell of its axes. When a centring
      // leaves every line it indexes indexed, the lattice is the centred one (corundum's
      // R lattice, of a third of the hexagonal P cell), and that lattice is offered too.
      for (Centring centring :
           {Centring::P, Centring::A, Centring::B, Centring::C, Centring::I, Centring::F, Centring::R}) {
        if (centring != Centring::P &&
            assign_indices(centring, c.fit.metric, c.fit.zero, lines, s.tolerance).indexed_count <
                c.fit.indexed_count)
          continue;
        const Mat3 primitive = primitive_metric(*g, centring);
        if (!within_lattice_limits(primitive, s)) continue;
        Found f;
        f.reduced = niggli_metric(primitive);
        f.fit = c.fit;
        f.m20 = c.m20;
        keep(all, std::move(f));
      }
    }
  };
  auto asked = [&](std::initializer_list<CrystalSystemId> ids) {
    std::vector<CrystalSystemId> out;
    for (CrystalSystemId id : ids) {
      const bool wanted =
          system_allowed(s, id) ||
          (id == CrystalSystemId::Hexagonal && system_allowed(s, CrystalSystemId::Rhombohedral));
      if (wanted) out.push_back(id);
    }
    return out;
  };
  // In windows of volume from the smallest, as the time a system's search takes grows
  // with the volume: the cell of a list is found in its window before the larger windows
  // of every system are scanned. Beyond twice the volume of a convincing lattice a
  // larger lattice that indexes the lines is a derivative of it, which the doubling
  // below finds; the monoclinic search, the slow one, runs only while nothing is
  // convincing.
  const auto high = asked({CrystalSystemId::Cubic, CrystalSystemId::Tetragonal,
                           CrystalSystemId::Hexagonal, CrystalSystemId::Orthorhombic});
  const auto monoclinic = asked({CrystalSystemId::Monoclinic});
  auto convincing_volume = [&] {
    double v = std::numeric_limits<double>::infinity();
    for (const Found& f : all)
      if (f.m20 >= kConvincingM20) v = std::min(v, volume_of_metric(f.reduced));
    return v;
  };
  // Each later zone pass multiplies the trials: it is run while the earlier ones gave no
  // lattice of a convincing figure. They find most cells whose basis lines are missing
  // (a screw axis leaves the second order) in a few seconds, before the dichotomy, whose
  // windows of large volumes can take the whole budget when nothing is found.
  for (Pass later : {Pass::LongDiagonals, Pass::Doubled}) {
    if (convincing() || stop.load()) break;
    if (progress) progress->total += static_cast<long>(zeros.size());
    ++passes;
    for (Found& f : run_pass(later)) keep(all, std::move(f));
  }
  int windows = 0, windows_needed = 0;
  for (double lo = s.min_volume; lo < s.max_volume;) {
    const double hi = std::min(s.max_volume, std::max(2 * lo, lo + kFirstWindow));
    ++windows_needed;
    const double cap = kDerivativeVolume * convincing_volume();
    if (lo < cap) {
      run_dichotomy(high, lo, std::min(hi, cap));
      if (!convincing()) run_dichotomy(monoclinic, lo, hi);
    }
    if (!stop.load()) ++windows;
    lo = hi;
  }
  r.dichotomy_covered = windows_needed ? static_cast<double>(windows) / windows_needed : 1;
  r.zone_covered = static_cast<double>(completed.load()) / (static_cast<double>(zeros.size()) * passes);

  std::stable_sort(all.begin(), all.end(),
                   [](const Found& a, const Found& b) { return a.m20 > b.m20; });
  if (all.size() > kDescribed) all.resize(kDescribed);

  // A lattice found through a derivative of it: a cell of a half or a quarter of its
  // volume whose lines include all of its own (fluorapatite's hexagonal lattice seen as
  // an orthorhombic one of half the volume, a face-centred cubic pyrochlore, whose
  // d-glide removes lines, as a monoclinic one of a quarter). The best lattices, in the
  // descriptions of any system (their symmetry has sharpened their metrics), are doubled
  // along the rows of their bases, twice; a doubled lattice of a higher symmetry that
  // still indexes the lines is a candidate too, in the systems asked.
  IndexSettings any_system = s;
  any_system.systems = IndexSettings{}.systems;
  // Describing and doubling take their share of the budget too: a list of a few odd lines
  // can give lattices whose descriptions take seconds. The lattices are taken best first,
  // and at the deadline the candidates are those described by then.
  auto over = [&] {
    if (Clock::now() > deadline || (progress && progress->cancel.load())) stop = true;
    return stop.load();
  };
  std::vector<IndexedCell> seeds;
  for (size_t i = 0; i < all.size(); ++i) {
    if (i >= kDoubledCandidates && over()) break;
    if (auto c = describe(all[i], lines, any_system)) seeds.push_back(std::move(*c));
  }
  for (int round = 0; round < 2; ++round) {
    std::stable_sort(seeds.begin(), seeds.end(),
                     [](const IndexedCell& a, const IndexedCell& b) { return a.figure > b.figure; });
    if (seeds.size() > kDoubledCandidates) seeds.resize(kDoubledCandidates);
    std::vector<IndexedCell> gained;
    for (const IndexedCell& c : seeds) {
      if (over()) break;
      const auto recip = inverse_positive(c.reduced);
      if (!recip) continue;
      for (const Mat3& t : kHalvings) {
        const auto g = direct_metric(transformed(q_metric(*recip), t));
        if (!g || !within_lattice_limits(*g, s)) continue;
        Found d;
        d.reduced = niggli_metric(*g);
        d.fit.zero = c.zero;
        // Only a gain of symmetry makes the doubled lattice worth offering: of the same
        // symmetry, twice the lines index impurity lines by chance.
        auto described = describe(d, lines, any_system);
        if (!described || parameter_count(described->type.model) >= parameter_count(c.type.model))
          continue;
        gained.push_back(std::move(*described));
        all.push_back(std::move(d));
      }
    }
    seeds = std::move(gained);
  }
  // The candidates at least for the best lattices, whatever the clock says.
  std::vector<IndexedCell> cells;
  for (size_t i = 0; i < all.size(); ++i) {
    if (i >= kAlwaysDescribed && over()) break;
    if (auto c = describe(all[i], lines, s)) cells.push_back(std::move(*c));
  }
  r.cancelled = progress && progress->cancel.load();
  r.out_of_time = stop.load() && !r.cancelled;
  r.stop = r.cancelled ? IndexStop::Cancel : r.out_of_time ? IndexStop::Budget : IndexStop::Done;
  // One candidate per lattice and its sub- and super-cells (Mighell & Santoro 1975: a
  // derivative lattice indexes the same lines): the more symmetric one, then the one
  // leaving fewer lines unindexed, then the higher M(20).
  std::vector<IndexedCell> kept;
  for (IndexedCell& c : cells) {
    bool related = false;
    for (IndexedCell& k : kept) {
      const bool same = same_lattice(k.reduced, c.reduced, kRelatedTolerance);
      if (!same && !is_supercell(k.reduced, c.reduced, kRelatedTolerance) &&
          !is_supercell(c.reduced, k.reduced, kRelatedTolerance))
        continue;
      related = true;
      if (better(c, k, same)) k = std::move(c);
      break;
    }
    if (!related) kept.push_back(std::move(c));
  }
  // The list is in the order of the ranking figure it shows.
  std::stable_sort(kept.begin(), kept.end(),
                   [](const IndexedCell& a, const IndexedCell& b) { return a.figure > b.figure; });
  if (static_cast<int>(kept.size()) > s.top) kept.resize(static_cast<size_t>(s.top));
  for (IndexedCell& c : kept) c.unindexed.insert(c.unindexed.begin(), too_long.begin(), too_long.end());
  r.candidates = std::move(kept);
  return r;
}

}  // namespace vornax::indexing

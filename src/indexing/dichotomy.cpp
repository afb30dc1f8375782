#include "indexing/dichotomy.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <unordered_map>

namespace vornax::indexing {

namespace {

using Clock = std::chrono::steady_clock;
using S = CrystalSystemId;

constexpr double kRad = 3.14159265358979323846 / 180.0;
constexpr int kMaxSearchLines = 64;  // one bit each
constexpr double kAxisStep = 0.4;    // Å, the first boxes
constexpr double kAngleStep = 5;     // degrees
constexpr int kHalvings = 5;         // 0.4 Å -> 0.0125 Å, 5° -> 0.16°
// Shells of volume 100 Å³ wide, or a quarter of their lower bound when that is more:
// the cells found in a shell limit the search of the next (see Limits), and a cell found
// early spares the larger ones of a wide shell, which index the lines by their many
// reflections.
constexpr double kShell = 100;          // Å³
constexpr double kShellGrowth = 0.25;
constexpr size_t kMaxCells = 50;
constexpr double kConvincing = 10;  // M(20) of a cell that ends the search (see Limits)
// Boxes between two looks at the deadline and the cancel flag.
constexpr int kCheckEvery = 256;

// The measured lines as windows of Q, before the zero: q ± tolerance, and the slope
// dQ/d(2θ) that turns a zero error into a shift.
struct LineSet {
  int n = 0;
  std::vector<double> lo, hi, slope;
};

LineSet make_line_set(const Lines& lines, const std::vector<double>& q_tolerance,
                      const DichotomySettings& s) {
  LineSet w;
  w.n = static_cast<int>(std::min<size_t>(lines.q.size(), kMaxSearchLines));
  for (int i = 0; i < w.n; ++i) {
    const double tol = static_cast<size_t>(i) < q_tolerance.size() ? q_tolerance[i]
                                                                  : s.tolerance * lines.slope[i];
    w.lo.push_back(lines.q[i] - tol);
    w.hi.push_back(lines.q[i] + tol);
    w.slope.push_back(std::abs(lines.slope[i]));
  }
  return w;
}

// The windows of the lines for a range of the zero (corrected Q = Q - zero · slope);
// `reach_hi` is the running maximum of the upper ends and `floor_lo` the minimum of the
// lower ends from a line on, so that the lines a range of Q meets are found by a
// bisection and a short walk whatever the widths.
struct Windows {
  int n = 0;
  std::array<double, kMaxSearchLines> lo, hi, reach_hi, floor_lo;
};

// Of the first `count` lines.
void make_windows(const LineSet& l, double zero_lo, double zero_hi, int count, Windows& w) {
  w.n = count;
  for (int i = 0; i < w.n; ++i) {
    w.lo[i] = l.lo[i] - zero_hi * l.slope[i];
    w.hi[i] = l.hi[i] - zero_lo * l.slope[i];
    w.reach_hi[i] = i ? std::max(w.hi[i], w.reach_hi[i - 1]) : w.hi[i];
  }
  for (int i = w.n - 1; i >= 0; --i)
    w.floor_lo[i] = i + 1 < w.n ? std::min(w.lo[i], w.floor_lo[i + 1]) : w.lo[i];
}

inline void mark(const Windows& w, double lo, double hi, uint64_t& covered) {
  int i = static_cast<int>(std::lower_bound(w.reach_hi.begin(), w.reach_hi.begin() + w.n, lo) -
                           w.reach_hi.begin());
  for (; i < w.n && w.floor_lo[i] <= hi; ++i)
    if (w.lo[i] <= hi && w.hi[i] >= lo) covered |= uint64_t{1} << i;
}

// What the bounds of one box need: the extremes of 1/a², 1/b², 1/c² and, for the
// monoclinic cross term, of 1/sin²β and |cos β|/(a c sin²β).
struct BoxTerms {
  S system;
  double x_min, x_max, y_min, y_max, z_min, z_max;
  double inv_s2_min = 1, inv_s2_max = 1;  // 1/sin²β at β0 and β1
  double cross_min = 0, cross_max = 0;    // |cos β|/(a c sin²β) over the box
};

BoxTerms box_terms(S system, const ParameterBox& b) {
  BoxTerms t{};
  t.system = system;
  const auto inv2 = [](double v) { return 1 / (v * v); };
  t.x_min = inv2(b.hi[0]);
  t.x_max = inv2(b.lo[0]);
  switch (system) {
    case S::Cubic:
      t.y_min = t.z_min = t.x_min;
      t.y_max = t.z_max = t.x_max;
      break;
    case S::Tetragonal:
    case S::Hexagonal:
      t.y_min = t.x_min;
      t.y_max = t.x_max;
      t.z_min = inv2(b.hi[1]);
      t.z_max = inv2(b.lo[1]);
      break;
    default:
      t.y_min = inv2(b.hi[1]);
      t.y_max = inv2(b.lo[1]);
      t.z_min = inv2(b.hi[2]);
      t.z_max = inv2(b.lo[2]);
      break;
  }
  if (system == S::Monoclinic) {
    // For 90° <= β < 180°, 1/sin²β and |cos β|/sin²β both grow with β.
    const double s0 = std::sin(b.lo[3] * kRad), s1 = std::sin(b.hi[3] * kRad);
    t.inv_s2_min = 1 / (s0 * s0);
    t.inv_s2_max = 1 / (s1 * s1);
    t.cross_min = std::abs(std::cos(b.lo[3] * kRad)) * t.inv_s2_min / (b.hi[0] * b.hi[2]);
    t.cross_max = std::abs(std::cos(b.hi[3] * kRad)) * t.inv_s2_max / (b.lo[0] * b.lo[2]);
  }
  return t;
}

// Q = (h²/a² + l²/c² - 2 hl cos β/(a c)) / sin²β + k²/b². With hl >= 0 every term rises
// with β and falls with a and c, so the corners give the exact range. With hl < 0 the
// square and cross parts are bounded apart (the sum's range contains the true one), and
// the ac part is at least h²/a² and l²/c², as (h/a)² + (l/c)² - 2 (h/a)(l/c) cos β =
// (l/c - (h/a) cos β)² + (h/a)² sin²β, and the same with h and l exchanged.
inline std::pair<double, double> monoclinic_range(const BoxTerms& t, int h, int k, int l) {
  const double hh = double(h) * h, kk = double(k) * k, ll = double(l) * l, hl = double(h) * l;
  const double sq_min = (hh * t.x_min + ll * t.z_min) * t.inv_s2_min;
  const double sq_max = (hh * t.x_max + ll * t.z_max) * t.inv_s2_max;
  double ac_min, ac_max;
  if (hl >= 0) {
    ac_min = sq_min + 2 * hl * t.cross_min;
    ac_max = sq_max + 2 * hl * t.cross_max;
  } else {
    ac_min = std::max({sq_min + 2 * hl * t.cross_max, hh * t.x_min, ll * t.z_min});
    ac_max = sq_max + 2 * hl * t.cross_min;
  }
  return {ac_min + kk * t.y_min, ac_max + kk * t.y_max};
}

// No integer of the form 4^a (8b + 7) is a sum of three squares.
inline bool sum_of_three_squares(int n) {
  while (n % 4 == 0) n /= 4;
  return n % 8 != 7;
}

// Calls visit(lo, hi) with the range of Q of every reflection (one of each set of equal
// Q under the system's symmetry) whose lower bound is at most q_limit.
template <class Visit>
void for_each_range(const BoxTerms& t, double q_limit, Visit&& visit) {
  switch (t.system) {
    case S::Cubic:
      for (int n = 1; n * t.x_min <= q_limit; ++n)
        if (sum_of_three_squares(n)) visit(n * t.x_min, n * t.x_max);
      return;
    case S::Tetragonal:
    case S::Hexagonal: {
      // Hexagonal: Q = 4/3 (h² + hk + k²)/a² + l²/c²; h >= k >= 0 reaches every value.
      const bool hex = t.system == S::Hexagonal;
      const double f_min = hex ? 4.0 / 3 * t.x_min : t.x_min, f_max = hex ? 4.0 / 3 * t.x_max : t.x_max;
      for (int h = 0; double(h) * h * f_min <= q_limit; ++h)
        for (int k = 0; k <= h; ++k) {
          const double m = hex ? double(h) * h + double(h) * k + double(k) * k : double(h) * h + double(k) * k;
          if (m * f_min > q_limit) break;
          for (int l = (h == 0 ? 1 : 0);; ++l) {
            const double lo = m * f_min + double(l) * l * t.z_min;
            if (lo > q_limit) break;
            visit(lo, m * f_max + double(l) * l * t.z_max);
          }
        }
      return;
    }
    case S::Orthorhombic:
      for (int h = 0; double(h) * h * t.x_min <= q_limit; ++h)
        for (int k = 0;; ++k) {
          const double hk_min = double(h) * h * t.x_min + double(k) * k * t.y_min;
          if (hk_min > q_limit) break;
          const double hk_max = double(h) * h * t.x_max + double(k) * k * t.y_max;
          for (int l = (h == 0 && k == 0 ? 1 : 0);; ++l) {
            const double lo = hk_min + double(l) * l * t.z_min;
            if (lo > q_limit) break;
            visit(lo, hk_max + double(l) * l * t.z_max);
          }
        }
      return;
    case S::Monoclinic: {
      // Q(-h k -l) = Q(h k l) = Q(h -k l): l >= 0, k >= 0, and h >= 0 when l = 0.
      const int h_max = static_cast<int>(std::sqrt(q_limit / t.x_min));
      const int l_max = static_cast<int>(std::sqrt(q_limit / t.z_min));
      for (int l = 0; l <= l_max; ++l)
        for (int h = (l == 0 ? 0 : -h_max); h <= h_max; ++h) {
          const auto [ac_lo, ac_hi] = monoclinic_range(t, h, 0, l);
          if (ac_lo > q_limit) continue;
          for (int k = (h == 0 && l == 0 ? 1 : 0);; ++k) {
            const double kk = double(k) * k;
            const double lo = ac_lo + kk * t.y_min;
            if (lo > q_limit) break;
            visit(lo, ac_hi + kk * t.y_max);
          }
        }
      return;
    }
    default: return;
  }
}

// The box test: the lines are taken in growing stages, so that most boxes are refused on
// the first few lines with the few reflections below them.
bool survives(const BoxTerms& t, const LineSet& lines, double zero_lo, double zero_hi,
              int impurities) {
  if (lines.n == 0) return true;
  int end = std::min(lines.n, impurities + 4);
  Windows w;
  for (;;) {
    make_windows(lines, zero_lo, zero_hi, end, w);
    uint64_t covered = 0;
    for_each_range(t, w.reach_hi[end - 1], [&](double lo, double hi) { mark(w, lo, hi, covered); });
    const uint64_t wanted = end == 64 ? ~uint64_t{0} : (uint64_t{1} << end) - 1;
    if (std::popcount(wanted & ~covered) > impurities) return false;
    if (end == lines.n) return true;
    end = std::min(lines.n, end * 2);
  }
}

int parameter_count_of(S system) {
  switch (system) {
    case S::Cubic: return 1;
    case S::Tetragonal: case S::Hexagonal: return 2;
    case S::Orthorhombic: return 3;
    case S::Monoclinic: return 4;
    default: return 0;
  }
}

MetricModel model_of(S system) {
  switch (system) {
    case S::Cubic: return MetricModel::Cubic;
    case S::Tetragonal: return MetricModel::Tetragonal;
    case S::Hexagonal: return MetricModel::Hexagonal;
    case S::Orthorhombic: return MetricModel::Orthorhombic;
    case S::Monoclinic: return MetricModel::Monoclinic;
    default: return MetricModel::Triclinic;
  }
}

// Smallest and largest volume over the box.
std::pair<double, double> volume_range(S system, const ParameterBox& b) {
  const auto& lo = b.lo;
  const auto& hi = b.hi;
  switch (system) {
    case S::Cubic: return {lo[0] * lo[0] * lo[0], hi[0] * hi[0] * hi[0]};
    case S::Tetragonal: return {lo[0] * lo[0] * lo[1], hi[0] * hi[0] * hi[1]};
    case S::Hexagonal: {
      const double f = std::sqrt(3.0) / 2;
      return {f * lo[0] * lo[0] * lo[1], f * hi[0] * hi[0] * hi[1]};
    }
    case S::Orthorhombic: return {lo[0] * lo[1] * lo[2], hi[0] * hi[1] * hi[2]};
    case S::Monoclinic:
      return {lo[0] * lo[1] * lo[2] * std::sin(b.hi[3] * kRad),
              hi[0] * hi[1] * hi[2] * std::sin(b.lo[3] * kRad)};
    default: return {0, 0};
  }
}

// Whether the box holds a cell of the setting searched: orthorhombic a <= b <= c;
// monoclinic a <= c and a reduced ac net, c |cos β| <= a/2 (so β <= 120°).
bool in_setting(S system, const ParameterBox& b) {
  if (system == S::Orthorhombic) return b.lo[0] <= b.hi[1] && b.lo[1] <= b.hi[2];
  if (system == S::Monoclinic)
    return b.lo[0] <= b.hi[2] && b.lo[2] * std::abs(std::cos(b.lo[3] * kRad)) <= b.hi[0] / 2;
  return true;
}

CellParams cell_of_centre(S system, const ParameterBox& b) {
  std::array<double, 4> p{};
  for (int i = 0; i < 4; ++i) p[i] = (b.lo[i] + b.hi[i]) / 2;
  switch (system) {
    case S::Cubic: return {p[0], p[0], p[0], 90, 90, 90};
    case S::Tetragonal: return {p[0], p[0], p[1], 90, 90, 90};
    case S::Hexagonal: return {p[0], p[0], p[1], 90, 90, 120};
    case S::Orthorhombic: return {p[0], p[1], p[2], 90, 90, 90};
    default: return {p[0], p[1], p[2], 90, p[3], 90};
  }
}

// Every supercell of a cell found indexes the lines that cell indexes, so from twice
// the volume of a cell that leaves u lines unindexed on, a cell is only of interest when
// it leaves fewer: the boxes there are tested with u - 1 impurities (none left: dropped).
// Beyond a convincing cell (M(20) >= 10, de Wolff 1968) that holds already from just
// above its volume: a larger cell that leaves as many lines aside has more reflections
// for the same lines, and so a lower figure of merit.
// In the orthorhombic and monoclinic systems, whose searches are long, nothing is
// searched beyond twice the smallest volume of a convincing cell found (the shell under
// way is searched up to there): larger cells index the lines by their many
// reflections, and would flood the search with supercells that take an impurity line by
// chance. A tiny cell whose reflections are dense only at high angles may index most of
// a short list, but not convincingly, and does not end the search. The other systems
// search the whole range: there a sub-cell that leaves lines aside (a tetragonal I
// lattice as the P cell a/√2, c/2 of a quarter of its volume) must not hide the cell.
struct Limits {
  double min_volume, max_volume;
  int impurities;
  // beyond[u]: from this volume on, at most u - 1 impurities.
  std::vector<double> beyond;

  void found(double from_volume, int unindexed) {
    if (unindexed < 0 || unindexed > impurities) return;
    if (beyond.size() <= static_cast<size_t>(unindexed))
      beyond.resize(unindexed + 1, std::numeric_limits<double>::infinity());
    beyond[unindexed] = std::min(beyond[unindexed], from_volume);
  }
  // The impurities allowed for a box of this smallest volume; negative: none of its cells.
  int impurities_from(double v_min) const {
    for (size_t u = 0; u < beyond.size(); ++u)
      if (v_min >= beyond[u]) return static_cast<int>(u) - 1;
    return impurities;
  }
};

// A box of the search: the cell parameters and a range of the zero error.
struct SearchBox {
  ParameterBox p;
  double zero_lo = 0, zero_hi = 0;
};

// The search of one shell, shared among the threads.
struct ShellSearch {
  S system;
  int np;
  const LineSet& lines;
  Limits limits;
  const DichotomySettings& settings;
  std::atomic<bool>& stop;
  std::atomic<long>& boxes;

  bool should_stop() const {
    return (settings.cancel && settings.cancel->load(std::memory_order_relaxed)) ||
           Clock::now() > settings.deadline;
  }

  void descend(const SearchBox& b, int depth, long& count, std::vector<SearchBox>& finals) {
    if (stop.load(std::memory_order_relaxed)) return;
    if (++count % kCheckEvery == 0 && should_stop()) {
      stop = true;
      return;
    }
    if (!in_setting(system, b.p)) return;
    const auto [v_lo, v_hi] = volume_range(system, b.p);
    if (v_lo > limits.max_volume || v_hi < limits.min_volume) return;
    const int impurities = limits.impurities_from(v_lo);
    if (impurities < 0) return;
    if (!survives(box_terms(system, b.p), lines, b.zero_lo, b.zero_hi, impurities)) return;
    if (depth == kHalvings) {
      finals.push_back(b);
      return;
    }
    // The zero's range is halved with the cell: kept whole, ±0.15° would widen every
    // line three times beyond its tolerance and let through many wrong boxes at the end.
    const bool split_zero = b.zero_hi > b.zero_lo;
    const int parts = np + (split_zero ? 1 : 0);
    for (int corner = 0; corner < (1 << parts); ++corner) {
      SearchBox child = b;
      for (int i = 0; i < np; ++i) {
        const double mid = (b.p.lo[i] + b.p.hi[i]) / 2;
        if (corner & (1 << i)) child.p.lo[i] = mid;
        else child.p.hi[i] = mid;
      }
      if (split_zero) {
        const double mid = (b.zero_lo + b.zero_hi) / 2;
        if (corner & (1 << np)) child.zero_lo = mid;
        else child.zero_hi = mid;
      }
      descend(child, depth + 1, count, finals);
    }
  }

  // Every first box in the list, each to its own list of final boxes.
  void run(const std::vector<SearchBox>& starts, std::vector<std::vector<SearchBox>>& finals,
           int threads) {
    finals.assign(starts.size(), {});
    std::atomic<size_t> next{0};
    auto work = [&] {
      long count = 0;
      for (;;) {
        const size_t i = next.fetch_add(1);
        if (i >= starts.size() || stop.load(std::memory_order_relaxed)) break;
        descend(starts[i], 0, count, finals[i]);
      }
      boxes += count;
    };
    if (threads <= 1 || starts.size() < 2) {
      work();
      return;
    }
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) pool.emplace_back(work);
    for (auto& th : pool) th.join();
  }
};

// The first boxes of a system: the axes from min_axis to max_axis in steps of 0.4 Å, β
// from 90° to 120° in steps of 5°.
std::vector<ParameterBox> first_boxes(S system, const DichotomySettings& s) {
  std::vector<std::pair<double, double>> axes;
  for (double x = s.min_axis; x < s.max_axis - 1e-9; x += kAxisStep)
    axes.push_back({x, std::min(s.max_axis, x + kAxisStep)});
  std::vector<std::pair<double, double>> angles;
  for (double x = 90; x < 120 - 1e-9; x += kAngleStep) angles.push_back({x, x + kAngleStep});
  const int np = parameter_count_of(system);
  std::vector<ParameterBox> out;
  std::array<size_t, 4> index{};
  std::array<size_t, 4> size{};
  for (int i = 0; i < np; ++i) size[i] = (system == S::Monoclinic && i == 3) ? angles.size() : axes.size();
  if (axes.empty()) return out;
  for (;;) {
    ParameterBox b;
    for (int i = 0; i < np; ++i) {
      const auto& r = (system == S::Monoclinic && i == 3) ? angles[index[i]] : axes[index[i]];
      b.lo[i] = r.first;
      b.hi[i] = r.second;
    }
    if (in_setting(system, b) && volume_range(system, b).first <= s.max_volume &&
        volume_range(system, b).second >= s.min_volume)
      out.push_back(b);
    int i = 0;
    while (i < np && ++index[i] == size[i]) index[i++] = 0;
    if (i == np) break;
  }
  return out;
}

// The centres of the final boxes already refined, hashed on a grid of twice the final
// size: a centre within two final boxes of one tried would only find the same cell.
class TriedStarts {
 public:
  explicit TriedStarts(S system) : np_(parameter_count_of(system)) {
    for (int i = 0; i < 4; ++i)
      width_[i] = (system == S::Monoclinic && i == 3 ? kAngleStep : kAxisStep) / (1 << kHalvings);
  }

  // False when a centre near this one was tried; otherwise keeps it and returns true.
  bool add(const ParameterBox& b) {
    std::array<double, 4> c{};
    std::array<int, 4> cell{};
    for (int i = 0; i < np_; ++i) {
      c[i] = (b.lo[i] + b.hi[i]) / 2;
      cell[i] = static_cast<int>(std::floor(c[i] / (2 * width_[i])));
    }
    int n = 1;
    for (int i = 0; i < np_; ++i) n *= 3;
    for (int m = 0; m < n; ++m) {
      std::array<int, 4> near = cell;
      for (int i = 0, r = m; i < np_; ++i, r /= 3) near[i] += r % 3 - 1;
      const auto it = seen_.find(key(near));
      if (it == seen_.end()) continue;
      for (const auto& t : it->second) {
        bool close = true;
        for (int i = 0; i < np_ && close; ++i) close = std::abs(t[i] - c[i]) <= 2 * width_[i];
        if (close) return false;
      }
    }
    seen_[key(cell)].push_back(c);
    return true;
  }

 private:
  static uint64_t key(const std::array<int, 4>& cell) {
    uint64_t k = 0;
    for (int v : cell) k = (k << 16) | static_cast<uint16_t>(v);
    return k;
  }
  int np_;
  std::array<double, 4> width_{};
  std::unordered_map<uint64_t, std::vector<std::array<double, 4>>> seen_;
};

bool indexes_enough(const Fit& f, size_t lines, int impurities) {
  return f.ok && f.indexed_count + impurities >= static_cast<int>(lines);
}

}  // namespace

int box_parameter_count(CrystalSystemId system) { return parameter_count_of(system); }

std::pair<double, double> q_range(CrystalSystemId system, const ParameterBox& box, const Hkl& r) {
  const BoxTerms t = box_terms(system, box);
  const double hh = double(r.h) * r.h, kk = double(r.k) * r.k, ll = double(r.l) * r.l;
  switch (system) {
    case S::Cubic: return {(hh + kk + ll) * t.x_min, (hh + kk + ll) * t.x_max};
    case S::Tetragonal: return {(hh + kk) * t.x_min + ll * t.z_min, (hh + kk) * t.x_max + ll * t.z_max};
    case S::Hexagonal: {
      const double m = 4.0 / 3 * (hh + double(r.h) * r.k + kk);
      return {m * t.x_min + ll * t.z_min, m * t.x_max + ll * t.z_max};
    }
    case S::Orthorhombic:
      return {hh * t.x_min + kk * t.y_min + ll * t.z_min, hh * t.x_max + kk * t.y_max + ll * t.z_max};
    case S::Monoclinic: return monoclinic_range(t, r.h, r.k, r.l);
    default: return {0, 0};
  }
}

bool box_survives(CrystalSystemId system, const ParameterBox& box, const Lines& lines,
                  const std::vector<double>& q_tolerance, const DichotomySettings& settings) {
  return survives(box_terms(system, box), make_line_set(lines, q_tolerance, settings),
                  -settings.zero_range, settings.zero_range, settings.impurities);
}

DichotomyResult dichotomy_search(const Lines& lines, const std::vector<double>& q_tolerance,
                                 const DichotomySettings& s) {
  DichotomyResult result;
  const LineSet line_set = make_line_set(lines, q_tolerance, s);
  std::vector<S> systems;
  for (S id : s.systems)
    if (parameter_count_of(id) > 0) systems.push_back(id);
  if (systems.empty() || line_set.n == 0 || s.max_volume <= s.min_volume) {
    result.covered = 1;
    return result;
  }
  std::atomic<bool> stop{false};
  std::atomic<long> boxes{0};
  FitSettings fit_settings;
  fit_settings.tolerance = s.tolerance;
  fit_settings.zero_range = s.zero_range;
  // The first assignment from a final box's centre, which is not quite the cell.
  fit_settings.start_tolerance = 2 * s.tolerance;
  const double range = s.max_volume - s.min_volume;
  double covered_sum = 0;

  std::vector<DichotomyCell> found;
  for (S system : systems) {
    const int np = parameter_count_of(system);
    const MetricModel model = model_of(system);
    std::vector<ParameterBox> all = first_boxes(system, s);
    // Each first box goes to the shell of its smallest volume.
    std::vector<double> bounds{s.min_volume};  // of the shells
    while (bounds.back() < s.max_volume) {
      const double v = bounds.back();
      bounds.push_back(std::min(s.max_volume, v + std::max(kShell, kShellGrowth * v)));
    }
    std::vector<std::vector<SearchBox>> shells(bounds.size() - 1);
    for (const ParameterBox& b : all) {
      const double v = volume_range(system, b).first;
      const size_t k = std::upper_bound(bounds.begin(), bounds.end(), v) - bounds.begin();
      shells[std::clamp<size_t>(k, 1, shells.size()) - 1].push_back({b, -s.zero_range, s.zero_range});
    }
    Limits limits{s.min_volume, s.max_volume, s.impurities, {}};
    TriedStarts tried(system);
    double stop_at = s.max_volume;
    double done = 0;
    for (size_t k = 0; k < shells.size(); ++k) {
      const double shell_lo = bounds[k];
      if (limits.impurities_from(shell_lo) < 0 || shell_lo >= stop_at) {
        done = range;  // see Limits
        break;
      }
      limits.max_volume = std::min(s.max_volume, stop_at);
      ShellSearch search{system, np, line_set, limits, s, stop, boxes};
      std::vector<std::vector<SearchBox>> finals;
      search.run(shells[k], finals, s.threads);
      // Refine the centres of the final boxes, in the order of the boxes so that the
      // result does not depend on the threads; neighbours of a centre already tried
      // would only find the same cell again. After a stop, a few more are still tried.
      int after_stop = 0;
      for (const auto& list : finals)
        for (const SearchBox& b : list) {
          if (stop && ++after_stop > 64) break;
          if (!tried.add(b.p)) continue;
          const auto start = q_metric_of_cell(cell_of_centre(system, b.p));
          if (!start) continue;
          Fit f = refine_lattice(model, Centring::P, *start, (b.zero_lo + b.zero_hi) / 2, lines,
                                 fit_settings, 8);
          if (!indexes_enough(f, lines.q.size(), s.impurities)) continue;
          const auto g = direct_metric(f.metric);
          if (!g) continue;
          DichotomyCell c;
          c.system = system;
          c.model = model;
          c.metric = f.metric;
          c.cell = cell_of_metric(*g);
          c.volume = volume_of_metric(*g);
          c.zero = f.zero;
          c.m20 = figures_of_merit(f, Centring::P, lines, s.tolerance).m20;
          c.fit = std::move(f);
          const int unindexed = static_cast<int>(lines.q.size()) - c.fit.indexed_count;
          limits.found(c.m20 >= kConvincing ? 1.05 * c.volume : 2 * c.volume * 0.99, unindexed);
          if (c.m20 >= kConvincing && np >= 3) stop_at = std::min(stop_at, 2 * c.volume * 0.99);
          found.push_back(std::move(c));
        }
      if (stop) break;
      done = bounds[k + 1] - s.min_volume;
    }
    covered_sum += done / range;
    if (stop) break;
  }
  result.stopped = stop;
  result.covered = covered_sum / systems.size();
  result.boxes = boxes;

  // One cell per lattice: the first system's (the most symmetric) unless a later one
  // indexes more lines; within a system, the higher M(20).
  std::vector<Mat3> reduced;
  for (DichotomyCell& c : found) {
    const Mat3 r = niggli_metric(*direct_metric(c.metric));
    size_t j = 0;
    for (; j < result.cells.size(); ++j)
      if (same_lattice(reduced[j], r, 0.003)) break;
    if (j == result.cells.size()) {
      result.cells.push_back(std::move(c));
      reduced.push_back(r);
      continue;
    }
    DichotomyCell& kept = result.cells[j];
    const bool better = kept.system == c.system ? c.m20 > kept.m20
                                                : c.fit.indexed_count > kept.fit.indexed_count;
    if (better) {
      kept = std::move(c);
      reduced[j] = r;
    }
  }
  std::stable_sort(result.cells.begin(), result.cells.end(),
                   [](const DichotomyCell& a, const DichotomyCell& b) { return a.m20 > b.m20; });
  if (result.cells.size() > kMaxCells) result.cells.resize(kMaxCells);
  return result;
}

}  // namespace vornax::indexing

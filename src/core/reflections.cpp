#include "core/reflections.hpp"

#include <algorithm>
#include <cmath>

#include "core/cell.hpp"
#include "core/crystal_system.hpp"
#include "core/exchange_sort.hpp"
#include "core/symmetry.hpp"

namespace vornax {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Two trial positions of the test atom; the second settles the rare accidental zero of
// the first.
constexpr std::array<double, 3> kTrial0 = {0.13314161, 0.2121487, 0.6139476};
constexpr std::array<double, 3> kTrial1 = {0.43714161, 0.0121487, 0.618476};
constexpr double kVanishing = 0.001;
constexpr double kSameD = 0.0001;

struct Candidate {
  int h, k, l;
  double d;
};

// The images of the two trial positions under every operator, folded into the cell.
// They do not depend on h k l, so one run computes them once.
struct TrialImages {
  std::vector<std::array<double, 3>> p0, p1;

  explicit TrialImages(const std::vector<SymmetryOperator>& ops) {
    p0.reserve(ops.size());
    p1.reserve(ops.size());
    for (const auto& op : ops) {
      p0.push_back(image(op, kTrial0));
      p1.push_back(image(op, kTrial1));
    }
  }

  static std::array<double, 3> image(const SymmetryOperator& op, const std::array<double, 3>& x) {
    std::array<double, 3> r{};
    for (size_t i = 0; i < 3; ++i) {
      const auto& row = op.rows[i];
      double v = row[0] * x[0] + row[1] * x[1] + row[2] * x[2] + row[3];
      if (v < 0) v += 10;
      r[i] = v - std::trunc(v);
    }
    return r;
  }

  static double modulus2(const std::vector<std::array<double, 3>>& pos, int h, int k, int l) {
    double c = 0, s = 0;
    for (const auto& p : pos) {
      const double phi = kTwoPi * (h * p[0] + k * p[1] + l * p[2]);
      c += std::cos(phi);
      s += std::sin(phi);
    }
    return c * c + s * s;
  }

  bool vanishes(int h, int k, int l) const {
    if (modulus2(p0, h, k, l) >= kVanishing) return false;
    return modulus2(p1, h, k, l) < kVanishing;
  }
};

bool even(long long x) { return x % 2 == 0; }
bool multiple_of_3(long long x) { return x % 3 == 0; }

// The lattice letter the extinction test works with. "No ext." (the first entry of the
// H-M list) stands for a group without extinctions: it is tested as primitive, not as
// an unknown letter that would exclude everything.
char effective_lattice(const WorkSession& s) {
  if (crystal_system(s.system).hexagonal_axes && !s.symbol.empty() && s.symbol[0] == 'R')
    return 'R';
  if (is_no_extinction(s.symbol)) return 'P';
  return s.lattice_letter;
}

// The lattice part of the extinction test; may exchange h and k (R in hexagonal axes).
bool lattice_allows(char c, bool hexagonal, int& h, int& k, int l) {
  switch (c) {
    case 'P': return true;
    case 'A': return even(k + l);
    case 'B': return even(h + l);
    case 'C': return even(h + k);
    case 'I': return even(h + k + l);
    case 'F': return even(h + k) && even(k + l) && even(h + l);
    case 'R': {
      if (!hexagonal) return true;
      bool ok = multiple_of_3(-h + k + l);
      if (multiple_of_3(h - k + l)) {
        std::swap(h, k);
        ok = true;
      }
      return ok;
    }
    default: return false;
  }
}

// Enumerates h k l for a system, nested h, k, l; `visit` returns false to stop.
template <typename Visit>
void enumerate(IndexWalk walk, const IndexLimits& lim, bool mono_descending, Visit&& visit) {
  const int hm = static_cast<int>(lim.h), km = static_cast<int>(lim.k),
            lm = static_cast<int>(lim.l);
  switch (walk) {
    case IndexWalk::CubicWedge:
      for (int h = 0; h <= hm; ++h)
        for (int k = 0; k <= km; ++k)
          for (int l = k; l <= lm; ++l)
            if (!visit(h, k, l)) return;
      break;
    case IndexWalk::PositiveOctant:
      for (int h = 0; h <= hm; ++h)
        for (int k = 0; k <= km; ++k)
          for (int l = 0; l <= lm; ++l)
            if (!visit(h, k, l)) return;
      break;
    case IndexWalk::HexagonalWedge:
      for (int h = 0; h <= hm; ++h)
        for (int k = h; k <= km; ++k)
          for (int l = 0; l <= lm; ++l)
            if (!visit(h, k, l)) return;
      break;
    case IndexWalk::RhombohedralWedge:
      // All three indices run to hmax.
      for (int h = 0; h <= hm; ++h)
        for (int k = h; k <= hm; ++k)
          for (int l = -hm; l <= hm; ++l) {
            if (h == 0 && k == 0 && l == 0) continue;
            if (l >= 0 && (l < h || l < k)) continue;
            if (!visit(h, k, l)) return;
          }
      break;
    case IndexWalk::HalfH: {
      const int step = mono_descending ? -1 : 1;
      const int first = mono_descending ? hm : -hm;
      for (int h = first; mono_descending ? h >= -hm : h <= hm; h += step)
        for (int k = 0; k <= km; ++k)
          for (int l = 0; l <= lm; ++l)
            if (!visit(h, k, l)) return;
      break;
    }
    case IndexWalk::HalfHK:
      for (int h = -hm; h <= hm; ++h)
        for (int k = -km; k <= km; ++k)
          for (int l = 0; l <= lm; ++l)
            if (!visit(h, k, l)) return;
      break;
    case IndexWalk::None: break;
  }
}

// Number of triples the enumeration visits at most. Above kMaxEnumeration the run ends
// with the candidate-limit message instead of looping for seconds: so large a box
// holds far more than the candidate limit unless the window is a thin shell of a huge
// cell, which is no powder pattern.
constexpr double kMaxEnumeration = 1e8;
double enumeration_size(const IndexLimits& lim) {
  return (2.0 * static_cast<double>(lim.h) + 1) * (2.0 * static_cast<double>(lim.k) + 1) *
         (2.0 * static_cast<double>(lim.l) + 1);
}

enum class Wanted { Allowed, Forbidden };

// Common preparation and enumeration. Returns false when the run ended with a message
// (the caller then leaves its list empty).
bool collect_candidates(WorkSession& s, Messages& m, Wanted wanted,
                        std::vector<Candidate>& out) {
  out.clear();
  compute_reciprocal(s);
  for (const auto& row : s.B)
    for (double v : row)
      if (!std::isfinite(v)) {
        m.error("Cell parameters error!");
        return false;
      }

  // 2θ means nothing outside 0 .. 180: a lower edge below 0 would act through its square
  // as a positive one, and an upper edge past 180 would fold back through the sine.
  // A negative wavelength gives no reflections rather than negative angles.
  const double lambda = s.wavelengths.lambda;
  if (!(lambda > 0)) return true;
  const double tt_lo = std::clamp(s.window_min, 0.0, 180.0);
  const double tt_hi = std::clamp(s.window_max, 0.0, 180.0);
  const double smax = 2.0 * std::sin(tt_hi * kHalfDegToRad) / lambda;
  const double slo = 2.0 * std::sin(tt_lo * kHalfDegToRad) / lambda;
  const double s2lo = slo * slo, s2hi = smax * smax;
  if (!(smax > 0)) return true;  // nothing to enumerate
  const IndexLimits lim = index_limits(s.B, smax);
  if (!std::isfinite(s2hi) || enumeration_size(lim) > kMaxEnumeration) {
    m.error(kTooManyReflections);
    return false;
  }

  const CrystalSystem& sys = crystal_system(s.system);
  const bool hexagonal = sys.hexagonal_axes;
  const char lattice = effective_lattice(s);
  const TrialImages trial(s.operators);
  const auto& B = s.B;
  bool overflow = false;
  int count = 0;

  enumerate(sys.walk, lim, wanted == Wanted::Allowed, [&](int h, int k, int l) {
    if (h == 0 && k == 0 && l == 0) return true;
    // is_extinct split in its cheap lattice part and its costly structure-factor part,
    // with the window test in between: the three are independent conditions, so the
    // order changes nothing but the time taken.
    const bool lattice_ok = lattice_allows(lattice, hexagonal, h, k, l);
    if (wanted == Wanted::Allowed && !lattice_ok) return true;
    const double q = inverse_d_squared(B, h, k, l);
    if (q < s2lo || q > s2hi) return true;
    const bool extinct = !lattice_ok || trial.vanishes(h, k, l);
    if (extinct != (wanted == Wanted::Forbidden)) return true;
    if (++count >= kMaxCandidates + 1) {
      overflow = true;
      return false;
    }
    out.push_back({h, k, l, 1.0 / std::sqrt(q)});
    return true;
  });

  if (overflow) {
    out.clear();
    m.error(kTooManyReflections);
    return false;
  }
  return true;
}

void sort_by_decreasing_d(std::vector<Candidate>& c) {
  exchange_sort(c, [](const Candidate& a, const Candidate& b) { return a.d < b.d; });
}

// The lattice letter of the run: the symbol's first character, "P" for one system
// (the generators differ in which; is_extinct treats R symbols itself).
void set_lattice_letter(WorkSession& s, CrystalSystemId primitive_for) {
  s.lattice_letter = s.symbol.empty() ? ' ' : s.symbol[0];
  if (system_of(s.system) == primitive_for) s.lattice_letter = 'P';
}

CalculatedReflection record(int h, int k, int l, int mark, double d, double lambda) {
  CalculatedReflection r;
  r.h = h;
  r.k = k;
  r.l = l;
  r.mark = mark;
  r.d = d;
  r.two_theta = two_theta_from_d(d, lambda);
  return r;
}

}  // namespace

long long round_half_even(double x) {
  // Saturated so that no value converts out of range.
  constexpr double kLimit = 4e18;
  if (std::isnan(x)) return 0;
  return static_cast<long long>(std::nearbyint(std::clamp(x, -kLimit, kLimit)));
}

IndexLimits index_limits(const ReciprocalMatrix& B, double smax) {
  // A reach beyond any enumerable size (a wavelength of 1e-200 Å, a cell of 1e200 Å)
  // saturates, so that the caller's size guard sees it; NaN counts as beyond.
  constexpr double kCeiling = 1e12;
  auto reach = [&](double h, double k, double l) {
    const double r = smax / std::sqrt(inverse_d_squared(B, h, k, l));
    return round_half_even(r < kCeiling ? r : kCeiling);
  };
  IndexLimits lim;
  for (int a = 0; a <= 1; ++a)
    for (int b = 0; b <= 1; ++b) {
      lim.h = std::max(lim.h, reach(1, a, b));
      lim.k = std::max(lim.k, reach(a, 1, b));
      lim.l = std::max(lim.l, reach(a, b, 1));
    }
  ++lim.h;
  ++lim.k;
  ++lim.l;
  return lim;
}

bool structure_factor_vanishes(const std::vector<SymmetryOperator>& ops, int h, int k, int l) {
  return TrialImages(ops).vanishes(h, k, l);
}

bool is_extinct(const WorkSession& s, int& h, int& k, int& l) {
  if (h == 0 && k == 0 && l == 0) return true;
  if (!lattice_allows(effective_lattice(s), crystal_system(s.system).hexagonal_axes, h, k, l))
    return true;
  return structure_factor_vanishes(s.operators, h, k, l);
}

bool are_equivalent(std::string_view system, int h1, int k1, int l1, int h2, int k2, int l2) {
  const std::array<int, 3> v = {h2, k2, l2};
  for (const IndexMatrix& mat : crystal_system(system).equivalences) {
    std::array<int, 3> p{};
    for (size_t r = 0; r < 3; ++r) p[r] = mat[r][0] * v[0] + mat[r][1] * v[1] + mat[r][2] * v[2];
    if (p[0] == h1 && p[1] == k1 && p[2] == l1) return true;
    if (p[0] == -h1 && p[1] == -k1 && p[2] == -l1) return true;
  }
  return false;
}

void generate_allowed_reflections(WorkSession& s, Messages& m) {
  s.show_forbidden = false;
  set_lattice_letter(s, CrystalSystemId::Hexagonal);
  s.allowed.clear();
  s.forbidden.clear();
  s.merged.clear();

  std::vector<Candidate> c;
  if (!collect_candidates(s, m, Wanted::Allowed, c)) return;
  sort_by_decreasing_d(c);

  const double lambda = s.wavelengths.lambda;
  auto& list = s.allowed;
  list.reserve(c.size());
  for (const auto& x : c) list.push_back(record(x.h, x.k, x.l, 0, x.d, lambda));

  // Duplicates: a later record equivalent to an earlier one of the same d is dropped.
  // The list is sorted by decreasing d, so the scan for a record stops at the first
  // later d that is 0.0001 or more below it.
  const size_t n = list.size();
  const double smallest = n ? list.back().d : 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    const double di = list[i].d;
    const bool dropped = di == 0;
    if (dropped && smallest >= kSameD) continue;  // |0 - d(j)| < 0.0001 cannot happen
    for (size_t j = i + 1; j < n; ++j) {
      const double dj = list[j].d;
      if (dj == 0) continue;
      if (!(std::fabs(di - dj) < kSameD)) {
        if (dropped) continue;
        break;
      }
      if (are_equivalent(s.system, list[i].h, list[i].k, list[i].l, list[j].h, list[j].k,
                         list[j].l))
        list[j].d = 0;
    }
  }
  std::erase_if(list, [](const CalculatedReflection& r) { return r.d == 0; });
}

void generate_forbidden_reflections(WorkSession& s, Messages& m) {
  set_lattice_letter(s, CrystalSystemId::Rhombohedral);
  s.forbidden.clear();
  s.merged.clear();

  std::vector<Candidate> c;
  if (!collect_candidates(s, m, Wanted::Forbidden, c)) return;
  sort_by_decreasing_d(c);

  // Reflections of equal d are merged whatever their indices; the last all-positive
  // triple of a group names it.
  const double lambda = s.wavelengths.lambda;
  const size_t n = c.size();
  for (size_t i = 0; i < n; ++i) {
    if (c[i].d == 0) continue;
    Candidate rep = c[i];
    for (size_t j = i + 1; j < n; ++j) {
      if (c[j].d == 0) continue;
      if (!(std::fabs(c[i].d - c[j].d) <= kSameD)) break;
      if (c[j].h >= 0 && c[j].k >= 0 && c[j].l >= 0) {
        rep.h = c[j].h;
        rep.k = c[j].k;
        rep.l = c[j].l;
      }
      c[j].d = 0;
    }
    s.forbidden.push_back(record(rep.h, rep.k, rep.l, 1, c[i].d, lambda));
  }
}

}  // namespace vornax

// Counted profiles of standards (Cu Kα1 + Kα2 doublets of pseudo-Voigt lines on a
// background, Poisson noise, the space group's absences) go through vornax-cli index as
// a user's measurement would: the default peak search, the default impurities, and the
// standard's own lattice must come first in its own Bravais type. The absences take
// lines the search leans on: silicon's diamond structure the 200 line, the shorter
// diagonal of two 111 vectors; rutile's 4₂ axis and n glide the 100 and 001 lines, the
// first orders of its reduced basis vectors; zincite's 6₃ axis the 001 line, corundum's
// c glide and R centring its 003 and 101 lines.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "indexing/generated_lines.hpp"
#include "profile/profile_generator.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace indexing_test;

namespace {

constexpr double kCuKa2 = 1.544414;

// Reflection conditions beyond the lattice centring, of the standards' space groups.
using Extinct = bool (*)(int h, int k, int l);
bool no_extra(int, int, int) { return false; }
// Fd-3m: hkl all even need h + k + l = 4n.
bool diamond(int h, int k, int l) {
  return h % 2 == 0 && k % 2 == 0 && l % 2 == 0 && (h + k + l) % 4 != 0;
}
// P4₂/mnm: 0kl with k + l odd (so h00 and 00l with h, l odd), and its tetragonal mate h0l.
bool rutile(int h, int k, int l) {
  return (h == 0 && (k + l) % 2 != 0) || (k == 0 && (h + l) % 2 != 0);
}
// P6₃mc: 00l and hh(-2h)l with l odd (the three settings of the hh row).
bool zincite(int h, int k, int l) {
  const bool odd = l % 2 != 0;
  return odd && ((h == 0 && k == 0) || h == k || k == -2 * h || h == -2 * k);
}
// R-3c on hexagonal axes, beyond the R centring: h-h0l with l odd (the three settings
// of the h-h row).
bool corundum(int h, int k, int l) {
  return l % 2 != 0 && (h == 0 || k == 0 || h == -k);
}
struct Standard {
  const char* name;
  CellParams cell;
  Centring centring;
  const char* lattice;  // expected Bravais type
  Extinct extinct;
  double first, last;   // 2θ range of the profile
};

// The Kα1 lines of a standard: every allowed reflection, a made-up but repeatable
// intensity per line (the tests need positions, not structure factors).
std::vector<vornax::testing::DiffractionLine> lines_of(const Standard& st) {
  const auto m = q_metric_of_cell(st.cell);
  const double q_max = std::pow(2 * std::sin(st.last / 2 * kPi / 180) / kCuKa1, 2);
  std::vector<Reflection> refl;
  reflections_up_to(*m, st.centring, q_max, refl);
  std::map<long long, double> by_q;  // Q in 1e-9 steps: equal Q make one line
  for (const Reflection& r : refl) {
    if (st.extinct(r.hkl.h, r.hkl.k, r.hkl.l)) continue;
    const auto key = std::llround(r.q * 1e9);
    const double weight = 0.3 + 0.7 * std::abs(std::sin(3.1 * r.hkl.h + 1.7 * r.hkl.k + 2.3 * r.hkl.l));
    by_q[key] += weight;
  }
  std::vector<vornax::testing::DiffractionLine> out;
  for (const auto& [key, weight] : by_q) {
    const double t = 2 * std::asin(kCuKa1 * std::sqrt(key * 1e-9) / 2) * 180 / kPi;
    if (t < st.first + 0.5) continue;
    // Falling with the angle, as form factors do.
    out.push_back({t, 4000 * weight * std::exp(-t / 60)});
  }
  return out;
}

void write_profile(const Standard& st, const char* file) {
  vornax::testing::CountedRecipe r;
  r.start = st.first;
  r.step = 0.01;
  r.points = static_cast<size_t>((st.last - st.first) / r.step) + 1;
  r.lines = lines_of(st);
  r.fwhm = 0.07;
  r.fwhm_tan = 0.04;
  r.eta = 0.4;
  r.lambda1 = kCuKa1;
  r.lambda2 = kCuKa2;
  r.ratio = 0.5;
  r.background = 150;
  const vornax::Profile p = vornax::testing::make_counted_profile(r);
  std::ofstream f(file);
  f.precision(8);
  // Counts as measured: the generator scales the highest point to 100.
  for (const auto& pt : p.points) f << pt.two_theta << ' ' << pt.intensity * p.intensity_max / 100 << '\n';
}

Centring centring_of(const std::string& lattice) {
  switch (lattice.at(1)) {
    case 'I': return Centring::I;
    case 'F': return Centring::F;
    case 'C': return Centring::C;
    case 'R': return Centring::R;
    default: return Centring::P;
  }
}

}  // namespace

TEST(StandardProfiles, AreSearchedAndIndexedByTheirOwnLatticeFirst) {
  const Standard standards[] = {
      {"silicon", {5.43119, 5.43119, 5.43119, 90, 90, 90}, Centring::F, "cF", diamond, 20, 140},
      {"LaB6", {4.15689, 4.15689, 4.15689, 90, 90, 90}, Centring::P, "cP", no_extra, 15, 140},
      {"rutile TiO2", {4.5937, 4.5937, 2.9587, 90, 90, 90}, Centring::P, "tP", rutile, 20, 140},
      {"zincite ZnO", {3.2498, 3.2498, 5.2066, 90, 90, 120}, Centring::P, "hP", zincite, 20, 140},
      {"corundum", {4.7588, 4.7588, 12.9910, 90, 90, 120}, Centring::R, "hR", corundum, 20, 140},
  };
  for (const Standard& st : standards) {
    SCOPED_TRACE(st.name);
    refine_test::ScratchFolder folder;
    write_profile(st, "standard.xy");
    const auto r = vornax::testing::run_vornax_cli("index standard.xy --lambda 1.5418 --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_FALSE(doc["candidates"].empty());
    const auto& best = doc["candidates"][0];
    const std::string lattice = best["lattice"];
    EXPECT_EQ(lattice, st.lattice) << best.dump();
    const CellParams found{best["a"], best["b"], best["c"], best["alpha"], best["beta"], best["gamma"]};
    EXPECT_TRUE(same_lattice(primitive_metric(found, centring_of(lattice)),
                             primitive_metric(st.cell, st.centring), 0.003))
        << best.dump();
    // The lines of a standard are all its own: a line left unindexed can only be the Kα2
    // line of a doublet the search took for a line of its own (the fit, taking it for a
    // doublet's Kα1, moves it by up to a tenth of a degree).
    for (double u : best["unindexed"]) {
      bool kalpha2 = false;
      for (const auto& l : lines_of(st)) {
        const double s2 = std::sin(l.two_theta / 2 * kPi / 180) * kCuKa2 / kCuKa1;
        kalpha2 |= s2 < 1 && std::abs(2 * std::asin(s2) * 180 / kPi - u) < 0.1;
      }
      EXPECT_TRUE(kalpha2) << u << ' ' << best.dump();
    }
  }
}

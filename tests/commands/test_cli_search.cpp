// vornax-cli search end to end: a measured-looking silicon pattern (Cu Kα1 + Kα2
// doublets on a background with noise) is searched, its Kα2 lines killed, and the kept
// peaks refine the cell through vornax-cli refine.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_file.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace refine_test;

namespace {

using vornax::testing::CliRun;

CliRun run_cli(const std::string& args) { return vornax::testing::run_vornax_cli(args); }

std::vector<std::vector<double>> number_lines(const std::string& text) {
  std::vector<std::vector<double>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::vector<double> v;
    double x;
    while (ls >> x) v.push_back(x);
    if (ls.eof() && !v.empty()) out.push_back(v);
  }
  return out;
}

constexpr double kSiliconA = 5.431194;
constexpr double kKa1 = 1.540593, kKa2 = 1.544414;
constexpr double kPi = 3.14159265358979323846;

double bragg(double a, int n, double lambda) {
  return 2 * std::asin(lambda * std::sqrt(double(n)) / (2 * a)) * 180 / kPi;
}

// Diamond-structure reflections (h² + k² + l²) between 40 and 140° at Cu Kα1, with
// rough relative heights of a silicon powder.
struct Line {
  int n;
  double height;
};
const Line kSilicon[] = {{8, 55},  {11, 30}, {16, 7},  {19, 11}, {24, 13},
                         {27, 7},  {32, 4},  {35, 7},  {40, 5},  {43, 3}};

// A 2θ–intensity column file from 40 to 140° in steps of 0.005°: Gaussian doublets
// (FWHM 0.05°, Kα2 at half the Kα1 height) on a falling background, with noise of
// about the square root of the counts from a fixed-seed generator.
void write_silicon_pattern(const char* name, double fwhm = 0.05) {
  const double sigma = fwhm / 2.3548;
  uint64_t seed = 12345;
  auto uniform = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return double(seed >> 11) / double(1ULL << 53);
  };
  std::vector<std::pair<double, double>> centres;
  for (const Line& l : kSilicon) {
    centres.push_back({bragg(kSiliconA, l.n, kKa1), l.height * 50});
    centres.push_back({bragg(kSiliconA, l.n, kKa2), l.height * 25});
  }
  std::ofstream f(name);
  f.precision(8);
  for (int i = 0; i <= 20000; ++i) {
    const double x = 40 + i * 0.005;
    double y = 40 + 3000 / x;
    for (const auto& [c, h] : centres) {
      const double u = (x - c) / sigma;
      if (std::fabs(u) < 12) y += h * std::exp(-0.5 * u * u);
    }
    double g = -6;
    for (int k = 0; k < 12; ++k) g += uniform();
    f << x << ' ' << y + std::sqrt(y) * g << '\n';
  }
}

// The refined a: the last values line (shift, λ, a, b, c, α, β, γ, volume) of the report.
double refined_a(const std::string& report) {
  double a = 0;
  for (const auto& v : number_lines(report))
    if (v.size() == 9 && v[5] == 90 && v[6] == 90 && v[7] == 90 && v[2] == v[3]) a = v[2];
  return a;
}

}  // namespace

TEST(CliSearch, SiliconPatternToRefinedCell) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy");
  const auto s = run_cli("search si.xy --lambda 1.5418 --min-width 0.02 --keep 1,2 --out p.txt");
  ASSERT_EQ(s.code, 0) << s.err;

  // Every Kα1 line of the pattern is found as code 2 within a hundredth of a degree,
  // with its Kα2 partner as code 3; nothing else is called a doublet.
  const auto peaks = number_lines(s.out);
  ASSERT_GE(peaks.size(), 14u) << s.out;
  int alpha1 = 0, alpha2 = 0;
  for (const auto& p : peaks) {
    ASSERT_EQ(p.size(), 3u);
    double nearest1 = 1e9, nearest2 = 1e9;
    for (const Line& l : kSilicon) {
      nearest1 = std::min(nearest1, std::fabs(p[0] - bragg(kSiliconA, l.n, kKa1)));
      nearest2 = std::min(nearest2, std::fabs(p[0] - bragg(kSiliconA, l.n, kKa2)));
    }
    if (p[2] == 2) {
      ++alpha1;
      EXPECT_LT(nearest1, 0.01) << p[0];
    }
    if (p[2] == 3) {
      ++alpha2;
      EXPECT_LT(nearest2, 0.01) << p[0];
    }
    EXPECT_LT(std::min(nearest1, nearest2), 0.01) << "a peak where the pattern has none: " << p[0];
  }
  EXPECT_GE(alpha1, 7);
  EXPECT_EQ(alpha1, alpha2);

  // The kept list holds no Kα2 line, one 2θ per line with six decimals.
  const auto kept = vornax::read_text_lines("p.txt");
  EXPECT_EQ(kept.size(), peaks.size() - static_cast<size_t>(alpha2));
  for (const auto& line : kept) {
    ASSERT_EQ(line.size(), 11u) << line;
    EXPECT_EQ(line.find('.'), 4u) << line;
    const double tt = std::stod(line);
    for (const Line& l : kSilicon) EXPECT_GT(std::fabs(tt - bragg(kSiliconA, l.n, kKa2)), 0.02);
  }

  const auto r = run_cli(
      "refine --peaks p.txt --system CUBI --group 'F d -3 m:2' --cell 5.431 5.431 5.431 90 90 90 "
      "--lambda 1.540593 --range 40 140 --tolerance 0.05");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NEAR(refined_a(r.out), kSiliconA, 1e-3) << r.out;
}

// Without --keep every peak found goes to the file; the line codes come from the
// classification of a named anode only.
TEST(CliSearch, KeepAndClassificationChoices) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy");
  struct Case {
    const char* args;
    bool any_doublet;
    bool all_kept;
  } cases[] = {
      {"--lambda 1.5418 --min-width 0.02 --out p.txt --force", true, true},
      // A wavelength that names no anode: no classification, every code 1.
      {"--lambda 1.6 --min-width 0.02 --keep 2 --out p.txt --force", false, false},
      {"--lambda 1.6 --min-width 0.02 --keep 1 --out p.txt --force", false, true},
  };
  for (const Case& c : cases) {
    const auto r = run_cli(std::string("search si.xy ") + c.args);
    ASSERT_EQ(r.code, 0) << c.args << r.err;
    const auto peaks = number_lines(r.out);
    ASSERT_FALSE(peaks.empty()) << c.args;
    bool doublet = false;
    for (const auto& p : peaks) doublet = doublet || p[2] == 2 || p[2] == 3;
    EXPECT_EQ(doublet, c.any_doublet) << c.args;
    const auto kept = vornax::read_text_lines("p.txt");
    EXPECT_EQ(kept.size(), c.all_kept ? peaks.size() : 0u) << c.args;
  }
}

// A stricter threshold or a narrower width window finds fewer peaks, never more.
TEST(CliSearch, SettingsNarrowTheSearch) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy");
  const auto base = run_cli("search si.xy --lambda 1.5418 --min-width 0.02");
  const auto strict = run_cli("search si.xy --lambda 1.5418 --min-width 0.02 --threshold 30");
  const auto narrow = run_cli("search si.xy --lambda 1.5418 --min-width 0.02 --max-width 0.03");
  ASSERT_EQ(base.code, 0) << base.err;
  ASSERT_EQ(strict.code, 0) << strict.err;
  ASSERT_EQ(narrow.code, 0) << narrow.err;
  const size_t n = number_lines(base.out).size();
  EXPECT_LT(number_lines(strict.out).size(), n);
  EXPECT_GT(number_lines(strict.out).size(), 0u);
  EXPECT_LT(number_lines(narrow.out).size(), n);
}

// Without settings the search measures the pattern and says what it took on stderr;
// --classic and given values replace the measured ones; stdout keeps its layout.
TEST(CliSearch, SettingsMeasuredOnThePatternArePrinted) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy");
  struct Case {
    const char* args;
    const char* settings;  // expected start of the stderr line; "" when measured
  } cases[] = {
      {"", ""},
      {"--classic", "search settings: threshold 2.0 (noise "},
      {"--threshold 3.5", "search settings: threshold 3.5 (noise "},
  };
  for (const Case& c : cases) {
    const auto r = run_cli(std::string("search si.xy --lambda 1.5418 ") + c.args);
    ASSERT_EQ(r.code, 0) << c.args << r.err;
    const size_t at = r.err.find("search settings: threshold ");
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::string line = r.err.substr(at, r.err.find('\n', at) - at);
    EXPECT_EQ(line.rfind(c.settings, 0), 0u) << line;
    double threshold = 0, noise = 0, lo = 0, hi = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "search settings: threshold %lf (noise %lf) widths %lf", &threshold,
                          &noise, &lo),
              3)
        << line;
    const size_t dash = line.find("\u2013");
    ASSERT_NE(dash, std::string::npos) << line;
    hi = std::stod(line.substr(dash + std::string("\u2013").size()));
    EXPECT_NE(line.find("\u00b0"), std::string::npos) << line;
    EXPECT_LE(lo, hi) << line;
    if (std::string(c.args) == "--classic") {
      EXPECT_DOUBLE_EQ(lo, 0.1);
      EXPECT_DOUBLE_EQ(hi, 1.0);
    }
    if (*c.args != 0) continue;
    // Measured: lines of 0.05° at a 0.005° step want a minimum width under the
    // classic 0.10°, and every Kα1 line is found as such with its Kα2 partner.
    EXPECT_LT(lo, 0.1) << line;
    EXPECT_GE(lo, 0.005) << line;
    int alpha1 = 0, alpha2 = 0;
    for (const auto& p : number_lines(r.out)) {
      double nearest = 1e9;
      for (const Line& l : kSilicon)
        nearest = std::min({nearest, std::fabs(p[0] - bragg(kSiliconA, l.n, kKa1)),
                            std::fabs(p[0] - bragg(kSiliconA, l.n, kKa2))});
      EXPECT_LT(nearest, 0.01) << "a peak where the pattern has none: " << p[0];
      alpha1 += p[2] == 2;
      alpha2 += p[2] == 3;
    }
    EXPECT_EQ(alpha1, static_cast<int>(std::size(kSilicon)));
    EXPECT_EQ(alpha2, alpha1);
  }
}

TEST(CliSearch, BadArgumentsAndFiles) {
  ScratchFolder folder;
  {
    std::ofstream f("flat.xy");
    for (int i = 0; i < 100; ++i) f << 20 + i * 0.01 << " 50\n";
  }
  struct Case {
    const char* args;
    int code;
    const char* err;
  } cases[] = {
      {"search", 2, "no file given"},
      {"search a.xy --threshold", 2, "--threshold needs a value"},
      {"search a.xy --threshold x", 2, "bad value for --threshold"},
      {"search a.xy --min-width 0.5 --max-width 0.2", 2, "--min-width is above --max-width"},
      {"search a.xy --keep 1,7", 2, "bad codes for --keep"},
      {"search a.xy --split", 2, "--split needs --fit"},
      {"search a.xy --contamination 1.39 1", 2, "--contamination needs"},
      {"search missing.xy --lambda 1.5418", 1, ""},
      {"search flat.xy", 1, "no wavelength in flat.xy: give --lambda L"},
      {"search flat.xy --lambda 1.5418", 1, "No peak can be searched"},
      {"search flat.xy --lambda 1.5418 --contamination x 1 '' ''", 1, "No peak can be searched"},
  };
  for (const Case& c : cases) {
    const auto r = run_cli(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << c.args;
  }
}

// Contamination text that is no number stops with the message, leaving no file.
TEST(CliSearch, BadContaminationData) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy");
  const auto r = run_cli("search si.xy --lambda 1.5418 --min-width 0.02 --contamination 1.39 x '' '' --out p.txt");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("bad contamination data"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists("p.txt"));
}

// Lines of 0.12°: the search's Kα1 of the first, barely resolved doublet sits high, as
// the Kα2 line pulls it. With --fit every Kα line sits at its Kα1 angle within its
// error, --out writes 2θ, intensity, code, σ and FWHM, and the fitted peaks refined with
// their weights give the cell.
TEST(CliSearch, FitPutsEveryLineAtKalpha1WithItsError) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy", 0.12);
  auto nearest_kalpha1 = [](double tt) {
    double best = 1e9;
    for (const Line& l : kSilicon) {
      const double d = tt - bragg(kSiliconA, l.n, kKa1);
      if (std::fabs(d) < std::fabs(best)) best = d;
    }
    return best;
  };
  const auto plain = run_cli("search si.xy --lambda 1.5418");
  ASSERT_EQ(plain.code, 0) << plain.err;
  const auto searched = number_lines(plain.out);
  ASSERT_FALSE(searched.empty());
  EXPECT_GT(nearest_kalpha1(searched[0][0]), 0.004) << plain.out;

  const auto fit = run_cli("search si.xy --lambda 1.5418 --fit --keep 1,2 --out p.txt");
  ASSERT_EQ(fit.code, 0) << fit.err;
  EXPECT_NE(fit.err.find("fit: 19 of 19 peaks fitted, worst reduced chi2 "), std::string::npos) << fit.err;
  const auto kept = vornax::read_text_lines("p.txt");
  ASSERT_EQ(kept.size(), std::size(kSilicon));
  for (const auto& line : kept) {
    // 2θ 11:6, intensity 12:3, code 4, σ 11:6, FWHM 10:5.
    ASSERT_EQ(line.size(), 48u) << line;
    const auto v = number_lines(line);
    ASSERT_EQ(v.size(), 1u);
    ASSERT_EQ(v[0].size(), 5u) << line;
    EXPECT_EQ(line.find('.'), 4u) << line;
    const double sigma = v[0][3];
    EXPECT_GT(sigma, 0) << line;
    EXPECT_LT(std::fabs(nearest_kalpha1(v[0][0])), std::max(4 * sigma, 0.001)) << line;
    EXPECT_NEAR(v[0][4], 0.12, 0.01) << line;
  }

  const auto r = run_cli(
      "refine --peaks p.txt --system CUBI --group 'F d -3 m:2' --cell 5.431 5.431 5.431 90 90 90 "
      "--lambda 1.540593 --range 40 140 --tolerance 0.1 --refine a,shift --weights fitted --json");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["weighting"], "fitted");
  const double a = j["values"]["a"]["value"].get<double>();
  const double sigma = j["values"]["a"]["error"].get<double>();
  EXPECT_NEAR(a, kSiliconA, std::max(3 * sigma, 2e-5)) << r.out;
  EXPECT_LT(sigma, 5e-5) << r.out;
}

// --strip-ka2: the search runs on the pattern with Kα2 stripped, so every reflection is
// found once, as a Kα1 line at its Kα1 angle, and no line is left as a Kα2.
TEST(CliSearch, StrippedPatternGivesKalpha1LinesOnly) {
  ScratchFolder folder;
  write_silicon_pattern("si.xy");
  const auto r = run_cli("search si.xy --lambda 1.5418 --strip-ka2");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto peaks = number_lines(r.out);
  for (const auto& p : peaks) EXPECT_EQ(p[2], 2) << p[0];
  for (const Line& l : kSilicon) {
    const double k1 = bragg(kSiliconA, l.n, kKa1);
    const bool found = std::any_of(peaks.begin(), peaks.end(),
                                   [k1](const auto& p) { return std::fabs(p[0] - k1) < 0.005; });
    EXPECT_TRUE(found) << "no line at " << k1;
  }
}

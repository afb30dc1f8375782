// vornax-cli index end to end: a hexagonal peak list and a cubic profile (Kα1 + Kα2
// doublets, searched first) are indexed by their own cells first; a list that cannot fix
// a cell stops with the reason and a hint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "indexing/generated_lines.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace indexing_test;

namespace {

using vornax::testing::CliRun;
CliRun run_cli(const std::string& args) { return vornax::testing::run_vornax_cli(args); }

double bragg(const QMetric& m, const Hkl& r, double lambda) {
  return 2 * std::asin(lambda * std::sqrt(m.q(r)) / 2) * 180 / kPi;
}

// The distinct lines of a cell below `max_two_theta`, each moved by a fixed pattern of
// errors of up to 0.012°.
std::vector<double> lines_of(const CellParams& cell, double max_two_theta) {
  const auto m = q_metric_of_cell(cell);
  const double q_max = 4 * std::pow(std::sin(max_two_theta / 2 * kPi / 180), 2) / (kCuKa1 * kCuKa1);
  std::vector<Reflection> refl;
  reflections_up_to(*m, Centring::P, q_max, refl);
  std::vector<double> tt;
  for (const Reflection& r : refl) tt.push_back(bragg(*m, r.hkl, kCuKa1));
  std::sort(tt.begin(), tt.end());
  std::vector<double> out;
  for (double t : tt)
    if (out.empty() || t - out.back() > 0.03) out.push_back(t);
  for (size_t i = 0; i < out.size(); ++i) out[i] += 0.012 * std::sin(1.7 * double(i));
  return out;
}

void expect_cell(const nlohmann::json& c, const char* system, const char* lattice,
                 const CellParams& want) {
  EXPECT_EQ(c["system"], system);
  EXPECT_EQ(c["lattice"], lattice);
  EXPECT_NEAR(c["a"].get<double>(), want.a, 0.002 * want.a);
  EXPECT_NEAR(c["b"].get<double>(), want.b, 0.002 * want.b);
  EXPECT_NEAR(c["c"].get<double>(), want.c, 0.002 * want.c);
  EXPECT_NEAR(c["gamma"].get<double>(), want.gamma, 0.05);
  EXPECT_TRUE(c["unindexed"].empty()) << c.dump();
}

}  // namespace

TEST(CliIndex, HexagonalPeakListIsIndexedFirst) {
  refine_test::ScratchFolder folder;
  const CellParams cell{6.12, 6.12, 9.47, 90, 90, 120};
  {
    std::ofstream f("hexa.txt");
    f.precision(8);
    for (double t : lines_of(cell, 60)) f << t << '\n';
  }
  const auto r = run_cli("index hexa.txt --lambda 1.540593 --json");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  ASSERT_FALSE(doc["candidates"].empty());
  expect_cell(doc["candidates"][0], "HEXA", "hP", cell);
  EXPECT_NEAR(doc["candidates"][0]["volume"].get<double>(),
              volume_of_metric(metric_of_cell(cell)), 0.005 * volume_of_metric(metric_of_cell(cell)));
  EXPECT_GT(doc["candidates"][0]["m20"].get<double>(), 20);

  // The text report: one line per candidate after the heading, the best first.
  const auto text = run_cli("index hexa.txt --lambda 1.540593 --top 3 --systems HEXA,ORTH");
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_EQ(text.out.rfind("system lattice", 0), 0u) << text.out;
  const size_t second = text.out.find('\n') + 1;
  EXPECT_EQ(text.out.substr(second, 11), "HEXA   hP  ") << text.out;
  EXPECT_LE(std::count(text.out.begin(), text.out.end(), '\n'), 4);
}

TEST(CliIndex, CubicProfileIsSearchedAndIndexedFirst) {
  refine_test::ScratchFolder folder;
  const CellParams cell{4.0, 4.0, 4.0, 90, 90, 90};
  const double ka2 = 1.544414;
  // Gaussian Kα1 + Kα2 doublets (FWHM 0.06°, Kα2 at half height) on a flat background
  // with noise, 15 to 125° in steps of 0.01°.
  std::vector<std::pair<double, double>> peaks;
  const auto m = q_metric_of_cell(cell);
  std::vector<Reflection> refl;
  reflections_up_to(*m, Centring::P, 4 / (kCuKa1 * kCuKa1) * 0.9, refl);
  for (const Reflection& r : refl) {
    if (r.q > std::pow(2 * std::sin(62.5 * kPi / 180) / kCuKa1, 2)) continue;
    const double height = 2000.0 / (1 + std::abs(r.hkl.h) + std::abs(r.hkl.k) + std::abs(r.hkl.l));
    peaks.push_back({bragg(*m, r.hkl, kCuKa1), height});
    peaks.push_back({2 * std::asin(ka2 * std::sqrt(r.q) / 2) * 180 / kPi, height / 2});
  }
  Random noise{99};
  {
    std::ofstream f("cubic.xy");
    f.precision(8);
    const double sigma = 0.06 / 2.3548;
    for (int i = 0; i <= 11000; ++i) {
      const double x = 15 + i * 0.01;
      double y = 50;
      for (const auto& [c, h] : peaks) {
        const double u = (x - c) / sigma;
        if (std::abs(u) < 12) y += h * std::exp(-0.5 * u * u);
      }
      f << x << ' ' << y + std::sqrt(y) * (noise.uniform() - 0.5) * 2 << '\n';
    }
  }
  // The same profile under a name peak files share (.dat) is known by its content.
  std::filesystem::copy_file("cubic.xy", "cubic.dat");
  for (const char* file : {"cubic.xy", "cubic.dat"}) {
    const auto r = run_cli(std::string("index ") + file + " --lambda 1.5418 --json");
    ASSERT_EQ(r.code, 0) << r.err;
    SCOPED_TRACE(r.out);
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_FALSE(doc["candidates"].empty());
    expect_cell(doc["candidates"][0], "CUBI", "cP", cell);
    EXPECT_NEAR(doc["candidates"][0]["zero"].get<double>(), 0, 0.02);
    // Fitted, the lines are indexed at Cu Kα1, and the resolved Kα2 lines are left out.
    EXPECT_NEAR(doc["lambda"].get<double>(), 1.54056, 1e-6);
    EXPECT_GT(doc["lines_left_out"].get<int>(), 0);
    EXPECT_EQ(doc["stopped"], "done");
    const auto& best = doc["candidates"][0];
    EXPECT_EQ(best["fn_lines"].get<int>(), doc["lines_used"].get<int>());
    EXPECT_GT(best["fn_mean_error"].get<double>(), 0);
    EXPECT_NEAR(best["fn"].get<double>(),
                best["fn_lines"].get<double>() /
                    (best["fn_mean_error"].get<double>() * best["fn_possible"].get<double>()),
                1e-6 * best["fn"].get<double>());
  }
}

TEST(CliIndex, ListsThatFixNoCellStopWithAHint) {
  refine_test::ScratchFolder folder;
  {
    std::ofstream f("few.txt");
    f << "20.0\n30.0\n40.0\n";
  }
  // Lines of an orthorhombic cell, asked for a cubic one.
  {
    std::ofstream f("ortho.txt");
    f.precision(8);
    for (double t : lines_of({5.1, 7.3, 9.8, 90, 90, 90}, 55)) f << t << '\n';
  }
  const struct {
    const char* args;
    const char* reason;
  } cases[] = {
      {"index few.txt --lambda 1.540593", "3 lines, 6 needed"},
      {"index ortho.txt --lambda 1.540593 --systems CUBI --impurities 0",
       "no CUBI cell up to 25.0 A and 3000 A^3 (reduced cell) leaves at most 0 of the first"},
  };
  for (const auto& c : cases) {
    const auto r = run_cli(c.args);
    EXPECT_EQ(r.code, 1) << c.args;
    EXPECT_NE(r.err.find("\nno cell indexes the lines: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nhint: "), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(run_cli("index ortho.txt --systems CUBE").code, 2);
}

// The README's road from a measured pattern to a refined cell, run as the README writes
// it: its search and refine commands are read from README.md, the pattern file they name
// is a generated lab LaB6 pattern (Cu Kα1 + Kα2, a zero shift, counting noise), and the
// refined a must be that of the pattern.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

namespace {

constexpr double kA = 4.15689, kKa1 = 1.540593, kKa2 = 1.544414, kZeroShift = 0.03;
constexpr double kPi = 3.14159265358979323846;

std::string readme() {
  std::ifstream f(std::filesystem::path(VORNAX_SOURCE_DATA_DIR) / ".." / "README.md");
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// The README's commands of its measured-pattern example: the code block whose commands
// are a `vornax-cli search` and a `vornax-cli refine`, continuation lines joined,
// "vornax-cli " taken off.
std::vector<std::string> readme_road() {
  const std::string text = readme();
  size_t open = 0;
  while ((open = text.find("```\n", open)) != std::string::npos) {
    const size_t close = text.find("```", open + 4);
    if (close == std::string::npos) break;
    std::istringstream block(text.substr(open + 4, close - open - 4));
    open = close + 3;
    std::vector<std::string> commands;
    std::string line, joined;
    while (std::getline(block, line)) {
      const bool more = !line.empty() && line.back() == '\\';
      joined += more ? line.substr(0, line.size() - 1) : line;
      if (more) continue;
      if (joined.rfind("vornax-cli ", 0) == 0) commands.push_back(joined.substr(11));
      joined.clear();
    }
    if (commands.size() == 2 && commands[0].rfind("search ", 0) == 0 &&
        commands[1].rfind("refine ", 0) == 0)
      return commands;
  }
  return {};
}

// The word after the sub-command: the pattern's file name.
std::string first_argument(const std::string& command) {
  std::istringstream in(command);
  std::string sub, file;
  in >> sub >> file;
  return file;
}

double bragg(double lambda, int n) { return 2 * std::asin(lambda * std::sqrt(double(n)) / (2 * kA)) * 180 / kPi; }

// LaB6 (primitive cubic: every h² + k² + l² but 7, 15, 23, 28 ...) from 15 to 140° 2θ in
// steps of 0.02°, Gaussian lines whose width grows with the angle as a lab
// diffractometer's do, Kα2 at half the Kα1 height, a falling background and noise of the
// counting statistics.
void write_lab_lab6(const std::string& name) {
  struct Line {
    int n;
    double height;
  };
  const Line lines[] = {{1, 600}, {2, 1000}, {3, 420}, {4, 240}, {5, 520}, {6, 300},  {8, 140},
                        {9, 330}, {10, 200}, {11, 90}, {12, 60}, {13, 170}, {14, 150}, {16, 40},
                        {17, 120}, {18, 100}, {19, 60}, {20, 70}, {21, 120}, {22, 50}, {24, 60},
                        {25, 110}, {26, 90}, {27, 60}, {29, 80}};
  struct Peak {
    double centre, sigma, height;
  };
  std::vector<Peak> peaks;
  for (const Line& l : lines)
    for (const auto& [lambda, share] : {std::pair{kKa1, 1.0}, std::pair{kKa2, 0.5}}) {
      const double c = bragg(lambda, l.n);
      if (!(c < 139)) continue;
      const double fwhm = 0.11 + 0.06 * std::tan(c * kPi / 360);
      peaks.push_back({c + kZeroShift, fwhm / 2.3548, l.height * share});
    }
  uint64_t seed = 20231;
  auto uniform = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return double(seed >> 11) / double(1ULL << 53);
  };
  std::ofstream f(name);
  f.precision(8);
  for (int i = 0; i <= 6250; ++i) {
    const double x = 15 + i * 0.02;
    double y = 30 + 900 / x;
    for (const Peak& p : peaks) {
      const double u = (x - p.centre) / p.sigma;
      if (std::fabs(u) < 12) y += p.height * std::exp(-0.5 * u * u);
    }
    double g = -6;
    for (int k = 0; k < 12; ++k) g += uniform();
    f << x << ' ' << y + std::sqrt(y) * g << '\n';
  }
}

}  // namespace

TEST(ReadmeRoad, TheReadmesTwoCommandsGiveTheCellOfALabPattern) {
  refine_test::ScratchFolder folder;
  const auto road = readme_road();
  ASSERT_EQ(road.size(), 2u) << "the README's search and refine commands";
  ASSERT_EQ(road[0].rfind("search ", 0), 0u) << road[0];
  ASSERT_EQ(road[1].rfind("refine ", 0), 0u) << road[1];
  write_lab_lab6(first_argument(road[0]));

  const auto search = vornax::testing::run_vornax_cli(road[0]);
  ASSERT_EQ(search.code, 0) << search.err;
  const auto refine = vornax::testing::run_vornax_cli(road[1]);
  ASSERT_EQ(refine.code, 0) << refine.err;
  const auto j = nlohmann::json::parse(refine.out);
  // Within three of its standard errors, and within 2e-4 Å, of the cell that made the
  // pattern: the fitted positions carry no doublet bias.
  const double a = j["values"]["a"]["value"].get<double>();
  const double sigma = j["values"]["a"]["error"].get<double>();
  EXPECT_GT(sigma, 0) << refine.out;
  EXPECT_LT(sigma, 2e-4) << refine.out;
  EXPECT_NEAR(a, kA, 3 * sigma) << refine.out;
  EXPECT_NEAR(a, kA, 2e-4) << refine.out;
  EXPECT_EQ(j["weighting"], "fitted") << refine.out;
  EXPECT_NEAR(j["values"]["shift"]["value"].get<double>(), kZeroShift, 0.02) << refine.out;
  // The tolerance pairs every line the search kept.
  EXPECT_TRUE(j["unpaired"].empty()) << refine.err;
  EXPECT_FALSE(j.contains("warning"));
}

// A pattern file without a wavelength: the search says which option gives it.
TEST(ReadmeRoad, ASearchWithoutWavelengthSaysWhatToGive) {
  refine_test::ScratchFolder folder;
  write_lab_lab6("lab.xy");
  const auto r = vornax::testing::run_vornax_cli("search lab.xy");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "no wavelength in lab.xy: give --lambda L\n");
}

// vornax-cli series end to end on generated patterns of a cubic cell that expands
// linearly with the index, and the pieces of the series output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "commands/series.hpp"
#include "core/text_file.hpp"
#include "refine/refine_fixtures.hpp"

using namespace vornax;
using refine_test::ScratchFolder;

namespace {

constexpr double kLambda = 1.540593;
double cell_of(int index) { return 4.000 + 0.002 * index; }

// A primitive cubic pattern at Cu Kα1: every h k l, Gaussian lines of 0.2° FWHM on a
// flat background of 20 counts, counting noise, 2θ 20° to 100° by 0.01°.
void write_pattern(const std::string& name, double a, unsigned seed) {
  std::vector<std::pair<double, double>> lines;
  for (int n = 1; n <= 40; ++n) {
    const double x = kLambda * std::sqrt(n) / (2 * a);
    if (x >= 1) break;
    const double tt = 2 * std::asin(x) * 180 / refine_test::kPi;
    if (tt > 20.5 && tt < 99.5 && n != 7 && n != 15 && n != 23 && n != 28 && n != 31)
      lines.push_back({tt, 1000.0 / (1 + 0.1 * n)});
  }
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0, 1);
  std::ofstream f(name);
  for (int j = 0; j <= 8000; ++j) {
    const double t = 20 + 0.01 * j;
    double y = 20;
    for (const auto& [p, height] : lines) y += height * std::exp(-4 * std::log(2) * std::pow((t - p) / 0.2, 2));
    f << t << ' ' << std::max(0.0, y + std::sqrt(y) * gauss(rng)) << '\n';
  }
}

struct CliResult {
  int code = -1;
  std::string err;
};

CliResult run_cli(const std::string& args) {
  const std::string cmd = std::string("'") + VORNAX_CLI_PATH + "' series " + args + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  CliResult r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream e("err.txt");
  std::stringstream ss;
  ss << e.rdbuf();
  r.err = ss.str();
  return r;
}

std::vector<std::vector<std::string>> read_csv(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& line : read_text_lines(name)) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string c; std::getline(in, c, ',');) cells.push_back(c);
    rows.push_back(cells);
  }
  return rows;
}

size_t column(const std::vector<std::string>& header, const std::string& name) {
  for (size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return i;
  ADD_FAILURE() << "no column " << name;
  return 0;
}

// Chained, each run starts 0.002 Å away from its cell (0.07° at 2θ = 100°); unchained,
// every run starts from the middle of the series, up to 0.02 Å (0.3°) away.
const char* const kChained =
    "--system CUBI --group 'P m -3 m' --cell 4.000 4.000 4.000 90 90 90 --lambda 1.540593 "
    "--range 20 100 --tolerance 0.15 --refine a,shift --chain";
const char* const kCell =
    "--system CUBI --group 'P m -3 m' --cell 4.020 4.020 4.020 90 90 90 --lambda 1.540593 "
    "--range 20 100 --tolerance 0.5 --refine a,shift";

class SeriesCli : public ::testing::Test {
 protected:
  ScratchFolder folder;
  void SetUp() override {
    std::filesystem::create_directory("scans");
    for (int i = 1; i <= 20; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "scans/pattern_%03d.xy", i);
      write_pattern(name, cell_of(i), 1000u + static_cast<unsigned>(i));
    }
    std::ofstream("scans/notes.txt") << "not a profile\n";
  }
};

}  // namespace

TEST_F(SeriesCli, ChainedCellsFollowTheLineWithinTheirErrors) {
  const CliResult r = run_cli(std::string("--profiles scans ") + kChained + " --out table.csv --plot cells.svg --progress");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto rows = read_csv("table.csv");
  ASSERT_EQ(rows.size(), 21u);  // the notes are not a profile
  const auto& h = rows[0];
  const size_t a = column(h, "a"), sa = column(h, "sigma_a"), st = column(h, "status"),
               m20 = column(h, "M20"), pairs = column(h, "pairs"), v = column(h, "volume");
  for (int i = 1; i <= 20; ++i) {
    const auto& row = rows[static_cast<size_t>(i)];
    SCOPED_TRACE(row[1]);
    EXPECT_EQ(row[st], "ok");
    const double value = std::stod(row[a]), sigma = std::stod(row[sa]);
    EXPECT_GT(sigma, 0.0);
    EXPECT_LT(sigma, 5e-4);
    // Within three standard errors of the line, plus the 6-decimal rounding.
    EXPECT_LE(std::fabs(value - cell_of(i)), 3 * sigma + 1e-6) << value << " ± " << sigma;
    EXPECT_NEAR(std::stod(row[v]), value * value * value, 1e-3);
    EXPECT_GT(std::stod(row[m20]), 10.0);
    EXPECT_GE(std::stoi(row[pairs]), 10);
  }
  // One progress line per pattern, the last one counting 20 of 20.
  EXPECT_NE(r.err.find("[20/20] pattern_020.xy a=4.0"), std::string::npos) << r.err;
  // The plot: a panel for a (b and c follow it) and one for the volume, 20 points each.
  std::ifstream svg("cells.svg");
  std::stringstream ss;
  ss << svg.rdbuf();
  const std::string text = ss.str();
  size_t circles = 0;
  for (size_t p = text.find("<circle"); p != std::string::npos; p = text.find("<circle", p + 1)) ++circles;
  EXPECT_EQ(circles, 40u);
  EXPECT_NE(text.find("a (A)"), std::string::npos);
  EXPECT_EQ(text.find("b (A)"), std::string::npos);
}

TEST_F(SeriesCli, AFailingPatternHasItsRowAndParallelRunsAgreeWithSerialOnes) {
  std::ofstream("scans/pattern_007.xy", std::ios::trunc) << "2theta counts\n10 abc\n";
  // A failed row makes the exit status 1, unless the user allows it.
  EXPECT_EQ(run_cli(std::string("--profiles scans ") + kCell + " --out serial.csv").code, 1);
  ASSERT_EQ(run_cli(std::string("--profiles scans ") + kCell + " --out serial.csv --force --allow-suspect").code, 0);
  const CliResult r =
      run_cli(std::string("--profiles scans ") + kCell + " --jobs 4 --out parallel.csv --allow-suspect --progress");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto serial = read_csv("serial.csv"), parallel = read_csv("parallel.csv");
  ASSERT_EQ(serial.size(), 21u);
  // Runs in their own folders give the same numbers whichever way they are scheduled.
  EXPECT_EQ(serial, parallel);
  const size_t st = column(serial[0], "status");
  for (int i = 1; i <= 20; ++i) {
    const std::string& status = serial[static_cast<size_t>(i)][st];
    if (i == 7)
      EXPECT_EQ(status.rfind("failed", 0), 0u) << status;
    else
      EXPECT_EQ(status, "ok") << i;
  }
  EXPECT_NE(r.err.find("pattern_007.xy failed"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("19 of 20 patterns refined"), std::string::npos) << r.err;
  // No working folder is left behind in the temporary folder given.
  ASSERT_EQ(run_cli(std::string("--profiles scans/pattern_001.xy scans/pattern_002.xy ") + kCell +
                    " --jobs 2 --work runs --out two.csv").code, 0);
  EXPECT_TRUE(std::filesystem::is_empty("runs"));
}

TEST(SeriesCliArgs, RefusesIncompleteCommands) {
  ScratchFolder folder;
  for (const char* args : {"--out t.csv --system CUBI", "--profiles a.xy --system CUBI --group 'P m -3 m'",
                           "--profiles a.xy --out t.csv --jobs 0"})
    EXPECT_EQ(run_cli(args).code, 2) << args;
}

TEST(SeriesOutput, CsvProgressAndPlotTexts) {
  SeriesRow ok;
  ok.index = 3;
  ok.file = "/data/run/pattern_003.xy";
  ok.status = SeriesStatus::Ok;
  ok.values = {5.4312, 5.4312, 5.4312, 90, 90, 90, 0.012, 1.540593};
  ok.errors = {0.0002, 0, 0, 0, 0, 0, 0.003, 0};
  ok.volume = 160.2;
  ok.volume_error = 0.02;
  ok.m20 = 123.45;
  ok.pairs = 11;
  SeriesRow bad;
  bad.index = 4;
  bad.file = "pattern_004.xy";
  bad.message = "pattern_004.xy: line 2 must hold 2theta, intensity and an optional sigma";
  const auto lines = series_csv_lines({ok, bad});
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 29), "index,file,a,sigma_a,b,sigma_");
  EXPECT_EQ(lines[1].substr(0, 42), "3,pattern_003.xy,5.431200,0.000200,5.43120");
  // The message holds commas: quoted, so the row keeps its column count.
  EXPECT_NE(lines[2].find(",\"failed: pattern_004.xy: line 2 must hold 2theta, intensity and an optional sigma\""),
            std::string::npos);
  EXPECT_EQ(series_progress_line(ok, 37, 200), "[37/200] pattern_003.xy a=5.43120 ok");
  EXPECT_EQ(series_progress_line(bad, 38, 200).substr(0, 32), "[38/200] pattern_004.xy failed: ");
  // The failed row is not drawn; the a panel and the volume panel hold one point each.
  const std::string svg = series_svg({ok, bad});
  EXPECT_EQ(svg.rfind("<svg", 0), 0u);
  size_t circles = 0;
  for (size_t p = svg.find("<circle"); p != std::string::npos; p = svg.find("<circle", p + 1)) ++circles;
  EXPECT_EQ(circles, 2u);
}

// vornax-cli refine end to end: peaks from a file, "Calc.", "Auto Sel." and the
// refinement, the files it leaves and its exit codes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/peak_fixtures.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace refine_test;

namespace {

using vornax::testing::CliRun;

CliRun run_cli(const std::string& args) { return vornax::testing::run_vornax_cli("refine " + args); }

// Silicon peaks: a = 5.431194, λ = 1.540593, +0.040° zero shift, rounded to 0.001°.
void write_silicon_peaks(const char* name, size_t count) {
  const vornax::CellParameters si{5.431194, 5.431194, 5.431194, 90, 90, 90};
  const int hkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2},
                        {5, 1, 1}, {4, 4, 0}, {5, 3, 1}, {6, 2, 0}, {5, 3, 3}};
  std::ofstream f(name);
  for (size_t i = 0; i < count && i < std::size(hkl); ++i) {
    const double tt = two_theta(si, 1.540593, hkl[i][0], hkl[i][1], hkl[i][2], 0.040);
    f << std::round(tt * 1000) / 1000 << " " << 100 - 5 * i << "\n";
  }
}

const char* const kSilicon =
    "--system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 "
    "--lambda 1.540593 --range 20 140 --tolerance 0.3";

}  // namespace

TEST(CliRefine, SiliconRefinesAndLeavesItsFiles) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt", 11);
  const auto r = run_cli(std::string("--peaks si.txt ") + kSilicon + " --refine a,shift");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* f : {"vornax.inp", "vornax.out", "mouchard", "Excel.txt"})
    EXPECT_TRUE(std::filesystem::exists(f)) << f;
  EXPECT_NE(r.out.find("   0.040 1.54059   5.4312   5.4312   5.4312  90.00  90.00  90.00    160.21"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(vornax::read_text_lines("vornax.inp")[9], "1.540593  0.0000");

  // Without --refine: the system's default (a alone), no shift.
  const auto d = run_cli(std::string("--peaks si.txt ") + kSilicon);
  ASSERT_EQ(d.code, 0) << d.err;
  EXPECT_EQ(vornax::read_text_lines("vornax.inp")[8], "  0.0000  0.0000");
  EXPECT_EQ(vornax::read_text_lines("vornax.inp")[2], "  5.4280  1.0000");

  // Eccentricity: the shift key is written as 2.
  const auto e = run_cli(std::string("--peaks si.txt ") + kSilicon + " --refine a,shift --eccentricity");
  ASSERT_EQ(e.code, 0) << e.err;
  EXPECT_EQ(vornax::read_text_lines("vornax.inp")[8], "  0.0000  2.0000");
}

// --json: one object that a JSON parser reads, every value at full precision, and the
// parenthesis notation with the error's first two significant digits.
TEST(CliRefine, JsonCarriesFullPrecision) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt", 11);
  const auto r = run_cli(std::string("--peaks si.txt ") + kSilicon + " --refine a,shift --json");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  const double a = j["values"]["a"]["value"], sa = j["values"]["a"]["error"];
  const double shift = j["values"]["shift"]["value"];
  EXPECT_NEAR(a, 5.431194, 1e-4);
  EXPECT_NE(a, 5.4312);                    // not the report's rounding
  EXPECT_NEAR(shift, 0.040, 2e-3);
  EXPECT_GT(sa, 0.0);
  EXPECT_LT(sa, 1e-3);
  // The text: the value to the error's second significant digit, the digits in brackets.
  const std::string text = j["values"]["a"]["text"];
  const int d = vornax::decimals_for_error(sa, 0);
  EXPECT_EQ(text.substr(0, text.find('(')), vornax::trim(vornax::format_fixed(a, 0, d)));
  const std::string digits = text.substr(text.find('(') + 1, text.size() - text.find('(') - 2);
  EXPECT_EQ(digits.size(), 2u) << text;
  EXPECT_NEAR(std::stod(digits) * std::pow(10.0, -d), sa, 0.51 * std::pow(10.0, -d));
  // The pairs: observed less the shift, less calculated, is the difference.
  ASSERT_EQ(j["pairs"].size(), 11u);
  for (const auto& p : j["pairs"]) {
    const double shifted = p["two_theta_obs_shifted"], calc = p["two_theta_calc"];
    EXPECT_NEAR(double(p["two_theta_obs"]) - shift, shifted, 1e-5);
    EXPECT_DOUBLE_EQ(double(p["difference"]), shifted - calc);
  }
  EXPECT_GT(int(j["cycles"]), 0);
  // The run's files are kept only when asked (--files).
  EXPECT_FALSE(std::filesystem::exists("vornax.out"));
}

// --json gives M20 and F(N) for a fully paired run; when the first 30 observed lines
// hold no pair (lines found below the pattern's first reflection) it says why not.
TEST(CliRefine, JsonFiguresOfMeritOrWhyNot) {
  // LaB6, P m -3 m, a = 4.15689 Å at Cu Kα1: its first 24 lines, one per
  // N = h² + k² + l² (N = 7, 15, 23 cannot occur), observed 0.003° high.
  std::vector<double> lab6;
  for (int n = 1; lab6.size() < 24; ++n) {
    int m = n;
    while (m % 4 == 0) m /= 4;
    if (m % 8 == 7) continue;
    lab6.push_back(2 * std::asin(1.540593 * std::sqrt(n) / (2 * 4.15689)) / kDeg + 0.003);
  }
  struct Case {
    int low_lines;      // lines written below the first LaB6 line
    bool figures;       // M20 and F(N) are numbers
    int n;
    const char* note;   // "fom_note", when there are none
  };
  const Case cases[] = {
      {0, true, 24, nullptr},
      {5, true, 29, nullptr},
      {32, false, 30, "none of the first 30 observed lines is paired"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.low_lines);
    ScratchFolder folder;
    {
      std::ofstream f("lab6.prn");
      for (int i = 0; i < c.low_lines; ++i) f << 5 + i * 0.45 << "\n";
      for (double t : lab6) f << std::round(t * 10000) / 10000 << "\n";
    }
    const auto r = run_cli(
        "--peaks lab6.prn --system CUBI --group 'P m -3 m' --cell 4.156 4.156 4.156 90 90 90 "
        "--lambda 1.540593 --range 4 150 --tolerance 0.3 --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["pairs"].size(), 24u);
    const auto& f = j["figures_of_merit"];
    EXPECT_EQ(int(f["n"]), c.n);
    EXPECT_EQ(f["m20"].is_number(), c.figures);
    EXPECT_EQ(f["f_n"].is_number(), c.figures);
    if (c.figures) {
      EXPECT_GT(double(f["m20"]), 0.0);
      EXPECT_GT(double(f["f_n"]), 0.0);
      EXPECT_FALSE(f.contains("fom_note"));
    } else {
      EXPECT_EQ(f.value("fom_note", std::string()), c.note);
    }
  }
}

TEST(CliRefine, FailuresExitNonZeroWithTheProgramsMessage) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt", 3);
  // Three pairs cannot carry a, shift and lambda.
  auto r = run_cli(std::string("--peaks si.txt ") + kSilicon + " --refine a,shift,lambda");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Nb of selected reflections too low"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists("vornax.out"));

  // b is tied to a in a cubic cell: said so, rather than "Singular Matrix".
  for (const char* keys : {"b", "a,b"}) {
    r = run_cli(std::string("--peaks si.txt ") + kSilicon + " --refine " + keys);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("b is tied to a in this crystal system (CUBI)"), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists("vornax.inp"));
  }

  r = run_cli(std::string("--peaks si.txt ") + kSilicon + " --refine a,delta");
  EXPECT_EQ(r.code, 2);
  r = run_cli(std::string("--peaks missing.txt ") + kSilicon);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("missing.txt"), std::string::npos);
}

TEST(CliRefine, ADif2PeakFileGoesStraightToTheRefinement) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt", 11);
  std::vector<peak_test::Peak> peaks;
  for (const auto& line : vornax::read_text_lines("si.txt")) {
    const auto v = vornax::split_numbers(line);
    if (v.size() >= 2) peaks.push_back({v[0], v[1]});
  }
  std::ofstream("si.dif", std::ios::binary) << peak_test::dif2(peaks, 96, 1.540593f, 0, 0, "Cu");
  const auto r = run_cli(std::string("--peaks si.dif ") + kSilicon + " --refine a,shift");
  ASSERT_EQ(r.code, 0) << r.err;
  // Same refinement as from the text list (2θ stored as float32 in the file).
  EXPECT_NE(r.out.find("   0.040 1.54059   5.4312"), std::string::npos) << r.out;
}

// An indexed list (h k l 2θ) is paired by its indices, not by angle: with a tolerance far
// below the 0.040° zero shift "Auto Sel." would find no pair at all, and the unsorted
// order of the list must survive so that each line keeps its own indices.
TEST(CliRefine, AnIndexedListIsPairedByItsIndices) {
  ScratchFolder folder;
  const vornax::CellParameters si{5.431194, 5.431194, 5.431194, 90, 90, 90};
  const int hkl[][3] = {{4, 0, 0}, {1, 1, 1}, {3, 3, 1}, {2, 2, 0}, {3, 1, 1}, {4, 2, 2}, {5, 1, 1}};
  {
    std::ofstream f("si.lst");
    for (const auto& i : hkl)
      f << i[0] << ' ' << i[1] << ' ' << i[2] << ' '
        << std::round(two_theta(si, 1.540593, i[0], i[1], i[2], 0.040) * 1000) / 1000 << "\r\n";
  }
  const std::string cell =
      "--system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 "
      "--lambda 1.540593 --range 20 100 --tolerance 0.001 --refine a,shift";
  const auto r = run_cli("--peaks si.lst " + cell);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("   0.040 1.54059   5.4312   5.4312   5.4312  90.00  90.00  90.00"),
            std::string::npos)
      << r.out;
  // The same angles as a plain list are paired by angle and find nothing.
  EXPECT_NE(run_cli("--peaks si.lst --peak-type 6 " + cell).code, 0);
}

// Standard error says how many peaks were paired and which were left, --json carries the
// same, a run that stops names what to change, and --repair ends where a close start does.
TEST(CliRefine, SaysWhatThePairingLeftAndWhatToChange) {
  ScratchFolder folder;
  const auto with_strangers = [](const char* name, size_t lines, std::vector<double> strangers) {
    write_silicon_peaks(name, lines);
    std::ofstream f(name, std::ios::app);
    for (double t : strangers) f << t << " 10\n";  // between silicon's lines
  };
  with_strangers("two.txt", 11, {40.0, 100.0});
  with_strangers("few.txt", 3, {40.0, 52.0, 62.0, 80.0, 100.0});
  write_silicon_peaks("si.txt", 11);
  struct Case {
    const char* peaks;
    const char* options;     // after the silicon start
    int code;
    const char* err;         // a part of standard error
    int paired;              // in the JSON; -1: no JSON
    std::vector<double> unpaired;
    bool warning;
  } cases[] = {
      {"two.txt", "--refine a,shift --json", 0, "11 of 13 peaks paired\nunpaired peaks (2theta): 40.000 100.000\n",
       11, {40.0, 100.0}, false},
      {"few.txt", "--refine a,shift --json", 0, "3 of 8 peaks paired\n", 3, {40.0, 52.0, 62.0, 80.0, 100.0}, true},
      {"si.txt", "--refine a,shift --json", 0, "11 of 11 peaks paired\n", 11, {}, false},
      {"few.txt", "--refine a,shift,lambda", 1,
       "Nb of selected reflections too low\nhint: pair more peaks", -1, {}, true},
      {"si.txt", "--repair x", 2, "--repair must be 0 to 100", -1, {}, false},
  };
  for (const Case& c : cases) {
    const std::string args = std::string("--peaks ") + c.peaks + " " + kSilicon + " " + c.options;
    const auto r = run_cli(args);
    EXPECT_EQ(r.code, c.code) << args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(r.err.find("warning: fewer than half") != std::string::npos, c.warning) << args << r.err;
    if (c.paired < 0) continue;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["paired"].get<int>(), c.paired) << args;
    ASSERT_EQ(j["unpaired"].size(), c.unpaired.size()) << args;
    for (size_t i = 0; i < c.unpaired.size(); ++i) EXPECT_DOUBLE_EQ(j["unpaired"][i].get<double>(), c.unpaired[i]);
    EXPECT_EQ(j.contains("warning"), c.warning) << args;
  }

  // A start 0.4 % off pairs a few lines; pairing again pairs them all and ends on the
  // cell of the peaks.
  const std::string far =
      "--peaks si.txt --system CUBI --group 'F d -3 m:2' --cell 5.41 5.41 5.41 90 90 90 "
      "--lambda 1.540593 --range 20 140 --tolerance 0.3 --refine a,shift --json";
  const auto once = run_cli(far);
  const auto again = run_cli(far + " --repair 5");
  ASSERT_EQ(again.code, 0) << again.err;
  const auto j = nlohmann::json::parse(again.out);
  EXPECT_EQ(j["paired"].get<int>(), 11) << again.err;
  EXPECT_GE(j["paired_again"].get<int>(), 1);
  EXPECT_NEAR(j["values"]["a"]["value"].get<double>(), 5.431194, 1e-4);
  if (once.code == 0) {
    EXPECT_LT(nlohmann::json::parse(once.out)["paired"].get<int>(), 11) << once.err;
  }
  // The list saved is that of the last pairing.
  const auto saved = run_cli(far + " --repair 5 --save-list all.lst");
  ASSERT_EQ(saved.code, 0) << saved.err;
  EXPECT_EQ(vornax::read_text_lines("all.lst").size(), 11u);
}

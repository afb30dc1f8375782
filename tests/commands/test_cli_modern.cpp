// The command line on the newer files and figures: the refine output's quality lines
// after its report, and the profile command on RAW4 ranges and XRDML.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/text_file.hpp"
#include "files/modern_fixtures.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using refine_test::ScratchFolder;

namespace {

using CliOut = vornax::testing::CliRun;

CliOut cli(const std::string& args) { return vornax::testing::run_vornax_cli(args); }

// Silicon at Cu Kα1 with a +0.04° zero shift, rounded to 0.001°; line `bad` (1-based)
// moved by +0.12°, as an impurity line taken for a silicon line would be.
void write_silicon(const char* name, int bad) {
  const vornax::CellParameters si{5.431194, 5.431194, 5.431194, 90, 90, 90};
  const int hkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2},
                        {5, 1, 1}, {4, 4, 0}, {5, 3, 1}, {6, 2, 0}, {5, 3, 3}};
  std::ofstream f(name);
  int n = 0;
  for (const auto& m : hkl) {
    double tt = std::round(refine_test::two_theta(si, 1.540593, m[0], m[1], m[2], 0.040) * 1000) / 1000;
    if (++n == bad) tt += 0.12;
    f << tt << " " << 100 - 5 * n << "\n";
  }
}

const char* const kSilicon =
    "--system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 "
    "--lambda 1.540593 --range 20 140 --tolerance 0.3 --refine a,shift";

}  // namespace

TEST(CliQuality, RefineAddsFiguresAndFlagsAfterItsReport) {
  ScratchFolder folder;
  struct Case {
    int bad;
    const char* flagged;
  };
  for (const Case c : {Case{0, "Flagged pairs: none"}, Case{6, "Flagged pairs: 6"}}) {
    write_silicon("si.txt", c.bad);
    const CliOut r = cli(std::string("refine --peaks si.txt ") + kSilicon);
    ASSERT_EQ(r.code, 0) << r.err;
    // The report comes first, unchanged: the new lines follow its last line.
    const auto report = vornax::read_text_lines("vornax.out");
    std::string expected_head;
    for (const auto& l : report) expected_head += l + "\n";
    ASSERT_EQ(r.out.substr(0, expected_head.size()), expected_head);
    const std::string tail = r.out.substr(expected_head.size());
    EXPECT_EQ(tail.rfind("M11 ", 0), 0u) << tail;  // eleven lines: M over all of them
    EXPECT_NE(tail.find("\nF(N) F11 "), std::string::npos) << tail;
    EXPECT_NE(tail.find("X11 0"), std::string::npos) << tail;
    EXPECT_NE(tail.find(c.flagged), std::string::npos) << tail;
  }
}

TEST(CliQuality, ProfileReadsTheChosenRangeAndXrdml) {
  ScratchFolder folder;
  using vornax::test::Raw4Range;
  std::ofstream("two.raw", std::ios::binary)
      << vornax::test::raw4_fixture({Raw4Range{10.0, 0.02, {1, 2, 3, 4}}, Raw4Range{30.0, 0.05, {5, 6, 7}}});
  CliOut r = cli("profile two.raw");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("points 4\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("anode Cu"), std::string::npos) << r.out;
  r = cli("profile two.raw --range-index 1");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("range 30.000000 30.100000\ncounts 5.000000 7.000000\npoints 3\n"), std::string::npos) << r.out;
  r = cli("profile two.raw --range-index 2");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("no range 2"), std::string::npos) << r.err;

  std::ofstream("rutile.xrdml") << vornax::test::xrdml_fixture(
      "<positions axis=\"2Theta\"><startPosition>27</startPosition><endPosition>28</endPosition></positions>",
      "counts", "10 50 10");
  r = cli("profile rutile.xrdml");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("lambda1 1.540598"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("range 27.000000 28.000000\ncounts 10.000000 50.000000\npoints 3\n"
                       "27.000000 0.000000\n27.500000 100.000000"),
            std::string::npos)
      << r.out;
}

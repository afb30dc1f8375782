// vornax-cli misused: option values no run can use are refused before anything runs
// (exit 2, the option named), and --work / --files decide where a run's fixed-name
// files go.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace refine_test;
namespace fs = std::filesystem;

namespace {

using vornax::testing::run_vornax_cli;

// Silicon peaks: a = 5.431194, λ = 1.540593, rounded to 0.001°.
void write_silicon_peaks(const char* name) {
  const vornax::CellParameters si{5.431194, 5.431194, 5.431194, 90, 90, 90};
  const int hkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2},
                        {5, 1, 1}, {4, 4, 0}, {5, 3, 1}, {6, 2, 0}, {5, 3, 3}};
  std::ofstream f(name);
  for (const auto& h : hkl)
    f << std::round(two_theta(si, 1.540593, h[0], h[1], h[2]) * 1000) / 1000 << "\n";
}

void write_profile(const char* name) {
  std::ofstream f(name);
  for (int i = 0; i < 200; ++i) f << 20 + 0.02 * i << " " << 100 + (i % 40 == 20 ? 900 : 0) << "\n";
}

const std::string kTab =
    "--system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 "
    "--lambda 1.540593 --range 20 140";
const std::string kSeries = "series --profiles a.xy --out t.csv " + kTab;

// The names in the folder, less the runner's own out.txt and err.txt.
std::set<std::string> names_in(const fs::path& folder) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
  out.erase("out.txt");
  out.erase("err.txt");
  return out;
}

}  // namespace

TEST(CliMisuse, ValuesNoRunCanUseAreRefusedNamingTheOption) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt");
  write_profile("a.xy");
  struct Case {
    std::string args;
    const char* option;  // must appear in the message
  };
  const Case cases[] = {
      // An empty parameter list would refine nothing and report success.
      {"refine --peaks si.txt " + kTab + " --refine ''", "--refine"},
      {"refine --peaks si.txt " + kTab + " --refine ','", "--refine"},
      {"plot --peaks si.txt " + kTab + " --out p.png --refine ' , '", "--refine"},
      {kSeries + " --refine ''", "--refine"},
      // An empty kind is not "no kind".
      {"peaks si.txt --type ''", "--type"},
      {"profile a.xy --type ''", "--type"},
      {"search a.xy --type ''", "--type"},
      {kSeries + " --type ''", "--type"},
      // series searches peaks as search does, and refuses what search refuses.
      {kSeries + " --threshold -1", "--threshold"},
      {kSeries + " --threshold 0", "--threshold"},
      {kSeries + " --min-width -5", "--min-width"},
      {kSeries + " --min-width 0.5 --max-width 0.2", "--min-width"},
      {"search a.xy --out ''", "--out"},
      // No wavelength lies beyond 10 Å.
      {"search a.xy --lambda 1e308", "--lambda"},
      {"profile a.xy --lambda 11", "--lambda"},
      {"peaks si.txt --lambda 1e308", "--lambda"},
      {"convert a.xy b.raw --lambda 1e308", "--lambda"},
      {"calc " + kTab + " --lambda 1e308", "--lambda"},
      {"refine --peaks si.txt " + kTab + " --lambda 50", "--lambda"},
      // A tolerance is a number above 0.
      {"plot --peaks si.txt " + kTab + " --out p.png --tolerance -1", "--tolerance"},
      {"refine --peaks si.txt " + kTab + " --tolerance 0", "--tolerance"},
      {"refine --peaks si.txt " + kTab + " --tolerance x", "--tolerance"},
      {kSeries + " --tolerance -1", "--tolerance"},
      // 2theta lies within 0 and 180 degrees (theta within 0 and 90).
      {"calc --system CUBI --group 'F d -3 m:2' --cell 5.43 5.43 5.43 90 90 90 --lambda 1.54 "
       "--range -10 400",
       "--range"},
      {"calc --system CUBI --group 'F d -3 m:2' --cell 5.43 5.43 5.43 90 90 90 --lambda 1.54 "
       "--range 10 100 --theta",
       "--range"},
      // Every point of a profile would become a peak.
      {"convert a.xy peaks.dif", "peak file"},
      {"convert a.xy peaks.prn", "peak file"},
      {kSeries + " --work /nonexistent_vornax/a/b", "--work"},
      {"calc " + kTab + " --work /nonexistent_vornax/a", "--work"},
  };
  for (const auto& c : cases) {
    const auto r = run_vornax_cli(c.args);
    EXPECT_EQ(r.code, 2) << c.args << "\n" << r.err;
    // The reason is the first line; the usage after it names every option.
    const std::string reason = r.err.substr(0, r.err.find('\n'));
    EXPECT_NE(reason.find(c.option), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
  // Nothing was made on the way: no folder chain, no output.
  EXPECT_FALSE(fs::exists("/nonexistent_vornax"));
  EXPECT_EQ(names_in("."), (std::set<std::string>{"a.xy", "si.txt"}));
}

TEST(CliMisuse, RangeIndexBeyondASingleRangeFileFails) {
  ScratchFolder folder;
  write_profile("a.xy");
  const auto r = run_vornax_cli("profile a.xy --lambda 1.54 --range-index 1000");
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("--range-index"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(run_vornax_cli("profile a.xy --lambda 1.54 --range-index 0").code, 0);
}

// --work takes the run's fixed-name files; the current folder is left as it was.
TEST(CliMisuse, WorkFolderTakesTheFixedNameFiles) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt");
  struct Case {
    std::string args;
    std::set<std::string> in_work;  // at least these
  };
  const Case cases[] = {
      {"calc " + kTab + " --work w", {"indx.out", "hm.txt"}},
      {"refine --peaks si.txt " + kTab + " --work w", {"vornax.inp", "vornax.out", "Excel.txt"}},
      {"refine --peaks si.txt " + kTab + " --json --files --work w",
       {"vornax.inp", "vornax.out", "Excel.txt"}},
      {"plot --peaks si.txt " + kTab + " --refine a --out p.png --work w",
       {"vornax.inp", "vornax.out"}},
  };
  for (const auto& c : cases) {
    fs::remove_all("w");
    fs::remove("p.png");
    const auto r = run_vornax_cli(c.args);
    EXPECT_EQ(r.code, 0) << c.args << "\n" << r.err;
    std::set<std::string> here = names_in(".");
    here.erase("p.png");  // plot's own output stays where --out says
    EXPECT_EQ(here, (std::set<std::string>{"si.txt", "w"})) << c.args;
    for (const auto& f : c.in_work) EXPECT_TRUE(fs::exists(fs::path("w") / f)) << c.args << " " << f;
  }
}

TEST(CliMisuse, RefineJsonKeepsItsFilesOnlyWhenAsked) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt");
  const auto r = run_vornax_cli("refine --peaks si.txt " + kTab + " --json");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find('{'), std::string::npos);
  EXPECT_EQ(names_in("."), (std::set<std::string>{"si.txt"}));

  const auto kept = run_vornax_cli("refine --peaks si.txt " + kTab + " --json --files");
  ASSERT_EQ(kept.code, 0) << kept.err;
  EXPECT_EQ(kept.out, r.out);  // the answer does not depend on where the files went
  for (const char* f : {"vornax.inp", "vornax.out", "Excel.txt"}) EXPECT_TRUE(fs::exists(f)) << f;
}

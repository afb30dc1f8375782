// vornax-cli calc against the same command run in-process on a cell tab filled as the
// window fills it: same report, same files; failed checks give a non-zero exit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "core/calc_fixtures.hpp"
#include "commands/calculation.hpp"
#include "core/catalogue.hpp"
#include "core/text_file.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace vornax::testing;

namespace {

struct CliRun {
  int exit_code = -1;
  std::string out, err;
};

// Runs the tool in the current folder.
CliRun run_cli(const std::string& args) {
  const std::string cmd =
      std::string("'") + VORNAX_CLI_PATH + "' " + args + " > cli.stdout 2> cli.stderr";
  const int status = std::system(cmd.c_str());
  CliRun r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_bytes("cli.stdout");
  r.err = read_bytes("cli.stderr");
  std::filesystem::remove("cli.stdout");
  std::filesystem::remove("cli.stderr");
  return r;
}

struct Inputs {
  const char* system;
  const char* group;
  bool getspec;
  std::array<std::string, 6> cell;
  std::string lambda, min, max;
  bool theta, forbidden;
};

std::string cli_args(const Inputs& in) {
  std::string a = std::string("calc --system ") + in.system + " --group '" + in.group + "'";
  if (in.getspec) a += " --getspec";
  a += " --cell";
  for (const auto& c : in.cell) a += " '" + c + "'";
  a += " --lambda " + in.lambda + " --range " + in.min + " " + in.max;
  if (in.theta) a += " --theta";
  if (in.forbidden) a += " --forbidden";
  return a;
}

// The window's way: choose the system, click the group, type the fields, press "Calc."
// (and the forbidden-lines toggle), then "Ed/Print".
WorkSession run_in_process(const Inputs& in, const std::filesystem::path& folder) {
  WorkSession s;
  reset_session(s, folder);
  if (in.theta) s.angle_mode = AngleMode::Theta;
  CellTab tab;
  const auto error = choose_system_and_group(s, tab, in.system, in.group,
                                             in.getspec ? GroupList::Getspec : GroupList::HM);
  EXPECT_FALSE(error) << *error;
  const auto layout = apply_system_layout(in.system, in.cell);
  for (size_t i = 0; i < 6; ++i) tab.fields[i] = layout.texts[i];
  tab.fields[6] = in.lambda;
  tab.fields[7] = in.min;
  tab.fields[8] = in.max;
  RecordingMessages m;
  calculate_reflections(s, tab, m);
  if (in.forbidden) toggle_forbidden(s, true, m);
  write_short_reflection_report(s, m);
  EXPECT_TRUE(m.empty()) << m.texts()[0];
  return s;
}

std::string stdout_text(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

}  // namespace

TEST(CliCalc, ReproducesTheInProcessCalculation) {
  const Inputs cases[] = {
      {"CUBI", "F m -3 m", false, {"5.4309", "", "", "", "", ""}, "1.540598", "10", "140",
       false, true},
      {"CUBI", "F m -3 m", true, {"4.0496", "4.0496", "4.0496", "90", "90", "90"}, "1.540598",
       "5", "60", true, false},
      {"HEXA", "R -3 c", false, {"4.7589", "", "12.991", "", "", ""}, "1.540593", "20", "140",
       false, true},
      {"HEXA", "R -3 c", true, {"4.7589", "", "12.991", "", "", ""}, "1.540593", "20", "140",
       false, false},
  };
  for (const auto& in : cases) {
    const std::string what = std::string(in.group) + (in.getspec ? " (getspec)" : "");
    TempFolder window;
    write_test_catalogue(window.path());
    const WorkSession s = run_in_process(in, window.path());
    ASSERT_GT(s.allowed_count(), 1) << what;

    TempFolder cli;
    write_test_catalogue(cli.path());
    const CliRun r = run_cli(cli_args(in));
    EXPECT_EQ(r.exit_code, 0) << what << ": " << r.err;
    EXPECT_EQ(r.err, "") << what;
    EXPECT_EQ(r.out, stdout_text(calculated_lines_short(s))) << what;

    std::vector<const char*> files = {"indx.out", in.getspec ? "hall.txt" : "hm.txt"};
    if (in.forbidden) files.push_back("forbidden.txt");
    for (const char* f : files) {
      ASSERT_TRUE(std::filesystem::exists(cli.path() / f)) << what << " " << f;
      EXPECT_EQ(read_bytes(cli.path() / f), read_bytes(window.path() / f)) << what << " " << f;
    }
    if (!in.forbidden) {
      EXPECT_FALSE(std::filesystem::exists(cli.path() / "forbidden.txt"));
    }
  }
}

TEST(CliCalc, FailuresExitNonZeroWithTheProgramsMessage) {
  TempFolder dir;
  write_test_catalogue(dir.path());
  struct Case {
    std::string args;
    int exit_code;
    std::string err;
  };
  const Case cases[] = {
      {"calc --system CUBI --group 'P m -3 m' --cell 0 0 0 90 90 90 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      // Cells without volume: an angle of 360, three of 120, a negative or zero length,
      // an angle of 180 or a negative one.
      {"calc --system MONO --group 'P 1 2 1' --cell 4 5 6 90 360 90 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      {"calc --system RHOM --group 'R 3:R' --cell 5 5 5 120 120 120 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      {"calc --system TRIC --group 'P 1' --cell 4 -5 6 80 85 95 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      {"calc --system TRIC --group 'P 1' --cell 4 5 6 80 180 95 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      {"calc --system TRIC --group 'P 1' --cell 4 5 6 -80 85 95 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      {"calc --system TRIC --group 'P 1' --cell 4 5 6 100 100 160 --lambda 1.5406 --range 0 60",
       1, "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      {"calc --system CUBI --group 'P m -3 m' --cell 4 4 4 90 90 90 --lambda 0 --range 0 60", 1,
       "Warning: Current wavelength not defined\n"},
      {"calc --system CUBI --group 'P m -3 m' --cell 4 4 4 90 90 90 --lambda 1.54 --range 0 0",
       1, "Warning: Current Theta range not defined. \n"},
      {"calc --system CUBI --group 'P m -3 m' --cell 4 4 4 90 90 90 --lambda x --range 0 60", 1,
       "Error on lambda\n"},  // the calculation stops at the field error
      {"calc --system CUBI --group 'I a -3 d' --cell 4 4 4 90 90 90 --lambda 1.54 --range 0 60",
       1, "I a -3 d not found in the H-M list of Cubic\n"},
      {"calc --system CUBI --group 'P m -3 m' --cell 4 4 4 90 90 90", 2, ""},
      {"calc --system XXXX --group 'P m -3 m' --cell 4 4 4 90 90 90 --lambda 1 --range 0 60", 2,
       ""},
  };
  for (const auto& c : cases) {
    const CliRun r = run_cli(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args << "\n" << r.err;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.args;
    }
    EXPECT_EQ(r.out, "") << c.args;
  }
}

TEST(CliCalc, BadArgumentsEndWithAReasonNeverACrash) {
  TempFolder dir;
  write_test_catalogue(dir.path());
  const std::string ok_cell = " --cell 4 4 4 90 90 90";
  const std::string fm3m = "calc --system CUBI --group 'F m -3 m'";
  struct Case {
    std::string args;
    int exit_code;
    std::string err;  // empty: any reason
  };
  const Case cases[] = {
      {"calc", 2, ""},
      {"calc --cell 1 2", 2, ""},
      {"calc --system CUBI --group", 2, ""},
      {"calc --bogus", 2, ""},
      {"calc --system '' --group 'F m -3 m'" + ok_cell + " --lambda 1.5 --range 0 60", 2, ""},
      {"calc --system cub --group 'F m -3 m'" + ok_cell + " --lambda 1.5 --range 0 60", 2, ""},
      {"nonsense", 2, ""},
      {fm3m + ok_cell + " --lambda 1e-200 --range 0 60", 1,
       "Too many calculated reflections. Decrease the theta range\n"},
      {fm3m + " --cell 1e308 1e308 1e308 90 90 90 --lambda 1.5 --range 0 60", 1,
       "Cell parameters error!\nhint: give --cell with positive lengths and angles between 0 and 180\n"},
      // A wavelength or range that cannot be calculated gets its message.
      {fm3m + ok_cell + " --lambda -1.5 --range 0 60", 1, "The wavelength =0\nhint: give the wavelength with --lambda L\n"},
      {fm3m + ok_cell + " --lambda 1.5406 --range 60 10", 1, "Theta range error\nhint: give --range MIN MAX with MIN below MAX\n"},
      {fm3m + " --cell '\xff' 4 4 90 90 90 --lambda 1.5 --range 0 60", 1, ""},
      {"calc --system CUBI --group 'Z z z'" + ok_cell + " --lambda 1.5 --range 0 60", 1,
       "Z z z not found in the H-M list of Cubic\n"},
      {fm3m + " --getspec" + ok_cell + " --lambda 1.5406 --range 0 abc", 1, ""},
  };
  for (const auto& c : cases) {
    const CliRun r = run_cli(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << c.args;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.args;
    }
    EXPECT_EQ(r.out, "") << c.args;
  }
}

TEST(CliCalc, GroupWithoutItsSettingSuffixTakesTheFirstSetting) {
  TempFolder dir;
  write_test_catalogue(dir.path());
  const CliRun r = run_cli(
      "calc --system CUBI --group 'Fd-3m' --cell 5.4309 0 0 0 0 0 --lambda 1.540598 "
      "--range 10 60");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Group : F D -3 M:1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    1   1   1   1  3.1355  28.443\n"), std::string::npos) << r.out;
}

TEST(CliCalc, InputsNamedLikeTheRunsOwnFilesAreLeftAlone) {
  // With --getspec the run deletes scfs2.dat and writes scfs.dat before reading the
  // peaks; such names are refused as inputs before anything happens.
  TempFolder dir;
  write_test_catalogue(dir.path());
  const std::string peaks = "28.44 100\r\n47.30 60\r\n";
  const std::string tab =
      " --system CUBI --group 'F m -3 m' --getspec --cell 5.43 5.43 5.43 90 90 90"
      " --lambda 1.5406 --range 10 80";
  for (const char* name : {"scfs2.dat", "SCFS.DAT", "vornax.out", "Excel.txt"}) {
    SCOPED_TRACE(name);
    write_bytes(dir.path() / name, peaks);
    const CliRun r = run_cli(std::string("refine --peaks ") + name + tab);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(r.err.rfind(std::string(name) + " is a file the program writes or deletes", 0), 0u)
        << r.err;
    EXPECT_EQ(read_bytes(dir.path() / name), peaks);
    std::filesystem::remove(dir.path() / name);
  }
  write_bytes(dir.path() / "hm.txt", peaks);
  const CliRun r = run_cli(
      "calc --cell-file hm.txt --lambda 1.5406 --range 10 80");
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(read_bytes(dir.path() / "hm.txt"), peaks);
}

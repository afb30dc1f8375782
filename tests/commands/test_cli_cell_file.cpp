// vornax-cli with --cell-file and --save-list: the same results and messages as the
// window's commands.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "core/calc_fixtures.hpp"

namespace vornax {
namespace {

using testing::read_bytes;
using testing::TempFolder;
using testing::write_bytes;

struct CliRun {
  int exit_code = -1;
  std::string out, err;
};

CliRun run_cli(const std::string& args) {
  const std::string cmd =
      std::string("'") + VORNAX_CLI_PATH + "' " + args + " > cli.stdout 2> cli.stderr";
  const int status = std::system(cmd.c_str());
  CliRun r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_bytes("cli.stdout");
  r.err = read_bytes("cli.stderr");
  return r;
}

TEST(CliCellFile, CryAndIcsGiveTheCalculationOfTheTypedCell) {
  TempFolder folder;
  write_bytes("si.cry", "Si\r\nCUBI\r\nF d -3 m\r\n    5.4312    5.4312    5.4312   90.0000   90.0000   90.0000\r\n");
  write_bytes("si.ics", "SGR F d -3 m H (227)\nCELL a=5.4312(1) b=5.4312(1) c=5.4312(1) a=90 b=90 g=90\n");
  const CliRun typed = run_cli(
      "calc --system CUBI --group 'F d -3 m' --cell 5.4312 5.4312 5.4312 90 90 90 "
      "--lambda 1.540593 --range 10 80");
  const CliRun cry = run_cli("calc --cell-file si.cry --lambda 1.540593 --range 10 80");
  const CliRun ics = run_cli("calc --cell-file si.ics --lambda 1.540593 --range 10 80");
  ASSERT_EQ(typed.exit_code, 0) << typed.err;
  EXPECT_EQ(cry.exit_code, 0) << cry.err;
  EXPECT_EQ(ics.exit_code, 0) << ics.err;
  EXPECT_EQ(cry.out, typed.out);
  EXPECT_EQ(ics.out, typed.out);
}

TEST(CliCellFile, RefusedFileAndUsage) {
  TempFolder folder;
  write_bytes("short.cry", "Si\r\nCUBI\r\nF d -3 m\r\n 5.4 5.4 5.4\r\n");
  const CliRun r = run_cli("calc --cell-file short.cry --lambda 1.54 --range 10 80");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Cell parameters not found!\n");
  const CliRun both = run_cli("calc --cell-file short.cry --system CUBI --lambda 1.54 --range 10 80");
  EXPECT_EQ(both.exit_code, 2);
}

TEST(CliCellFile, RefineSavesTheSelectedPairs) {
  TempFolder folder;
  write_bytes("si.cry", "Si\r\nCUBI\r\nF d -3 m\r\n    5.4300    5.4300    5.4300   90.0000   90.0000   90.0000\r\n");
  write_bytes("peaks.txt", "28.443\n47.303\n56.123\n69.131\n76.377\n");
  const CliRun r = run_cli(
      "refine --peaks peaks.txt --cell-file si.cry --lambda 1.540593 --range 20 80 "
      "--save-list pairs");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("The indexed list was save in the file pairs.lst"), std::string::npos);
  const std::string lst = read_bytes("pairs.lst");
  EXPECT_EQ(lst.substr(0, 24), "   1   1   1   28.4430\r\n");
  EXPECT_EQ(std::count(lst.begin(), lst.end(), '\n'), 5);
}

}  // namespace
}  // namespace vornax

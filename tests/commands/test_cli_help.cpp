// vornax-cli's help is made from its table of sub-commands: every sub-command is in it,
// a misused one shows its own usage, and the README shows the same text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

namespace {

std::string readme() {
  std::ifstream f(std::filesystem::path(VORNAX_SOURCE_DATA_DIR) / ".." / "README.md");
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace

TEST(CliHelp, HelpListsEverySubcommandAndTheReadmeShowsIt) {
  refine_test::ScratchFolder folder;
  const auto help = vornax::testing::run_vornax_cli("--help");
  ASSERT_EQ(help.code, 0);
  for (const char* name : {"calc", "refine", "peaks", "profile", "convert", "search", "plot", "series"}) {
    EXPECT_NE(help.out.find(std::string("\nvornax-cli ") + name + " "), std::string::npos) << name;
    // A misused sub-command names what was wrong and shows its own usage, which the help holds.
    const auto bad = vornax::testing::run_vornax_cli(std::string(name) + " --no-such-option");
    EXPECT_EQ(bad.code, 2) << name;
    EXPECT_EQ(bad.err.rfind(std::string(name) + ": ", 0), 0u) << bad.err;
    const size_t usage = bad.err.find("usage: ");
    ASSERT_NE(usage, std::string::npos) << bad.err;
    EXPECT_NE(help.out.find(bad.err.substr(usage + 7)), std::string::npos) << name;
  }
  const auto none = vornax::testing::run_vornax_cli("");
  EXPECT_EQ(none.code, 2);
  EXPECT_EQ(none.err, help.out);
  // The README's command-line block is the help, line for line.
  const std::string text = readme();
  EXPECT_NE(text.find("```\n" + help.out.substr(help.out.find('\n') + 1) + "```"), std::string::npos)
      << "README's command-line block differs from vornax-cli --help";
}

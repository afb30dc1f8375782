// vornax-cli never destroys a file it was not asked to write: an output that is one of
// the run's inputs (by any name or link) is refused, an existing output is replaced only
// with --force, an input linked to a file the run writes is refused, a failed picture
// write leaves the old picture whole, and file system failures end in a message.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

namespace fs = std::filesystem;

namespace {

using vornax::testing::CliRun;
using vornax::testing::run_vornax_cli;
using vornax::testing::slurp;

const std::string kCell =
    " --system CUBI --group 'F d -3 m:2' --cell 5.431194 5.431194 5.431194 90 90 90"
    " --lambda 1.540593 --range 20 80 ";

void write_text(const fs::path& file, const std::string& text) {
  std::ofstream f(file, std::ios::binary);
  f << text;
}

// Three silicon-like peaks on a flat background, 20 to 80° in steps of 0.01°.
std::string profile_text() {
  std::ostringstream out;
  for (int i = 0; i <= 6000; ++i) {
    const double x = 20 + i * 0.01;
    double y = 100;
    for (double c : {28.44, 47.30, 56.12}) y += 5000 * std::exp(-0.5 * std::pow((x - c) / 0.06, 2));
    out << x << ' ' << std::lround(y) << '\n';
  }
  return out.str();
}

std::string read(const fs::path& file) { return slurp(file.c_str()); }

// Runs `cmd` through the shell with files limited to `bytes`; the signal a write past
// the limit raises is ignored, so that the write returns its error (EFBIG), as a write
// to a full disk does. Returns the wait status.
int run_with_file_size_limit(const std::string& cmd, rlim_t bytes) {
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = -1;
  waitpid(child, &status, 0);
  return status;
}

class CliFileSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    profile = profile_text();
    write_text("p.xy", profile);
    write_text("pk.txt", "28.44\n47.30\n56.12\n");
  }
  refine_test::ScratchFolder folder;
  std::string profile;
};

TEST_F(CliFileSafety, OutputThatIsAnInputIsRefusedEvenWithForce) {
  fs::create_directories("sub");
  fs::create_directories("scans");
  write_text("scans/q.xy", profile);
  fs::create_symlink("p.xy", "link.xy");
  fs::create_symlink("p.xy", "link.raw");
  fs::create_symlink("p.xy", "link.png");
  fs::create_hard_link("p.xy", "hard.cpi");
  write_text("l.lst", "not read\n");
  struct Case {
    std::string args;
    fs::path input;  // must be left as it was
  } cases[] = {
      {"search p.xy --out p.xy --force", "p.xy"},
      {"search p.xy --out sub/../p.xy --force", "p.xy"},
      {"search p.xy --out link.xy --force", "p.xy"},
      {"convert p.xy link.raw --force", "p.xy"},
      {"convert p.xy hard.cpi --force", "p.xy"},
      {"series --profiles p.xy" + kCell + "--out p.xy --force", "p.xy"},
      {"series --profiles scans" + kCell + "--out scans/q.xy --force", "scans/q.xy"},
      {"series --profiles p.xy" + kCell + "--out t.csv --plot p.xy --force", "p.xy"},
      {"plot --profile p.xy" + kCell + "--out link.png --force", "p.xy"},
      {"refine --peaks l.lst" + kCell + "--save-list l.lst --force", "l.lst"},
  };
  for (const Case& c : cases) {
    const std::string before = read(c.input);
    const CliRun r = run_vornax_cli(c.args);
    EXPECT_EQ(r.code, 1) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find("is the input file"), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(read(c.input), before) << c.args;
    EXPECT_FALSE(fs::exists("t.csv")) << c.args;
  }
  // The table and the plot of a series are two files.
  const CliRun r = run_vornax_cli("series --profiles p.xy" + kCell + "--out t.csv --plot t.csv");
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_FALSE(fs::exists("t.csv"));
}

TEST_F(CliFileSafety, ExistingOutputIsReplacedOnlyWithForce) {
  const std::string old = "keep me\n";
  for (const char* name : {"old.txt", "old.csv", "old.svg", "old.png", "old.lst", "old.raw"})
    write_text(name, old);
  struct Case {
    std::string args;
    fs::path kept;
  } cases[] = {
      {"search p.xy --out old.txt", "old.txt"},
      {"series --profiles p.xy" + kCell + "--out old.csv", "old.csv"},
      {"series --profiles p.xy" + kCell + "--out new.csv --plot old.svg", "old.svg"},
      {"plot --profile p.xy" + kCell + "--out old.png", "old.png"},
      {"refine --peaks pk.txt" + kCell + "--save-list old", "old.lst"},
      {"convert p.xy old.raw", "old.raw"},
  };
  for (const Case& c : cases) {
    const CliRun r = run_vornax_cli(c.args);
    EXPECT_EQ(r.code, 1) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.kept.string() + " already exists (use --force to overwrite)"),
              std::string::npos)
        << c.args << "\n" << r.err;
    EXPECT_EQ(read(c.kept), old) << c.args;
    EXPECT_FALSE(fs::exists("new.csv")) << c.args;
  }
  // With --force the search writes its peaks over the old file: one line per peak.
  const CliRun r = run_vornax_cli("search p.xy --lambda 1.540593 --out old.txt --force");
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string written = read("old.txt");
  EXPECT_NE(written, old);
  EXPECT_NE(written.find("28.4"), std::string::npos) << written;
}

TEST_F(CliFileSafety, InputLinkedToAFileTheRunWritesIsRefused) {
  // Each fixed file holds a usable peak list, so that only the guard can stop the run.
  const std::string peaks = read("pk.txt");
  struct Case {
    const char* fixed;
    const char* input;
    bool hard;
    std::string args;
  } cases[] = {
      {"vornax.out", "mypeaks.prn", false, "refine --peaks mypeaks.prn" + kCell},
      {"Excel.txt", "list.txt", true, "refine --peaks list.txt" + kCell},
      {"mouchard", "m.txt", false, "plot --peaks m.txt" + kCell + "--out d.png"},
      {"indx.out", "c.cry", false, "calc --cell-file c.cry --lambda 1.540593 --range 20 80"},
  };
  for (const Case& c : cases) {
    write_text(c.fixed, peaks);
    if (c.hard) fs::create_hard_link(c.fixed, c.input);
    else fs::create_symlink(c.fixed, c.input);
    const CliRun r = run_vornax_cli(c.args);
    EXPECT_EQ(r.code, 1) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(std::string(c.input) + " is a file the program writes or deletes"),
              std::string::npos)
        << c.args << "\n" << r.err;
    EXPECT_EQ(read(c.fixed), peaks) << c.args;
    EXPECT_FALSE(fs::exists("d.png")) << c.args;
    fs::remove(c.input);
    fs::remove(c.fixed);
  }
}

TEST_F(CliFileSafety, FailedPictureWriteLeavesTheOldPictureWhole) {
  // Writes past 15 KiB fail as on a full disk: the run's own result files stay below
  // that, a picture this size does not.
  const std::string old = "the old picture\n";
  for (const char* name : {"d.png", "d.svg", "d.pdf"}) {
    write_text(name, old);
    const std::string cmd = "'" + std::string(VORNAX_CLI_PATH) + "' plot --profile p.xy" + kCell +
                            "--out " + name + " --force --size 6000 1500 >out.txt 2>err.txt";
    const int status = run_with_file_size_limit(cmd, 15 * 1024);
    ASSERT_TRUE(WIFEXITED(status)) << name;
    EXPECT_EQ(WEXITSTATUS(status), 1) << name;
    const std::string err = slurp("err.txt");
    EXPECT_NE(err.find(std::string("cannot write ") + name), std::string::npos) << err;
    EXPECT_EQ(read(name), old) << name;
    // No temporary file is left beside it.
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(".")) left.push_back(e.path().filename().string());
    for (const auto& n : left) EXPECT_EQ(n.find(std::string(".") + name), std::string::npos) << n;
  }
}

TEST_F(CliFileSafety, PictureAreaIsBounded) {
  for (const char* size : {"20000 20000", "5001 5000", "2000 12501"}) {
    const CliRun r = run_vornax_cli("plot --profile p.xy" + kCell + "--out d.png --size " + size);
    EXPECT_EQ(r.code, 2) << size;
    EXPECT_NE(r.err.find("--size"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("25 megapixels"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists("d.png")) << size;
  }
}

TEST_F(CliFileSafety, FileSystemFailuresEndInAMessage) {
  fs::create_symlink("loop", "loop");
  fs::create_directories("scans");
  fs::create_symlink("a.xy", "scans/b.xy");
  fs::create_symlink("b.xy", "scans/a.xy");
  const fs::path here = fs::current_path();
  const fs::path out = here / "out.txt", err = here / "err.txt";
  struct Case {
    std::string args;
    bool deleted_folder;  // run in a current folder that no longer exists
    const char* says;
  } cases[] = {
      {"series --profiles loop" + kCell + "--out t.csv", false, "loop"},
      {"series --profiles scans" + kCell + "--out t.csv", false, "no profile found"},
      {"calc" + kCell, true, "current folder"},
      {"refine --peaks " + (here / "pk.txt").string() + kCell, true, "current folder"},
      {"plot --profile " + (here / "p.xy").string() + kCell + "--out " + (here / "d.png").string(),
       true, "current folder"},
      {"series --profiles " + (here / "p.xy").string() + kCell + "--out " +
           (here / "t.csv").string(),
       true, "current folder"},
  };
  for (const Case& c : cases) {
    std::string cmd = "'" + std::string(VORNAX_CLI_PATH) + "' " + c.args + " >'" + out.string() +
                      "' 2>'" + err.string() + "'";
    if (c.deleted_folder) cmd = "mkdir gone && cd gone && rmdir ../gone && " + cmd;
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.args;  // not an abort
    EXPECT_EQ(WEXITSTATUS(status), 1) << c.args;
    const std::string text = slurp(err.c_str());
    EXPECT_NE(text.find(c.says), std::string::npos) << c.args << "\n" << text;
    EXPECT_FALSE(fs::exists("t.csv")) << c.args;
  }
}

}  // namespace

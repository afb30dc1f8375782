#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "files/peak_fixtures.hpp"
#include "files/profile_kind_fixtures.hpp"

namespace {

namespace fs = std::filesystem;

struct CliRun {
  int code;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class CliProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vornax_cli_profile_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  CliRun run(const std::string& args) {
    const std::string cmd = "cd '" + dir.string() + "' && '" + VORNAX_CLI_PATH + "' " + args +
                            " > out.txt 2> err.txt";
    const int status = std::system(cmd.c_str());
    return {WEXITSTATUS(status), slurp(dir / "out.txt"), slurp(dir / "err.txt")};
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  fs::path dir;
};

TEST_F(CliProfile, PrintsTheLoadedProfile) {
  write("s.xy", "10 100\n10.5 300\n11 200\n");
  const auto r = run("profile s.xy --lambda 1.5418");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "lambda 1.541800 lambda1 0.000000 lambda2 0.000000 ratio 1.000000 anode Cu\n"
            "title \n"
            "range 10.000000 11.000000\n"
            "counts 100.000000 300.000000\n"
            "points 3\n"
            "10.000000 0.000000\n"
            "10.500000 100.000000\n"
            "11.000000 50.000000\n");
}

TEST_F(CliProfile, BadFilesAndMissingWavelengthFail) {
  write("bad.raw", "XXXX and more");
  auto r = run("profile bad.raw");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "Unknown file type\n");
  write("s.xy", "10 100\n10.5 300\n");
  r = run("profile s.xy");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("The wavelenth was not found"), std::string::npos);
}

// --type N reads the file as kind N even under a name that names another kind: each
// sample carries the extension of the next kind.
TEST_F(CliProfile, TypeIsHonouredForEveryKind) {
  const char* const wrong_names[] = {"s.dat", "s.cpi", "s.rd", "s.xy", "s.raw", "s.brml",
                                     "s.xrdml", "s.gsa", "s.raw"};
  for (const auto& k : vornax::test::profile_kind_samples()) {
    SCOPED_TRACE(k.kind);
    const std::string name = wrong_names[k.kind - 1];
    write(name, k.bytes);
    const auto r = run("profile " + name + " --type " + std::to_string(k.kind) + " --lambda 1.5406");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");  // a kind chosen is no news
    EXPECT_NE(r.out.find("points " + std::to_string(k.points) + "\n"), std::string::npos) << r.out;
  }
  const auto bad = run("profile s.xy --type 10");
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err.substr(0, bad.err.find('\n')), "profile: --type is 1 to 9");
}

// A ".dat" of plain columns reads without --type, saying which kind the content chose;
// a real Rietveld file reads as Rietveld and says nothing.
TEST_F(CliProfile, DatFilesAreReadByTheirContent) {
  write("two-columns.dat", "10.00 100\n10.50 300\n11.00 200\n");
  auto r = run("profile two-columns.dat --lambda 1.5418");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "profile: two-columns.dat read as Column Format\n");
  EXPECT_NE(r.out.find("points 3\n10.000000 0.000000\n10.500000 100.000000\n"), std::string::npos)
      << r.out;
  r = run("profile two-columns.dat --type 5 --lambda 1.5418");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  r = run("profile two-columns.dat --type 2 --lambda 1.5418");  // chosen, and wrong
  EXPECT_EQ(r.code, 1);

  write("quartz.dat", vornax::test::profile_kind_samples()[1].bytes);
  r = run("profile quartz.dat");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("title Quartz\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("points 4\n"), std::string::npos) << r.out;
}

// search and series take every kind number too, and refuse one past the table.
TEST_F(CliProfile, OtherCommandsTakeEveryKindNumber) {
  write("s.gsa", vornax::test::profile_kind_samples()[8].bytes);
  auto r = run("search s.gsa --type 9 --lambda 1.5406");
  EXPECT_EQ(r.err.find("--type"), std::string::npos) << r.err;
  r = run("search s.gsa --type 10");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "search: --type is 1 to 9");
  r = run("series --profiles s.gsa --type 10");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "series: --type is 1 to 9");
}

TEST_F(CliProfile, ConvertWritesAndRefusesToOverwrite) {
  write("s.xy", "10 100\n10.5 300\n11 200\n");
  EXPECT_EQ(run("convert s.xy o.cpi --lambda 1.5418").code, 0);
  EXPECT_EQ(slurp(dir / "o.cpi").substr(0, 43),
            "SIETRONICS XRD SCAN\r\n10.000000\r\n11.000000\r\n");
  EXPECT_EQ(run("convert o.cpi o.raw").code, 0);
  EXPECT_EQ(fs::file_size(dir / "o.raw"), 316u + 12u);
  EXPECT_EQ(run("convert o.cpi o.raw").code, 1);
  EXPECT_EQ(run("convert o.cpi o.raw --force").code, 0);
  const auto back = run("profile o.raw");
  EXPECT_NE(back.out.find("range 10.000000 11.000000\n"), std::string::npos) << back.out;
  EXPECT_NE(back.out.find("10.500000 100.000000\n"), std::string::npos);
}

}  // namespace

namespace {

// A peak file converts to DIF2 and to one column; the DIF2 reads back to the same peaks.
TEST_F(CliProfile, ConvertWritesPeakFiles) {
  write("p.dif", peak_test::dif2({{26.64123, 100}, {20.86, 35}, {50.14, 17}}));
  ASSERT_EQ(run("convert p.dif out.prn").code, 0);
  // Six decimals: what the DIF2 file's single-precision angles hold.
  EXPECT_EQ(slurp(dir / "out.prn"), "  26.641230\r\n  20.860001\r\n  50.139999\r\n");
  const auto r = run("convert p.dif out.dif");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fs::file_size(dir / "out.dif"), 352u + 3u * 16u);
  const auto back = run("peaks out.dif");
  ASSERT_EQ(back.code, 0) << back.err;
  EXPECT_NE(back.out.find("26.641230 100.000000\n20.860001 35.000000\n50.139999 17.000000\n"),
            std::string::npos)
      << back.out;
  EXPECT_EQ(run("convert p.dif out.dif").code, 1);  // exists, no --force
  write("bad.dif", "DIF9 nothing");
  EXPECT_EQ(run("convert bad.dif other.dif").code, 1);
  EXPECT_FALSE(fs::exists(dir / "other.dif"));
}

}  // namespace

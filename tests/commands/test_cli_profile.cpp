#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

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

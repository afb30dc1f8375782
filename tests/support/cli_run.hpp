// Running vornax-cli from a test, in the current folder, with its output captured.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace vornax::testing {

struct CliRun {
  int code = -1;
  std::string out, err;
};

inline std::string slurp(const char* name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// `args` follow the program's name (the sub-command first); they pass through the shell.
inline CliRun run_vornax_cli(const std::string& args) {
  const std::string cmd = std::string("'") + VORNAX_CLI_PATH + "' " + args + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("out.txt"), slurp("err.txt")};
}

}  // namespace vornax::testing

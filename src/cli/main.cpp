// vornax-cli: the program's commands without windows, for scripts and batch runs.
#include <iostream>
#include <string>
#include <vector>

#include "cli/subcommands.hpp"

int main(int argc, char** argv) {
  using namespace vornax::cli;
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "--help" || command == "help") {
    std::cout << help_text();
    return 0;
  }
  if (const Subcommand* c = find_subcommand(command))
    return c->run(std::vector<std::string>(argv + 2, argv + argc));
  if (!command.empty()) std::cerr << "unknown command " << command << "\n";
  std::cerr << help_text();
  return 2;
}

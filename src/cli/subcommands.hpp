// The table of vornax-cli's sub-commands: the dispatch, every usage text and the help
// are made from it, so they cannot drift apart.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vornax::cli {

struct Subcommand {
  std::string_view name;
  std::string (*usage)();  // the text after "usage: ", from "vornax-cli NAME"
  int (*run)(const std::vector<std::string>& args);
};

std::span<const Subcommand> subcommands();
const Subcommand* find_subcommand(std::string_view name);

// "NAME: why", then the sub-command's usage, on standard error; the usage exit code.
int usage_error(std::string_view name, const std::string& why);

// The help: every sub-command's usage, in table order.
std::string help_text();

}  // namespace vornax::cli

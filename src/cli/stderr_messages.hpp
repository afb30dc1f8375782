// Messages for the command-line tool: every message goes to standard error, one line
// each; questions are answered Yes (a batch run cannot ask). Counts errors so that a
// command can return a non-zero exit code when one was shown. A message that stops a
// command is followed by a "hint:" line naming the option to change.
#pragma once

#include <iostream>
#include <string>
#include <string_view>

#include "cli/stop_hints.hpp"
#include "core/messages.hpp"

namespace vornax::cli {

struct StderrMessages : Messages {
  int errors = 0;
  int warnings = 0;
  int messages = 0;  // of every kind
  std::string last_error;

  void error(std::string_view t) override {
    ++errors;
    last_error = std::string(t);
    show(t);
  }
  void warning(std::string_view t) override {
    ++warnings;
    show(t);
  }
  void info(std::string_view t) override { show(t); }
  Answer ask(std::string_view t) override {
    std::cerr << t << " [Yes]\n";
    return Answer::Yes;
  }
  void beep() override {}

 private:
  void show(std::string_view t) {
    ++messages;
    std::cerr << t << '\n';
    if (auto hint = stop_hint(t)) std::cerr << *hint << '\n';
  }
};

}  // namespace vornax::cli

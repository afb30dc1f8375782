// The test double of the message interface: keeps every message and answers
// questions from a script.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/messages.hpp"

namespace vornax {

// Keeps every message and answers questions from a script (Yes when it runs out).
struct RecordingMessages : Messages {
  enum class Kind { Error, Warning, Info, Question, Beep };
  std::vector<std::pair<Kind, std::string>> log;
  std::deque<Answer> answers;

  void error(std::string_view t) override { log.emplace_back(Kind::Error, std::string(t)); }
  void warning(std::string_view t) override { log.emplace_back(Kind::Warning, std::string(t)); }
  void info(std::string_view t) override { log.emplace_back(Kind::Info, std::string(t)); }
  Answer ask(std::string_view t) override {
    log.emplace_back(Kind::Question, std::string(t));
    if (answers.empty()) return Answer::Yes;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void beep() override { log.emplace_back(Kind::Beep, std::string()); }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (auto& [k, t] : log)
      if (k != Kind::Beep) out.push_back(t);
    return out;
  }
  bool empty() const { return log.empty(); }
  void clear() { log.clear(); }
};

}  // namespace vornax

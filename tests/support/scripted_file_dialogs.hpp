// The test double of the file dialogs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/file_dialogs.hpp"

namespace vornax {

// What a test answers: the next path of a script (nullopt = Cancel), recording the
// titles and filters it was shown.
struct ScriptedFileDialogs : FileDialogs {
  std::vector<std::optional<std::string>> answers;  // taken from the front
  std::vector<int> chosen_filters;                  // filter index to report, per answer
  std::vector<std::string> titles;
  std::vector<std::vector<std::string>> shown_filters;
  std::optional<std::string> open(const std::string& title,
                                  const std::vector<std::string>& filters,
                                  int& filter_index) override {
    return next(title, filters, filter_index);
  }
  std::optional<std::string> save(const std::string& title,
                                  const std::vector<std::string>& filters,
                                  int& filter_index) override {
    return next(title, filters, filter_index);
  }

 private:
  std::optional<std::string> next(const std::string& title,
                                  const std::vector<std::string>& filters, int& filter_index) {
    titles.push_back(title);
    shown_filters.push_back(filters);
    if (!chosen_filters.empty()) {
      filter_index = chosen_filters.front();
      chosen_filters.erase(chosen_filters.begin());
    }
    if (answers.empty()) return std::nullopt;
    auto a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

}  // namespace vornax

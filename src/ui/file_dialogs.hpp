// File choice is the window's job: the open and save dialogs go through this small
// interface, so that tests answer them as they answer messages.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace vornax {

struct FileDialogs {
  virtual ~FileDialogs() = default;
  // The chosen path, or nullopt when the user cancelled. `filter_index` (0-based) is
  // the filter shown first and, on return, the one the user left selected.
  virtual std::optional<std::string> open(const std::string& title,
                                          const std::vector<std::string>& filters,
                                          int& filter_index) = 0;
  virtual std::optional<std::string> save(const std::string& title,
                                          const std::vector<std::string>& filters,
                                          int& filter_index) = 0;
};

// The toolkit's dialogs, opened over `parent` in the current folder.
class QtFileDialogs : public FileDialogs {
 public:
  explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  std::optional<std::string> open(const std::string& title,
                                  const std::vector<std::string>& filters,
                                  int& filter_index) override;
  std::optional<std::string> save(const std::string& title,
                                  const std::vector<std::string>& filters,
                                  int& filter_index) override;

 private:
  QWidget* parent_;
};

}  // namespace vornax

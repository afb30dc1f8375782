#include "ui/command_guard.hpp"

#include <exception>
#include <new>
#include <string>

namespace vornax {

namespace {

std::function<void()>& after_failure() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void set_after_failure(std::function<void()> hook) { after_failure() = std::move(hook); }

bool run_guarded(WorkSession& s, Messages& m, const std::function<void()>& command) {
  // Commands nest (a button that recalculates); only the outermost takes the copy.
  static int depth = 0;
  if (depth > 0) {
    command();
    return true;
  }
  std::string what;
  {
    WorkSession before = s;
    ++depth;
    try {
      command();
      --depth;
      return true;
    } catch (const std::bad_alloc&) {
      what = "not enough memory";
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
      what = "unknown error";
    }
    --depth;
    s = std::move(before);
  }
  m.error("The command failed and nothing was changed: " + what);
  if (after_failure()) after_failure()();
  return false;
}

}  // namespace vornax

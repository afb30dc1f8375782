// The safety net around every window command: an exception that escapes a command (a
// huge file's bad_alloc, a length_error, a fault of ours) becomes a message, and the
// session goes back to what it was before the command, so the user's work survives.
#pragma once

#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

// Runs `command`. On an exception: the session is restored from a copy taken before,
// Messages::error says what failed, the hook set by set_after_failure() runs (the main
// window shows everything again) and false is returned.
bool run_guarded(WorkSession& s, Messages& m, const std::function<void()>& command);

// What the windows do after a failed command (the main window refreshes everything).
void set_after_failure(std::function<void()> hook);

// connect() for a command: the slot runs inside run_guarded. It takes the signal's
// arguments (a clicked row, a toggled state) when it accepts them, else none.
template <class Sender, class Signal, class Receiver, class Func>
QMetaObject::Connection connect_command(Sender* sender, Signal signal, Receiver* receiver,
                                        WorkSession& s, Messages& m, Func f) {
  return QObject::connect(sender, signal, receiver, [&s, &m, f = std::move(f)](auto... args) {
    run_guarded(s, m, [&] {
      if constexpr (std::is_invocable_v<const Func&, decltype(args)...>)
        f(args...);
      else
        f();
    });
  });
}

}  // namespace vornax

// What to change when a command stops: the messages the commands share with the
// windows name the problem in the windows' words; on the command line each is followed
// by one line naming the option to change.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornax::cli {

// The hint line for a message (without its line end), or nothing when the message
// already says what to do.
std::optional<std::string> stop_hint(std::string_view message);

}  // namespace vornax::cli

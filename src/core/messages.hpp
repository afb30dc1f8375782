// Messages and questions to the user. Windows show them in message boxes; tests
// and the command line record or print them.
#pragma once

#include <string>
#include <string_view>

namespace vornax {

enum class Answer { Yes, No, Cancel };

struct Messages {
  virtual ~Messages() = default;
  virtual void error(std::string_view text) = 0;    // error icon, OK
  virtual void warning(std::string_view text) = 0;  // warning icon, OK
  virtual void info(std::string_view text) = 0;     // information icon, OK
  virtual Answer ask(std::string_view text) = 0;    // Yes / No / Cancel
  virtual void beep() = 0;
};

// A message shown with the warning icon: the program's notices that end a command
// without being errors of the user's input.
inline void show_message(Messages& messages, std::string_view text) { messages.warning(text); }

}  // namespace vornax

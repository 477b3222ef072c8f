// The texts of the two failure boxes of the program: the default failure display, shown for a
// failure that a handler raises, and the start-up failure box, shown when the window cannot
// be created. Two rules for the final full stop, each the one its box has always used.
#pragma once

#include <cstdint>
#include <string>

namespace vxt {

// The message with "." appended when its last character has a code above that of ".".
std::string FailureDisplayText(const std::string& message);

// A failure that ended the window's creation, as the start-up failure box shows it.
struct StartupFailure {
  std::string class_name;
  std::string message;
  uintptr_t code_offset = 0;  // an address inside the executable's image, as an offset
};

// "Exception %s in module %s at %p.\r\n%s%s\r\n": the class name, the executable's file name,
// the offset as eight hexadecimal figures, the message and a "." when the message is not empty
// and does not already end with one.
std::string StartupFailureText(const StartupFailure& failure, const std::string& module_name);

// The executable's file name without its folder, as the start-up failure box names the module:
// what follows the last backslash, "/" or ":" of its path, whichever style the path has.
std::string ModuleNameOf(const std::string& executable_path);

}  // namespace vxt

#include "app/FailureTexts.h"

#include <cstdio>

namespace vxt {

std::string FailureDisplayText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string StartupFailureText(const StartupFailure& failure, const std::string& module_name) {
  char address[32];
  std::snprintf(address, sizeof address, "%08llX",
                static_cast<unsigned long long>(failure.code_offset));
  const std::string& message = failure.message;
  const char* dot = !message.empty() && message.back() != '.' ? "." : "";
  return "Exception " + failure.class_name + " in module " + module_name + " at " + address +
         ".\r\n" + message + dot + "\r\n";
}

}  // namespace vxt

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

std::string ModuleNameOf(const std::string& executable_path) {
  const size_t cut = executable_path.find_last_of("\\/:");
  return cut == std::string::npos ? executable_path : executable_path.substr(cut + 1);
}

}  // namespace vxt

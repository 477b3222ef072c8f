// Settings file bytes: cutting into lines and looking names up must never crash, and the lines
// must satisfy the cutting rules: no line holds CR, LF or NUL, and joining the lines back with
// CR LF and reading that again gives the same lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto lines = vxt::SplitSettingsLines(bytes);
  std::string joined;
  for (const auto& line : lines) {
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
    joined += line;
    joined += "\r\n";
  }
  if (vxt::SplitSettingsLines(joined) != lines) std::abort();

  vxt::TValueList store;
  for (const auto& line : lines) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    store.AppendEntry(line.substr(0, eq), line.substr(eq + 1));
  }
  for (const char* name : {"KUPAC_ID", "kupac_pin", "VXTSERVER", ""}) (void)store.Value(name);
  return 0;
}

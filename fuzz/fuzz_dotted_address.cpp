// The dotted IPv4 test: any host text is answered without crashing; what it accepts has exactly
// four pieces (a fourth "." may only end the text: nothing may follow the fourth piece), and the
// answer does not change when blanks are added around the pieces.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/IPv4Address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string host(reinterpret_cast<const char*>(data), size);
  const bool valid = vxt::ParseDottedIPv4(host).has_value();
  if (valid) {
    size_t dots = 0;
    for (char c : host) dots += c == '.';
    if (dots == 4 && host.back() == '.') return 0;
    if (dots != 3) std::abort();
    std::string padded;
    for (char c : host) padded += c == '.' ? std::string(" . ") : std::string(1, c);
    // Blanks around the pieces do not change the address either.
    if (vxt::ParseDottedIPv4(" " + padded + " ") != vxt::ParseDottedIPv4(host)) std::abort();
  }
  return 0;
}

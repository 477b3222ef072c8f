#include "connection/PeerAddress.h"

#include <cstdint>

#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"

namespace vxt {

namespace {

bool EqualsIgnoringCase(const std::string& text, const char* upper) {
  size_t i = 0;
  for (; i < text.size() && upper[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return i == text.size() && upper[i] == '\0';
}

}  // namespace

std::optional<TIPv4Address> AddressWithoutLookup(const std::string& host) {
  if (std::optional<TIPv4Address> address = ParseDottedIPv4(host)) return address;
  if (EqualsIgnoringCase(host, "LOCALHOST")) return TIPv4Address{{127, 0, 0, 1}};
  return std::nullopt;
}

TIPv4Address ResolvePeerAddress(const std::string& host) {
  if (std::optional<TIPv4Address> address = AddressWithoutLookup(host)) return *address;
  TIPv4Address ip;
  int32_t error_code = 0;
  if (!ActiveSocketApi().GetHostByName(host, ip, error_code)) RaiseSocketFailure(error_code);
  return ip;
}

}  // namespace vxt

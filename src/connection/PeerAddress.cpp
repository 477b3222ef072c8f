#include "connection/PeerAddress.h"

#include <cstdint>

#include "failures/Exceptions.h"
#include "platform/SocketApi.h"

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

bool IsValidIP(const std::string& host) {
  uint8_t bytes[4];
  return ParseDottedIPv4(host, bytes);
}

std::optional<std::string> AddressWithoutLookup(const std::string& host) {
  if (IsValidIP(host)) return host;
  if (EqualsIgnoringCase(host, "LOCALHOST")) return std::string("127.0.0.1");
  return std::nullopt;
}

std::string ResolvePeerAddress(const std::string& host) {
  if (std::optional<std::string> address = AddressWithoutLookup(host)) return *address;
  std::string ip;
  int32_t error_code = 0;
  if (!ActiveSocketApi().GetHostByName(host, ip, error_code)) RaiseSocketFailure(error_code);
  return ip;
}

}  // namespace vxt

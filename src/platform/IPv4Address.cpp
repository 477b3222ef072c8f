#include "platform/IPv4Address.h"

#include <cstdio>

namespace vxt {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One piece of a dotted address: decimal, or hexadecimal after "$", "x" or "0x"; "-0" is 0.
bool ParseByte(std::string piece, uint8_t& byte) {
  size_t begin = 0;
  size_t end = piece.size();
  while (begin < end && static_cast<unsigned char>(piece[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(piece[end - 1]) <= ' ') --end;
  piece = piece.substr(begin, end - begin);

  size_t pos = 0;
  bool negative = false;
  if (pos < piece.size() && (piece[pos] == '+' || piece[pos] == '-')) {
    negative = piece[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < piece.size() && (piece[pos] == '$' || piece[pos] == 'x' || piece[pos] == 'X')) {
    base = 16;
    ++pos;
  } else if (pos + 1 < piece.size() && piece[pos] == '0' &&
             (piece[pos + 1] == 'x' || piece[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos == piece.size()) return false;

  long value = 0;
  for (; pos < piece.size(); ++pos) {
    const int digit = HexValue(piece[pos]);
    if (digit < 0 || digit >= base) return false;
    value = value * base + digit;
    // Leading zeros may be any number; a value past the byte range never comes back.
    if (value > 255) return false;
  }
  if (negative && value != 0) return false;
  byte = static_cast<uint8_t>(value);
  return true;
}

}  // namespace

std::optional<TIPv4Address> ParseDottedIPv4(const std::string& text) {
  TIPv4Address address;
  std::string rest = text;
  for (auto& byte : address.bytes) {
    const size_t dot = rest.find('.');
    std::string piece = dot == std::string::npos ? rest : rest.substr(0, dot);
    rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
    if (!ParseByte(piece, byte)) return std::nullopt;
  }
  if (!rest.empty()) return std::nullopt;
  return address;
}

std::string FormatDottedIPv4(const TIPv4Address& address) {
  const auto& bytes = address.bytes;
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(bytes[0]),
                static_cast<unsigned>(bytes[1]), static_cast<unsigned>(bytes[2]),
                static_cast<unsigned>(bytes[3]));
  return text;
}

}  // namespace vxt

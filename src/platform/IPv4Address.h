// An IPv4 address as a value, and the dotted text it is written as.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vxt {

// The four bytes in network order: 127.0.0.1 is {127, 0, 0, 1}. All zero is the wildcard
// address of a bind.
struct TIPv4Address {
  std::array<uint8_t, 4> bytes{};

  friend bool operator==(const TIPv4Address&, const TIPv4Address&) = default;
};

// Reads a dotted IPv4 address as the connection recognises one: text split four times at ".",
// each piece, with characters up to the blank trimmed from both ends, an integer from 0 to 255
// (decimal figures after an optional sign, or hexadecimal figures after "$", "x" or "0x" in
// either case), nothing after the fourth piece. Nothing otherwise.
std::optional<TIPv4Address> ParseDottedIPv4(const std::string& text);
// Four decimal numbers joined by ".".
std::string FormatDottedIPv4(const TIPv4Address& address);

}  // namespace vxt

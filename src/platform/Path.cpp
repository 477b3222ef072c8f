#include "platform/Path.h"

#include <cstdint>

#include "platform/System.h"

namespace vxt {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, uint32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
  }
}

// The code point of the sequence at bytes[pos], advancing pos past it; a byte that starts no
// valid sequence (a stray continuation, a cut or overlong sequence, beyond U+10FFFF) is taken
// alone as U+FFFD. Surrogates are valid here: they are how a lone one is held.
uint32_t NextCodePoint(std::string_view bytes, size_t& pos) {
  const auto lead = static_cast<uint8_t>(bytes[pos]);
  size_t length = 0;
  uint32_t code = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + length > bytes.size()) {
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(bytes[pos + i]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF) {
    ++pos;
    return kReplacement;
  }
  pos += length;
  return code;
}

}  // namespace

TPath TPath::Join(std::string_view name) const {
  std::string joined = bytes_;
  joined += PathSeparator();
  joined += name;
  return TPath(std::move(joined));
}

std::u16string Utf16Of(const TPath& path) {
  std::u16string units;
  const std::string_view bytes = path.Bytes();
  units.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) AppendUtf16(units, NextCodePoint(bytes, pos));
  return units;
}

TPath PathFromUtf16(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t unit = units[i];
    if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(bytes, unit);
  }
  return TPath(std::move(bytes));
}

}  // namespace vxt

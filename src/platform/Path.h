// A file-system path as the system holds it. Windows names files in UTF-16, and a folder named
// with letters outside the ANSI code page ("Đorđe Ivić" under code page 1252) cannot be reached
// through the code page at all: the A calls would see a best-fit look-alike of another folder.
// So a path never passes through the code page on its way to the system; only the text that a
// message shows of it does (DisplayText).
//
// The path is kept as 8-bit bytes: on POSIX the system's bytes unchanged, on Windows the UTF-16
// units in the UTF-8 form that also carries a lone surrogate (WTF-8), so that every name the
// system can hold comes back to it unchanged.
#pragma once

#include <string>
#include <string_view>

namespace vxt {

class TPath {
 public:
  TPath() = default;
  // From the bytes of the held form (UTF-8 for every name of letters and signs).
  explicit TPath(std::string bytes) : bytes_(std::move(bytes)) {}

  const std::string& Bytes() const { return bytes_; }
  bool Empty() const { return bytes_.empty(); }

  // This path as a folder, the platform's separator and name.
  TPath Join(std::string_view name) const;

  friend bool operator==(const TPath& a, const TPath& b) = default;

 private:
  std::string bytes_;
};

// The text that a message shows of path: on Windows converted to the ANSI code page as the
// system converts it (best fit; what has no counterpart becomes "?"); on POSIX the bytes.
std::string DisplayText(const TPath& path);

// UTF-16 and the held form of a Windows path, each the exact inverse of the other: a surrogate
// that pairs with none passes both ways as itself. Bytes that are no such form (not produced
// by PathFromUtf16) become U+FFFD.
std::u16string Utf16Of(const TPath& path);
TPath PathFromUtf16(std::u16string_view units);

}  // namespace vxt

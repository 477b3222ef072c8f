// The first text line of a short reply: what the log shows of a text message from the server.
//
// The line runs from the first byte up to the first LF or CR LF, which is not part of it. A CR
// that no LF follows is dropped and does not end the line; a Ctrl-Z byte ends the text; there
// is no length limit; content without a line break is one line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace vxt {

// Gathers the first line from content fed in pieces of any size.
class TFirstLineScanner {
 public:
  // Takes the next piece; returns true once the line is complete (nothing more is needed).
  bool Feed(const char* data, size_t length);
  bool Complete() const { return complete_; }
  const std::string& Line() const { return line_; }

 private:
  std::string line_;
  bool complete_ = false;
};

std::string FirstTextLine(std::string_view content);

// Opens path for reading (others may only read it meanwhile), reads its first line and closes
// it. The first open, read or close that fails raises EInOutError with that call's system
// error code ("I/O error 32" for a sharing violation, "File not found", ...). A read that
// ends with the broken-pipe code counts as the end of the file.
std::string ReadFirstLine(FileApi& files, const TPath& path);

}  // namespace vxt

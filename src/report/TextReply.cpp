#include "report/TextReply.h"

#include <cstdint>

#include "failures/Exceptions.h"

namespace vxt {

namespace {

constexpr char kCtrlZ = 0x1A;
// What a read on Windows reports for the end of a pipe, and what some file systems report
// for the end of a file that a writer has closed under the reader.
constexpr uint32_t kBrokenPipe = 109;
constexpr size_t kReadChunk = 4096;

}  // namespace

bool TFirstLineScanner::Feed(const char* data, size_t length) {
  for (size_t i = 0; i < length && !complete_; ++i) {
    const char c = data[i];
    if (c == '\n' || c == kCtrlZ) {
      complete_ = true;
    } else if (c != '\r') {
      // A CR is dropped whether or not LF follows it: before LF the LF ends the line anyway.
      line_.push_back(c);
    }
  }
  return complete_;
}

std::string FirstTextLine(std::string_view content) {
  TFirstLineScanner scanner;
  scanner.Feed(content.data(), content.size());
  return scanner.Line();
}

std::string ReadFirstLine(FileApi& files, const std::string& path) {
  TFileHandle handle = kInvalidFile;
  uint32_t error = files.OpenShareRead(path, handle);
  if (error != 0) RaiseIoFailure(static_cast<int32_t>(error));

  TFirstLineScanner scanner;
  char buffer[kReadChunk];
  uint32_t read_error = 0;
  while (!scanner.Complete()) {
    size_t read = 0;
    uint32_t code = files.Read(handle, buffer, sizeof buffer, read);
    if (read > sizeof buffer) read = sizeof buffer;
    if (code != 0 && code != kBrokenPipe) {
      read_error = code;
      break;
    }
    scanner.Feed(buffer, read);
    if (read == 0 || code == kBrokenPipe) break;
  }

  // The handle is given back even after a failed read; the read's code is the one reported.
  uint32_t close_error = files.Close(handle);
  if (read_error != 0) RaiseIoFailure(static_cast<int32_t>(read_error));
  if (close_error != 0) RaiseIoFailure(static_cast<int32_t>(close_error));
  return scanner.Line();
}

}  // namespace vxt

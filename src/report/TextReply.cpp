#include "report/TextReply.h"

#include <cstdint>

#include "failures/Exceptions.h"
#include "platform/FileHandle.h"

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

std::string ReadFirstLine(FileApi& files, const TPath& path) {
  TFileHolder file(files);
  uint32_t error = files.OpenShareRead(path, file.Receive());
  if (error != 0) RaiseIoFailure(static_cast<int32_t>(error));

  TFirstLineScanner scanner;
  char buffer[kReadChunk];
  while (!scanner.Complete()) {
    size_t read = 0;
    uint32_t code = files.Read(file.Handle(), buffer, sizeof buffer, read);
    if (read > sizeof buffer) read = sizeof buffer;
    // The holder gives the handle back; the read's code is the one reported, not the close's.
    if (code != 0 && code != kBrokenPipe) RaiseIoFailure(static_cast<int32_t>(code));
    scanner.Feed(buffer, read);
    if (read == 0 || code == kBrokenPipe) break;
  }

  error = file.Close();
  if (error != 0) RaiseIoFailure(static_cast<int32_t>(error));
  return scanner.Line();
}

}  // namespace vxt

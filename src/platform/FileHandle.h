// One open file of a FileApi, closed when the holder goes, so that no path of a reader or a
// writer can leave a handle open. Close() gives the close's own code to callers that report it.
#pragma once

#include <cstdint>

#include "platform/Files.h"

namespace vxt {

class TFileHolder {
 public:
  explicit TFileHolder(FileApi& api) : api_(api) {}
  ~TFileHolder() { Close(); }
  TFileHolder(const TFileHolder&) = delete;
  TFileHolder& operator=(const TFileHolder&) = delete;

  FileApi& Api() const { return api_; }
  bool Open() const { return handle_ != kInvalidFile; }
  TFileHandle Handle() const { return handle_; }
  // Where an opening call puts the new handle; the holder must not hold one then.
  TFileHandle& Receive() { return handle_; }

  // Closes the file if it is open; 0, or the close's error code.
  uint32_t Close() {
    if (handle_ == kInvalidFile) return 0;
    const uint32_t code = api_.Close(handle_);
    handle_ = kInvalidFile;
    return code;
  }

 private:
  FileApi& api_;
  TFileHandle handle_ = kInvalidFile;
};

}  // namespace vxt

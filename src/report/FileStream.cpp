#include "report/FileStream.h"

#include <algorithm>

#include "failures/Exceptions.h"

namespace vxt {

TFileStream::TFileStream(FileApi& files) : files_(files) {}

TFileStream::~TFileStream() {
  Close();
}

void TFileStream::CreateExclusive(const TPath& path) {
  Close();
  TFileHandle handle = kInvalidFile;
  uint32_t error = files_.CreateExclusive(path, handle);
  if (error != 0 || handle == kInvalidFile) RaiseCreateFileFailure(path, error);
  handle_ = handle;
  position_ = 0;
  size_ = 0;
}

void TFileStream::Close() {
  if (!IsOpen()) return;
  TFileHandle handle = handle_;
  handle_ = kInvalidFile;
  files_.Close(handle);
}

void TFileStream::WriteBuffer(const void* buffer, size_t length) {
  if (length == 0) return;
  if (!IsOpen()) throw EWriteError(kStreamWriteError);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  size_t done = 0;
  // A write may take fewer bytes than offered without failing; only a write that fails or
  // takes nothing means the rest cannot be written.
  while (done < length) {
    size_t written = 0;
    uint32_t error = files_.Write(handle_, bytes + done, length - done, written);
    written = std::min(written, length - done);
    done += written;
    position_ += static_cast<int64_t>(written);
    size_ = std::max(size_, position_);
    if (error != 0 || written == 0) throw EWriteError(kStreamWriteError);
  }
}

void TFileStream::SetSize(int64_t size) {
  if (!IsOpen() || size < 0) throw EWriteError(kStreamWriteError);
  if (files_.Seek(handle_, size) != 0 || files_.Truncate(handle_) != 0) {
    files_.Seek(handle_, position_);
    throw EWriteError(kStreamWriteError);
  }
  size_ = size;
  // The position stays where it was unless the cut removed it.
  if (position_ > size) position_ = size;
  files_.Seek(handle_, position_);
}

}  // namespace vxt

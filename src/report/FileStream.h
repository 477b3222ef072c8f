// A byte stream over one file of the file layer: the sink that receives a reply.
#pragma once

#include <cstdint>

#include "connection/Streams.h"
#include "platform/Files.h"

namespace vxt {

class TFileStream : public TStream {
 public:
  // Not open until CreateExclusive succeeds.
  explicit TFileStream(FileApi& files);
  ~TFileStream() override;  // closes the file
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // Creates path empty (or truncates it) for reading and writing, shared with nobody; raises
  // EFCreateError "Cannot create file "<full path>". <system text>" when that fails.
  void CreateExclusive(const TPath& path);
  bool IsOpen() const { return handle_ != kInvalidFile; }
  // Closes the file, keeping what was written; the result is not examined. Safe to repeat.
  void Close();

  // Raises EWriteError "Stream write error" when not every byte could be written (a full
  // disk, say); the bytes that were written stay, and the position moves past them.
  void WriteBuffer(const void* buffer, size_t length) override;
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return size_; }
  void SetSize(int64_t size) override;

 private:
  FileApi& files_;
  TFileHandle handle_ = kInvalidFile;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

}  // namespace vxt

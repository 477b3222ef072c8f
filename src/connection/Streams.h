// A byte stream that receives a reply: the sink of TIOHandler::ReceiveUntilClosed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxt {

class TStream {
 public:
  virtual ~TStream() = default;
  // Writes all length bytes at the position and advances it; raises EWriteError
  // ("Stream write error") when not all of them could be written.
  virtual void WriteBuffer(const void* buffer, size_t length) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
  // Cuts (or extends) the stream to size bytes.
  virtual void SetSize(int64_t size) = 0;
};

}  // namespace vxt

// Byte streams that receive a reply: the sink of TIOHandler::ReceiveUntilClosed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

class TMemoryStream : public TStream {
 public:
  void WriteBuffer(const void* buffer, size_t length) override;
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  void SetPosition(int64_t position) { position_ = position; }
  const std::vector<uint8_t>& Data() const { return data_; }
  std::string DataAsString() const { return std::string(data_.begin(), data_.end()); }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace vxt

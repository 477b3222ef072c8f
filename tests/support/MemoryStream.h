// A byte stream in memory: the sink of a receive when a test only looks at the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "connection/Streams.h"

namespace vxt::testing {

class MemoryStream : public TStream {
 public:
  void WriteBuffer(const void* buffer, size_t length) override {
    if (length == 0) return;
    const size_t position = static_cast<size_t>(position_);
    if (position + length > data_.size()) data_.resize(position + length);
    std::memcpy(data_.data() + position, buffer, length);
    position_ += static_cast<int64_t>(length);
  }
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override {
    data_.resize(static_cast<size_t>(size < 0 ? 0 : size));
    if (position_ > Size()) position_ = Size();
  }

  const std::string& DataAsString() const { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

}  // namespace vxt::testing

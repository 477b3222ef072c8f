#include "connection/Streams.h"

#include <cstring>

namespace vxt {

void TMemoryStream::WriteBuffer(const void* buffer, size_t length) {
  if (length == 0) return;
  const size_t position = static_cast<size_t>(position_);
  if (position + length > data_.size()) data_.resize(position + length);
  std::memcpy(data_.data() + position, buffer, length);
  position_ += static_cast<int64_t>(length);
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  data_.resize(static_cast<size_t>(size));
  if (position_ > size) position_ = size;
}

}  // namespace vxt

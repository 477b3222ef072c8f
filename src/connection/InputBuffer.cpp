#include "connection/InputBuffer.h"

#include <cstring>

#include "failures/Exceptions.h"

namespace vxt {

void TInputBuffer::CheckAppend(int64_t size, int64_t count) {
  if (count > kMaxSize - size) throw EIdTooMuchDataInBuffer(kTooMuchDataInBuffer);
}

void TInputBuffer::Append(std::vector<uint8_t> bytes) {
  if (bytes.empty()) return;
  if (size_ == 0) {
    CheckAppend(0, static_cast<int64_t>(bytes.size()));
    storage_ = std::move(bytes);
    head_ = 0;
    size_ = storage_.size();
    return;
  }
  Append(bytes.data(), bytes.size());
}

void TInputBuffer::Append(const uint8_t* data, size_t count) {
  if (count == 0) return;
  CheckAppend(static_cast<int64_t>(size_), static_cast<int64_t>(count));
  if (size_ == 0) {
    storage_.assign(data, data + count);
    head_ = 0;
    size_ = count;
    return;
  }
  CompactHead(false);
  if (storage_.size() - size_ < count) storage_.resize(size_ + count + kMargin);
  std::memcpy(storage_.data() + size_, data, count);
  size_ += count;
}

void TInputBuffer::CompactHead(bool shrink) {
  if (head_ > 0) {
    std::memmove(storage_.data(), storage_.data() + head_, size_);
    head_ = 0;
  }
  if (shrink && storage_.size() - size_ > kMargin) {
    storage_.resize(size_ + kMargin);
    storage_.shrink_to_fit();
  }
}

void TInputBuffer::Remove(size_t count) {
  if (count >= size_) {
    std::vector<uint8_t>().swap(storage_);
    head_ = 0;
    size_ = 0;
    return;
  }
  head_ += count;
  size_ -= count;
  if (head_ > kMargin) CompactHead(true);
}

std::vector<uint8_t> TInputBuffer::Extract(size_t count) {
  std::vector<uint8_t> taken;
  Extract(count, taken);
  return taken;
}

void TInputBuffer::Extract(size_t count, std::vector<uint8_t>& taken) {
  if (count > size_) count = size_;
  taken.assign(storage_.begin() + static_cast<ptrdiff_t>(head_),
               storage_.begin() + static_cast<ptrdiff_t>(head_ + count));
  if (count == 0) return;
  Remove(count);
  if (on_bytes_removed_) on_bytes_removed_(static_cast<int64_t>(count));
}

}  // namespace vxt

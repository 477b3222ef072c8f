// The I/O handler's input buffer: the received bytes that the caller has not taken yet.
//
// A byte queue over one growable array: taking bytes from the head only advances the head
// index; the unread bytes are moved to the front before the next append and once the head
// index passes the margin, and the storage grows and shrinks with that margin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/NetworkLayer.h"

namespace vxt {

class TInputBuffer {
 public:
  // Growth margin of the storage, and the head index beyond which the head is compacted.
  static constexpr size_t kMargin = 2048;
  // Most unread bytes the buffer holds.
  static constexpr int64_t kMaxSize = 2147483647;

  // Told the count of every removal from the head (the I/O handler's read progress).
  using TRemovedEvent = std::function<void(int64_t count)>;

  TInputBuffer() = default;
  TInputBuffer(const TInputBuffer&) = delete;
  TInputBuffer& operator=(const TInputBuffer&) = delete;

  void SetOnBytesRemoved(TRemovedEvent event) { on_bytes_removed_ = std::move(event); }

  // Unread bytes.
  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // Appends bytes; to an empty buffer the array itself becomes the storage. Raises
  // EIdTooMuchDataInBuffer ("Too much data in buffer.") when the unread bytes would pass
  // kMaxSize, leaving the buffer unchanged.
  void Append(std::vector<uint8_t> bytes);
  void Append(const uint8_t* data, size_t count);

  // Removes count bytes from the head (all of them when count is at least Size()) and returns
  // them; reports the count when it is above 0.
  std::vector<uint8_t> Extract(size_t count);
  // The same into taken (replacing what it held), which holds the bytes before the count is
  // reported: a report that raises (a count past the notifications' range) leaves them there.
  void Extract(size_t count, std::vector<uint8_t>& taken);

  // Raises EIdTooMuchDataInBuffer when size unread bytes plus count more would pass kMaxSize.
  // The one place the limit is tested, so that tests can reach it without gigabytes.
  static void CheckAppend(int64_t size, int64_t count);

  // The storage's internals, for tests of the growth rules.
  size_t StorageLength() const { return storage_.size(); }
  size_t HeadIndex() const { return head_; }

 private:
  void Remove(size_t count);
  void CompactHead(bool shrink);

  NetworkLayerUse network_use_;
  std::vector<uint8_t> storage_;
  size_t head_ = 0;
  size_t size_ = 0;
  TRemovedEvent on_bytes_removed_;
};

}  // namespace vxt

// The input buffer against a plain model: the input is a program of appends and removals of
// chosen sizes; contents and counts must always equal the model's.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "connection/InputBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxt::TInputBuffer buffer;
  std::string model;
  int64_t reported = 0;
  buffer.SetOnBytesRemoved([&](int64_t count) { reported += count; });
  int64_t removed = 0;
  uint8_t next_byte = 0;
  for (size_t i = 0; i + 2 < size; i += 3) {
    const size_t amount = (static_cast<size_t>(data[i + 1]) << 8 | data[i + 2]) % 9000;
    if (data[i] & 1) {
      std::vector<uint8_t> bytes(amount);
      for (auto& b : bytes) b = next_byte++;
      model.append(bytes.begin(), bytes.end());
      buffer.Append(std::move(bytes));
    } else {
      const auto taken = buffer.Extract(amount);
      const size_t expected = amount < model.size() ? amount : model.size();
      if (taken.size() != expected) std::abort();
      if (std::string(taken.begin(), taken.end()) != model.substr(0, expected)) std::abort();
      model.erase(0, expected);
      removed += static_cast<int64_t>(expected);
    }
    if (buffer.Size() != model.size()) std::abort();
    if (buffer.StorageLength() < buffer.HeadIndex() + buffer.Size()) std::abort();
  }
  if (reported != removed) std::abort();
  return 0;
}

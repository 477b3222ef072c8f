#include "support/ObservedSocketApi.h"

#include "platform/NetworkLayer.h"

namespace vxt::testing {

ObservedSocketApi::ObservedSocketApi() : platform_(CreatePlatformSocketApi()) {
  SetSocketApiForTesting(this);
}

ObservedSocketApi::~ObservedSocketApi() {
  SetSocketApiForTesting(nullptr);
}

TSocketResult ObservedSocketApi::WaitReadable(TPlatformSocket& s, int timeout_ms) {
  // Counted before the wait: what a server waits for is the client being inside it.
  if (timeout_ms != 0) ++data_waits_;
  return platform_->WaitReadable(s, timeout_ms);
}

TSocketResult ObservedSocketApi::Recv(TPlatformSocket& s, void* buffer, int length) {
  const TSocketResult received = platform_->Recv(s, buffer, length);
  // The count only after the bytes are the client's.
  if (received.value > 0) bytes_received_ += received.value;
  return received;
}

}  // namespace vxt::testing

#include "support/ObservedSocketApi.h"

#include "platform/NetworkLayer.h"

namespace vxt::testing {

ObservedSocketApi::ObservedSocketApi() : platform_(CreatePlatformSocketApi()) {
  SetSocketApiForTesting(this);
}

ObservedSocketApi::~ObservedSocketApi() {
  SetSocketApiForTesting(nullptr);
}

int ObservedSocketApi::WaitReadable(TSocketHandle s, int timeout_ms) {
  // Counted before the wait: what a server waits for is the client being inside it.
  if (timeout_ms != 0) ++data_waits_;
  return platform_->WaitReadable(s, timeout_ms);
}

int ObservedSocketApi::Recv(TSocketHandle s, void* buffer, int length) {
  const int received = platform_->Recv(s, buffer, length);
  // The count only after the bytes are the client's, and without touching the last error.
  if (received > 0) bytes_received_ += received;
  return received;
}

}  // namespace vxt::testing

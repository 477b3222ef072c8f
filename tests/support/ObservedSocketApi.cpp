#include "support/ObservedSocketApi.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>

#include "platform/NetworkLayer.h"

namespace vxt::testing {

namespace {

void ClearThreadsLastError() {
  errno = 0;
#ifdef _WIN32
  // WSAGetLastError reads the thread's last-error value; WSASetLastError(0) is this call.
  ::SetLastError(0);
#endif
}

}  // namespace

ObservedSocketApi::ObservedSocketApi() : platform_(CreatePlatformSocketApi()) {
  SetSocketApiForTesting(this);
}

ObservedSocketApi::~ObservedSocketApi() {
  SetSocketApiForTesting(nullptr);
}

ObservedSocketApi::Running::Running(ObservedSocketApi& api, TSocketHandle s) : api_(api), s_(s) {
  if (std::this_thread::get_id() != api.creating_thread_) ++api.calls_off_thread_;
  std::lock_guard<std::mutex> lock(api.mutex_);
  api.running_.emplace(s, std::this_thread::get_id());
}

ObservedSocketApi::Running::~Running() {
  std::lock_guard<std::mutex> lock(api_.mutex_);
  const auto [first, last] = api_.running_.equal_range(s_);
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second == std::this_thread::get_id()) {
      api_.running_.erase(entry);
      break;
    }
  }
}

TSocketResult ObservedSocketApi::Returned(TSocketResult result) {
  if (result.Failed() && clear_last_error_) ClearThreadsLastError();
  return result;
}

TSocketResult ObservedSocketApi::Socket(TIPVersion version) {
  if (std::this_thread::get_id() != creating_thread_) ++calls_off_thread_;
  return Returned(platform_->Socket(version));
}

TSocketResult ObservedSocketApi::Bind(TSocketHandle s, const TSocketAddress& local) {
  Running running(*this, s);
  return Returned(platform_->Bind(s, local));
}

TSocketResult ObservedSocketApi::SetNoDelay(TSocketHandle s, bool no_delay) {
  Running running(*this, s);
  return Returned(platform_->SetNoDelay(s, no_delay));
}

TSocketResult ObservedSocketApi::Connect(TPlatformSocket& s, const TSocketAddress& peer) {
  Running running(*this, s.handle);
  return Returned(platform_->Connect(s, peer));
}

TSocketResult ObservedSocketApi::StartConnect(TPlatformSocket& s, const TSocketAddress& peer) {
  Running running(*this, s.handle);
  return Returned(platform_->StartConnect(s, peer));
}

TSocketResult ObservedSocketApi::WaitConnected(TPlatformSocket& s, int timeout_ms) {
  Running running(*this, s.handle);
  return Returned(platform_->WaitConnected(s, timeout_ms));
}

TSocketResult ObservedSocketApi::WaitReadable(TPlatformSocket& s, int timeout_ms) {
  Running running(*this, s.handle);
  // Counted before the wait: what a server waits for is the client being inside it.
  if (timeout_ms != 0) ++data_waits_;
  return Returned(platform_->WaitReadable(s, timeout_ms));
}

TSocketResult ObservedSocketApi::Recv(TPlatformSocket& s, void* buffer, int length) {
  Running running(*this, s.handle);
  const TSocketResult received = platform_->Recv(s, buffer, length);
  // The count only after the bytes are the client's.
  if (received.value > 0) bytes_received_ += received.value;
  return Returned(received);
}

TSocketResult ObservedSocketApi::Send(TPlatformSocket& s, const void* buffer, int length) {
  Running running(*this, s.handle);
  return Returned(platform_->Send(s, buffer, length));
}

TSocketResult ObservedSocketApi::ShutdownSend(TPlatformSocket& s) {
  Running running(*this, s.handle);
  return Returned(platform_->ShutdownSend(s));
}

TSocketResult ObservedSocketApi::Close(TSocketHandle s) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [first, last] = running_.equal_range(s);
    for (auto entry = first; entry != last; ++entry) {
      if (entry->second != std::this_thread::get_id()) {
        ++closes_under_call_;
        break;
      }
    }
  }
  Running running(*this, s);
  return Returned(platform_->Close(s));
}

TSocketResult ObservedSocketApi::GetSockName(TSocketHandle s, TSocketAddress& address) {
  Running running(*this, s);
  return Returned(platform_->GetSockName(s, address));
}

TSocketResult ObservedSocketApi::GetPeerName(TSocketHandle s, TSocketAddress& address) {
  Running running(*this, s);
  return Returned(platform_->GetPeerName(s, address));
}

}  // namespace vxt::testing

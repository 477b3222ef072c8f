// The platform's own socket layer, passed through unchanged, with counts of what the client has
// done on it. A scripted server waits on these counts (Step::WaitUntil) where it must act only
// once the client has got somewhere, instead of guessing a time.
//
// Creating one puts it in place of the platform layer; destroying it restores that. Create it
// before the client's first socket and destroy it after the client.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SocketApi.h"

namespace vxt::testing {

class ObservedSocketApi : public SocketApi {
 public:
  ObservedSocketApi();
  ~ObservedSocketApi() override;
  ObservedSocketApi(const ObservedSocketApi&) = delete;
  ObservedSocketApi& operator=(const ObservedSocketApi&) = delete;

  // Bytes that receives have returned so far.
  int64_t BytesReceived() const { return bytes_received_; }
  // Readability waits with a time limit begun so far: the client is waiting for data. The
  // connection tests (waits of 0 ms) do not count.
  int64_t DataWaits() const { return data_waits_; }

  TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) override;
  TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) override;

  // The rest passes straight through.
  TSocketResult Socket(TIPVersion version) override { return platform_->Socket(version); }
  TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) override {
    return platform_->Bind(s, local);
  }
  TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) override {
    return platform_->SetNoDelay(s, no_delay);
  }
  TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) override {
    return platform_->StartConnect(s, peer);
  }
  TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) override {
    return platform_->WaitConnected(s, timeout_ms);
  }
  TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) override {
    return platform_->Send(s, buffer, length);
  }
  TSocketResult ShutdownSend(TSocketHandle s) override { return platform_->ShutdownSend(s); }
  TSocketResult Close(TSocketHandle s) override { return platform_->Close(s); }
  TSocketResult GetSockName(TSocketHandle s, TSocketAddress& address) override {
    return platform_->GetSockName(s, address);
  }
  TSocketResult GetPeerName(TSocketHandle s, TSocketAddress& address) override {
    return platform_->GetPeerName(s, address);
  }
  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override {
    return platform_->GetHostByName(name, ip, error_code);
  }

 private:
  std::unique_ptr<SocketApi> platform_;
  std::atomic<int64_t> bytes_received_{0};
  std::atomic<int64_t> data_waits_{0};
};

}  // namespace vxt::testing

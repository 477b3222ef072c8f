// The platform's own socket layer, passed through unchanged, with counts of what the client has
// done on it. A scripted server waits on these counts (Step::WaitUntil) where it must act only
// once the client has got somewhere, instead of guessing a time.
//
// It also records which threads made socket calls and whether a socket was closed while a call
// on it was still running on another thread (Windows forbids that: the handle value may be
// given to a new socket at once, and a layered provider need not end the running call). And it
// can wipe the thread's last error after every failing call, as any later system call of the
// thread may (on Windows even a contended lock does): the failure's number must have been taken
// with the call's own result.
//
// Creating one puts it in place of the platform layer; destroying it restores that. Create it
// before the client's first socket and destroy it after the client.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

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

  // From now on every failing call clears the thread's last error (errno, and on Windows the
  // thread's last-error value that WSAGetLastError reads) before it returns.
  void ClearLastErrorAfterFailures(bool clear) { clear_last_error_ = clear; }

  // Socket calls (the host-name lookup, which touches no socket, left out) made on a thread
  // other than the one that created this layer.
  int64_t CallsOffTheCreatingThread() const { return calls_off_thread_; }
  // Closes of a socket while a call on it was running on another thread.
  int64_t ClosesUnderAnotherThreadsCall() const { return closes_under_call_; }

  TSocketResult Socket(TIPVersion version) override;
  TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) override;
  TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) override;
  TSocketResult Connect(TPlatformSocket& s, const TSocketAddress& peer) override;
  TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) override;
  TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) override;
  TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) override;
  TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) override;
  TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) override;
  TSocketResult ShutdownSend(TPlatformSocket& s) override;
  TSocketResult Close(TSocketHandle s) override;
  TSocketResult GetSockName(TSocketHandle s, TSocketAddress& address) override;
  TSocketResult GetPeerName(TSocketHandle s, TSocketAddress& address) override;
  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override {
    return platform_->GetHostByName(name, ip, error_code);
  }

 private:
  // Marks a call on s as running on this thread for its lifetime.
  class Running {
   public:
    Running(ObservedSocketApi& api, TSocketHandle s);
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    ObservedSocketApi& api_;
    TSocketHandle s_;
  };
  TSocketResult Returned(TSocketResult result);

  std::unique_ptr<SocketApi> platform_;
  const std::thread::id creating_thread_ = std::this_thread::get_id();
  std::atomic<int64_t> bytes_received_{0};
  std::atomic<int64_t> data_waits_{0};
  std::atomic<bool> clear_last_error_{false};
  std::atomic<int64_t> calls_off_thread_{0};
  std::atomic<int64_t> closes_under_call_{0};
  std::mutex mutex_;
  std::multimap<TSocketHandle, std::thread::id> running_;
};

}  // namespace vxt::testing

// A recording socket layer that answers by script, for tests that must see the exact socket
// calls (wait splitting, connect slices, pump steps) without a network.
//
// Creating a FakeSocketApi puts it in place of the platform layer; destroying it restores the
// platform layer. Every call is recorded in order, with its socket, its text (address, host
// name or sent bytes) and its number (time limit, length, port or flag). The test's message
// pump can add its own records (RecordPump), so the order of waits and pump steps shows.
//
// The peer is one queue of incoming events shared by all sockets: data chunks (one receive
// returns at most one chunk), the peer's close, or a failure. A readability wait answers from
// an explicit queue of answers first, then by the model: readable when an event is pending,
// otherwise an immediate time-out (no time passes). A new socket starts with a peer that has
// not closed. Lookups may come from the lookup worker's thread; the fake is thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/NetworkLayer.h"
#include "platform/SocketApi.h"

namespace vxt::testing {

struct SocketCall {
  enum class Kind {
    kSocket,
    kBind,
    kSetNoDelay,
    kConnect,  // the start of a connect
    kWaitConnected,
    kWaitReadable,
    kRecv,
    kSend,
    kShutdownSend,
    kClose,
    kGetSockName,
    kGetPeerName,
    kGetHostByName,
    kPump,  // added by the test's message pump through RecordPump
  };
  Kind kind = Kind::kSocket;
  TSocketHandle socket = kInvalidSocket;
  std::string text;  // Bind/Connect: address, dotted; GetHostByName: name; Send: the bytes
  int value = 0;     // WaitReadable/WaitConnected: time limit; Recv/Send: length; Connect:
                     // port; flags
};

const char* KindName(SocketCall::Kind kind);

class FakeSocketApi : public SocketApi {
 public:
  using Kind = SocketCall::Kind;

  FakeSocketApi();
  ~FakeSocketApi() override;
  FakeSocketApi(const FakeSocketApi&) = delete;
  FakeSocketApi& operator=(const FakeSocketApi&) = delete;

  // ---- Script ----
  // The next Socket() (only that one) fails with the code.
  void FailNextSocket(int32_t code);
  void FailBind(int32_t code);
  void FailSetNoDelay(int32_t code);
  // Names the lookup knows (ip dotted); any other name fails with 11001 unless FailLookup
  // names a code.
  void AddHost(const std::string& name, const std::string& ip);
  void FailLookup(const std::string& name, int32_t code);
  // Lookups block until ReleaseLookup (then they answer as above) or until give_up_ms have
  // passed (then they fail with 11002, as against a name server that never answers), so that
  // a test of broken code fails instead of hanging.
  void LookupBlocks(int give_up_ms = 10000);
  void ReleaseLookup();
  // True while a lookup is blocked inside the fake.
  bool LookupPending() const;

  // Connects succeed at once (the default: the first wait for a started connect sees it
  // made), fail at once (in their first wait), or stay under way until ReleaseConnect: every
  // wait for them then times out at once (no time passes), and a wait without limit fails
  // with 10060 as TCP's own retries would end it.
  void ConnectSucceeds();
  void ConnectFails(int32_t code);
  void ConnectBlocks();
  // Completes the connect under way: made for code 0, otherwise failed with code.
  void ReleaseConnect(int32_t code = 0);
  // True while a started connect on an open socket has not completed.
  bool ConnectPending() const;

  void QueueData(const std::string& bytes);
  void QueueClose();
  void QueueRecvError(int32_t code);
  // Answers of the next readability waits, before the model: 1 readable, 0 time-out, or -1
  // failure with error_code.
  void QueueWaitAnswer(int result, int32_t error_code = 0);

  // Each send takes at most this many bytes (0: all).
  void LimitSend(int max_per_call);
  // The next send returns result (0 or -1 with error_code) instead of taking bytes.
  void QueueSendAnswer(int result, int32_t error_code = 0);

  // Called after each call is recorded and before it is answered (outside the fake's lock, so
  // it may script the answer); from the calling thread.
  void SetOnCall(std::function<void(const SocketCall&)> on_call);

  // A record of a pump step; value is 1 when all pending messages were to be processed.
  void RecordPump(bool all_pending);

  // ---- Records ----
  std::vector<SocketCall> Calls() const;
  std::vector<SocketCall> CallsOf(Kind kind) const;
  size_t Count(Kind kind) const;
  // The kinds in order, optionally without some (for sequence checks).
  std::vector<Kind> Sequence(const std::set<Kind>& leave_out = {}) const;
  // The time limits of the readability waits, in order.
  std::vector<int> WaitTimeouts() const;
  // Every byte sent, in order.
  std::string Sent() const;
  // Sockets created and not yet closed.
  size_t OpenSockets() const;
  void ClearCalls();

  // ---- SocketApi ----
  TSocketResult Socket(TIPVersion version) override;
  TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) override;
  TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) override;
  TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) override;
  TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) override;
  TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) override;
  TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) override;
  TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) override;
  TSocketResult ShutdownSend(TSocketHandle s) override;
  TSocketResult Close(TSocketHandle s) override;
  TSocketResult GetSockName(TSocketHandle s, TSocketAddress& address) override;
  TSocketResult GetPeerName(TSocketHandle s, TSocketAddress& address) override;
  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override;

 private:
  struct Event {
    enum class Type { kData, kClose, kError } type;
    std::string bytes;
    int32_t code = 0;
  };
  struct Answer {
    int result;
    int32_t error_code;
  };
  enum class ConnectMode { kSucceed, kFail, kBlock };

  void Record(SocketCall call);
  static TSocketResult Fail(int32_t code) { return TSocketResult::Failure(code); }
  bool IsOpenLocked(TSocketHandle s) const { return open_.count(s) != 0; }

  mutable std::mutex mutex_;
  std::condition_variable lookup_changed_;
  std::vector<SocketCall> calls_;
  std::function<void(const SocketCall&)> on_call_;
  TSocketHandle next_handle_ = 100;
  std::set<TSocketHandle> open_;
  std::map<TSocketHandle, TSocketAddress> peers_;
  int32_t fail_next_socket_ = 0;
  int32_t fail_bind_ = 0;
  int32_t fail_no_delay_ = 0;
  std::map<std::string, TIPv4Address> hosts_;
  std::map<std::string, int32_t> failing_hosts_;
  ConnectMode connect_mode_ = ConnectMode::kSucceed;
  int32_t connect_error_ = 0;
  bool connect_released_ = false;
  int32_t release_code_ = 0;
  // Sockets with a started connect that has not completed.
  std::set<TSocketHandle> connecting_;
  bool lookup_blocks_ = false;
  int lookup_give_up_ms_ = 0;
  int lookups_pending_ = 0;
  bool destroying_ = false;
  std::deque<Event> incoming_;
  bool peer_closed_ = false;
  std::deque<Answer> wait_answers_;
  int send_limit_ = 0;
  std::deque<Answer> send_answers_;
  std::string sent_;
};

}  // namespace vxt::testing

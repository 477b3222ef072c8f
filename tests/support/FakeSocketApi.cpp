#include "support/FakeSocketApi.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace vxt::testing {

namespace {

// Winsock numbers the fake answers with.
constexpr int32_t kWsaEWouldBlock = 10035;
constexpr int32_t kWsaENotSock = 10038;
constexpr int32_t kWsaEInval = 10022;
constexpr int32_t kWsaETimedOut = 10060;
constexpr int32_t kWsaHostNotFound = 11001;
constexpr int32_t kWsaTryAgain = 11002;

}  // namespace

const char* KindName(SocketCall::Kind kind) {
  switch (kind) {
    case SocketCall::Kind::kSocket:
      return "Socket";
    case SocketCall::Kind::kBind:
      return "Bind";
    case SocketCall::Kind::kSetNoDelay:
      return "SetNoDelay";
    case SocketCall::Kind::kConnect:
      return "Connect";
    case SocketCall::Kind::kWaitConnected:
      return "WaitConnected";
    case SocketCall::Kind::kWaitReadable:
      return "WaitReadable";
    case SocketCall::Kind::kRecv:
      return "Recv";
    case SocketCall::Kind::kSend:
      return "Send";
    case SocketCall::Kind::kShutdownSend:
      return "ShutdownSend";
    case SocketCall::Kind::kClose:
      return "Close";
    case SocketCall::Kind::kGetSockName:
      return "GetSockName";
    case SocketCall::Kind::kGetPeerName:
      return "GetPeerName";
    case SocketCall::Kind::kGetHostByName:
      return "GetHostByName";
    case SocketCall::Kind::kPump:
      return "Pump";
  }
  return "?";
}

FakeSocketApi::FakeSocketApi() {
  SetSocketApiForTesting(this);
}

FakeSocketApi::~FakeSocketApi() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    destroying_ = true;
    lookup_changed_.notify_all();
    // An abandoned lookup may still be blocked; let it leave first.
    lookup_changed_.wait(lock, [this] { return lookups_pending_ == 0; });
  }
  SetSocketApiForTesting(nullptr);
}

void FakeSocketApi::FailNextSocket(int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_next_socket_ = code;
}

void FakeSocketApi::FailBind(int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_bind_ = code;
}

void FakeSocketApi::FailSetNoDelay(int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_no_delay_ = code;
}

void FakeSocketApi::AddHost(const std::string& name, const std::string& ip) {
  const std::optional<TIPv4Address> address = ParseDottedIPv4(ip);
  if (!address) throw std::invalid_argument("not a dotted address: " + ip);
  std::lock_guard<std::mutex> lock(mutex_);
  hosts_[name] = *address;
}

void FakeSocketApi::FailLookup(const std::string& name, int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_hosts_[name] = code;
}

void FakeSocketApi::LookupBlocks(int give_up_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  lookup_blocks_ = true;
  lookup_give_up_ms_ = give_up_ms;
}

void FakeSocketApi::ReleaseLookup() {
  std::lock_guard<std::mutex> lock(mutex_);
  lookup_blocks_ = false;
  lookup_changed_.notify_all();
}

bool FakeSocketApi::LookupPending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lookups_pending_ > 0;
}

void FakeSocketApi::ConnectSucceeds() {
  std::lock_guard<std::mutex> lock(mutex_);
  connect_mode_ = ConnectMode::kSucceed;
}

void FakeSocketApi::ConnectFails(int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  connect_mode_ = ConnectMode::kFail;
  connect_error_ = code;
}

void FakeSocketApi::ConnectBlocks() {
  std::lock_guard<std::mutex> lock(mutex_);
  connect_mode_ = ConnectMode::kBlock;
  connect_released_ = false;
}

void FakeSocketApi::ReleaseConnect(int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  connect_released_ = true;
  release_code_ = code;
}

bool FakeSocketApi::ConnectPending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !connecting_.empty();
}

void FakeSocketApi::QueueData(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  incoming_.push_back({Event::Type::kData, bytes, 0});
}

void FakeSocketApi::QueueClose() {
  std::lock_guard<std::mutex> lock(mutex_);
  incoming_.push_back({Event::Type::kClose, {}, 0});
}

void FakeSocketApi::QueueRecvError(int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  incoming_.push_back({Event::Type::kError, {}, code});
}

void FakeSocketApi::QueueWaitAnswer(int result, int32_t error_code) {
  std::lock_guard<std::mutex> lock(mutex_);
  wait_answers_.push_back({result, error_code});
}

void FakeSocketApi::LimitSend(int max_per_call) {
  std::lock_guard<std::mutex> lock(mutex_);
  send_limit_ = max_per_call;
}

void FakeSocketApi::QueueSendAnswer(int result, int32_t error_code) {
  std::lock_guard<std::mutex> lock(mutex_);
  send_answers_.push_back({result, error_code});
}

void FakeSocketApi::SetOnCall(std::function<void(const SocketCall&)> on_call) {
  std::lock_guard<std::mutex> lock(mutex_);
  on_call_ = std::move(on_call);
}

void FakeSocketApi::RecordPump(bool all_pending) {
  SocketCall call;
  call.kind = Kind::kPump;
  call.value = all_pending ? 1 : 0;
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(call);
}

std::vector<SocketCall> FakeSocketApi::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<SocketCall> FakeSocketApi::CallsOf(Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SocketCall> found;
  for (const SocketCall& call : calls_) {
    if (call.kind == kind) found.push_back(call);
  }
  return found;
}

size_t FakeSocketApi::Count(Kind kind) const {
  return CallsOf(kind).size();
}

std::vector<SocketCall::Kind> FakeSocketApi::Sequence(const std::set<Kind>& leave_out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Kind> kinds;
  for (const SocketCall& call : calls_) {
    if (leave_out.count(call.kind) == 0) kinds.push_back(call.kind);
  }
  return kinds;
}

std::vector<int> FakeSocketApi::WaitTimeouts() const {
  std::vector<int> timeouts;
  for (const SocketCall& call : CallsOf(Kind::kWaitReadable)) timeouts.push_back(call.value);
  return timeouts;
}

std::string FakeSocketApi::Sent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_;
}

size_t FakeSocketApi::OpenSockets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_.size();
}

void FakeSocketApi::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

void FakeSocketApi::Record(SocketCall call) {
  std::function<void(const SocketCall&)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    hook = on_call_;
  }
  if (hook) hook(call);
}

TSocketResult FakeSocketApi::Socket(TIPVersion version) {
  SocketCall call;
  call.kind = Kind::kSocket;
  call.value = version == TIPVersion::Id_IPv6 ? 6 : 4;
  Record(call);
  std::lock_guard<std::mutex> lock(mutex_);
  if (fail_next_socket_ != 0) {
    int32_t code = fail_next_socket_;
    fail_next_socket_ = 0;
    return Fail(code);
  }
  TSocketHandle s = next_handle_++;
  open_.insert(s);
  // A new connection has a peer that has not closed yet.
  peer_closed_ = false;
  return {s, 0};
}

TSocketResult FakeSocketApi::Bind(TSocketHandle s, const TSocketAddress& local) {
  Record({Kind::kBind, s, FormatDottedIPv4(local.ip), local.port});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  return fail_bind_ != 0 ? Fail(fail_bind_) : TSocketResult();
}

TSocketResult FakeSocketApi::SetNoDelay(TSocketHandle s, bool no_delay) {
  Record({Kind::kSetNoDelay, s, {}, no_delay ? 1 : 0});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  return fail_no_delay_ != 0 ? Fail(fail_no_delay_) : TSocketResult();
}

TSocketResult FakeSocketApi::StartConnect(TPlatformSocket& socket, const TSocketAddress& peer) {
  const TSocketHandle s = socket.handle;
  Record({Kind::kConnect, s, FormatDottedIPv4(peer.ip), peer.port});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  connecting_.insert(s);
  peers_[s] = peer;
  if (connect_mode_ == ConnectMode::kBlock) connect_released_ = false;
  return {};
}

TSocketResult FakeSocketApi::WaitConnected(TPlatformSocket& socket, int timeout_ms) {
  const TSocketHandle s = socket.handle;
  Record({Kind::kWaitConnected, s, {}, timeout_ms});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  if (connecting_.count(s) == 0) return Fail(kWsaEInval);  // no connect under way
  int32_t code = 0;
  switch (connect_mode_) {
    case ConnectMode::kSucceed:
      break;
    case ConnectMode::kFail:
      code = connect_error_;
      break;
    case ConnectMode::kBlock:
      if (connect_released_) {
        connect_released_ = false;
        code = release_code_;
      } else if (timeout_ms < 0) {
        code = kWsaETimedOut;
      } else {
        return {0, 0};
      }
      break;
  }
  connecting_.erase(s);
  if (code != 0) {
    peers_.erase(s);
    return Fail(code);
  }
  return {1, 0};
}

TSocketResult FakeSocketApi::WaitReadable(TPlatformSocket& socket, int timeout_ms) {
  const TSocketHandle s = socket.handle;
  Record({Kind::kWaitReadable, s, {}, timeout_ms});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!wait_answers_.empty()) {
    Answer answer = wait_answers_.front();
    wait_answers_.pop_front();
    if (answer.result < 0) return Fail(answer.error_code);
    return {answer.result, 0};
  }
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  return {(!incoming_.empty() || peer_closed_) ? 1 : 0, 0};
}

TSocketResult FakeSocketApi::Recv(TPlatformSocket& socket, void* buffer, int length) {
  const TSocketHandle s = socket.handle;
  Record({Kind::kRecv, s, {}, length});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  if (incoming_.empty()) return peer_closed_ ? TSocketResult() : Fail(kWsaEWouldBlock);
  Event& event = incoming_.front();
  switch (event.type) {
    case Event::Type::kClose:
      incoming_.pop_front();
      peer_closed_ = true;
      return {};
    case Event::Type::kError: {
      int32_t code = event.code;
      incoming_.pop_front();
      return Fail(code);
    }
    case Event::Type::kData:
      break;
  }
  size_t count = std::min(event.bytes.size(), static_cast<size_t>(std::max(length, 0)));
  std::memcpy(buffer, event.bytes.data(), count);
  event.bytes.erase(0, count);
  if (event.bytes.empty()) incoming_.pop_front();
  return {static_cast<int64_t>(count), 0};
}

TSocketResult FakeSocketApi::Send(TPlatformSocket& socket, const void* buffer, int length) {
  const TSocketHandle s = socket.handle;
  const char* bytes = static_cast<const char*>(buffer);
  Record({Kind::kSend, s, std::string(bytes, bytes + std::max(length, 0)), length});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  if (!send_answers_.empty()) {
    Answer answer = send_answers_.front();
    send_answers_.pop_front();
    if (answer.result < 0) return Fail(answer.error_code);
    if (answer.result == 0) return {};
  }
  int count = length;
  if (send_limit_ > 0 && count > send_limit_) count = send_limit_;
  sent_.append(bytes, static_cast<size_t>(count));
  return {count, 0};
}

TSocketResult FakeSocketApi::ShutdownSend(TSocketHandle s) {
  Record({Kind::kShutdownSend, s, {}, 0});
  std::lock_guard<std::mutex> lock(mutex_);
  return IsOpenLocked(s) ? TSocketResult() : Fail(kWsaENotSock);
}

TSocketResult FakeSocketApi::Close(TSocketHandle s) {
  Record({Kind::kClose, s, {}, 0});
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_.erase(s) == 0) return Fail(kWsaENotSock);
  peers_.erase(s);
  connecting_.erase(s);
  return {};
}

TSocketResult FakeSocketApi::GetSockName(TSocketHandle s, TSocketAddress& address) {
  Record({Kind::kGetSockName, s, {}, 0});
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsOpenLocked(s)) return Fail(kWsaENotSock);
  address = TSocketAddress{TIPv4Address{{127, 0, 0, 1}}, static_cast<uint16_t>(40000 + s)};
  return {};
}

TSocketResult FakeSocketApi::GetPeerName(TSocketHandle s, TSocketAddress& address) {
  Record({Kind::kGetPeerName, s, {}, 0});
  std::lock_guard<std::mutex> lock(mutex_);
  auto peer = peers_.find(s);
  // A connect that has not been seen to complete has no peer yet.
  if (!IsOpenLocked(s) || peer == peers_.end() || connecting_.count(s) != 0) {
    return Fail(kWsaENotSock);
  }
  address = peer->second;
  return {};
}

bool FakeSocketApi::GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) {
  Record({Kind::kGetHostByName, kInvalidSocket, name, 0});
  std::unique_lock<std::mutex> lock(mutex_);
  if (lookup_blocks_) {
    ++lookups_pending_;
    const bool released =
        lookup_changed_.wait_for(lock, std::chrono::milliseconds(lookup_give_up_ms_),
                                 [this] { return !lookup_blocks_ || destroying_; });
    --lookups_pending_;
    lookup_changed_.notify_all();
    if (!released || destroying_) {
      error_code = kWsaTryAgain;
      return false;
    }
  }
  auto failing = failing_hosts_.find(name);
  if (failing != failing_hosts_.end()) {
    error_code = failing->second;
    return false;
  }
  auto known = hosts_.find(name);
  if (known == hosts_.end()) {
    error_code = kWsaHostNotFound;
    return false;
  }
  ip = known->second;
  return true;
}

}  // namespace vxt::testing

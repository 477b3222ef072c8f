#include "connection/IOHandler.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>
#include <vector>

#include "connection/ConnectWait.h"
#include "connection/IdAntiFreeze.h"
#include "failures/Exceptions.h"

namespace vxt {

namespace {

// One platform readability wait (timeout_ms < 0: no limit); a failure raises a socket error.
bool PlatformReadable(TIdSocketHandle& binding, int timeout_ms) {
  return CheckSocketResult(ActiveSocketApi().WaitReadable(binding.Socket(), timeout_ms)) > 0;
}

}  // namespace

void TIdSocketHandle::Reset() {
  local_ = TSocketAddress();
  peer_ = TSocketAddress();
}

void TIdSocketHandle::Allocate(TIPVersion version) {
  socket_ = TPlatformSocket();
  socket_.handle = CheckSocketResult(ActiveSocketApi().Socket(version));
  allocated_ = true;
}

void TIdSocketHandle::Bind() {
  // The wildcard address and any port.
  if (ActiveSocketApi().Bind(socket_.handle, TSocketAddress()).Failed()) {
    throw EIdCouldNotBindSocket(kCouldNotBindSocket);
  }
}

void TIdSocketHandle::Connect() {
  TSocketResult outcome = StartConnect();
  if (!outcome.Failed()) outcome = WaitConnected(-1);
  CheckSocketResult(outcome);
  UpdateBindings();
}

TSocketResult TIdSocketHandle::StartConnect() {
  return ActiveSocketApi().StartConnect(socket_, peer_);
}

TSocketResult TIdSocketHandle::WaitConnected(int ms) {
  return ActiveSocketApi().WaitConnected(socket_, ms);
}

void TIdSocketHandle::UpdateBindings() {
  SocketApi& api = ActiveSocketApi();
  CheckSocketResult(api.GetSockName(socket_.handle, local_));
  CheckSocketResult(api.GetPeerName(socket_.handle, peer_));
}

void TIdSocketHandle::CloseSocket() {
  allocated_ = false;
  if (socket_.handle == kInvalidSocket) return;
  SocketApi& api = ActiveSocketApi();
  api.ShutdownSend(socket_.handle);
  api.Close(socket_.handle);
  socket_ = TPlatformSocket();
}

TIOHandler::TIOHandler(const TConnectionSettings& settings) : settings_(settings) {}

TIOHandler::~TIOHandler() {
  binding_.CloseSocket();
}

void TIOHandler::BytesRemoved(int64_t count) {
  if (owner_ != nullptr) owner_->DoWork(wmRead, count);
}

void TIOHandler::Open() {
  opened_ = false;
  closed_gracefully_ = false;
  input_buffer_ = std::make_unique<TInputBuffer>();
  input_buffer_->SetOnBytesRemoved([this](int64_t count) { BytesRemoved(count); });
  opened_ = true;
  // A socket left over from an earlier connection is gone before the new one is made.
  binding_.CloseSocket();
  binding_.Reset();
}

void TIOHandler::ConnectClient() {
  binding_.Allocate(settings_.ip_version);
  binding_.Bind();
  // The Nagle algorithm stays on, but the option is still set: a socket that refuses it fails
  // the open.
  CheckSocketResult(ActiveSocketApi().SetNoDelay(binding_.Socket().handle, false));
  const TIPv4Address peer_ip = ResolvePeerAddressWhilePumping(settings_.host);
  binding_.SetPeer(TSocketAddress{peer_ip, static_cast<uint16_t>(settings_.port)});
  ConnectUnderTimeLimit(binding_, settings_.connect_timeout);
}

void TIOHandler::Close() {
  binding_.CloseSocket();
  opened_ = false;
}

bool TIOHandler::Connected() {
  ReadFromSource(false, 0, false);
  if (input_buffer_ && !input_buffer_->Empty()) return true;
  return BindingAllocated() && opened_;
}

void TIOHandler::CheckForDisconnect(bool raise_if_closed, bool ignore_buffer) {
  bool closed;
  if (closed_gracefully_) {
    if (BindingAllocated()) Close();
    closed = true;
  } else {
    closed = !BindingAllocated();
  }
  if (closed && input_buffer_ && raise_if_closed && (ignore_buffer || input_buffer_->Empty())) {
    throw EIdConnClosedGracefully(kConnClosedGracefully);
  }
}

bool TIOHandler::SingleReadableWait(int timeout_ms) {
  const bool readable = (timeout_ms > TIdAntiFreeze::kWakeSlice || timeout_ms == kInfinite) &&
                                TIdAntiFreeze::HasPendingCheck()
                            ? WaitWakingOnMessages(timeout_ms)
                            : PlatformReadable(binding_, timeout_ms);
  TIdAntiFreeze::DoProcess(!readable);
  return readable;
}

bool TIOHandler::WaitWakingOnMessages(int timeout_ms) {
  // The same single wait, cut into slices; between slices waiting window messages get a pump
  // step.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int slice = TIdAntiFreeze::kWakeSlice;
    if (timeout_ms != kInfinite) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      if (left < slice) slice = static_cast<int>(left);
    }
    if (PlatformReadable(binding_, slice)) return true;
    if (TIdAntiFreeze::MessagesPending()) TIdAntiFreeze::DoProcess(true);
  }
}

bool TIOHandler::Readable(int timeout_ms) {
  if (!TIdAntiFreeze::InUse()) return SingleReadableWait(timeout_ms);
  const int idle = TIdAntiFreeze::CurrentIdleTimeOut();
  if (timeout_ms == kInfinite) {
    while (!SingleReadableWait(idle)) {
    }
    return true;
  }
  if (timeout_ms > idle) {
    if (SingleReadableWait(timeout_ms - idle)) return true;
    return SingleReadableWait(idle);
  }
  return SingleReadableWait(timeout_ms);
}

int TIOHandler::ReadFromSource(bool raise_if_closed, int timeout_ms, bool raise_on_timeout) {
  if (timeout_ms == kDefaultTimeout) {
    const int read_timeout = settings_.read_timeout;
    timeout_ms = (read_timeout == -1 || read_timeout == 0) ? kInfinite : read_timeout;
  }
  CheckForDisconnect(raise_if_closed, false);
  if (!BindingAllocated()) {
    if (raise_if_closed) throw EIdException(kNotConnected);
    return 0;
  }
  int received;
  do {
    if (!Readable(timeout_ms)) {
      if (raise_on_timeout) throw EIdReadTimeout(kReadTimeout);
      return -1;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max(recv_buffer_size_, 0)));
    received = static_cast<int>(CheckSocketResult(
        ActiveSocketApi().Recv(binding_.Socket(), bytes.data(), static_cast<int>(bytes.size()))));
    bytes.resize(static_cast<size_t>(received));
    if (received > 0) input_buffer_->Append(std::move(bytes));
    closed_gracefully_ = received == 0;
    CheckForDisconnect(raise_if_closed, false);
  } while (received == 0 && BindingAllocated());
  return received;
}

void TIOHandler::ReadBytes(size_t count, std::vector<uint8_t>& block) {
  while (input_buffer_->Size() < count) {
    ReadFromSource(false, kDefaultTimeout, true);
    CheckForDisconnect(true, true);
  }
  input_buffer_->Extract(count, block);
}

void TIOHandler::KeepWhatArrived(TStream& sink, std::vector<uint8_t>& block) {
  try {
    if (input_buffer_ && !input_buffer_->Empty()) {
      std::vector<uint8_t> rest;
      try {
        input_buffer_->Extract(input_buffer_->Size(), rest);
      } catch (const std::exception&) {
        // The report of the count failed again (past the range); the bytes are in rest.
      }
      block.insert(block.end(), rest.begin(), rest.end());
    }
    if (!block.empty()) sink.WriteBuffer(block.data(), block.size());
  } catch (const std::exception&) {
    // Only the first failure is passed on.
  }
  block.clear();
}

void TIOHandler::SendLine(const std::string& text) {
  std::string bytes = text;
  bytes += "\r\n";
  CheckForDisconnect(true, true);
  size_t offset = 0;
  while (offset < bytes.size()) {
    const size_t left = bytes.size() - offset;
    const int chunk = left > static_cast<size_t>(std::numeric_limits<int>::max())
                          ? std::numeric_limits<int>::max()
                          : static_cast<int>(left);
    const int sent = static_cast<int>(
        CheckSocketResult(ActiveSocketApi().Send(binding_.Socket(), bytes.data() + offset, chunk)));
    TIdAntiFreeze::DoProcess(false);
    closed_gracefully_ = sent == 0;
    CheckForDisconnect(true, false);
    if (owner_ != nullptr) owner_->DoWork(wmWrite, sent);
    offset += static_cast<size_t>(sent);
  }
}

void TIOHandler::ReceiveUntilClosed(TStream& sink) {
  int64_t remaining = std::numeric_limits<int64_t>::max();
  // Bytes taken from the input buffer and not yet in the sink.
  std::vector<uint8_t> block;
  bool sink_failed = false;
  auto write_block = [&] {
    if (block.empty()) return;
    sink_failed = true;
    sink.WriteBuffer(block.data(), block.size());
    sink_failed = false;
    block.clear();
  };
  auto finish = [&] {
    if (owner_ != nullptr) owner_->EndWork(wmRead);
    if (sink.Size() > sink.Position()) sink.SetSize(sink.Position());
  };
  if (owner_ != nullptr) owner_->BeginWork(wmRead, 0);
  try {
    if (input_buffer_ && !input_buffer_->Empty()) {
      input_buffer_->Extract(input_buffer_->Size(), block);
      remaining -= static_cast<int64_t>(block.size());
      write_block();
    }
    while (Connected() && remaining > 0) {
      const size_t count =
          static_cast<size_t>(std::min<int64_t>(std::max(recv_buffer_size_, 0), remaining));
      try {
        ReadBytes(count, block);
      } catch (const EIdConnClosedGracefully&) {
        input_buffer_->Extract(count, block);
        write_block();
        break;
      }
      write_block();
      remaining -= static_cast<int64_t>(count);
    }
  } catch (...) {
    // Whatever the failure (a reset that the connection test noticed with a part of a block
    // still buffered, a count past the notifications' range as a block was taken), every byte
    // that arrived goes to the sink before the failure is passed on; unless the sink itself
    // failed, where writing on would leave a gap in it.
    if (!sink_failed) KeepWhatArrived(sink, block);
    finish();
    throw;
  }
  finish();
}

}  // namespace vxt

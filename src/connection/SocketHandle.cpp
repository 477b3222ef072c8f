#include "connection/SocketHandle.h"

#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"
#include "platform/SocketResult.h"

namespace vxt {

void TIdSocketHandle::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  local_ = TSocketAddress();
  peer_ = TSocketAddress();
}

void TIdSocketHandle::Allocate(TIPVersion version) {
  TSocketHandle s = CheckSocketResult(ActiveSocketApi().Socket(version));
  std::lock_guard<std::mutex> guard(lock_);
  handle_ = s;
  allocated_ = true;
}

bool TIdSocketHandle::HandleAllocated() const {
  std::lock_guard<std::mutex> guard(lock_);
  return allocated_;
}

TSocketHandle TIdSocketHandle::Handle() const {
  std::lock_guard<std::mutex> guard(lock_);
  return handle_;
}

void TIdSocketHandle::Bind() {
  // The wildcard address and any port.
  if (ActiveSocketApi().Bind(Handle(), TSocketAddress()) == -1) {
    throw EIdCouldNotBindSocket(kCouldNotBindSocket);
  }
}

void TIdSocketHandle::SetNoDelay(bool no_delay) {
  CheckSocketResult(ActiveSocketApi().SetNoDelay(Handle(), no_delay));
}

void TIdSocketHandle::SetPeer(const TSocketAddress& peer) {
  std::lock_guard<std::mutex> guard(lock_);
  peer_ = peer;
}

void TIdSocketHandle::Connect() {
  TSocketHandle s;
  TSocketAddress peer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    s = handle_;
    peer = peer_;
  }
  CheckSocketResult(ActiveSocketApi().Connect(s, peer));
  UpdateBindings();
}

void TIdSocketHandle::UpdateBindings() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!allocated_) return;
  SocketApi& api = ActiveSocketApi();
  CheckSocketResult(api.GetSockName(handle_, local_));
  CheckSocketResult(api.GetPeerName(handle_, peer_));
}

bool TIdSocketHandle::Readable(int timeout_ms) {
  return CheckSocketResult(ActiveSocketApi().WaitReadable(Handle(), timeout_ms)) > 0;
}

int TIdSocketHandle::Recv(void* buffer, int length) {
  return static_cast<int>(CheckSocketResult(ActiveSocketApi().Recv(Handle(), buffer, length)));
}

int TIdSocketHandle::Send(const void* buffer, int length) {
  return static_cast<int>(CheckSocketResult(ActiveSocketApi().Send(Handle(), buffer, length)));
}

TSocketAddress TIdSocketHandle::Local() const {
  std::lock_guard<std::mutex> guard(lock_);
  return local_;
}

TSocketAddress TIdSocketHandle::Peer() const {
  std::lock_guard<std::mutex> guard(lock_);
  return peer_;
}

void TIdSocketHandle::CloseSocket() {
  std::lock_guard<std::mutex> guard(lock_);
  if (handle_ == kInvalidSocket) {
    allocated_ = false;
    return;
  }
  allocated_ = false;
  SocketApi& api = ActiveSocketApi();
  api.ShutdownSend(handle_);
  api.Close(handle_);
  handle_ = kInvalidSocket;
}

}  // namespace vxt

#include "connection/SocketHandle.h"

#include "failures/Exceptions.h"
#include "platform/SocketResult.h"

namespace vxt {

void TIdSocketHandle::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  local_ip_.clear();
  local_port_ = 0;
  peer_ip_.clear();
  peer_port_ = 0;
}

void TIdSocketHandle::Allocate(TIPVersion version) {
  TSocketHandle s = CheckSocketResult(ActiveSocketApi().Socket(version));
  std::lock_guard<std::mutex> guard(lock_);
  handle_ = s;
  allocated_ = true;
  ip_version_ = version;
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
  if (ActiveSocketApi().Bind(Handle(), std::string(), 0) == -1) {
    throw EIdCouldNotBindSocket(kCouldNotBindSocket);
  }
}

void TIdSocketHandle::SetNoDelay(bool no_delay) {
  CheckSocketResult(ActiveSocketApi().SetNoDelay(Handle(), no_delay));
}

void TIdSocketHandle::SetPeer(const std::string& ip, int port, TIPVersion version) {
  std::lock_guard<std::mutex> guard(lock_);
  peer_ip_ = ip;
  peer_port_ = port;
  ip_version_ = version;
}

void TIdSocketHandle::Connect() {
  TSocketHandle s;
  std::string ip;
  int port;
  {
    std::lock_guard<std::mutex> guard(lock_);
    s = handle_;
    ip = peer_ip_;
    port = peer_port_;
  }
  CheckSocketResult(ActiveSocketApi().Connect(s, ip, static_cast<uint16_t>(port)));
  UpdateBindings();
}

void TIdSocketHandle::UpdateBindings() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!allocated_) return;
  SocketApi& api = ActiveSocketApi();
  TSocketAddress local;
  CheckSocketResult(api.GetSockName(handle_, local));
  local_ip_ = local.ip;
  local_port_ = local.port;
  TSocketAddress peer;
  CheckSocketResult(api.GetPeerName(handle_, peer));
  peer_ip_ = peer.ip;
  peer_port_ = peer.port;
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

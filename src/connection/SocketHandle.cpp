#include "connection/SocketHandle.h"

#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"
#include "platform/SocketResult.h"

namespace vxt {

void TIdSocketHandle::Reset() {
  local_ = TSocketAddress();
  peer_ = TSocketAddress();
}

void TIdSocketHandle::Allocate(TIPVersion version) {
  handle_ = CheckSocketResult(ActiveSocketApi().Socket(version));
  allocated_ = true;
}

void TIdSocketHandle::Bind() {
  // The wildcard address and any port.
  if (ActiveSocketApi().Bind(handle_, TSocketAddress()).Failed()) {
    throw EIdCouldNotBindSocket(kCouldNotBindSocket);
  }
}

void TIdSocketHandle::SetNoDelay(bool no_delay) {
  CheckSocketResult(ActiveSocketApi().SetNoDelay(handle_, no_delay));
}

void TIdSocketHandle::Connect() {
  CheckSocketResult(ActiveSocketApi().Connect(handle_, peer_));
  UpdateBindings();
}

TSocketResult TIdSocketHandle::StartConnect() {
  return ActiveSocketApi().StartConnect(handle_, peer_);
}

TSocketResult TIdSocketHandle::WaitConnected(int ms) {
  return ActiveSocketApi().WaitConnected(handle_, ms);
}

void TIdSocketHandle::UpdateBindings() {
  SocketApi& api = ActiveSocketApi();
  CheckSocketResult(api.GetSockName(handle_, local_));
  CheckSocketResult(api.GetPeerName(handle_, peer_));
}

bool TIdSocketHandle::Readable(int timeout_ms) {
  return CheckSocketResult(ActiveSocketApi().WaitReadable(handle_, timeout_ms)) > 0;
}

int TIdSocketHandle::Recv(void* buffer, int length) {
  return static_cast<int>(CheckSocketResult(ActiveSocketApi().Recv(handle_, buffer, length)));
}

int TIdSocketHandle::Send(const void* buffer, int length) {
  return static_cast<int>(CheckSocketResult(ActiveSocketApi().Send(handle_, buffer, length)));
}

void TIdSocketHandle::CloseSocket() {
  allocated_ = false;
  if (handle_ == kInvalidSocket) return;
  SocketApi& api = ActiveSocketApi();
  api.ShutdownSend(handle_);
  api.Close(handle_);
  handle_ = kInvalidSocket;
}

}  // namespace vxt

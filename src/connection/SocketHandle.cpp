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

void TIdSocketHandle::SetNoDelay(bool no_delay) {
  CheckSocketResult(ActiveSocketApi().SetNoDelay(socket_.handle, no_delay));
}

void TIdSocketHandle::Connect() {
  CheckSocketResult(ActiveSocketApi().Connect(socket_, peer_));
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

bool TIdSocketHandle::Readable(int timeout_ms) {
  return CheckSocketResult(ActiveSocketApi().WaitReadable(socket_, timeout_ms)) > 0;
}

int TIdSocketHandle::Recv(void* buffer, int length) {
  return static_cast<int>(CheckSocketResult(ActiveSocketApi().Recv(socket_, buffer, length)));
}

int TIdSocketHandle::Send(const void* buffer, int length) {
  return static_cast<int>(CheckSocketResult(ActiveSocketApi().Send(socket_, buffer, length)));
}

void TIdSocketHandle::CloseSocket() {
  allocated_ = false;
  if (socket_.handle == kInvalidSocket) return;
  SocketApi& api = ActiveSocketApi();
  api.ShutdownSend(socket_);
  api.Close(socket_.handle);
  socket_ = TPlatformSocket();
}

}  // namespace vxt

#include "connection/SocketHandle.h"

#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"

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

void TIdSocketHandle::Connect() {
  SocketApi& api = ActiveSocketApi();
  TSocketResult outcome = api.StartConnect(socket_, peer_);
  if (!outcome.Failed()) outcome = api.WaitConnected(socket_, -1);
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

}  // namespace vxt

// The I/O handler's socket handle: the platform socket and the addresses of its two ends. It
// decides what is kept of a socket's life (allocated or not, its addresses) and the kinds of
// the failures of making and closing it; the waits, receives and sends go from the I/O handler
// to the network layer directly. Used by the connection's own thread only.
#pragma once

#include "platform/SocketApi.h"

namespace vxt {

class TIdSocketHandle {
 public:
  TIdSocketHandle() = default;
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // Clears the addresses (the socket must be closed).
  void Reset();

  // Creates a stream socket of the family; a failure raises a socket error.
  void Allocate(TIPVersion version);
  bool HandleAllocated() const { return allocated_; }
  // The socket for the network layer's calls.
  TPlatformSocket& Socket() { return socket_; }

  // Binds to the wildcard address and port 0; any failure raises EIdCouldNotBindSocket.
  void Bind();

  // The address that the connect connects to.
  void SetPeer(const TSocketAddress& peer) { peer_ = peer; }
  // A connect without time limit; a failure raises a socket error.
  void Connect();
  // Starts a connect that does not block (see SocketApi::StartConnect); a failure to start it
  // is returned, not raised, so that it is raised where a failure of the wait would be.
  TSocketResult StartConnect();
  // Waits up to ms for the started connect (see SocketApi::WaitConnected).
  TSocketResult WaitConnected(int ms);
  // Reads the local and peer addresses of the connected socket; a failure raises a socket
  // error.
  void UpdateBindings();

  // Marks the socket not allocated, shuts down its sending direction and closes it, ignoring
  // both results, and forgets the handle. Never raises.
  void CloseSocket();

 private:
  // A new socket gets a new one.
  TPlatformSocket socket_;
  bool allocated_ = false;
  TSocketAddress local_;
  TSocketAddress peer_;
};

}  // namespace vxt

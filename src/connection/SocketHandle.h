// The I/O handler's socket handle: the platform socket and the addresses of its two ends.
//
// Its lock makes closing the socket and the connect worker's update of the addresses
// mutually exclusive: on a connect time-out the waiting thread closes the socket while the
// worker may just have come back from its connect.
#pragma once

#include <mutex>

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
  bool HandleAllocated() const;
  TSocketHandle Handle() const;

  // Binds to the wildcard address and port 0; any failure raises EIdCouldNotBindSocket.
  void Bind();
  // TCP no-delay; a failure raises a socket error.
  void SetNoDelay(bool no_delay);

  // The address that Connect connects to.
  void SetPeer(const TSocketAddress& peer);
  // The connect itself, on the calling thread; a failure raises a socket error.
  void Connect();
  // Reads the local and peer addresses of the connected socket under the lock, unless the
  // socket has been closed meanwhile; a failure raises a socket error.
  void UpdateBindings();

  // One readability wait (timeout_ms < 0: no limit); a failure raises a socket error.
  bool Readable(int timeout_ms);
  // Count received (0 when the peer closed); a failure raises a socket error.
  int Recv(void* buffer, int length);
  // Count sent; a failure raises a socket error.
  int Send(const void* buffer, int length);

  // Under the lock: marks the socket not allocated, shuts down its sending direction and
  // closes it, ignoring both results, and forgets the handle. Never raises.
  void CloseSocket();

  // The two ends as the system reports them once connected; before that, the peer is the one
  // set for the connect.
  TSocketAddress Local() const;
  TSocketAddress Peer() const;

 private:
  mutable std::mutex lock_;
  TSocketHandle handle_ = kInvalidSocket;
  bool allocated_ = false;
  TSocketAddress local_;
  TSocketAddress peer_;
};

}  // namespace vxt

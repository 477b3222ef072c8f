// The I/O handler of a TTCPClient: owns the socket handle and the input buffer and carries out
// every send and receive. Created by the client's first OpenConnection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "connection/ConnectionSettings.h"
#include "connection/InputBuffer.h"
#include "connection/Streams.h"
#include "connection/WorkSink.h"
#include "platform/NetworkLayer.h"
#include "platform/SocketApi.h"

namespace vxt {

// The I/O handler's socket handle: the platform socket and the addresses of its two ends. It
// decides what is kept of a socket's life (allocated or not, its addresses) and the kinds of
// the failures of making and closing it; the waits, receives and sends go from the I/O handler
// to the network layer directly. A class of its own so that the connect wait (ConnectWait.h)
// is handed the socket and nothing more of the handler. Used by the connection's own thread
// only.
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

class TIOHandler {
 public:
  // The time limit argument of a fill step that stands for ReadTimeout (no limit when that
  // is -1 or 0).
  static constexpr int kDefaultTimeout = -2;
  // A time limit that waits without limit.
  static constexpr int kInfinite = -1;

  // Reads settings (the client's own, which outlive the handler) whenever it needs them.
  explicit TIOHandler(const TConnectionSettings& settings);
  ~TIOHandler();
  TIOHandler(const TIOHandler&) = delete;
  TIOHandler& operator=(const TIOHandler&) = delete;

  int RecvBufferSize() const { return recv_buffer_size_; }
  void SetRecvBufferSize(int value) { recv_buffer_size_ = value; }

  // Sends the text's bytes unchanged, then CR LF.
  void SendLine(const std::string& text);
  // Writes to sink every byte that arrives until the server closes the connection.
  void ReceiveUntilClosed(TStream& sink);

  // The connection that hears this handler's transfer notifications (may be none).
  void SetOwner(TWorkSink* owner) { owner_ = owner; }

  // True between a successful Open and the next Close.
  bool Opened() const { return opened_; }
  // Set when a receive returned 0 bytes (or a send reported 0).
  bool ClosedGracefully() const { return closed_gracefully_; }
  // The input buffer (none before the first Open).
  TInputBuffer* InputBuffer() const { return input_buffer_.get(); }
  bool BindingAllocated() const { return binding_.HandleAllocated(); }

  // Clears the flags, gives the handler a new empty input buffer, sets the open flag and
  // closes and resets the socket handle.
  void Open();
  // Creates and binds the socket, sets no-delay off, works out the peer address (a name lookup is
  // waited for while the window pumps) and connects under ConnectTimeout.
  void ConnectClient();
  // Closes the socket, then clears the open flag.
  void Close();

  // The poll: one fill step without waiting, then whether the connection can still deliver
  // or accept bytes. May raise a socket error.
  bool Connected();
  // One fill step: waits (timeout_ms, or kDefaultTimeout / kInfinite) and receives up to
  // RecvBufferSize bytes into the input buffer. Returns the count, 0 when the connection is
  // closed, or -1 when the wait timed out and raise_on_timeout is false.
  int ReadFromSource(bool raise_if_closed, int timeout_ms, bool raise_on_timeout);
  // Closes the socket when the peer's close was seen; raises EIdConnClosedGracefully when the
  // connection counts as closed, raise_if_closed is set and (ignore_buffer or nothing unread).
  void CheckForDisconnect(bool raise_if_closed, bool ignore_buffer);

 private:
  // Waits for readability of the allocated socket in the single waits that the
  // responsiveness component asks for.
  bool Readable(int timeout_ms);
  bool SingleReadableWait(int timeout_ms);
  bool WaitWakingOnMessages(int timeout_ms);
  // Takes count bytes from the input buffer into block, filling the buffer while it holds
  // fewer. Block holds the bytes also when reporting their removal raises.
  void ReadBytes(size_t count, std::vector<uint8_t>& block);
  // After a failed receive: writes block and every byte still buffered to the sink, dropping
  // any failure on the way (the first failure is the one reported).
  void KeepWhatArrived(TStream& sink, std::vector<uint8_t>& block);
  void BytesRemoved(int64_t count);

  NetworkLayerUse network_use_;
  const TConnectionSettings& settings_;
  int recv_buffer_size_ = 32768;
  bool opened_ = false;
  bool closed_gracefully_ = false;
  std::unique_ptr<TInputBuffer> input_buffer_;
  TIdSocketHandle binding_;
  TWorkSink* owner_ = nullptr;
};

}  // namespace vxt

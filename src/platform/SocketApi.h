// The platform socket calls, behind one small interface.
//
// The real layer is the platform's own (Winsock 2 loaded at run time on Windows, the BSD
// calls on POSIX); tests put a recording fake in its place (platform/NetworkLayer.h).
// Every call returns its result together with the failure's Winsock 2 number, taken on the
// calling thread straight after the system call: any later call of the thread may overwrite
// its last error (on Windows even a lock that has to wait, which creates an event).
//
// All calls on one socket come from one thread; none runs while another thread closes the
// socket (Windows may give the handle value to a new socket at once).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/IPv4Address.h"

namespace vxt {

using TSocketHandle = int64_t;
inline constexpr TSocketHandle kInvalidSocket = -1;

enum class TIPVersion { Id_IPv4, Id_IPv6 };

// One socket as its owner holds it. A new socket starts with a value-initialised one; closing
// the socket ends it.
struct TPlatformSocket {
  TSocketHandle handle = kInvalidSocket;
  // What the platform layer has noted about the socket for its later calls; only that layer
  // reads or writes it. Kept here, with the socket's owner, so that the layer needs no table
  // of sockets, whose entries could outlive a socket or pass to a new one with the same value.
  uint64_t layer_note = 0;
};

// One end of an IPv4 connection.
struct TSocketAddress {
  TIPv4Address ip;
  uint16_t port = 0;

  friend bool operator==(const TSocketAddress&, const TSocketAddress&) = default;
};

// What one socket call returned: value -1 (the Winsock failure value, also the invalid socket)
// with the failure's Winsock 2 number in error, or any other value with error 0.
struct TSocketResult {
  int64_t value = 0;
  int32_t error = 0;

  bool Failed() const { return value == -1; }
  static TSocketResult Failure(int32_t winsock_error) { return {-1, winsock_error}; }
};

// Returns the call's value unless the call failed; a failure raises the socket failure of the
// number returned with it (EIdNotASocket for 10038, EIdSocketError otherwise).
int64_t CheckSocketResult(const TSocketResult& result);

class SocketApi {
 public:
  virtual ~SocketApi() = default;

  // A stream socket of the family, protocol 0; the value is the handle.
  virtual TSocketResult Socket(TIPVersion version) = 0;
  // Binds to the address (all zero: the wildcard address; port 0: any port).
  virtual TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) = 0;
  // TCP_NODELAY.
  virtual TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) = 0;
  // Starts a connect that does not block. Value 0 when it is under way (or made at once); a
  // failure to start it, or a refusal known at once, fails here.
  virtual TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) = 0;
  // Waits up to timeout_ms for the started connect to complete (timeout_ms < 0: without
  // limit). Value 1: connected; 0: still under way; -1: the connect failed, with its own error
  // as the socket reports it. Once it has completed, either way, the socket is blocking.
  virtual TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) = 0;
  // Readability wait on one socket: readable when bytes, the peer's close or a failure wait
  // for the receive that follows. timeout_ms < 0 waits without limit. Value 1 when readable,
  // 0 on time-out.
  virtual TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) = 0;
  // Value: the count received (0: the peer closed); waits for bytes when none are there.
  virtual TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) = 0;
  // Value: the count sent.
  virtual TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) = 0;
  // Shuts down the sending direction.
  virtual TSocketResult ShutdownSend(TSocketHandle s) = 0;
  // The handle is invalid afterwards; the system may give its value to the next new socket.
  virtual TSocketResult Close(TSocketHandle s) = 0;
  // The addresses of the two ends; an end that is not IPv4 reads as all zero.
  virtual TSocketResult GetSockName(TSocketHandle s, TSocketAddress& address) = 0;
  virtual TSocketResult GetPeerName(TSocketHandle s, TSocketAddress& address) = 0;
  // The first IPv4 address of a host name. Returns false and sets error_code (a Winsock number,
  // 11001 for a name that is not found) when the lookup finds nothing. May run on a worker
  // thread whose caller stops waiting for it while it blocks (a lookup cannot be cancelled); it
  // then ends on its own.
  virtual bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) = 0;
};

// The file name of the platform's socket library ("WS2_32.DLL"); empty where the socket calls
// are part of the C library and nothing is loaded (POSIX).
const char* PlatformSocketLibraryName();

// The platform layer loaded from a library file: loads and starts the socket library (version
// 2.2 on Windows). A load failure raises EIdWinsockStubError, a failed start-up
// EIdStackInitializationFailed. Destroying it shuts the library down. Where nothing is loaded
// the name is not used. A test gives another name to see the load failure.
std::unique_ptr<SocketApi> CreatePlatformSocketApiFromLibrary(const std::string& library_name);

}  // namespace vxt

// The platform socket calls, behind one small interface.
//
// The real layer is the platform's own (Winsock 2 loaded at run time on Windows, the BSD
// calls on POSIX); tests put a recording fake in its place (platform/NetworkLayer.h).
// Every call that fails returns -1 and leaves the calling thread's last error, which
// LastError() reports as a Winsock 2 number on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/IPv4Address.h"

namespace vxt {

using TSocketHandle = int64_t;
inline constexpr TSocketHandle kInvalidSocket = -1;

enum class TIPVersion { Id_IPv4, Id_IPv6 };

// One end of an IPv4 connection.
struct TSocketAddress {
  TIPv4Address ip;
  uint16_t port = 0;

  friend bool operator==(const TSocketAddress&, const TSocketAddress&) = default;
};

class SocketApi {
 public:
  virtual ~SocketApi() = default;

  // A stream socket of the family, protocol 0; kInvalidSocket on failure.
  virtual TSocketHandle Socket(TIPVersion version) = 0;
  // Binds to the address (all zero: the wildcard address; port 0: any port).
  virtual int Bind(TSocketHandle s, const TSocketAddress& local) = 0;
  // TCP_NODELAY.
  virtual int SetNoDelay(TSocketHandle s, bool no_delay) = 0;
  // Blocking connect.
  virtual int Connect(TSocketHandle s, const TSocketAddress& peer) = 0;
  // Readability wait on one socket. timeout_ms < 0 waits without limit; the real layers pass
  // it as whole seconds and microseconds. Returns 1 when readable, 0 on time-out, -1 on failure.
  virtual int WaitReadable(TSocketHandle s, int timeout_ms) = 0;
  // Returns the count received (0: the peer closed), or -1.
  virtual int Recv(TSocketHandle s, void* buffer, int length) = 0;
  // Returns the count sent, or -1.
  virtual int Send(TSocketHandle s, const void* buffer, int length) = 0;
  // Shuts down the sending direction. A socket whose connect is still pending is left alone
  // (the call fails with 10057, as Winsock does).
  virtual int ShutdownSend(TSocketHandle s) = 0;
  // May run on another thread while a call on the same socket blocks there (the connect time
  // limit closes the socket under the connect worker): the blocked call then ends promptly and
  // fails. The handle stays invalid afterwards; a later call with it fails (10009 or 10038).
  virtual int Close(TSocketHandle s) = 0;
  // The addresses of the two ends; an end that is not IPv4 reads as all zero.
  virtual int GetSockName(TSocketHandle s, TSocketAddress& address) = 0;
  virtual int GetPeerName(TSocketHandle s, TSocketAddress& address) = 0;
  // The first IPv4 address of a host name. Returns false and sets error_code (a Winsock number,
  // 11001 for a name that is not found) when the lookup finds nothing. May run on a worker
  // thread whose caller stops waiting for it while it blocks (a lookup cannot be cancelled); it
  // then ends on its own.
  virtual bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) = 0;
  // The calling thread's last socket error as a Winsock 2 number.
  virtual int32_t LastError() = 0;
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

// The platform socket calls, behind one small interface.
//
// The real layer is the platform's own (Winsock 2 loaded at run time on Windows, the BSD
// calls on POSIX); tests put a recording fake in its place with SetSocketApiForTesting.
// Every call that fails returns -1 and leaves the calling thread's last error, which
// LastError() reports as a Winsock 2 number on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vxt {

using TSocketHandle = int64_t;
inline constexpr TSocketHandle kInvalidSocket = -1;

enum class TIPVersion { Id_IPv4, Id_IPv6 };

struct TSocketAddress {
  std::string ip;  // dotted decimal
  uint16_t port = 0;
};

class SocketApi {
 public:
  virtual ~SocketApi() = default;

  // A stream socket of the family, protocol 0; kInvalidSocket on failure.
  virtual TSocketHandle Socket(TIPVersion version) = 0;
  // Binds to ip (empty: the wildcard address) and port (0: any).
  virtual int Bind(TSocketHandle s, const std::string& ip, uint16_t port) = 0;
  // TCP_NODELAY.
  virtual int SetNoDelay(TSocketHandle s, bool no_delay) = 0;
  // Blocking connect to a dotted IPv4 address.
  virtual int Connect(TSocketHandle s, const std::string& ip, uint16_t port) = 0;
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
  virtual int GetSockName(TSocketHandle s, TSocketAddress& address) = 0;
  virtual int GetPeerName(TSocketHandle s, TSocketAddress& address) = 0;
  // The first IPv4 address of a host name, dotted. Returns false and sets error_code (a
  // Winsock number, 11001 for a name that is not found) when the lookup finds nothing. May run on
  // a worker thread whose caller stops waiting for it while it blocks (a lookup cannot be
  // cancelled); it then ends on its own.
  virtual bool GetHostByName(const std::string& name, std::string& ip, int32_t& error_code) = 0;
  // The local host name.
  virtual std::string HostName() = 0;
  // The calling thread's last socket error as a Winsock 2 number.
  virtual int32_t LastError() = 0;
};

// The platform layer: loads and starts the socket library ("WS2_32.DLL", version 2.2, on
// Windows). A load failure raises EIdWinsockStubError, a failed start-up
// EIdStackInitializationFailed. Destroying it shuts the library down.
std::unique_ptr<SocketApi> CreatePlatformSocketApi();

// The file name of the platform's socket library ("WS2_32.DLL"); empty where the socket calls
// are part of the C library and nothing is loaded (POSIX).
const char* PlatformSocketLibraryName();

// The platform layer loaded from another library file, so that a test can see the load
// failure; CreatePlatformSocketApi() is this with PlatformSocketLibraryName(). Where nothing is
// loaded the name is not used.
std::unique_ptr<SocketApi> CreatePlatformSocketApiFromLibrary(const std::string& library_name);

// Reads a dotted IPv4 address as the connection recognises one: text split four times at ".",
// each piece, with characters up to the blank trimmed from both ends, an integer from 0 to 255
// (decimal figures after an optional sign, or hexadecimal figures after "$", "x" or "0x" in
// either case), nothing after the fourth piece. False, leaving bytes unspecified, otherwise.
// The platform layers use it for the addresses given to Bind and Connect.
bool ParseDottedIPv4(const std::string& text, uint8_t (&bytes)[4]);
// Four decimal numbers joined by ".".
std::string FormatDottedIPv4(const uint8_t (&bytes)[4]);

// The network layer's process-wide usage count. The first use creates the platform layer,
// the release of the last use destroys it. Connection objects, I/O handlers and input buffers
// each hold one use (NetworkLayerUse) while they exist. Changed only under a process-wide lock.
class NetworkLayer {
 public:
  static void AddUse();      // may raise the platform layer's load failures
  static void ReleaseUse();  // never raises
  static int UseCount();
  // Whether the platform layer exists now (a set test fake is not counted).
  static bool PlatformLayerLoaded();
};

class NetworkLayerUse {
 public:
  NetworkLayerUse() { NetworkLayer::AddUse(); }
  NetworkLayerUse(const NetworkLayerUse&) { NetworkLayer::AddUse(); }
  NetworkLayerUse& operator=(const NetworkLayerUse&) = default;
  ~NetworkLayerUse() { NetworkLayer::ReleaseUse(); }
};

// The socket layer that all socket calls go through: the test fake when one is set, otherwise
// the platform layer (created on demand when no use holds it yet).
SocketApi& ActiveSocketApi();

// Puts a fake in place of the platform layer (nullptr restores it). The fake is not owned.
void SetSocketApiForTesting(SocketApi* api);

}  // namespace vxt

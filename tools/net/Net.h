// The few socket calls of the loopback servers: the demo report server, the tests' scripted
// servers and the benchmark's reply server. It stays apart from the product's socket layer, so
// that the test servers keep working while that layer is faked or broken.
//
// Every socket made here is non-blocking and every wait takes a time limit, so that a silent
// or stuck peer never holds a server beyond its limits. The calls that differ by platform live
// in posix/Net.cpp and win32/Net.cpp (the build picks one); NetCommon.cpp builds the rest on
// them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxt::net {

using Handle = std::intptr_t;
inline constexpr Handle kNoSocket = -1;
// 127.0.0.1 in host order, as every address here.
inline constexpr std::uint32_t kLoopback = 0x7F000001;

// Why a listening socket could not be made.
enum class ListenFailure { kNone, kInUse, kAddressNotAvailable, kDenied, kOther };

// Process-wide set-up, done once for the rest of the process (later calls only report it):
// Winsock 2.2 on Windows; on POSIX SIGPIPE is ignored so a peer that vanishes mid-reply costs
// an error code, not the process. Sockets made without it still work (Winsock is then started
// on first use; sends never raise SIGPIPE). False when it could not be done.
bool StartLibrary();

// Strict dotted IPv4 ("127.0.0.1"): four decimal parts of 0..255, no spaces, no leading '+'.
bool ParseIpv4(std::string_view text, std::uint32_t& address);
std::string FormatIpv4(std::uint32_t address);

// What a listener asks of the system about its port.
enum class PortReuse {
  kNone,  // nothing: for port 0, which nobody else is using
  // A restarted server need not wait for the previous run's TIME_WAIT connections, and a
  // second listener on the same port is refused.
  kExclusive,
  // Only the first half: on Windows the port may then also be bound by somebody else.
  kShared,
};

struct Listener {
  Handle socket = kNoSocket;
  std::uint16_t port = 0;  // the bound port, also when port 0 was asked for
  ListenFailure failure = ListenFailure::kNone;
  int system_code = 0;
};
// address in host order; port 0 picks a free port.
Listener Listen(std::uint32_t address, std::uint16_t port, int backlog, PortReuse reuse);
// A port of address that was free at the moment of the call (bound once, then released; a
// connect to it is refused); 0 on failure.
std::uint16_t FreePort(std::uint32_t address);
// The next pending connection, or kNoSocket when none is waiting (or the peer has gone).
Handle Accept(Handle listener, std::uint32_t* peer_address = nullptr,
              std::uint16_t* peer_port = nullptr);

// Starts a connect; kNoSocket when it failed at once.
Handle StartConnect(std::uint32_t address, std::uint16_t port);
enum class ConnectState { kConnected, kPending, kFailed };
ConnectState AwaitConnect(Handle socket, int timeout_ms);
// A connect waited for to its end, for clients in tests; kNoSocket on failure.
Handle Connect(std::uint32_t address, std::uint16_t port);

enum class WaitResult { kReady, kTimeout, kError };
// timeout_ms < 0 waits without a limit. An error or a hang-up counts as ready: the next call on
// the socket reports it.
WaitResult WaitFor(Handle socket, bool writable, int timeout_ms);

// One socket of a wait on many: what to wait for, and afterwards whether it is ready, for what
// was asked or with an error or a hang-up (which the next call on it reports).
struct PollEntry {
  Handle socket = kNoSocket;
  bool readable = false;  // data, the peer's close, or (a listener) a connection to accept
  bool writable = false;
  bool ready = false;
};
// The most entries one Poll can wait on (the size of Winsock's socket sets).
inline constexpr std::size_t kMaxPollEntries = 1024;
// Waits up to timeout_ms (at least 0) until at least one entry is ready and marks the ready
// ones; false when the wait itself failed.
bool Poll(std::vector<PollEntry>& entries, int timeout_ms);

// Bytes moved (> 0), 0 for the peer's orderly close (Receive only), or one of these.
inline constexpr long kWouldBlock = -1;
inline constexpr long kFailed = -2;
long Receive(Handle socket, char* buffer, std::size_t size);
long Send(Handle socket, const char* data, std::size_t size);
// Receive after a wait of up to timeout_ms for something to read; kWouldBlock when nothing came.
long ReceiveWithin(Handle socket, char* buffer, std::size_t size, int timeout_ms);
// Sends every byte, waiting in slices of slice_ms while the socket cannot take more; false
// when the send failed or *stop (if given) became true.
bool SendAll(Handle socket, const char* data, std::size_t size, const std::atomic<bool>* stop,
             int slice_ms);

// SO_LINGER {1, 0}: the next close sends a reset instead of a FIN.
void SetAbortiveClose(Handle socket);
void ShutdownSend(Handle socket);
void Close(Handle socket);
// The calling thread's last socket error (errno, or WSAGetLastError).
int LastError();

}  // namespace vxt::net

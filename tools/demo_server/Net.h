// The few socket calls the demo server needs, one implementation per platform (posix/Net.cpp,
// win32/Net.cpp). Sockets the server serves are non-blocking and every wait is bounded, so a
// silent or stuck peer never holds up the server beyond its limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxt::demo::net {

using Handle = std::intptr_t;
inline constexpr Handle kNoSocket = -1;

// Why a listening socket could not be made.
enum class ListenFailure { kNone, kInUse, kAddressNotAvailable, kDenied, kOther };

// Process-wide set-up while it lives: Winsock 2.2 on Windows; on POSIX SIGPIPE is ignored so a
// peer that vanishes mid-reply costs an error code, not the process.
class Library {
 public:
  Library();
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool Ready() const { return ready_; }

 private:
  bool ready_ = false;
};

// Strict dotted IPv4 ("127.0.0.1"): four decimal parts of 0..255, no spaces, no leading '+'.
bool ParseIpv4(std::string_view text, std::uint32_t& address);
std::string FormatIpv4(std::uint32_t address);

// address in host order; port 0 picks a free port, reported in bound_port. On failure
// returns kNoSocket and sets failure and system_code.
Handle Listen(std::uint32_t address, std::uint16_t port, int backlog, std::uint16_t& bound_port,
              ListenFailure& failure, int& system_code);
// Call after WaitFor said the listener is readable; kNoSocket if the peer has gone already.
// The new socket is non-blocking.
Handle Accept(Handle listener, std::uint32_t& peer_address, std::uint16_t& peer_port);
// A blocking connect, for clients in tests; kNoSocket on failure.
Handle Connect(std::uint32_t address, std::uint16_t port);

enum class WaitResult { kReady, kTimeout, kError };
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
// Waits up to timeout_ms until at least one entry is ready and marks the ready ones; false when
// the wait itself failed.
bool Poll(std::vector<PollEntry>& entries, int timeout_ms);

// Bytes moved (> 0), 0 for the peer's orderly close (Receive only), or one of these.
inline constexpr long kWouldBlock = -1;
inline constexpr long kFailed = -2;
long Receive(Handle socket, char* buffer, std::size_t size);
long Send(Handle socket, const char* data, std::size_t size);

void ShutdownSend(Handle socket);
void Close(Handle socket);

}  // namespace vxt::demo::net

// Winsock's socket sets are arrays of this many sockets (64 unless set before the header), so a
// Poll on every connection of the demo server fits into one select.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <memory>

#include "net/Net.h"
#include "net/Sockets.h"

static_assert(FD_SETSIZE == vxt::net::kMaxPollEntries);

namespace vxt::net {

namespace {

SOCKET Sock(Handle socket) {
  return static_cast<SOCKET>(socket);
}

// WSAStartup counts its uses: this one, for sockets made without a Library, lives beside the
// Library's and the product's own.
struct WinsockStart {
  WinsockStart() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockStart() { WSACleanup(); }
};

sockaddr_in Ipv4(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.S_un.S_addr = htonl(address);
  return sa;
}

bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

int Clamp(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

long Moved(int n) {
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

timeval Limit(int timeout_ms) {
  return timeval{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
}

}  // namespace

namespace sockets {

Handle NewSocket() {
  static WinsockStart start;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return kNoSocket;
  if (SetNonBlocking(socket)) return static_cast<Handle>(socket);
  closesocket(socket);
  return kNoSocket;
}

void SetPortReuse(Handle socket, PortReuse reuse) {
  // Windows lets a second program bind the same port unless the first claims it exclusively;
  // SO_REUSEADDR means the opposite here, but lets a rerun bind past TIME_WAIT connections.
  const BOOL on = TRUE;
  const int option = reuse == PortReuse::kExclusive ? SO_EXCLUSIVEADDRUSE : SO_REUSEADDR;
  if (reuse == PortReuse::kNone) return;
  setsockopt(Sock(socket), SOL_SOCKET, option, reinterpret_cast<const char*>(&on), sizeof on);
}

bool Bind(Handle socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = Ipv4(address, port);
  return bind(Sock(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

std::uint16_t LocalPort(Handle socket) {
  sockaddr_in sa{};
  int length = sizeof sa;
  if (getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return 0;
  return ntohs(sa.sin_port);
}

bool StartListening(Handle socket, int backlog) {
  return listen(Sock(socket), backlog) == 0;
}

bool ConnectStarted(Handle socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = Ipv4(address, port);
  if (connect(Sock(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return true;
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

int ConnectError(Handle socket) {
  int error = 0;
  int length = sizeof error;
  char* value = reinterpret_cast<char*>(&error);
  if (getsockopt(Sock(socket), SOL_SOCKET, SO_ERROR, value, &length) != 0) {
    return WSAGetLastError();
  }
  return error;
}

ListenFailure Classify(int error) {
  if (error == WSAEADDRINUSE) return ListenFailure::kInUse;
  if (error == WSAEADDRNOTAVAIL) return ListenFailure::kAddressNotAvailable;
  return error == WSAEACCES ? ListenFailure::kDenied : ListenFailure::kOther;
}

}  // namespace sockets

bool StartLibrary() {
  // Never cleaned up: the process's end does that.
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

Handle Accept(Handle listener, std::uint32_t* peer_address, std::uint16_t* peer_port) {
  sockaddr_in sa{};
  int length = sizeof sa;
  const SOCKET socket = accept(Sock(listener), reinterpret_cast<sockaddr*>(&sa), &length);
  if (socket == INVALID_SOCKET) return kNoSocket;
  // An accepted socket inherits the listener's non-blocking mode; set it anyway (Wine too).
  if (!SetNonBlocking(socket)) {
    closesocket(socket);
    return kNoSocket;
  }
  if (peer_address != nullptr) *peer_address = ntohl(sa.sin_addr.S_un.S_addr);
  if (peer_port != nullptr) *peer_port = ntohs(sa.sin_port);
  return static_cast<Handle>(socket);
}

WaitResult WaitFor(Handle socket, bool writable, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Sock(socket), &set);
  fd_set errors = set;
  timeval limit = Limit(timeout_ms);
  // A failed non-blocking connect shows in the error set on Winsock, not in the write set.
  const int ready = select(0, writable ? nullptr : &set, writable ? &set : nullptr, &errors,
                           timeout_ms < 0 ? nullptr : &limit);
  if (ready == SOCKET_ERROR) return WaitResult::kError;
  return ready == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

bool Poll(std::vector<PollEntry>& entries, int timeout_ms) {
  if (timeout_ms < 0) timeout_ms = 0;
  // select refuses three empty sets; there is nothing to wait for but the time.
  if (entries.empty()) {
    Sleep(static_cast<DWORD>(timeout_ms));
    return true;
  }
  // Three sets of 1024 sockets are 24 KiB: not for the stack.
  auto sets = std::make_unique<fd_set[]>(3);
  fd_set& readable = sets[0];
  fd_set& writable = sets[1];
  fd_set& errors = sets[2];
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&errors);
  for (const PollEntry& entry : entries) {
    if (entry.readable) FD_SET(Sock(entry.socket), &readable);
    if (entry.writable) FD_SET(Sock(entry.socket), &writable);
    FD_SET(Sock(entry.socket), &errors);
  }
  timeval limit = Limit(timeout_ms);
  const int ready = select(0, &readable, &writable, &errors, &limit);
  for (PollEntry& entry : entries) {
    const SOCKET socket = Sock(entry.socket);
    entry.ready = ready > 0 && (FD_ISSET(socket, &readable) || FD_ISSET(socket, &writable) ||
                                FD_ISSET(socket, &errors));
  }
  return ready != SOCKET_ERROR;
}

long Receive(Handle socket, char* buffer, std::size_t size) {
  return Moved(recv(Sock(socket), buffer, Clamp(size), 0));
}

long Send(Handle socket, const char* data, std::size_t size) {
  return Moved(send(Sock(socket), data, Clamp(size), 0));
}

void SetAbortiveClose(Handle socket) {
  const linger option{1, 0};
  setsockopt(Sock(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
             sizeof option);
}

void ShutdownSend(Handle socket) {
  shutdown(Sock(socket), SD_SEND);
}

void Close(Handle socket) {
  if (socket != kNoSocket) closesocket(Sock(socket));
}

int LastError() {
  return WSAGetLastError();
}

}  // namespace vxt::net

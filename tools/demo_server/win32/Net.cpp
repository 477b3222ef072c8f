#include "Net.h"

// Winsock's socket sets are arrays of this many sockets (64 unless set before the header), so a
// Poll on every connection of the server fits into one select.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <memory>

static_assert(FD_SETSIZE == vxt::demo::net::kMaxPollEntries);

namespace vxt::demo::net {

namespace {

SOCKET Sock(Handle socket) {
  return static_cast<SOCKET>(socket);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

ListenFailure Classify(int error) {
  switch (error) {
    case WSAEADDRINUSE:
      return ListenFailure::kInUse;
    case WSAEADDRNOTAVAIL:
      return ListenFailure::kAddressNotAvailable;
    case WSAEACCES:
      return ListenFailure::kDenied;
    default:
      return ListenFailure::kOther;
  }
}

}  // namespace

Library::Library() {
  WSADATA data;
  ready_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Library::~Library() {
  if (ready_) WSACleanup();
}

Handle Listen(std::uint32_t address, std::uint16_t port, int backlog, std::uint16_t& bound_port,
              ListenFailure& failure, int& system_code) {
  failure = ListenFailure::kNone;
  system_code = 0;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) {
    system_code = WSAGetLastError();
    failure = Classify(system_code);
    return kNoSocket;
  }
  // Windows lets a second program bind the same port unless the first claims it exclusively;
  // SO_REUSEADDR would mean the opposite here.
  const BOOL on = TRUE;
  setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
  sockaddr_in sa = MakeAddress(address, port);
  if (bind(socket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(socket, backlog) != 0 || !SetNonBlocking(socket)) {
    system_code = WSAGetLastError();
    failure = Classify(system_code);
    closesocket(socket);
    return kNoSocket;
  }
  int length = sizeof sa;
  getsockname(socket, reinterpret_cast<sockaddr*>(&sa), &length);
  bound_port = ntohs(sa.sin_port);
  return static_cast<Handle>(socket);
}

Handle Accept(Handle listener, std::uint32_t& peer_address, std::uint16_t& peer_port) {
  sockaddr_in sa;
  int length = sizeof sa;
  const SOCKET socket = accept(Sock(listener), reinterpret_cast<sockaddr*>(&sa), &length);
  if (socket == INVALID_SOCKET) return kNoSocket;
  // An accepted socket inherits the listener's non-blocking mode; set it anyway, it is cheap.
  if (!SetNonBlocking(socket)) {
    closesocket(socket);
    return kNoSocket;
  }
  peer_address = ntohl(sa.sin_addr.s_addr);
  peer_port = ntohs(sa.sin_port);
  return static_cast<Handle>(socket);
}

Handle Connect(std::uint32_t address, std::uint16_t port) {
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return kNoSocket;
  sockaddr_in sa = MakeAddress(address, port);
  if (connect(socket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    closesocket(socket);
    return kNoSocket;
  }
  return static_cast<Handle>(socket);
}

WaitResult WaitFor(Handle socket, bool writable, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Sock(socket), &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(Sock(socket), &errors);
  if (timeout_ms < 0) timeout_ms = 0;
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int ready =
      select(0, writable ? nullptr : &set, writable ? &set : nullptr, &errors, &limit);
  if (ready == SOCKET_ERROR) return WaitResult::kError;
  // A socket in the error set is ready too: the next call reports what happened.
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
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int ready = select(0, &readable, &writable, &errors, &limit);
  for (PollEntry& entry : entries) {
    const SOCKET socket = Sock(entry.socket);
    entry.ready = ready > 0 && (FD_ISSET(socket, &readable) || FD_ISSET(socket, &writable) ||
                                FD_ISSET(socket, &errors));
  }
  return ready != SOCKET_ERROR;
}

long Receive(Handle socket, char* buffer, std::size_t size) {
  const int n = recv(Sock(socket), buffer, static_cast<int>(size), 0);
  if (n >= 0) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

long Send(Handle socket, const char* data, std::size_t size) {
  const int n = send(Sock(socket), data, static_cast<int>(size), 0);
  if (n >= 0) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

void ShutdownSend(Handle socket) {
  shutdown(Sock(socket), SD_SEND);
}

void Close(Handle socket) {
  if (socket != kNoSocket) closesocket(Sock(socket));
}

}  // namespace vxt::demo::net

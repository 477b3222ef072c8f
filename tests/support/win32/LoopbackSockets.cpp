#include "support/LoopbackSockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace vxt::testing::loopback {
namespace {

// The test servers start their own use of Winsock; WSAStartup counts uses, so this lives
// beside the product's own start-up of the same library.
struct WinsockStart {
  WinsockStart() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockStart() { WSACleanup(); }
};

void EnsureStarted() {
  static WinsockStart start;
}

SOCKET AsSocket(RawSocket s) {
  return static_cast<SOCKET>(s);
}

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

void MakeNonBlocking(SOCKET s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}

RawSocket FromSocket(SOCKET s) {
  return s == INVALID_SOCKET ? kNoSocket : static_cast<RawSocket>(s);
}

}  // namespace

RawSocket ListenLoopback(int backlog, uint16_t& port) {
  EnsureStarted();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  sockaddr_in address = LoopbackAddress(0);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, backlog) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  MakeNonBlocking(s);
  port = ntohs(address.sin_port);
  return FromSocket(s);
}

uint16_t FreeLoopbackPort() {
  EnsureStarted();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return 0;
  sockaddr_in address = LoopbackAddress(0);
  int length = sizeof address;
  uint16_t port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(s);
  return port;
}

RawSocket AcceptPending(RawSocket listener) {
  SOCKET s = accept(AsSocket(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoSocket;
  // An accepted socket inherits non-blocking mode on Winsock; set it anyway, Wine included.
  MakeNonBlocking(s);
  return FromSocket(s);
}

int WaitReady(RawSocket s, bool for_write, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(AsSocket(s), &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(AsSocket(s), &errors);
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  // A failed non-blocking connect shows in the exception set on Winsock, not the write set.
  int result = select(0, for_write ? nullptr : &set, for_write ? &set : nullptr,
                      for_write ? &errors : nullptr, timeout_ms < 0 ? nullptr : &limit);
  if (result == SOCKET_ERROR) return -1;
  return result > 0 ? 1 : 0;
}

int RecvSome(RawSocket s, char* buffer, int length) {
  int count = recv(AsSocket(s), buffer, length, 0);
  if (count == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
  return count;
}

int SendSome(RawSocket s, const char* buffer, int length) {
  int count = send(AsSocket(s), buffer, length, 0);
  if (count == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
  return count;
}

void SetAbortiveClose(RawSocket s) {
  linger option{1, 0};
  setsockopt(AsSocket(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
             sizeof option);
}

void ShutdownSend(RawSocket s) {
  shutdown(AsSocket(s), SD_SEND);
}

void CloseRaw(RawSocket s) {
  if (s != kNoSocket) closesocket(AsSocket(s));
}

RawSocket StartConnect(uint16_t port) {
  EnsureStarted();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  MakeNonBlocking(s);
  sockaddr_in address = LoopbackAddress(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(s);
    return kNoSocket;
  }
  return FromSocket(s);
}

int AwaitConnect(RawSocket s, int timeout_ms) {
  int ready = WaitReady(s, true, timeout_ms);
  if (ready <= 0) return ready;
  int error = 0;
  int length = sizeof error;
  if (getsockopt(AsSocket(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
          0 ||
      error != 0) {
    return -1;
  }
  return 1;
}

int LastRawError() {
  return WSAGetLastError();
}

}  // namespace vxt::testing::loopback

#include "support/LoopbackSockets.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace vxt::testing::loopback {
namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

void MakeNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

RawSocket ListenLoopback(int backlog, uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return kNoSocket;
  }
  MakeNonBlocking(fd);
  port = ntohs(address.sin_port);
  return fd;
}

uint16_t FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

RawSocket AcceptPending(RawSocket listener) {
  int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  return fd < 0 ? kNoSocket : fd;
}

int WaitReady(RawSocket s, bool for_write, int timeout_ms) {
  pollfd entry{static_cast<int>(s), static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
  int result;
  do {
    result = poll(&entry, 1, timeout_ms);
  } while (result < 0 && errno == EINTR);
  if (result < 0) return -1;
  return result > 0 ? 1 : 0;
}

int RecvSome(RawSocket s, char* buffer, int length) {
  ssize_t count;
  do {
    count = recv(static_cast<int>(s), buffer, static_cast<size_t>(length), 0);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return WouldBlock(errno) ? kWouldBlock : -1;
  return static_cast<int>(count);
}

int SendSome(RawSocket s, const char* buffer, int length) {
  ssize_t count;
  do {
    // MSG_NOSIGNAL: a client that has gone must not kill the test program with SIGPIPE.
    count = send(static_cast<int>(s), buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return WouldBlock(errno) ? kWouldBlock : -1;
  return static_cast<int>(count);
}

void SetAbortiveClose(RawSocket s) {
  linger option{1, 0};
  setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

void ShutdownSend(RawSocket s) {
  shutdown(static_cast<int>(s), SHUT_WR);
}

void CloseRaw(RawSocket s) {
  if (s != kNoSocket) close(static_cast<int>(s));
}

RawSocket StartConnect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in address = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    close(fd);
    return kNoSocket;
  }
  return fd;
}

int AwaitConnect(RawSocket s, int timeout_ms) {
  int ready = WaitReady(s, true, timeout_ms);
  if (ready <= 0) return ready;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
    return -1;
  }
  return 1;
}

int LastRawError() {
  return errno;
}

}  // namespace vxt::testing::loopback

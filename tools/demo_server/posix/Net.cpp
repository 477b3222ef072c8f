#include "Net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vxt::demo::net {

namespace {

int Fd(Handle socket) {
  return static_cast<int>(socket);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

ListenFailure Classify(int error) {
  switch (error) {
    case EADDRINUSE:
      return ListenFailure::kInUse;
    case EADDRNOTAVAIL:
      return ListenFailure::kAddressNotAvailable;
    case EACCES:
    case EPERM:
      return ListenFailure::kDenied;
    default:
      return ListenFailure::kOther;
  }
}

}  // namespace

Library::Library() {
  // MSG_NOSIGNAL covers our own sends; ignoring the signal also covers anything else.
  signal(SIGPIPE, SIG_IGN);
  ready_ = true;
}

Library::~Library() = default;

Handle Listen(std::uint32_t address, std::uint16_t port, int backlog, std::uint16_t& bound_port,
              ListenFailure& failure, int& system_code) {
  failure = ListenFailure::kNone;
  system_code = 0;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    system_code = errno;
    failure = Classify(errno);
    return kNoSocket;
  }
  // A restarted server must not wait for the previous run's TIME_WAIT connections; Linux still
  // refuses a second listener on the same port.
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa = MakeAddress(address, port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, backlog) != 0 ||
      !SetNonBlocking(fd)) {
    system_code = errno;
    failure = Classify(errno);
    close(fd);
    return kNoSocket;
  }
  socklen_t length = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
  bound_port = ntohs(sa.sin_port);
  return fd;
}

Handle Accept(Handle listener, std::uint32_t& peer_address, std::uint16_t& peer_port) {
  sockaddr_in sa;
  socklen_t length = sizeof sa;
  const int fd = accept4(Fd(listener), reinterpret_cast<sockaddr*>(&sa), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return kNoSocket;
  peer_address = ntohl(sa.sin_addr.s_addr);
  peer_port = ntohs(sa.sin_port);
  return fd;
}

Handle Connect(std::uint32_t address, std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in sa = MakeAddress(address, port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return kNoSocket;
  }
  return fd;
}

WaitResult WaitFor(Handle socket, bool writable, int timeout_ms) {
  pollfd entry{Fd(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
  const int ready = poll(&entry, 1, timeout_ms < 0 ? 0 : timeout_ms);
  if (ready < 0) return errno == EINTR ? WaitResult::kTimeout : WaitResult::kError;
  // POLLHUP and POLLERR also count as ready: the next call reports what happened.
  return ready == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

bool Poll(std::vector<PollEntry>& entries, int timeout_ms) {
  std::vector<pollfd> fds(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const short events = static_cast<short>((entries[i].readable ? POLLIN : 0) |
                                            (entries[i].writable ? POLLOUT : 0));
    fds[i] = pollfd{Fd(entries[i].socket), events, 0};
  }
  const int ready = poll(fds.data(), fds.size(), timeout_ms < 0 ? 0 : timeout_ms);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].ready = ready > 0 && fds[i].revents != 0;
  }
  return ready >= 0 || errno == EINTR;
}

long Receive(Handle socket, char* buffer, std::size_t size) {
  const ssize_t n = recv(Fd(socket), buffer, size, 0);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}

long Send(Handle socket, const char* data, std::size_t size) {
  const ssize_t n = send(Fd(socket), data, size, MSG_NOSIGNAL);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}

void ShutdownSend(Handle socket) {
  shutdown(Fd(socket), SHUT_WR);
}

void Close(Handle socket) {
  if (socket != kNoSocket) close(Fd(socket));
}

}  // namespace vxt::demo::net

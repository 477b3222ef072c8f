#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/Net.h"
#include "net/Sockets.h"

namespace vxt::net {

namespace {

int Fd(Handle socket) {
  return static_cast<int>(socket);
}

sockaddr_in Ipv4(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  return sa;
}

bool Interrupted(long result) {
  return result < 0 && errno == EINTR;
}

long Moved(ssize_t n) {
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kFailed;
}

}  // namespace

namespace sockets {

Handle NewSocket() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd < 0 ? kNoSocket : fd;
}

void SetPortReuse(Handle socket, PortReuse reuse) {
  // Linux refuses a second listener on a port whatever this says, so both kinds ask the same.
  const int on = 1;
  if (reuse != PortReuse::kNone) setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

bool Bind(Handle socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = Ipv4(address, port);
  return bind(Fd(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool StartListening(Handle socket, int backlog) {
  return listen(Fd(socket), backlog) == 0;
}

std::uint16_t LocalPort(Handle socket) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  return getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&sa), &length) == 0
             ? ntohs(sa.sin_port)
             : 0;
}

bool ConnectStarted(Handle socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = Ipv4(address, port);
  return connect(Fd(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ||
         errno == EINPROGRESS;
}

int ConnectError(Handle socket) {
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : errno;
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

}  // namespace sockets

bool StartLibrary() {
  // MSG_NOSIGNAL covers our own sends; ignoring the signal also covers anything else.
  static const bool started = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  return started;
}

Handle Accept(Handle listener, std::uint32_t* peer_address, std::uint16_t* peer_port) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  const int fd = accept4(Fd(listener), reinterpret_cast<sockaddr*>(&sa), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return kNoSocket;
  if (peer_address != nullptr) *peer_address = ntohl(sa.sin_addr.s_addr);
  if (peer_port != nullptr) *peer_port = ntohs(sa.sin_port);
  return fd;
}

WaitResult WaitFor(Handle socket, bool writable, int timeout_ms) {
  pollfd entry{Fd(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
  int ready;
  do {
    ready = poll(&entry, 1, timeout_ms < 0 ? -1 : timeout_ms);
  } while (Interrupted(ready));
  if (ready < 0) return WaitResult::kError;
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
  // A signal (the demo server's stop) ends the wait early; the caller looks at its flags.
  return ready >= 0 || errno == EINTR;
}

long Receive(Handle socket, char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = recv(Fd(socket), buffer, size, 0);
  } while (Interrupted(n));
  return Moved(n);
}

long Send(Handle socket, const char* data, std::size_t size) {
  ssize_t n;
  do {
    // MSG_NOSIGNAL: a peer that has gone must not end the process with SIGPIPE.
    n = send(Fd(socket), data, size, MSG_NOSIGNAL);
  } while (Interrupted(n));
  return Moved(n);
}

void SetAbortiveClose(Handle socket) {
  const linger option{1, 0};
  setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

void ShutdownSend(Handle socket) {
  shutdown(Fd(socket), SHUT_WR);
}

void Close(Handle socket) {
  if (socket != kNoSocket) close(Fd(socket));
}

int LastError() {
  return errno;
}

}  // namespace vxt::net

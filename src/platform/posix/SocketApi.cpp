// The BSD socket calls behind SocketApi. Every failure is reported as the Winsock 2 number of
// the same condition, so that messages read as on Windows. A handle is the descriptor itself.
#include "platform/SocketApi.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace vxt {

namespace {

enum class ErrorSource { kErrno, kLookup };

struct ErrorRow {
  ErrorSource source;
  int native;
  int32_t winsock;
};

// The one translation of platform failures to Winsock 2 numbers: errno values and
// getaddrinfo results, each to the number of the same condition.
//
// Values without a row: an errno value is reported as itself (all are below 10000, where no
// Winsock socket number lies, so the message shows the platform's own code with an empty
// text); any other lookup result is a non-recoverable name service failure, 11003.
constexpr ErrorRow kErrorRows[] = {
    {ErrorSource::kErrno, EINTR, 10004},
    {ErrorSource::kErrno, EBADF, 10009},
    {ErrorSource::kErrno, EACCES, 10013},
    // A connect or send that a firewall rule or a broadcast address refuses.
    {ErrorSource::kErrno, EPERM, 10013},
    {ErrorSource::kErrno, EFAULT, 10014},
    {ErrorSource::kErrno, EINVAL, 10022},
    {ErrorSource::kErrno, EMFILE, 10024},
    // The system-wide table is full; Winsock knows only the per-process limit.
    {ErrorSource::kErrno, ENFILE, 10024},
    {ErrorSource::kErrno, EAGAIN, 10035},
    {ErrorSource::kErrno, EWOULDBLOCK, 10035},
    {ErrorSource::kErrno, EINPROGRESS, 10036},
    {ErrorSource::kErrno, EALREADY, 10037},
    {ErrorSource::kErrno, ENOTSOCK, 10038},
    {ErrorSource::kErrno, EDESTADDRREQ, 10039},
    {ErrorSource::kErrno, EMSGSIZE, 10040},
    {ErrorSource::kErrno, EPROTOTYPE, 10041},
    {ErrorSource::kErrno, ENOPROTOOPT, 10042},
    {ErrorSource::kErrno, EPROTONOSUPPORT, 10043},
    {ErrorSource::kErrno, ESOCKTNOSUPPORT, 10044},
    {ErrorSource::kErrno, EOPNOTSUPP, 10045},
    {ErrorSource::kErrno, ENOTSUP, 10045},
    {ErrorSource::kErrno, EPFNOSUPPORT, 10046},
    {ErrorSource::kErrno, EAFNOSUPPORT, 10047},
    {ErrorSource::kErrno, EADDRINUSE, 10048},
    {ErrorSource::kErrno, EADDRNOTAVAIL, 10049},
    {ErrorSource::kErrno, ENETDOWN, 10050},
    {ErrorSource::kErrno, ENETUNREACH, 10051},
    {ErrorSource::kErrno, ENETRESET, 10052},
    {ErrorSource::kErrno, ECONNABORTED, 10053},
    {ErrorSource::kErrno, ECONNRESET, 10054},
    // A send to a peer that reset the connection (a send after the own shutdown is turned into
    // ESHUTDOWN before it gets here).
    {ErrorSource::kErrno, EPIPE, 10054},
    {ErrorSource::kErrno, ENOBUFS, 10055},
    {ErrorSource::kErrno, ENOMEM, 10055},
    {ErrorSource::kErrno, EISCONN, 10056},
    {ErrorSource::kErrno, ENOTCONN, 10057},
    {ErrorSource::kErrno, ESHUTDOWN, 10058},
    {ErrorSource::kErrno, ETOOMANYREFS, 10059},
    {ErrorSource::kErrno, ETIMEDOUT, 10060},
    {ErrorSource::kErrno, ECONNREFUSED, 10061},
    {ErrorSource::kErrno, ELOOP, 10062},
    {ErrorSource::kErrno, ENAMETOOLONG, 10063},
    {ErrorSource::kErrno, EHOSTDOWN, 10064},
    {ErrorSource::kErrno, EHOSTUNREACH, 10065},
    {ErrorSource::kErrno, ENOTEMPTY, 10066},
    {ErrorSource::kErrno, EUSERS, 10068},
    {ErrorSource::kErrno, EDQUOT, 10069},
    {ErrorSource::kErrno, ESTALE, 10070},
    {ErrorSource::kErrno, EREMOTE, 10071},
    {ErrorSource::kLookup, EAI_NONAME, 11001},
    {ErrorSource::kLookup, EAI_AGAIN, 11002},
    {ErrorSource::kLookup, EAI_FAIL, 11003},
#ifdef EAI_NODATA
    {ErrorSource::kLookup, EAI_NODATA, 11004},
#endif
#ifdef EAI_ADDRFAMILY
    // The name exists but has no IPv4 address: Winsock's "valid name, no data record".
    {ErrorSource::kLookup, EAI_ADDRFAMILY, 11004},
#endif
    {ErrorSource::kLookup, EAI_MEMORY, 10055},
    {ErrorSource::kLookup, EAI_BADFLAGS, 10022},
    {ErrorSource::kLookup, EAI_FAMILY, 10047},
    {ErrorSource::kLookup, EAI_SOCKTYPE, 10044},
    {ErrorSource::kLookup, EAI_SERVICE, 10109},
};

constexpr int32_t kLookupUnmapped = 11003;
constexpr int32_t kLookupNoData = 11004;  // the name exists but has no IPv4 address

int32_t ToWinsock(ErrorSource source, int native) {
  if (source == ErrorSource::kLookup && native == EAI_SYSTEM) {
    return ToWinsock(ErrorSource::kErrno, errno);
  }
  for (const auto& row : kErrorRows) {
    if (row.source == source && row.native == native) return row.winsock;
  }
  return source == ErrorSource::kErrno ? native : kLookupUnmapped;
}

TSocketResult FailErrno(int error) {
  return TSocketResult::Failure(ToWinsock(ErrorSource::kErrno, error));
}

// The result of a call that returns -1 and sets errno on failure; errno is read at once.
TSocketResult FromCall(int64_t result) {
  if (result < 0) return FailErrno(errno);
  return {result, 0};
}

#ifndef SOCK_CLOEXEC
void SetCloseOnExec(int fd) {
  ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}
#endif

int Fd(TSocketHandle s) {
  return s < 0 || s > INT_MAX ? -1 : static_cast<int>(s);
}

// The client uses IPv4 only: an IPv6 socket takes no address (EAFNOSUPPORT), as Winsock
// refuses the IPv4 form there.
int ToSockaddr(int fd, const TSocketAddress& from, sockaddr_in& address) {
  // An unbound socket reports its family with an all-zero address.
  sockaddr_storage own;
  socklen_t length = sizeof own;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length) != 0) return errno;
  if (own.ss_family != AF_INET) return EAFNOSUPPORT;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(from.port);
  std::memcpy(&address.sin_addr, from.ip.bytes.data(), 4);
  return 0;
}

// Only IPv4 addresses are read; any other family leaves the address all zero.
void FromSockaddr(const sockaddr_storage& storage, TSocketAddress& address) {
  address = TSocketAddress();
  if (storage.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
    std::memcpy(address.ip.bytes.data(), &in.sin_addr, 4);
    address.port = ntohs(in.sin_port);
  }
}

// Switches the mode only when it is not the one wanted already; false (errno set) on failure.
bool SetNonBlocking(TPlatformSocket& s, bool non_blocking) {
  if (s.non_blocking == non_blocking) return true;
  const int fd = Fd(s.handle);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const int wanted = non_blocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  if (wanted != flags && ::fcntl(fd, F_SETFL, wanted) != 0) return false;
  s.non_blocking = non_blocking;
  return true;
}

// Milliseconds left until deadline, never below 0; a part of a millisecond counts as a whole
// one, so that a wait never ends before its deadline.
int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// One poll of one descriptor that a signal does not cut short. Returns poll's result.
int PollOne(int fd, short events, int timeout_ms, short& revents) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    pollfd entry = {fd, events, 0};
    const int result = ::poll(&entry, 1, timeout_ms < 0 ? -1 : MsLeft(deadline));
    if (result < 0 && errno == EINTR) continue;
    revents = entry.revents;
    return result;
  }
}

class PosixSocketApi final : public SocketApi {
 public:
  TSocketResult Socket(TIPVersion version) override {
    const int family = version == TIPVersion::Id_IPv6 ? AF_INET6 : AF_INET;
    int type = SOCK_STREAM;
#ifdef SOCK_CLOEXEC
    // The shell's viewer is started from this process; it must not inherit connections.
    type |= SOCK_CLOEXEC;
#endif
    const int fd = ::socket(family, type, 0);
    if (fd < 0) return FailErrno(errno);
#ifndef SOCK_CLOEXEC
    SetCloseOnExec(fd);
#endif
#ifdef SO_NOSIGPIPE
    // Where send() has no MSG_NOSIGNAL the socket itself must not raise SIGPIPE.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return {fd, 0};
  }

  TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) override {
    sockaddr_in address;
    if (const int error = ToSockaddr(Fd(s), local, address)) return FailErrno(error);
    return FromCall(::bind(Fd(s), reinterpret_cast<sockaddr*>(&address), sizeof address));
  }

  TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) override {
    const int value = no_delay ? 1 : 0;
    return FromCall(::setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value));
  }

  TSocketResult Connect(TPlatformSocket& s, const TSocketAddress& peer) override {
    const TSocketResult started = StartConnect(s, peer);
    if (started.Failed()) return started;
    const TSocketResult completed = WaitConnected(s, -1);
    if (completed.Failed()) return completed;
    return {0, 0};
  }

  TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) override {
    const int fd = Fd(s.handle);
    sockaddr_in address;
    if (const int error = ToSockaddr(fd, peer, address)) return FailErrno(error);
    if (!SetNonBlocking(s, true)) return FailErrno(errno);
    // EINTR leaves the connect going on in the background, as EINPROGRESS does.
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS && errno != EINTR) {
      const int error = errno;
      SetNonBlocking(s, false);
      return FailErrno(error);
    }
    return {0, 0};
  }

  // A negative time limit waits without one (the blocking Connect).
  TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) override {
    const int fd = Fd(s.handle);
    short revents = 0;
    // POSIX reports a completed connect, made or failed, as writable.
    const int ready = PollOne(fd, POLLOUT, timeout_ms, revents);
    if (ready < 0) return FailErrno(errno);
    if (ready == 0) return {0, 0};
    if (revents & POLLNVAL) return FailErrno(EBADF);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    // The rest of the connection uses blocking calls.
    if (!SetNonBlocking(s, false) && error == 0) error = errno;
    if (error != 0) return FailErrno(error);
    return {1, 0};
  }

  // The same steps as on Windows (where they spare Wine's costly select), so that one
  // behaviour serves both and the native tests cover it: bytes known or counted answer at
  // once; with none, a receive that only peeks tells the peer's close (or that nothing has
  // come) without a wait; the poll comes last.
  TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) override {
    if (s.known_pending > 0 || s.taken_error != 0) return {1, 0};
    const int fd = Fd(s.handle);
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) == 0 && count > 0) {
      s.known_pending = static_cast<uint32_t>(count);
      return {1, 0};
    }
    if (SetNonBlocking(s, true)) {
      char byte;
      ssize_t got;
      do {
        got = ::recv(fd, &byte, 1, MSG_PEEK);
      } while (got < 0 && errno == EINTR);
      if (got >= 0) return {1, 0};
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // The peek has taken the socket's pending error (a reset, say): the next receive
        // would see only the end of the stream. It reports the error instead, so that the
        // connection meets it where it always did, in the receive after a readable wait.
        s.taken_error = ToWinsock(ErrorSource::kErrno, errno);
        return {1, 0};
      }
      if (timeout_ms == 0) return {0, 0};
    }
    short revents = 0;
    const int ready = PollOne(fd, POLLIN, timeout_ms, revents);
    if (ready < 0) return FailErrno(errno);
    if (ready == 0) return {0, 0};
    if (revents & POLLNVAL) return FailErrno(EBADF);
    // A hang-up or an error also counts: the receive that follows reports it, as after a
    // select() on Windows.
    return {1, 0};
  }

  TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) override {
    if (length < 0) return FailErrno(EINVAL);
    if (s.taken_error != 0) {
      const int32_t error = s.taken_error;
      s.taken_error = 0;
      return TSocketResult::Failure(error);
    }
    const int fd = Fd(s.handle);
    ssize_t received;
    for (;;) {
      received = ::recv(fd, buffer, static_cast<size_t>(length), 0);
      if (received >= 0) break;
      if (errno == EINTR) continue;
      // Left non-blocking by a peek: wait as a blocking receive would.
      if (!s.non_blocking || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
      short revents = 0;
      if (PollOne(fd, POLLIN, -1, revents) < 0) break;
    }
    const TSocketResult result = FromCall(received);
    // A failure (a reset may discard what was queued) leaves nothing known.
    s.known_pending = result.value > 0 && static_cast<uint32_t>(result.value) < s.known_pending
                          ? s.known_pending - static_cast<uint32_t>(result.value)
                          : 0;
    return result;
  }

  TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) override {
    if (length < 0) return FailErrno(EINVAL);
    // A send on a non-blocking socket may take only part of the bytes.
    if (!SetNonBlocking(s, false)) return FailErrno(errno);
    const int fd = Fd(s.handle);
    int flags = 0;
#ifdef MSG_NOSIGNAL
    // A send to a peer that has gone must fail, not end the process with SIGPIPE.
    flags |= MSG_NOSIGNAL;
#endif
    ssize_t sent;
    do {
      sent = ::send(fd, buffer, static_cast<size_t>(length), flags);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
      const int error = errno;
      // POSIX says EPIPE both after the own shutdown and to a peer that reset; Winsock
      // tells them apart.
      if (error == EPIPE && s.send_shut) return FailErrno(ESHUTDOWN);
      return FailErrno(error);
    }
    return {sent, 0};
  }

  TSocketResult ShutdownSend(TPlatformSocket& s) override {
    const TSocketResult result = FromCall(::shutdown(Fd(s.handle), SHUT_WR));
    if (!result.Failed()) s.send_shut = true;
    return result;
  }

  TSocketResult Close(TSocketHandle s) override {
    // After EINTR the descriptor is gone all the same (Linux); closing again could hit a new
    // socket that got its number.
    if (::close(Fd(s)) != 0 && errno != EINTR) return FailErrno(errno);
    return {0, 0};
  }

  TSocketResult GetSockName(TSocketHandle s, TSocketAddress& address) override {
    return ReadAddress(::getsockname, Fd(s), address);
  }

  TSocketResult GetPeerName(TSocketHandle s, TSocketAddress& address) override {
    return ReadAddress(::getpeername, Fd(s), address);
  }

  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (result != 0) {
      error_code = ToWinsock(ErrorSource::kLookup, result);
      return false;
    }
    bool have_address = false;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
      if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
        std::memcpy(ip.bytes.data(),
                    &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, 4);
        have_address = true;
        break;
      }
    }
    ::freeaddrinfo(found);
    if (!have_address) error_code = kLookupNoData;
    return have_address;
  }

 private:
  // One end's address through getsockname or getpeername.
  static TSocketResult ReadAddress(int (*read)(int, sockaddr*, socklen_t*), int fd,
                                   TSocketAddress& address) {
    sockaddr_storage storage;
    socklen_t length = sizeof storage;
    if (read(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return FailErrno(errno);
    FromSockaddr(storage, address);
    return {0, 0};
  }
};

}  // namespace

const char* PlatformSocketLibraryName() {
  return "";
}

std::unique_ptr<SocketApi> CreatePlatformSocketApiFromLibrary(const std::string&) {
  return std::make_unique<PosixSocketApi>();
}

}  // namespace vxt

// The BSD socket calls behind SocketApi: a readability wait is a poll, a receive a recv. Every
// failure is reported as the Winsock 2 number of the same condition, so that messages read as
// on Windows. A handle is the descriptor itself.
#include "platform/SocketApi.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
    // A send to a peer that has reset the connection (the client never sends after its own
    // shutdown, the other cause).
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

int Fd(TSocketHandle s) {
  return s < 0 || s > INT_MAX ? -1 : static_cast<int>(s);
}

sockaddr_in ToSockaddr(const TSocketAddress& from) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(from.port);
  std::memcpy(&address.sin_addr, from.ip.bytes.data(), 4);
  return address;
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

// false (errno set) on failure.
bool SetNonBlocking(int fd, bool non_blocking) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const int wanted = non_blocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

// One poll of one socket for the events, which a signal does not cut short. Value 1 when it
// is ready (POLLNVAL fails as EBADF), 0 on time-out.
TSocketResult PollOne(TSocketHandle s, short events, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      // A part of a millisecond counts as a whole one, so that the slices of a longer wait
      // never add up to less than its limit.
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    pollfd entry = {Fd(s), events, 0};
    const int result = ::poll(&entry, 1, wait_ms);
    if (result < 0 && errno == EINTR) continue;
    if (result < 0) return FailErrno(errno);
    if (result > 0 && (entry.revents & POLLNVAL)) return FailErrno(EBADF);
    return {result > 0 ? 1 : 0, 0};
  }
}

class PosixSocketApi final : public SocketApi {
 public:
  TSocketResult Socket(TIPVersion version) override {
    // The shell's viewer is started from this process; it must not inherit connections.
    const int fd = ::socket(version == TIPVersion::Id_IPv6 ? AF_INET6 : AF_INET,
                            SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return FailErrno(errno);
#ifdef SO_NOSIGPIPE
    // Where send() has no MSG_NOSIGNAL the socket itself must not raise SIGPIPE.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return {fd, 0};
  }

  TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) override {
    const sockaddr_in address = ToSockaddr(local);
    return FromCall(::bind(Fd(s), reinterpret_cast<const sockaddr*>(&address), sizeof address));
  }

  TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) override {
    const int value = no_delay ? 1 : 0;
    return FromCall(::setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value));
  }

  TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) override {
    const int fd = Fd(s.handle);
    const sockaddr_in address = ToSockaddr(peer);
    if (!SetNonBlocking(fd, true)) return FailErrno(errno);
    // EINTR leaves the connect going on in the background, as EINPROGRESS does.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS && errno != EINTR) {
      const int error = errno;
      SetNonBlocking(fd, false);
      return FailErrno(error);
    }
    return {0, 0};
  }

  TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) override {
    // A completed connect, made or failed, shows as writable.
    const TSocketResult ready = PollOne(s.handle, POLLOUT, timeout_ms);
    if (ready.value != 1) return ready;
    const int fd = Fd(s.handle);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (!SetNonBlocking(fd, false) && error == 0) error = errno;
    if (error != 0) return FailErrno(error);
    return {1, 0};
  }

  // A hang-up or an error counts as readable: the receive that follows reports it.
  TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) override {
    return PollOne(s.handle, POLLIN, timeout_ms);
  }

  TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) override {
    if (length < 0) return FailErrno(EINVAL);
    ssize_t received;
    do {
      received = ::recv(Fd(s.handle), buffer, static_cast<size_t>(length), 0);
    } while (received < 0 && errno == EINTR);
    return FromCall(received);
  }

  TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) override {
    if (length < 0) return FailErrno(EINVAL);
    int flags = 0;
#ifdef MSG_NOSIGNAL
    // A send to a peer that has gone must fail, not end the process with SIGPIPE.
    flags |= MSG_NOSIGNAL;
#endif
    ssize_t sent;
    do {
      sent = ::send(Fd(s.handle), buffer, static_cast<size_t>(length), flags);
    } while (sent < 0 && errno == EINTR);
    return FromCall(sent);
  }

  TSocketResult ShutdownSend(TSocketHandle s) override {
    return FromCall(::shutdown(Fd(s), SHUT_WR));
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

// The BSD socket calls behind SocketApi. Every failure is reported as the Winsock 2 number of
// the same condition, so that messages and the connect worker's quiet errors read as on Windows.
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
#include <mutex>
#include <unordered_map>

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

constexpr int32_t kBadHandle = 10009;
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

// The calling thread's last failure, as Winsock keeps it per thread.
thread_local int32_t t_last_error = 0;

int FailWinsock(int32_t winsock_error) {
  t_last_error = winsock_error;
  return -1;
}

int FailErrno(int error) {
  return FailWinsock(ToWinsock(ErrorSource::kErrno, error));
}

void SetCloseOnExec(int fd) {
  ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

// The client uses IPv4 only: an IPv6 socket takes no address (EAFNOSUPPORT), as Winsock
// refuses the IPv4 form there.
int ToSockaddr(int family, const TSocketAddress& from, sockaddr_in& address) {
  if (family != AF_INET) return EAFNOSUPPORT;
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

// A socket of this layer. A handle names one of these, never a descriptor number: descriptor
// numbers are reused at once after close(), and a connect worker that still holds the number
// of a socket closed under it must not reach whatever socket got the number next.
struct OpenSocket {
  int fd = -1;
  int family = AF_INET;
  int users = 0;        // calls running on the socket now
  bool closed = false;  // Close has run; the last user then closes the descriptor
  bool connecting = false;
  int wake_fd = -1;        // write end of the pipe that a pending connect also waits on
  bool send_shut = false;  // ShutdownSend has run
};

enum class Purpose { kCall, kConnect, kShutdown };

class PosixSocketApi final : public SocketApi {
 public:
  ~PosixSocketApi() override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [handle, socket] : sockets_) {
      if (socket->users == 0) ::close(socket->fd);
    }
  }

  TSocketHandle Socket(TIPVersion version) override {
    const int family = version == TIPVersion::Id_IPv6 ? AF_INET6 : AF_INET;
    int type = SOCK_STREAM;
#ifdef SOCK_CLOEXEC
    // The shell's viewer is started from this process; it must not inherit connections.
    type |= SOCK_CLOEXEC;
#endif
    const int fd = ::socket(family, type, 0);
    if (fd < 0) {
      FailErrno(errno);
      return kInvalidSocket;
    }
#ifndef SOCK_CLOEXEC
    SetCloseOnExec(fd);
#endif
#ifdef SO_NOSIGPIPE
    // Where send() has no MSG_NOSIGNAL the socket itself must not raise SIGPIPE.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    auto socket = std::make_shared<OpenSocket>();
    socket->fd = fd;
    socket->family = family;
    std::lock_guard<std::mutex> lock(mutex_);
    const TSocketHandle handle = next_handle_++;
    sockets_.emplace(handle, std::move(socket));
    return handle;
  }

  int Bind(TSocketHandle s, const TSocketAddress& local) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      sockaddr_in address;
      if (const int error = ToSockaddr(socket.family, local, address)) return SetErrno(error);
      return ::bind(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    });
  }

  int SetNoDelay(TSocketHandle s, bool no_delay) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      const int value = no_delay ? 1 : 0;
      return ::setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
    });
  }

  int Connect(TSocketHandle s, const TSocketAddress& peer) override;

  int WaitReadable(TSocketHandle s, int timeout_ms) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      using Clock = std::chrono::steady_clock;
      const auto deadline =
          Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
      for (;;) {
        int wait_ms = -1;
        if (timeout_ms >= 0) {
          const auto left =
              std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
          wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd entry = {socket.fd, POLLIN, 0};
        const int result = ::poll(&entry, 1, wait_ms);
        if (result < 0 && errno == EINTR) continue;
        if (result < 0) return -1;
        if (result == 0) return 0;
        if (entry.revents & POLLNVAL) return SetErrno(EBADF);
        // A hang-up or an error also counts: the receive that follows reports it, as after a
        // select() on Windows.
        return 1;
      }
    });
  }

  int Recv(TSocketHandle s, void* buffer, int length) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      if (length < 0) return SetErrno(EINVAL);
      ssize_t received;
      do {
        received = ::recv(socket.fd, buffer, static_cast<size_t>(length), 0);
      } while (received < 0 && errno == EINTR);
      return static_cast<int>(received);
    });
  }

  int Send(TSocketHandle s, const void* buffer, int length) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      if (length < 0) return SetErrno(EINVAL);
      int flags = 0;
#ifdef MSG_NOSIGNAL
      // A send to a peer that has gone must fail, not end the process with SIGPIPE.
      flags |= MSG_NOSIGNAL;
#endif
      ssize_t sent;
      do {
        sent = ::send(socket.fd, buffer, static_cast<size_t>(length), flags);
      } while (sent < 0 && errno == EINTR);
      if (sent < 0 && errno == EPIPE && SendShut(socket)) return SetErrno(ESHUTDOWN);
      return static_cast<int>(sent);
    });
  }

  int ShutdownSend(TSocketHandle s) override {
    return Run(s, Purpose::kShutdown, [&](OpenSocket& socket) {
      const int result = ::shutdown(socket.fd, SHUT_WR);
      if (result == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        socket.send_shut = true;
      }
      return result;
    });
  }

  int Close(TSocketHandle s) override {
    int fd_to_close = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = sockets_.find(s);
      if (found == sockets_.end()) return FailWinsock(kBadHandle);
      OpenSocket& socket = *found->second;
      socket.closed = true;
      if (socket.users == 0) {
        fd_to_close = socket.fd;
      } else {
        // Calls running on other threads are woken and fail; the last of them closes the
        // descriptor, so its number stays taken until nobody uses it. close() alone would
        // wake none of them on Linux.
        if (socket.wake_fd >= 0) {
          const char byte = 0;
          [[maybe_unused]] const auto ignored = ::write(socket.wake_fd, &byte, 1);
        }
        ::shutdown(socket.fd, SHUT_RDWR);
      }
      sockets_.erase(found);
    }
    if (fd_to_close >= 0 && ::close(fd_to_close) != 0 && errno != EINTR) return FailErrno(errno);
    return 0;
  }

  int GetSockName(TSocketHandle s, TSocketAddress& address) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      sockaddr_storage storage;
      socklen_t length = sizeof storage;
      const int result = ::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&storage), &length);
      if (result == 0) FromSockaddr(storage, address);
      return result;
    });
  }

  int GetPeerName(TSocketHandle s, TSocketAddress& address) override {
    return Run(s, Purpose::kCall, [&](OpenSocket& socket) {
      sockaddr_storage storage;
      socklen_t length = sizeof storage;
      const int result = ::getpeername(socket.fd, reinterpret_cast<sockaddr*>(&storage), &length);
      if (result == 0) FromSockaddr(storage, address);
      return result;
    });
  }

  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (result != 0) {
      error_code = ToWinsock(ErrorSource::kLookup, result);
      t_last_error = error_code;
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
    if (!have_address) {
      error_code = kLookupNoData;
      t_last_error = error_code;
    }
    return have_address;
  }

  int32_t LastError() override {
    return t_last_error;
  }

 private:
  static int SetErrno(int error) {
    errno = error;
    return -1;
  }

  bool SendShut(OpenSocket& socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    return socket.send_shut;
  }

  // Takes the socket for one call, so that a Close on another thread leaves its descriptor
  // open until the call is over.
  std::shared_ptr<OpenSocket> Acquire(TSocketHandle s, Purpose purpose, int wake_fd,
                                      int32_t& refusal) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = sockets_.find(s);
    if (found == sockets_.end()) {
      refusal = kBadHandle;
      return nullptr;
    }
    OpenSocket& socket = *found->second;
    if (purpose == Purpose::kConnect) {
      if (socket.connecting) {
        refusal = ToWinsock(ErrorSource::kErrno, EALREADY);
        return nullptr;
      }
      socket.connecting = true;
      socket.wake_fd = wake_fd;
    } else if (purpose == Purpose::kShutdown && socket.connecting) {
      // Winsock leaves a pending connect alone here; Linux would abort it instead, so that
      // the connect worker would report a reset rather than the close that follows.
      refusal = ToWinsock(ErrorSource::kErrno, ENOTCONN);
      return nullptr;
    }
    ++socket.users;
    return found->second;
  }

  // Ends one call. Returns its result, or -1 with the call's error; a call that a Close
  // overlapped fails as a call on a closed handle.
  int Release(const std::shared_ptr<OpenSocket>& socket, Purpose purpose, int result, int error) {
    bool closed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (purpose == Purpose::kConnect) {
        socket->connecting = false;
        socket->wake_fd = -1;
      }
      --socket->users;
      closed = socket->closed;
      if (closed && socket->users == 0) ::close(socket->fd);
    }
    if (closed) return FailWinsock(kBadHandle);
    if (result < 0) return FailErrno(error);
    return result;
  }

  template <typename Call>
  int Run(TSocketHandle s, Purpose purpose, Call&& call) {
    int32_t refusal = 0;
    const auto socket = Acquire(s, purpose, -1, refusal);
    if (!socket) return FailWinsock(refusal);
    const int result = call(*socket);
    return Release(socket, purpose, result, errno);
  }

  std::mutex mutex_;
  std::unordered_map<TSocketHandle, std::shared_ptr<OpenSocket>> sockets_;
  TSocketHandle next_handle_ = 1;
};

int PosixSocketApi::Connect(TSocketHandle s, const TSocketAddress& peer) {
  // A blocking connect() is woken neither by close() nor reliably by shutdown() issued before
  // it has started, so the connect runs non-blocking and waits on the socket and on a pipe
  // that Close writes to: a Close at any moment ends it at once.
  int wake[2];
  if (::pipe(wake) != 0) return FailErrno(errno);
  SetCloseOnExec(wake[0]);
  SetCloseOnExec(wake[1]);

  int32_t refusal = 0;
  const auto socket = Acquire(s, Purpose::kConnect, wake[1], refusal);
  if (!socket) {
    ::close(wake[0]);
    ::close(wake[1]);
    return FailWinsock(refusal);
  }

  const int result = [&]() {
    sockaddr_in address;
    if (const int error = ToSockaddr(socket->family, peer, address)) return SetErrno(error);
    const int fd = socket->fd;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
    int outcome = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (outcome != 0 && (errno == EINPROGRESS || errno == EINTR)) {
      pollfd entries[2] = {{fd, POLLOUT, 0}, {wake[0], POLLIN, 0}};
      int ready;
      do {
        ready = ::poll(entries, 2, -1);
      } while (ready < 0 && errno == EINTR);
      if (ready < 0) {
        outcome = -1;
      } else if (entries[1].revents != 0) {
        outcome = SetErrno(EBADF);  // closed under the connect; Release reports it so
      } else {
        int error = 0;
        socklen_t error_length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_length) != 0) {
          outcome = -1;
        } else {
          outcome = error == 0 ? 0 : SetErrno(error);
        }
      }
    }
    const int saved = errno;
    ::fcntl(fd, F_SETFL, flags);
    errno = saved;
    return outcome;
  }();
  const int error = errno;
  const int reported = Release(socket, Purpose::kConnect, result, error);
  // Release has cleared wake_fd under the lock, so no Close writes to the pipe any more.
  ::close(wake[0]);
  ::close(wake[1]);
  return reported;
}

}  // namespace

const char* PlatformSocketLibraryName() {
  return "";
}

std::unique_ptr<SocketApi> CreatePlatformSocketApiFromLibrary(const std::string&) {
  return std::make_unique<PosixSocketApi>();
}

}  // namespace vxt

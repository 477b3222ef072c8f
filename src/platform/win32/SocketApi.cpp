// Winsock 2 behind SocketApi. WS2_32.DLL is loaded from the system folder when the layer is
// created and each function is looked up by name on its first use, so the program has no import
// of the library, a copy planted beside the program is never loaded, and a missing library
// becomes a failure the program can report.
#include "platform/SocketApi.h"

// winsock2.h must come before windows.h, which would otherwise pull in the old winsock.h.
#include <winsock2.h>
// (kept apart so that include sorting leaves the order alone)
#include <windows.h>

#include <atomic>
#include <cstring>

#include "failures/Exceptions.h"
#include "platform/System.h"
#include "platform/win32/SystemLibrary.h"

namespace vxt {

namespace {

constexpr char kWinsockLibrary[] = "WS2_32.DLL";

// A library function found by name on its first call. The declaration of the SDK gives its
// type, so a call cannot disagree with the library. Two threads that race on the first call
// both look it up and store the same address.
template <typename Function>
class LibraryFunction {
 public:
  explicit LibraryFunction(const char* name) : name_(name) {}

  Function Get(HMODULE library) {
    Generic found = address_.load(std::memory_order_acquire);
    if (found == nullptr) {
      // void (*)() converts to and from every function pointer type without a cast warning.
      found = reinterpret_cast<Generic>(::GetProcAddress(library, name_));
      if (found == nullptr) return nullptr;
      address_.store(found, std::memory_order_release);
    }
    return reinterpret_cast<Function>(found);
  }

 private:
  using Generic = void (*)();
  const char* name_;
  std::atomic<Generic> address_{nullptr};
};

// clang-format off
#define VXT_WINSOCK_FUNCTION(name) LibraryFunction<decltype(&::name)> name##_{#name}
// clang-format on

void StoreBigEndianPort(uint16_t port, u_short& field) {
  // htons lives in WS2_32.DLL too; the bytes are simply put in network order here.
  auto* bytes = reinterpret_cast<uint8_t*>(&field);
  bytes[0] = static_cast<uint8_t>(port >> 8);
  bytes[1] = static_cast<uint8_t>(port & 0xFF);
}

uint16_t LoadBigEndianPort(const u_short& field) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&field);
  return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

// Built from the pieces around the placeholder: GCC 12 warns falsely (-Wrestrict) about an
// in-place replace once it is inlined into the constructor.
std::string LoadTitle(const std::string& library_name) {
  const std::string format = kWinsockLoadTitle;
  const size_t placeholder = format.find("%s");
  if (placeholder == std::string::npos) return format;
  return format.substr(0, placeholder) + library_name + format.substr(placeholder + 2);
}

// Bytes that a count found waiting on a socket and that no receive has taken yet. Kept per
// thread, for the socket that the thread last counted: the connection reads a socket from one
// thread only, and so needs no lock on its path of every block.
struct KnownPending {
  SOCKET socket = INVALID_SOCKET;
  u_long bytes = 0;
};
thread_local KnownPending known_pending;

class WinsockApi final : public SocketApi {
 public:
  explicit WinsockApi(const std::string& library_name) {
    library_ = LoadSystemLibrary(library_name);
    if (library_ == nullptr) {
      const DWORD code = ::GetLastError();
      throw EIdWinsockStubError(LoadTitle(library_name), code, SystemErrorText(code));
    }
    WSADATA data;
    const auto startup = WSAStartup_.Get(library_);
    if (startup == nullptr || startup(MAKEWORD(2, 2), &data) != 0) {
      ::FreeLibrary(library_);
      throw EIdStackInitializationFailed(kWinsockInitializationError);
    }
  }

  ~WinsockApi() override {
    if (const auto cleanup = WSACleanup_.Get(library_)) cleanup();
    ::FreeLibrary(library_);
  }

  TSocketHandle Socket(TIPVersion version) override {
    const auto call = socket_.Get(library_);
    if (call == nullptr) return Missing();
    const SOCKET s = call(version == TIPVersion::Id_IPv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    // A value that another thread's close made free again: what this thread knew of it is old.
    if (known_pending.socket == s) known_pending = KnownPending();
    return static_cast<TSocketHandle>(s);
  }

  int Bind(TSocketHandle s, const TSocketAddress& local) override {
    const auto call = bind_.Get(library_);
    if (call == nullptr) return Missing();
    const sockaddr_in address = ToSockaddr(local);
    return call(Native(s), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }

  int SetNoDelay(TSocketHandle s, bool no_delay) override {
    const auto call = setsockopt_.Get(library_);
    if (call == nullptr) return Missing();
    const BOOL value = no_delay ? TRUE : FALSE;
    return call(Native(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                sizeof value);
  }

  int Connect(TSocketHandle s, const TSocketAddress& peer) override {
    const auto call = connect_.Get(library_);
    if (call == nullptr) return Missing();
    const sockaddr_in address = ToSockaddr(peer);
    return call(Native(s), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }

  int WaitReadable(TSocketHandle s, int timeout_ms) override {
    // Bytes already received make the socket readable whatever the limit. While bytes that an
    // earlier count found are not all taken, the answer needs no call at all; otherwise their
    // count is asked first, which spares the select in the common case of a reply that streams
    // in: under Wine a select costs several times an ioctlsocket, and every call into the
    // library costs about as much as a receive. A close or an error pending shows as no bytes,
    // so those still go through the select, which reports them as before.
    KnownPending& known = known_pending;
    if (known.socket == Native(s) && known.bytes > 0) return 1;
    if (const auto pending = ioctlsocket_.Get(library_)) {
      u_long count = 0;
      if (pending(Native(s), FIONREAD, &count) == 0 && count > 0) {
        known = KnownPending{Native(s), count};
        return 1;
      }
    }
    // Nothing counted: either nothing has come yet, or the peer's close or a failure is
    // pending. Under Wine a select that finds the close pending takes milliseconds (2 to 6 on
    // loopback), where a receive that does not wait sees it at once; so such a receive, which
    // only peeks, asks first. "Nothing yet" with no time to wait needs no select either; a
    // failure goes on to the select and the receive after it, which report it as they always
    // did (this Wine, for one, reports a peer's reset there as an orderly close).
    switch (PeekWithoutWaiting(s)) {
      case Peeked::kBytesOrClose:
        return 1;
      case Peeked::kNothing:
        if (timeout_ms == 0) return 0;
        break;
      case Peeked::kFailure:
        break;
    }
    const auto call = select_.Get(library_);
    if (call == nullptr) return Missing();
    // Filled by hand: FD_ISSET is a call into the library, and with one socket in the set a
    // positive count already says which one is readable.
    fd_set readable;
    readable.fd_count = 1;
    readable.fd_array[0] = Native(s);
    timeval limit;
    limit.tv_sec = timeout_ms / 1000;
    limit.tv_usec = (timeout_ms % 1000) * 1000;
    const int result = call(0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit);
    if (result == SOCKET_ERROR) return -1;
    return result > 0 ? 1 : 0;
  }

  int Recv(TSocketHandle s, void* buffer, int length) override {
    const auto call = recv_.Get(library_);
    if (call == nullptr) return Missing();
    const int received = call(Native(s), static_cast<char*>(buffer), length, 0);
    KnownPending& known = known_pending;
    if (known.socket == Native(s)) {
      // A failure (a reset may discard what was queued) leaves nothing known.
      known.bytes = received > 0 && static_cast<u_long>(received) < known.bytes
                        ? known.bytes - static_cast<u_long>(received)
                        : 0;
    }
    return received;
  }

  int Send(TSocketHandle s, const void* buffer, int length) override {
    const auto call = send_.Get(library_);
    if (call == nullptr) return Missing();
    return call(Native(s), static_cast<const char*>(buffer), length, 0);
  }

  int ShutdownSend(TSocketHandle s) override {
    const auto call = shutdown_.Get(library_);
    if (call == nullptr) return Missing();
    return call(Native(s), SD_SEND);
  }

  int Close(TSocketHandle s) override {
    const auto call = closesocket_.Get(library_);
    if (call == nullptr) return Missing();
    // The handle's value may come back for another socket.
    if (known_pending.socket == Native(s)) known_pending = KnownPending();
    return call(Native(s));
  }

  int GetSockName(TSocketHandle s, TSocketAddress& address) override {
    const auto call = getsockname_.Get(library_);
    if (call == nullptr) return Missing();
    sockaddr_storage storage;
    int length = sizeof storage;
    const int result = call(Native(s), reinterpret_cast<sockaddr*>(&storage), &length);
    if (result == 0) FromSockaddr(storage, address);
    return result;
  }

  int GetPeerName(TSocketHandle s, TSocketAddress& address) override {
    const auto call = getpeername_.Get(library_);
    if (call == nullptr) return Missing();
    sockaddr_storage storage;
    int length = sizeof storage;
    const int result = call(Native(s), reinterpret_cast<sockaddr*>(&storage), &length);
    if (result == 0) FromSockaddr(storage, address);
    return result;
  }

  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override {
    const auto call = gethostbyname_.Get(library_);
    if (call == nullptr) {
      Missing();
      error_code = LastError();
      return false;
    }
    const hostent* entry = call(name.c_str());
    if (entry == nullptr) {
      error_code = LastError();
      return false;
    }
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
      error_code = WSANO_DATA;
      return false;
    }
    std::memcpy(ip.bytes.data(), entry->h_addr_list[0], 4);
    return true;
  }

  int32_t LastError() override {
    if (const auto call = WSAGetLastError_.Get(library_)) return call();
    return static_cast<int32_t>(::GetLastError());
  }

 private:
  static SOCKET Native(TSocketHandle s) { return static_cast<SOCKET>(s); }

  // Winsock keeps its last error in the thread's last-error value, which WSAGetLastError
  // reads; failures found before the library is called are left there too.
  static int Fail(int winsock_error) {
    ::SetLastError(static_cast<DWORD>(winsock_error));
    return -1;
  }

  // A function that the loaded library lacks fails like an unsupported operation.
  static int Missing() { return Fail(WSAEOPNOTSUPP); }

  // The client uses IPv4 only; an IPv6 socket refuses the IPv4 form with the library's error.
  static sockaddr_in ToSockaddr(const TSocketAddress& from) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    StoreBigEndianPort(from.port, address.sin_port);
    std::memcpy(&address.sin_addr, from.ip.bytes.data(), 4);
    return address;
  }

  // Only IPv4 addresses are read; any other family leaves the address all zero.
  static void FromSockaddr(const sockaddr_storage& storage, TSocketAddress& address) {
    address = TSocketAddress();
    if (storage.ss_family == AF_INET) {
      const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
      std::memcpy(address.ip.bytes.data(), &in.sin_addr, 4);
      address.port = LoadBigEndianPort(in.sin_port);
    }
  }

  enum class Peeked { kBytesOrClose, kNothing, kFailure };

  // A receive of one byte that leaves it queued, with the socket non-blocking for just that
  // call; the socket is blocking again afterwards whatever the outcome.
  Peeked PeekWithoutWaiting(TSocketHandle s) {
    const auto control = ioctlsocket_.Get(library_);
    const auto receive = recv_.Get(library_);
    if (control == nullptr || receive == nullptr) return Peeked::kFailure;
    u_long non_blocking = 1;
    if (control(Native(s), FIONBIO, &non_blocking) != 0) return Peeked::kFailure;
    char byte;
    const int got = receive(Native(s), &byte, 1, MSG_PEEK);
    const int32_t error = got < 0 ? LastError() : 0;
    non_blocking = 0;
    control(Native(s), FIONBIO, &non_blocking);
    if (got >= 0) return Peeked::kBytesOrClose;
    return error == WSAEWOULDBLOCK ? Peeked::kNothing : Peeked::kFailure;
  }

  HMODULE library_ = nullptr;

  VXT_WINSOCK_FUNCTION(WSAStartup);
  VXT_WINSOCK_FUNCTION(WSACleanup);
  VXT_WINSOCK_FUNCTION(WSAGetLastError);
  VXT_WINSOCK_FUNCTION(socket);
  VXT_WINSOCK_FUNCTION(bind);
  VXT_WINSOCK_FUNCTION(setsockopt);
  VXT_WINSOCK_FUNCTION(gethostbyname);
  VXT_WINSOCK_FUNCTION(connect);
  VXT_WINSOCK_FUNCTION(select);
  VXT_WINSOCK_FUNCTION(ioctlsocket);
  VXT_WINSOCK_FUNCTION(recv);
  VXT_WINSOCK_FUNCTION(send);
  VXT_WINSOCK_FUNCTION(shutdown);
  VXT_WINSOCK_FUNCTION(closesocket);
  VXT_WINSOCK_FUNCTION(getsockname);
  VXT_WINSOCK_FUNCTION(getpeername);
};

#undef VXT_WINSOCK_FUNCTION

}  // namespace

const char* PlatformSocketLibraryName() {
  return kWinsockLibrary;
}

std::unique_ptr<SocketApi> CreatePlatformSocketApiFromLibrary(const std::string& library_name) {
  return std::make_unique<WinsockApi>(library_name);
}

}  // namespace vxt

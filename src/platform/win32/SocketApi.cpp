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

// What this layer notes about a socket (TPlatformSocket::layer_note).
struct Note {
  // Bytes that a count found waiting and that no receive has taken yet: while some are left, a
  // readability wait needs no call at all.
  uint32_t counted = 0;
  // The socket's blocking mode as this layer last set it. The calls behave as documented in
  // either mode: a receive or a send blocks as on a blocking socket.
  bool non_blocking = false;
};

Note NoteOf(const TPlatformSocket& s) {
  return {static_cast<uint32_t>(s.layer_note & 0xFFFFFFFFu), ((s.layer_note >> 32) & 1) != 0};
}

void Keep(TPlatformSocket& s, const Note& note) {
  s.layer_note = uint64_t{note.counted} | (uint64_t{note.non_blocking} << 32);
}

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

  TSocketResult Socket(TIPVersion version) override {
    return Call(socket_, version == TIPVersion::Id_IPv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  }

  TSocketResult Bind(TSocketHandle s, const TSocketAddress& local) override {
    const sockaddr_in address = ToSockaddr(local);
    return Call(bind_, Native(s), reinterpret_cast<const sockaddr*>(&address),
                static_cast<int>(sizeof address));
  }

  TSocketResult SetNoDelay(TSocketHandle s, bool no_delay) override {
    const BOOL value = no_delay ? TRUE : FALSE;
    return Call(setsockopt_, Native(s), IPPROTO_TCP, TCP_NODELAY,
                reinterpret_cast<const char*>(&value), static_cast<int>(sizeof value));
  }

  TSocketResult StartConnect(TPlatformSocket& s, const TSocketAddress& peer) override {
    const TSocketResult mode = SetNonBlocking(s, true);
    if (mode.Failed()) return mode;
    const sockaddr_in address = ToSockaddr(peer);
    const TSocketResult started = Call(connect_, Native(s.handle),
                                       reinterpret_cast<const sockaddr*>(&address),
                                       static_cast<int>(sizeof address));
    if (!started.Failed() || started.error == WSAEWOULDBLOCK) return {0, 0};  // under way
    SetNonBlocking(s, false);
    return started;
  }

  TSocketResult WaitConnected(TPlatformSocket& s, int timeout_ms) override {
    // Winsock reports a connect that was made as writable, one that failed in the exception
    // set.
    fd_set writable = SetOf(s);
    fd_set failed = SetOf(s);
    timeval limit = LimitOf(timeout_ms);
    const TSocketResult ready =
        Call(select_, 0, nullptr, &writable, &failed, timeout_ms < 0 ? nullptr : &limit);
    if (ready.Failed() || ready.value == 0) return ready;
    if (failed.fd_count > 0) {
      const int32_t error = ConnectError(s.handle);
      SetNonBlocking(s, false);
      // A failure that the socket no longer tells still is one.
      return TSocketResult::Failure(error != 0 ? error : WSAECONNREFUSED);
    }
    // The rest of the connection uses blocking calls.
    const TSocketResult blocking = SetNonBlocking(s, false);
    if (blocking.Failed()) return blocking;
    return {1, 0};
  }

  TSocketResult WaitReadable(TPlatformSocket& s, int timeout_ms) override {
    // Bytes already received make the socket readable whatever the limit. While bytes that an
    // earlier count found are not all taken, the answer needs no call at all; otherwise their
    // count is asked first, which spares the select in the common case of a reply that streams
    // in: under Wine a select costs several times an ioctlsocket, and every call into the
    // library costs about as much as a receive. A close or an error pending shows as no bytes,
    // so those still go through the select, which reports them as before.
    Note note = NoteOf(s);
    if (note.counted > 0) return {1, 0};
    u_long count = 0;
    if (!Call(ioctlsocket_, Native(s.handle), FIONREAD, &count).Failed() && count > 0) {
      note.counted = static_cast<uint32_t>(count);
      Keep(s, note);
      return {1, 0};
    }
    // Nothing counted: either nothing has come yet, or the peer's close or a failure is
    // pending. Under Wine a select that finds the close pending takes milliseconds (2 to 6 on
    // loopback), where a receive that does not wait sees it at once; so such a receive, which
    // only peeks, asks first. "Nothing yet" with no time to wait needs no select either; a
    // failure goes on to the select and the receive after it, which report it as they always
    // did (this Wine, for one, reports a peer's reset there as an orderly close).
    switch (PeekWithoutWaiting(s)) {
      case Peeked::kBytesOrClose:
        return {1, 0};
      case Peeked::kNothing:
        if (timeout_ms == 0) return {0, 0};
        break;
      case Peeked::kFailure:
        break;
    }
    return Select(s, timeout_ms);
  }

  TSocketResult Recv(TPlatformSocket& s, void* buffer, int length) override {
    TSocketResult received = Call(recv_, Native(s.handle), static_cast<char*>(buffer), length, 0);
    Note note = NoteOf(s);
    // Left non-blocking by a peek, the socket answers "nothing yet" where a blocking one
    // waits: wait as it would, then take what came. Not on the path of every block, which
    // receives only what a wait has found readable.
    while (note.non_blocking && received.Failed() && received.error == WSAEWOULDBLOCK) {
      const TSocketResult readable = Select(s, -1);
      if (readable.Failed()) return readable;
      received = Call(recv_, Native(s.handle), static_cast<char*>(buffer), length, 0);
    }
    // A failure (a reset may discard what was queued) leaves nothing known.
    const auto taken = static_cast<uint32_t>(received.value);
    note.counted = received.value > 0 && taken < note.counted ? note.counted - taken : 0;
    Keep(s, note);
    return received;
  }

  TSocketResult Send(TPlatformSocket& s, const void* buffer, int length) override {
    // A send on a non-blocking socket may take only part of the bytes; the request goes out in
    // one blocking send, as before any peek. Rare: the connection sends once, before it reads.
    const TSocketResult blocking = SetNonBlocking(s, false);
    if (blocking.Failed()) return blocking;
    return Call(send_, Native(s.handle), static_cast<const char*>(buffer), length, 0);
  }

  TSocketResult ShutdownSend(TSocketHandle s) override {
    return Call(shutdown_, Native(s), SD_SEND);
  }

  TSocketResult Close(TSocketHandle s) override {
    return Call(closesocket_, Native(s));
  }

  TSocketResult GetSockName(TSocketHandle s, TSocketAddress& address) override {
    return ReadAddress(getsockname_, s, address);
  }

  TSocketResult GetPeerName(TSocketHandle s, TSocketAddress& address) override {
    return ReadAddress(getpeername_, s, address);
  }

  bool GetHostByName(const std::string& name, TIPv4Address& ip, int32_t& error_code) override {
    const auto call = gethostbyname_.Get(library_);
    const auto error_of = WSAGetLastError_.Get(library_);
    if (call == nullptr || error_of == nullptr) {
      error_code = WSAEOPNOTSUPP;
      return false;
    }
    const hostent* entry = call(name.c_str());
    if (entry == nullptr) {
      error_code = error_of();
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

 private:
  static SOCKET Native(TSocketHandle s) { return static_cast<SOCKET>(s); }

  // The failure value of each result type: SOCKET_ERROR, or INVALID_SOCKET from socket().
  static bool IsFailure(int result) { return result == SOCKET_ERROR; }
  static bool IsFailure(SOCKET result) { return result == INVALID_SOCKET; }

  // One call into the library: the function is looked up on its first use, and a failure comes
  // back with the calling thread's last socket error. The reader of that error is looked up
  // before the call, so that nothing runs between the call and the reading (a first lookup of a
  // function may itself change the thread's last error). A function that the loaded library
  // lacks fails like an unsupported operation.
  template <typename Function, typename... Args>
  TSocketResult Call(LibraryFunction<Function>& function, Args... args) {
    const Function call = function.Get(library_);
    const auto error_of = WSAGetLastError_.Get(library_);
    if (call == nullptr || error_of == nullptr) return TSocketResult::Failure(WSAEOPNOTSUPP);
    const auto result = call(args...);
    if (IsFailure(result)) return TSocketResult::Failure(error_of());
    return {static_cast<int64_t>(result), 0};
  }

  // A set of the one socket, filled by hand: FD_SET and FD_ISSET are calls into the library,
  // and with one socket in a set a positive count already says which one is ready.
  static fd_set SetOf(const TPlatformSocket& s) {
    fd_set set;
    set.fd_count = 1;
    set.fd_array[0] = Native(s.handle);
    return set;
  }

  // A select's time limit: whole seconds and microseconds (unused for a negative limit).
  static timeval LimitOf(int timeout_ms) {
    timeval limit;
    limit.tv_sec = timeout_ms / 1000;
    limit.tv_usec = (timeout_ms % 1000) * 1000;
    return limit;
  }

  // One end's address through getsockname or getpeername, which share their form.
  TSocketResult ReadAddress(LibraryFunction<decltype(&::getsockname)>& function, TSocketHandle s,
                            TSocketAddress& address) {
    sockaddr_storage storage;
    int length = sizeof storage;
    const TSocketResult result =
        Call(function, Native(s), reinterpret_cast<sockaddr*>(&storage), &length);
    if (!result.Failed()) FromSockaddr(storage, address);
    return result;
  }

  // Switches the mode only when it is not the one wanted already.
  TSocketResult SetNonBlocking(TPlatformSocket& s, bool non_blocking) {
    Note note = NoteOf(s);
    if (note.non_blocking == non_blocking) return {0, 0};
    u_long value = non_blocking ? 1 : 0;
    const TSocketResult result = Call(ioctlsocket_, Native(s.handle), FIONBIO, &value);
    if (result.Failed()) return result;
    note.non_blocking = non_blocking;
    Keep(s, note);
    return result;
  }

  TSocketResult Select(const TPlatformSocket& s, int timeout_ms) {
    fd_set readable = SetOf(s);
    timeval limit = LimitOf(timeout_ms);
    const TSocketResult ready =
        Call(select_, 0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit);
    if (ready.Failed()) return ready;
    return {ready.value > 0 ? 1 : 0, 0};
  }

  // The failure of a completed connect, as the socket keeps it (0 when it keeps none).
  int32_t ConnectError(TSocketHandle s) {
    int error = 0;
    int length = sizeof error;
    const TSocketResult read = Call(getsockopt_, Native(s), SOL_SOCKET, SO_ERROR,
                                    reinterpret_cast<char*>(&error), &length);
    return read.Failed() ? read.error : error;
  }

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

  // A receive of one byte that leaves it queued, on the socket made non-blocking. The socket
  // stays so: the waits that follow do not care, the receive and the send keep their blocking
  // behaviour by themselves, and a mode switch around every peek would cost two more calls into
  // the library each time the connection looks without data waiting.
  Peeked PeekWithoutWaiting(TPlatformSocket& s) {
    if (SetNonBlocking(s, true).Failed()) return Peeked::kFailure;
    char byte;
    const TSocketResult got = Call(recv_, Native(s.handle), &byte, 1, MSG_PEEK);
    if (!got.Failed()) return Peeked::kBytesOrClose;
    return got.error == WSAEWOULDBLOCK ? Peeked::kNothing : Peeked::kFailure;
  }

  HMODULE library_ = nullptr;

  VXT_WINSOCK_FUNCTION(WSAStartup);
  VXT_WINSOCK_FUNCTION(WSACleanup);
  VXT_WINSOCK_FUNCTION(WSAGetLastError);
  VXT_WINSOCK_FUNCTION(socket);
  VXT_WINSOCK_FUNCTION(bind);
  VXT_WINSOCK_FUNCTION(setsockopt);
  VXT_WINSOCK_FUNCTION(getsockopt);
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

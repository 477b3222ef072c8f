// The few raw socket calls that the test servers need, on 127.0.0.1 only.
//
// This is test support, independent of the product's socket layer: the servers must keep
// working while the product's layer is faked or broken. One implementation per platform
// (BSD sockets in posix/, Winsock in win32/). Every socket here is non-blocking, so that no
// call of a server thread can hang; waits take a time limit.
#pragma once

#include <cstdint>

namespace vxt::testing::loopback {

using RawSocket = int64_t;
inline constexpr RawSocket kNoSocket = -1;

// Result of RecvSome/SendSome when the call would have blocked.
inline constexpr int kWouldBlock = -2;

// A listening socket on 127.0.0.1 and an ephemeral port; kNoSocket on failure.
RawSocket ListenLoopback(int backlog, uint16_t& port);
// A free port of 127.0.0.1 at the moment of the call (bound once, then released).
uint16_t FreeLoopbackPort();
// The next pending connection (non-blocking), or kNoSocket when none is waiting.
RawSocket AcceptPending(RawSocket listener);
// Waits until the socket is readable (or writable); 1 ready, 0 time-out, -1 failure.
int WaitReady(RawSocket s, bool for_write, int timeout_ms);
// Count received, 0 when the peer closed, kWouldBlock, or -1 on failure.
int RecvSome(RawSocket s, char* buffer, int length);
// Count sent, kWouldBlock, or -1 on failure.
int SendSome(RawSocket s, const char* buffer, int length);
// SO_LINGER {1, 0}: the next close sends a reset instead of a FIN.
void SetAbortiveClose(RawSocket s);
void ShutdownSend(RawSocket s);
void CloseRaw(RawSocket s);
// Starts a non-blocking connect to 127.0.0.1:port; kNoSocket when it failed at once.
RawSocket StartConnect(uint16_t port);
// Waits for a started connect: 1 connected, 0 still pending, -1 failed.
int AwaitConnect(RawSocket s, int timeout_ms);
// The calling thread's last socket error (errno or WSAGetLastError).
int LastRawError();

}  // namespace vxt::testing::loopback

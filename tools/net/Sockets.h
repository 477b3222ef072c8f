// The steps that NetCommon.cpp builds the library's calls from, one implementation per
// platform beside the rest of that platform's calls (posix/Net.cpp, win32/Net.cpp). Not for
// the library's users.
#pragma once

#include <cstdint>

#include "net/Net.h"

namespace vxt::net::sockets {

// A non-blocking IPv4 stream socket that child processes do not inherit; kNoSocket on failure.
Handle NewSocket();
void SetPortReuse(Handle socket, PortReuse reuse);
bool Bind(Handle socket, std::uint32_t address, std::uint16_t port);
bool StartListening(Handle socket, int backlog);
// The port the socket is bound to; 0 when it cannot be read.
std::uint16_t LocalPort(Handle socket);
// True when the connect has completed or is under way.
bool ConnectStarted(Handle socket, std::uint32_t address, std::uint16_t port);
// The outcome of a connect that has ended: 0, or its error.
int ConnectError(Handle socket);
ListenFailure Classify(int error);

}  // namespace vxt::net::sockets

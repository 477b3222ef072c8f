// The waits of a connect: the peer address, worked out by a host-name lookup where the host is
// a name, and the connect step under its time limit. The connect does not block: it is waited
// for on the calling thread in slices with a pump step after each. The lookup is waited for in
// the same way, the lookup itself running on a worker thread.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "platform/IPv4Address.h"

namespace vxt {

class TIdSocketHandle;

// Length of one slice of the connect wait; with the responsiveness component in use, the
// smaller of this and its IdleTimeOut.
inline constexpr int kConnectSliceMs = 125;
// The time limit that ConnectTimeout 0 stands for while the responsiveness component is in use.
inline constexpr int kConnectTimeoutWhenInUse = 120000;

// Connects the socket of binding to its recorded peer. connect_timeout in ms: 0 means 120000
// when the responsiveness component is in use and otherwise a blocking connect with no limit;
// -1 means no limit. The connect does not block: it is waited for in slices, each followed by
// a pump step, so that a connect that completes is noticed at once. When the limit passes,
// EIdConnectTimeout "Connect timed out." is raised (the caller then closes the socket, on this
// same thread: no other thread has a call on it). A failed connect raises its socket error
// after the pump step of the slice in which it failed. When a message handler run by a pump
// step has closed the socket, the wait ends quietly and what follows finds the connection
// closed.
void ConnectUnderTimeLimit(TIdSocketHandle& binding, int connect_timeout);

// The address to connect to for host, for IPv4: a dotted address as it reads (blanks and all),
// "LOCALHOST" in any letter case as 127.0.0.1, any other name through the platform's host-name
// lookup. While the responsiveness component is in use, a name is looked up by a worker thread
// while the calling thread waits for it without a limit, in the slices of the connect wait with
// a pump step after each: a slow or dead name server must not freeze the window. A lookup
// cannot be cancelled, so a pump step that fails ends the wait at once with its failure, and
// the lookup is left to end on its own, its answer unread. Otherwise the lookup runs on the
// calling thread, which it blocks without any pump step. A failed lookup raises a socket error
// with the lookup's code.
TIPv4Address ResolvePeerAddressWhilePumping(const std::string& host);

// Starts a worker thread of the connection (the lookup's). A thread that the system cannot
// start fails the connect: EIdConnectException with the system's text for the reason.
std::thread StartWorkerThread(std::function<void()> body);

// Runs before every start of a worker thread; a hook that throws std::system_error stands for
// a thread that the system refuses. For tests; nullptr removes it.
void SetWorkerStartHookForTesting(std::function<void()> hook);

// Tells the observer the length of every wait of the connect wait, in order (slices and the
// last part), before the wait. For tests; nullptr removes it.
void SetConnectWaitObserverForTesting(std::function<void(int wait_ms)> observer);

}  // namespace vxt

// The connect step under its time limit: a short-lived worker thread performs the one
// blocking platform connect while the calling thread waits for it in slices, running a pump
// step after each slice. The host-name lookup before it is waited for in the same way.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "connection/SocketHandle.h"

namespace vxt {

// Length of one slice of the connect wait; with the responsiveness component in use, the
// smaller of this and its IdleTimeOut.
inline constexpr int kConnectSliceMs = 125;
// The time limit that ConnectTimeout 0 stands for while the responsiveness component is in use.
inline constexpr int kConnectTimeoutWhenInUse = 120000;

// Connects the socket of binding to its recorded peer. connect_timeout in ms: 0 means 120000
// when the responsiveness component is in use and otherwise a direct connect on the calling
// thread; -1 means no limit. When the limit passes, close_handler (which must close the socket
// and never raise) makes the pending connect fail inside the worker; the worker is waited for
// and EIdConnectTimeout "Connect timed out." is raised. A failure that the worker met is
// raised anew on the calling thread.
void ConnectUnderTimeLimit(TIdSocketHandle& binding, int connect_timeout,
                           const std::function<void()>& close_handler);

// The address to connect to for host (see ResolvePeerAddress). While the responsiveness
// component is in use, a name is looked up by a worker thread while the calling thread waits
// for it without a limit, in the slices of the connect wait with a pump step after each: a slow
// or dead name server must not freeze the window. A lookup cannot be cancelled, so when
// socket_open() reports false after a pump step (a message handler closed the connection), the
// wait is given up at once with EIdClosedSocket "Disconnected." and the lookup is left to end on
// its own, its answer unread. Otherwise the lookup runs on the calling thread. A failed lookup
// raises a socket error with the lookup's code.
std::string ResolvePeerAddressWhilePumping(const std::string& host,
                                           const std::function<bool()>& socket_open);

// Starts a worker thread of the connection. A thread that the system cannot start fails the
// connect: EIdConnectException with the system's text for the reason.
std::thread StartWorkerThread(std::function<void()> body);

// Runs before every start of a worker thread; a hook that throws std::system_error stands for
// a thread that the system refuses. For tests; nullptr removes it.
void SetWorkerStartHookForTesting(std::function<void()> hook);

// Tells the observer the length of every wait of the connect wait, in order (slices and the
// last part). For tests; nullptr removes it.
void SetConnectWaitObserverForTesting(std::function<void(int wait_ms)> observer);

}  // namespace vxt

// The connect step under its time limit: a short-lived worker thread performs the one
// blocking platform connect while the calling thread waits for it in slices, running a pump
// step after each slice.
#pragma once

#include <functional>
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

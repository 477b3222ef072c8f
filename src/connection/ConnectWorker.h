// The connect step under its time limit: a worker thread performs the one blocking platform
// connect while the calling thread waits for it in slices, running a pump step after each
// slice. The host-name lookup before it is waited for in the same way.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "connection/SocketHandle.h"
#include "platform/IPv4Address.h"

namespace vxt {

// Length of one slice of the connect wait; with the responsiveness component in use, the
// smaller of this and its IdleTimeOut.
inline constexpr int kConnectSliceMs = 125;
// The time limit that ConnectTimeout 0 stands for while the responsiveness component is in use.
inline constexpr int kConnectTimeoutWhenInUse = 120000;

// The thread that performs the blocking platform connects of one I/O handler, one at a time.
// Started by the handler's first connect under a time limit, it waits for the next one until
// the handler goes: under Wine, starting and ending a thread costs a millisecond or more per
// connect, handing a waiting thread its job a small part of that.
class ConnectWorker {
 public:
  ConnectWorker() = default;
  // Ends the thread. No connect may be running (ConnectUnderTimeLimit sees to that).
  ~ConnectWorker();
  ConnectWorker(const ConnectWorker&) = delete;
  ConnectWorker& operator=(const ConnectWorker&) = delete;

  // Hands the connect of binding to the thread, starting the thread when there is none yet (a
  // thread that cannot start raises, see StartWorkerThread). On success the connect reads the
  // socket's addresses; a failure is kept for RaiseKept, except 10009 and 10038, which a close
  // of the socket under the connect causes.
  void Start(TIdSocketHandle& binding);
  // Waits up to ms for the connect to end; true when it has.
  bool WaitFinished(int ms);
  bool Finished();
  // Waits without limit for the connect to end (its socket having been closed under it).
  void WaitUntilFinished();
  // Raises the failure that the ended connect kept, if any.
  void RaiseKept();

 private:
  void Loop();
  void Run(TIdSocketHandle& binding);

  std::mutex mutex_;
  // Signals a job handed over, a job ended, and the end of the thread.
  std::condition_variable changed_;
  TIdSocketHandle* job_ = nullptr;  // handed over, not yet taken by the thread
  bool finished_ = true;
  bool stopping_ = false;
  std::string message_;
  int32_t code_ = 0;
  std::exception_ptr unknown_failure_;
  std::thread thread_;
};

// Connects the socket of binding to its recorded peer. connect_timeout in ms: 0 means 120000
// when the responsiveness component is in use and otherwise a direct connect on the calling
// thread; -1 means no limit. When the limit passes, close_handler (which must close the socket
// and never raise) makes the pending connect fail inside the worker; the worker is waited for
// and EIdConnectTimeout "Connect timed out." is raised. A failure that the worker met is
// raised anew on the calling thread. The connect runs on worker, which is left waiting for the
// next one.
void ConnectUnderTimeLimit(TIdSocketHandle& binding, int connect_timeout,
                           const std::function<void()>& close_handler, ConnectWorker& worker);

// The address to connect to for host (see ResolvePeerAddress). While the responsiveness
// component is in use, a name is looked up by a worker thread while the calling thread waits
// for it without a limit, in the slices of the connect wait with a pump step after each: a slow
// or dead name server must not freeze the window. A lookup cannot be cancelled, so when
// socket_open() reports false after a pump step (a message handler closed the connection), the
// wait is given up at once with EIdClosedSocket "Disconnected." and the lookup is left to end on
// its own, its answer unread. Otherwise the lookup runs on the calling thread. A failed lookup
// raises a socket error with the lookup's code.
TIPv4Address ResolvePeerAddressWhilePumping(const std::string& host,
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

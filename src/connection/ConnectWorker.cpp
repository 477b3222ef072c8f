#include "connection/ConnectWorker.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "connection/IdAntiFreeze.h"
#include "connection/PeerAddress.h"
#include "failures/Exceptions.h"
#include "platform/NetworkLayer.h"

namespace vxt {

namespace {

std::function<void(int)>& WaitObserver() {
  static std::function<void(int)> observer;
  return observer;
}

std::function<void()>& StartHook() {
  static std::function<void()> hook;
  return hook;
}

// The slice of the connect wait and of the lookup wait.
int WaitSlice(bool in_use) {
  int slice = kConnectSliceMs;
  if (in_use && TIdAntiFreeze::CurrentIdleTimeOut() < slice) {
    slice = TIdAntiFreeze::CurrentIdleTimeOut();
  }
  // An IdleTimeOut of 0 or less would make slices that never use up the limit.
  return slice < 1 ? 1 : slice;
}

// Socket errors that the connect meets when the time limit has closed the socket under it.
bool ClosedUnderConnect(int32_t code) {
  return code == 10009 || code == 10038;
}

// What a lookup worker hands back. Shared with the worker, which may outlive the wait: a lookup
// cannot be cancelled, so a wait that is given up leaves the worker to finish into it alone.
struct LookupAnswer {
  std::mutex mutex;
  std::condition_variable finished_changed;
  bool finished = false;
  bool found = false;
  TIPv4Address ip;
  int32_t error_code = 0;
  std::exception_ptr failure;
};

void LookUp(SocketApi& api, const std::string& name, LookupAnswer& answer) {
  bool found = false;
  TIPv4Address ip;
  int32_t code = 0;
  std::exception_ptr failure;
  try {
    found = api.GetHostByName(name, ip, code);
  } catch (...) {
    failure = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(answer.mutex);
    answer.found = found;
    answer.ip = ip;
    answer.error_code = code;
    answer.failure = failure;
    answer.finished = true;
  }
  answer.finished_changed.notify_all();
}

}  // namespace

TIPv4Address ResolvePeerAddressWhilePumping(const std::string& host,
                                            const std::function<bool()>& socket_open) {
  if (std::optional<TIPv4Address> address = AddressWithoutLookup(host)) return *address;
  // Off the main thread nothing pumps, and nothing could close the connection meanwhile.
  if (!TIdAntiFreeze::InUse()) return ResolvePeerAddress(host);

  auto answer = std::make_shared<LookupAnswer>();
  SocketApi* api = &ActiveSocketApi();
  // The worker holds a use of the network layer of its own: the window, and with it every
  // other use, may be gone while the platform is still inside the lookup.
  StartWorkerThread([answer, api, host, use = NetworkLayerUse()] {
    LookUp(*api, host, *answer);
  }).detach();
  const int slice = WaitSlice(true);
  for (;;) {
    bool finished;
    {
      std::unique_lock<std::mutex> lock(answer->mutex);
      finished = answer->finished_changed.wait_for(lock, std::chrono::milliseconds(slice),
                                                   [&] { return answer->finished; });
    }
    TIdAntiFreeze::DoProcess(true);
    if (!socket_open()) throw EIdClosedSocket(kDisconnected);
    if (finished) break;
  }
  std::lock_guard<std::mutex> lock(answer->mutex);
  if (answer->failure) std::rethrow_exception(answer->failure);
  if (!answer->found) RaiseSocketFailure(answer->error_code);
  return answer->ip;
}

std::thread StartWorkerThread(std::function<void()> body) {
  try {
    if (StartHook()) StartHook()();
    return std::thread(std::move(body));
  } catch (const std::system_error& failure) {
    std::string text = failure.code().message();
    if (text.empty()) text = failure.what();
    throw EIdConnectException(text);
  }
}

void SetWorkerStartHookForTesting(std::function<void()> hook) {
  StartHook() = std::move(hook);
}

void SetConnectWaitObserverForTesting(std::function<void(int wait_ms)> observer) {
  WaitObserver() = std::move(observer);
}

ConnectWorker::~ConnectWorker() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ConnectWorker::Start(TIdSocketHandle& binding) {
  if (!thread_.joinable()) thread_ = StartWorkerThread([this] { Loop(); });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &binding;
    finished_ = false;
    message_.clear();
    code_ = 0;
    unknown_failure_ = nullptr;
  }
  changed_.notify_all();
}

bool ConnectWorker::WaitFinished(int ms) {
  if (WaitObserver()) WaitObserver()(ms);
  // The deadline is fixed before the wait, so spurious wake-ups neither shorten nor lengthen it.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_until(lock, deadline, [this] { return finished_; });
}

bool ConnectWorker::Finished() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

void ConnectWorker::WaitUntilFinished() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return finished_; });
}

void ConnectWorker::RaiseKept() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unknown_failure_) std::rethrow_exception(unknown_failure_);
  if (message_.empty()) return;
  if (code_ != 0) throw EIdSocketError(code_, message_);
  throw EIdConnectException(message_);
}

void ConnectWorker::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || job_ != nullptr; });
    if (job_ == nullptr) return;
    TIdSocketHandle& binding = *job_;
    job_ = nullptr;
    lock.unlock();
    Run(binding);
    lock.lock();
  }
}

void ConnectWorker::Run(TIdSocketHandle& binding) {
  std::string message;
  int32_t code = 0;
  std::exception_ptr unknown;
  try {
    binding.Connect();
  } catch (const EIdSocketError& e) {
    if (!ClosedUnderConnect(e.LastError())) {
      message = e.Message();
      code = e.LastError();
    }
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    unknown = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    message_ = std::move(message);
    code_ = code;
    unknown_failure_ = unknown;
    finished_ = true;
  }
  changed_.notify_all();
}

void ConnectUnderTimeLimit(TIdSocketHandle& binding, int connect_timeout,
                           const std::function<void()>& close_handler, ConnectWorker& worker) {
  const bool in_use = TIdAntiFreeze::InUse();
  int64_t limit = connect_timeout;
  if (limit == 0) {
    if (!in_use) {
      binding.Connect();
      return;
    }
    limit = kConnectTimeoutWhenInUse;
  }
  const int slice = WaitSlice(in_use);
  const bool no_limit = limit == -1;
  int64_t remaining = no_limit ? slice + 1 : limit;

  worker.Start(binding);
  // Also on the way out of a pump step that raises: the connect must not outlive the wait, so
  // the socket is closed under a pending connect and its end is waited for.
  struct ConnectEnded {
    ConnectWorker& worker;
    const std::function<void()>& close_handler;
    ~ConnectEnded() {
      if (!worker.Finished()) close_handler();
      worker.WaitUntilFinished();
    }
  } connect_ended{worker, close_handler};
  bool finished = false;
  while (remaining > slice) {
    worker.WaitFinished(slice);
    remaining = no_limit ? slice + 1 : remaining - slice;
    TIdAntiFreeze::DoProcess(true);
    if (worker.Finished()) {
      finished = true;
      break;
    }
  }
  // The last part of the limit, without a pump step; a connect made in it still counts.
  if (!finished) finished = worker.WaitFinished(static_cast<int>(remaining));
  if (!finished) {
    close_handler();
    worker.WaitUntilFinished();
    throw EIdConnectTimeout(kConnectTimedOut);
  }
  worker.RaiseKept();
}

}  // namespace vxt

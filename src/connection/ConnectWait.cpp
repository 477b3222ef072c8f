#include "connection/ConnectWait.h"

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

#include "connection/IOHandler.h"
#include "connection/IdAntiFreeze.h"
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

bool EqualsIgnoringCase(const std::string& text, const char* upper) {
  size_t i = 0;
  for (; i < text.size() && upper[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return i == text.size() && upper[i] == '\0';
}

// The address of a host that needs no lookup; nothing for a name that has to be looked up.
std::optional<TIPv4Address> AddressWithoutLookup(const std::string& host) {
  if (std::optional<TIPv4Address> address = ParseDottedIPv4(host)) return address;
  if (EqualsIgnoringCase(host, "LOCALHOST")) return TIPv4Address{{127, 0, 0, 1}};
  return std::nullopt;
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

TIPv4Address ResolvePeerAddressWhilePumping(const std::string& host) {
  if (std::optional<TIPv4Address> address = AddressWithoutLookup(host)) return *address;
  // Without the component in use nothing pumps: the lookup may block this thread.
  if (!TIdAntiFreeze::InUse()) {
    TIPv4Address ip;
    int32_t error_code = 0;
    if (!ActiveSocketApi().GetHostByName(host, ip, error_code)) RaiseSocketFailure(error_code);
    return ip;
  }

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
    // A pump step that fails (the window ends a running exchange that way when it closes)
    // ends the wait with its failure; the worker finishes into its own share of the answer.
    TIdAntiFreeze::DoProcess(true);
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

void ConnectUnderTimeLimit(TIdSocketHandle& binding, int connect_timeout) {
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

  // A refusal known at once ends the first slice at once, as a failure in the wait does.
  TSocketResult outcome = binding.StartConnect();
  bool completed = outcome.Failed();
  auto wait = [&](int ms) {
    if (WaitObserver()) WaitObserver()(ms);
    if (completed) return;
    outcome = binding.WaitConnected(ms > 0 ? ms : 0);
    completed = outcome.value != 0;
  };
  while (remaining > slice) {
    wait(slice);
    remaining = no_limit ? slice + 1 : remaining - slice;
    TIdAntiFreeze::DoProcess(true);
    // A handler run by the pump step may have closed the connection: nothing is left to wait
    // for.
    if (!binding.HandleAllocated()) return;
    if (completed) break;
  }
  // The last part of the limit, without a pump step; a connect made in it still counts.
  if (!completed) wait(static_cast<int>(remaining));
  if (!completed) throw EIdConnectTimeout(kConnectTimedOut);
  CheckSocketResult(outcome);
  binding.UpdateBindings();
}

}  // namespace vxt

#include "connection/IdAntiFreeze.h"

#include <atomic>

#include "failures/Exceptions.h"
#include "platform/System.h"

namespace vxt {

namespace {

std::atomic<TIdAntiFreeze*> registered{nullptr};

}  // namespace

TIdAntiFreeze::TIdAntiFreeze() {
  TIdAntiFreeze* expected = nullptr;
  if (!registered.compare_exchange_strong(expected, this)) {
    throw EIdException(kOnlyOneAntiFreeze);
  }
}

TIdAntiFreeze::~TIdAntiFreeze() {
  TIdAntiFreeze* expected = this;
  registered.compare_exchange_strong(expected, nullptr);
}

TIdAntiFreeze* TIdAntiFreeze::Instance() {
  return registered.load();
}

bool TIdAntiFreeze::InUse() {
  // The thread test comes first: the settings belong to the main thread and are not read
  // anywhere else.
  if (!IsMainThread()) return false;
  TIdAntiFreeze* instance = Instance();
  return instance != nullptr && instance->active_;
}

int TIdAntiFreeze::CurrentIdleTimeOut() {
  TIdAntiFreeze* instance = Instance();
  return instance != nullptr ? instance->idle_time_out_ : 0;
}

bool TIdAntiFreeze::HasPendingCheck() {
  if (!InUse()) return false;
  return static_cast<bool>(Instance()->pending_check_);
}

bool TIdAntiFreeze::MessagesPending() {
  if (!InUse()) return false;
  TPendingCheck check = Instance()->pending_check_;
  return check && check();
}

void TIdAntiFreeze::DoProcess(bool idle) {
  if (!InUse()) return;
  TIdAntiFreeze* instance = Instance();
  if (!idle && instance->only_when_idle_) return;
  // A copy: a message handler run by the pump may install another pump.
  TMessagePump pump = instance->pump_;
  if (pump) pump(instance->application_has_priority_);
}

}  // namespace vxt

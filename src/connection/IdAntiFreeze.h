// The responsiveness component: lets the window process its pending messages at fixed points
// inside the connection's blocking waits. At most one exists per process.
#pragma once

#include <functional>

namespace vxt {

class TIdAntiFreeze {
 public:
  // Processes pending window messages: all of them (until none is pending, never waiting for
  // more) when all_pending is true, otherwise at most one. Installed by the window.
  using TMessagePump = std::function<void(bool all_pending)>;

  // Registers the component as the process-wide instance; raises EIdException
  // "Only one TIdAntiFreeze can exist per application." when one is registered already.
  TIdAntiFreeze();
  ~TIdAntiFreeze();
  TIdAntiFreeze(const TIdAntiFreeze&) = delete;
  TIdAntiFreeze& operator=(const TIdAntiFreeze&) = delete;

  bool Active() const { return active_; }
  void SetActive(bool value) { active_ = value; }
  bool ApplicationHasPriority() const { return application_has_priority_; }
  void SetApplicationHasPriority(bool value) { application_has_priority_ = value; }
  int IdleTimeOut() const { return idle_time_out_; }
  void SetIdleTimeOut(int value) { idle_time_out_ = value; }
  bool OnlyWhenIdle() const { return only_when_idle_; }
  void SetOnlyWhenIdle(bool value) { only_when_idle_ = value; }

  void SetMessagePump(TMessagePump pump) { pump_ = std::move(pump); }

  // Tells whether window messages are waiting (input, a close request, a repaint). Installed by
  // the window; while one is installed, a long wait for data ends its silence in steps of
  // kWakeSlice milliseconds and runs a pump step when messages wait, so that the window answers
  // (and can be closed) while a silent server keeps the client waiting.
  using TPendingCheck = std::function<bool()>;
  void SetPendingCheck(TPendingCheck check) { pending_check_ = std::move(check); }
  static constexpr int kWakeSlice = 100;
  // True when in use and the installed check reports waiting messages.
  static bool MessagesPending();
  static bool HasPendingCheck();

  // The registered instance, or nullptr.
  static TIdAntiFreeze* Instance();
  // In use: registered, Active, and called on the program's main thread.
  static bool InUse();
  // The registered instance's IdleTimeOut (only meaningful while InUse()).
  static int CurrentIdleTimeOut();
  // One pump step; does nothing unless InUse() and (idle or not OnlyWhenIdle).
  static void DoProcess(bool idle);

 private:
  bool active_ = true;
  bool application_has_priority_ = true;
  int idle_time_out_ = 250;
  bool only_when_idle_ = true;
  TMessagePump pump_;
  TPendingCheck pending_check_;
};

}  // namespace vxt

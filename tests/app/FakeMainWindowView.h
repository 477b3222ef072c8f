// A fake main window: it keeps what the real one shows (the fields, the log as held and as
// drawn, the bar, the button, the timers, the menu item) and records the handlers' calls on it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/mainunit.h"

namespace vxt::testing {

class FakeMainWindowView : public MainWindowView {
 public:
  std::string ServerText() override { return server; }
  void SetServerText(const std::string& text) override { server = text; }
  std::string CustomerText() override { return customer; }
  void SetCustomerText(const std::string& text) override { customer = text; }
  std::string PinText() override { return pin; }
  void SetPinText(const std::string& text) override { pin = text; }
  TDate FirstDay() override { return first_day; }
  void SetFirstDay(const TDate& date) override { first_day = date; }
  TDate LastDay() override { return last_day; }
  void SetLastDay(const TDate& date) override { last_day = date; }

  // The log is drawn as the real one is: a cleared log and drawn entries at the next pump
  // step, the whole log by DrawLog; an undrawn entry also drops a drawing still waiting.
  void ClearLog() override {
    log.clear();
    paint_waiting = true;
  }
  void AppendLog(const std::string& entry, bool drawn) override {
    log.push_back(entry);
    calls.push_back("log: " + entry);
    paint_waiting = drawn;
  }
  void DrawLog() override {
    log_on_screen = log;
    paint_waiting = false;
  }
  void SetProgressMax(int32_t value) override;
  void SetProgressPosition(int32_t value) override;
  void SetReportButtonEnabled(bool enabled) override { button_enabled = enabled; }
  void SetTimerEnabled(bool enabled) override { timer_enabled = enabled; }
  void StartShowTimer(int delay_ms) override;
  void StopShowTimer() override { show_timer_ms = 0; }
  void SetLiveStatusChecked(bool checked) override { live_status_checked = checked; }
  bool ShellOpen(const TPath& path) override;
  void PumpMessages(bool all_pending) override;
  bool MessagesPending() override {
    ++pending_checks;
    return messages_pending || show_tick_queued;
  }
  void Destroy() override { destroyed = true; }

  // The window's message loop has its turn after a handler: a drawing that waits is done.
  void Idle() {
    if (paint_waiting) DrawLog();
  }

  // The show timer's time has passed: its tick waits in the queue (pending, as the real
  // queue reports it) until the next pump delivers it to on_show_tick, once. Nothing happens
  // while the timer is stopped.
  void ElapseShowTimer() { show_tick_queued = show_timer_ms > 0; }

  // The calls recorded whose line starts with prefix ("log: ", "max ", "pos ", "pump ").
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

  std::string server = DefaultServerHost();
  std::string customer = DefaultCustomer();
  std::string pin = DefaultPin();
  TDate first_day;
  TDate last_day;
  std::vector<std::string> log;
  std::vector<std::string> log_on_screen;
  bool paint_waiting = false;
  int32_t progress_max = 100;
  int32_t progress_position = 0;
  bool button_enabled = true;
  bool timer_enabled = false;
  int show_timer_ms = 0;  // 0: stopped
  bool show_tick_queued = false;
  // Every started show timer elapses at once: each exchange is long enough to be shown.
  bool show_timer_elapses_at_once = false;
  // The handler that the window calls for the show timer's tick.
  std::function<void()> on_show_tick;
  bool live_status_checked = false;
  bool destroyed = false;
  std::vector<std::string> calls;
  bool messages_pending = false;
  int pending_checks = 0;
  std::vector<TPath> shell_opened;
  // The log as the screen showed it when the shell was asked to open a report.
  std::vector<std::string> log_on_screen_at_shell_open;
  // What the shell reports for each open: success, or a failure (no viewer for .pdf).
  bool shell_open_succeeds = true;
  // Runs inside every pump, after a queued show tick: a stand-in for the messages that the
  // window handles while a handler blocks. It may clear itself.
  std::function<void()> on_pump;
};

}  // namespace vxt::testing

// A fake main window that records every call the handlers make on it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/mainunit.h"

namespace vxt::testing {

// Records the handlers' calls on the window in order, as readable lines ("log: ...",
// "max 150000", "pos 4096", "pump all", "button off", ...), and keeps the state of the fields.
class FakeMainWindowView : public MainWindowView {
 public:
  FakeMainWindowView();

  // ReportHost
  std::string ServerText() override { return server; }
  std::string CustomerText() override { return customer; }
  std::string PinText() override { return pin; }
  TDate FirstDay() override { return first_day; }
  TDate LastDay() override { return last_day; }
  void ClearLog() override;
  void AppendLog(const std::string& entry) override;
  void ProcessMessages() override;
  bool ShellOpen(const TPath& path) override;

  // MainWindowView
  void SetServerText(const std::string& text) override { server = text; }
  void SetCustomerText(const std::string& text) override { customer = text; }
  void SetPinText(const std::string& text) override { pin = text; }
  void SetFirstDay(const TDate& date) override { first_day = date; }
  void SetLastDay(const TDate& date) override { last_day = date; }
  int32_t ProgressMax() override { return progress_max; }
  void SetProgressMax(int32_t value) override;
  void SetProgressPosition(int32_t value) override;
  void SetReportButtonEnabled(bool enabled) override;
  void HoldLogDrawing(bool hold) override;
  void SetTimerEnabled(bool enabled) override;
  void StartShowTimer(int delay_ms) override;
  void StopShowTimer() override;
  void SetLiveStatusChecked(bool checked) override;
  void PumpMessages(bool all_pending) override;
  bool MessagesPending() override {
    ++pending_checks;
    return messages_pending || show_tick_queued;
  }

  // The show timer's time has passed: its tick waits in the queue (pending, as the real
  // queue reports it) until the next pump delivers it to on_show_tick, once. Nothing happens
  // while the timer is stopped.
  void ElapseShowTimer();

  // The calls recorded whose line starts with prefix.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

  std::string server;
  std::string customer;
  std::string pin;
  TDate first_day;
  TDate last_day;
  std::vector<std::string> log;
  int32_t progress_max = 100;
  int32_t progress_position = 0;
  bool button_enabled = true;
  bool log_drawing_held = false;
  bool timer_enabled = false;
  bool show_timer_running = false;
  bool show_tick_queued = false;
  // Every started show timer elapses at once: each exchange is long enough to be shown.
  bool show_timer_elapses_at_once = false;
  // The handler that the window calls for the show timer's tick.
  std::function<void()> on_show_tick;
  bool live_status_checked = false;
  std::vector<std::string> calls;
  bool messages_pending = false;
  int pending_checks = 0;
  std::vector<TPath> shell_opened;
  // What the shell reports for each open: success, or a failure (no viewer for .pdf).
  bool shell_open_succeeds = true;
  // Runs inside every pump (ProcessMessages and PumpMessages alike), after a queued show tick:
  // a stand-in for the messages that the window handles while a handler blocks. It may clear
  // itself.
  std::function<void()> on_pump;

 private:
  void Pumped();
};

}  // namespace vxt::testing

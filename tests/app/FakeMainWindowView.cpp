#include "FakeMainWindowView.h"

namespace vxt::testing {

FakeMainWindowView::FakeMainWindowView()
    : server(DefaultServerHost()), customer(DefaultCustomer()), pin(DefaultPin()) {}

void FakeMainWindowView::ClearLog() {
  log.clear();
  calls.push_back("clear log");
}

void FakeMainWindowView::AppendLog(const std::string& entry) {
  log.push_back(entry);
  calls.push_back("log: " + entry);
}

void FakeMainWindowView::ProcessMessages() {
  calls.push_back("process messages");
  Pumped();
}

bool FakeMainWindowView::ShellOpen(const TPath& path) {
  shell_opened.push_back(path);
  calls.push_back("shell open " + path.Bytes());
  return shell_open_succeeds;
}

void FakeMainWindowView::SetProgressMax(int32_t value) {
  progress_max = value;
  calls.push_back("max " + std::to_string(value));
}

void FakeMainWindowView::SetProgressPosition(int32_t value) {
  progress_position = value;
  calls.push_back("pos " + std::to_string(value));
}

void FakeMainWindowView::SetReportButtonEnabled(bool enabled) {
  button_enabled = enabled;
  calls.push_back(enabled ? "button on" : "button off");
}

void FakeMainWindowView::HoldLogDrawing(bool hold) {
  log_drawing_held = hold;
  calls.push_back(hold ? "hold log drawing" : "draw log");
}

void FakeMainWindowView::SetTimerEnabled(bool enabled) {
  timer_enabled = enabled;
  calls.push_back(enabled ? "timer on" : "timer off");
}

void FakeMainWindowView::StartShowTimer(int delay_ms) {
  show_timer_running = true;
  show_tick_queued = false;
  calls.push_back("show timer " + std::to_string(delay_ms));
  if (show_timer_elapses_at_once) ElapseShowTimer();
}

void FakeMainWindowView::StopShowTimer() {
  show_timer_running = false;
  show_tick_queued = false;
  calls.push_back("show timer off");
}

void FakeMainWindowView::ElapseShowTimer() {
  if (show_timer_running) show_tick_queued = true;
}

void FakeMainWindowView::SetLiveStatusChecked(bool checked) {
  live_status_checked = checked;
  calls.push_back(checked ? "checked" : "unchecked");
}

void FakeMainWindowView::PumpMessages(bool all_pending) {
  calls.push_back(all_pending ? "pump all" : "pump one");
  Pumped();
}

void FakeMainWindowView::Pumped() {
  if (show_tick_queued) {
    // One shot: the window stops the timer before it calls the handler.
    show_tick_queued = false;
    show_timer_running = false;
    if (on_show_tick) on_show_tick();
  }
  if (!on_pump) return;
  // A copy, so that the hook may replace or clear itself while it runs.
  std::function<void()> action = on_pump;
  action();
}

std::vector<std::string> FakeMainWindowView::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& call : calls) {
    if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
  }
  return found;
}

}  // namespace vxt::testing

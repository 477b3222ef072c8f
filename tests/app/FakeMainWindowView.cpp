#include "FakeMainWindowView.h"

namespace vxt::testing {

void FakeMainWindowView::SetProgressMax(int32_t value) {
  progress_max = value;
  calls.push_back("max " + std::to_string(value));
}

void FakeMainWindowView::SetProgressPosition(int32_t value) {
  progress_position = value;
  calls.push_back("pos " + std::to_string(value));
}

void FakeMainWindowView::StartShowTimer(int delay_ms) {
  show_timer_ms = delay_ms;
  show_tick_queued = false;
  if (show_timer_elapses_at_once) ElapseShowTimer();
}

bool FakeMainWindowView::ShellOpen(const TPath& path) {
  shell_opened.push_back(path);
  log_on_screen_at_shell_open = log_on_screen;
  return shell_open_succeeds;
}

void FakeMainWindowView::PumpMessages(bool all_pending) {
  calls.push_back(all_pending ? "pump all" : "pump one");
  if (paint_waiting) DrawLog();
  if (show_tick_queued) {
    // One shot: the window stops the timer before it calls the handler.
    show_tick_queued = false;
    show_timer_ms = 0;
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

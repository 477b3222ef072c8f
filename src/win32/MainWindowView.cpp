// The view that the window logic drives: its fields, log, bar, button, timer and menu item,
// the settings list, the shell, and the message pump that runs inside the exchanges.

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include "ControlIds.h"
#include "RunTimeImports.h"
#include "app/Settings.h"
#include "mainunit_win32.h"
#include "platform/win32/WidePath.h"

namespace vxt::win32 {

void TVXTMainWindow::ShowStoreInList() {
  ListView& list = controls_.vl;
  if (!logic_ || !list.Hwnd()) return;
  list.Clear();
  for (const std::string& line : logic_->vl.Lines()) {
    const TSettingsEntry entry = SplitSettingsEntry(line);
    if (!list.AddRow(std::string(entry.name), std::string(entry.value))) break;
  }
}

std::string TVXTMainWindow::ServerText() {
  return controls_.Edit1.Text();
}
void TVXTMainWindow::SetServerText(const std::string& text) {
  controls_.Edit1.SetText(text);
}
std::string TVXTMainWindow::CustomerText() {
  return controls_.Edit3.Text();
}
void TVXTMainWindow::SetCustomerText(const std::string& text) {
  controls_.Edit3.SetText(text);
}
std::string TVXTMainWindow::PinText() {
  return controls_.Edit2.Text();
}
void TVXTMainWindow::SetPinText(const std::string& text) {
  controls_.Edit2.SetText(text);
}
TDate TVXTMainWindow::FirstDay() {
  return controls_.d1.Date();
}
void TVXTMainWindow::SetFirstDay(const TDate& date) {
  controls_.d1.SetDate(date);
}
TDate TVXTMainWindow::LastDay() {
  return controls_.d2.Date();
}
void TVXTMainWindow::SetLastDay(const TDate& date) {
  controls_.d2.SetDate(date);
}

void TVXTMainWindow::ClearLog() {
  controls_.Memo1.Clear();
}
void TVXTMainWindow::AppendLog(const std::string& entry, bool drawn) {
  Memo& log = controls_.Memo1;
  log.Append(entry);
  // The repaint that the append asked for is dropped; DrawLog asks for one of all.
  if (!drawn) ValidateRect(log.Hwnd(), nullptr);
}
void TVXTMainWindow::DrawLog() {
  RedrawWindow(controls_.Memo1.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void TVXTMainWindow::SetProgressMax(int32_t value) {
  controls_.pb.SetMax(value);
  // A new range redraws the bar: the first move after it waits for the frame's end.
  bar_drawn_at_ = std::chrono::steady_clock::now();
}

void TVXTMainWindow::SetProgressPosition(int32_t value) {
  bar_position_ = value;
  const auto since_drawn = std::chrono::steady_clock::now() - bar_drawn_at_;
  if (value == 0 || since_drawn >= kBarFrame) {
    DrawBar();
    return;
  }
  if (bar_waits_) return;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(kBarFrame - since_drawn).count();
  bar_waits_ = SetTimer(hwnd_, kBarFrameTimerId, static_cast<UINT>(left > 0 ? left : 1), nullptr) != 0;
  // Without a timer the move is drawn now rather than lost.
  if (!bar_waits_) DrawBar();
}

void TVXTMainWindow::DrawBar() {
  if (bar_waits_) {
    KillTimer(hwnd_, kBarFrameTimerId);
    bar_waits_ = false;
  }
  controls_.pb.SetPosition(bar_position_);
  bar_drawn_at_ = std::chrono::steady_clock::now();
}

void TVXTMainWindow::SetReportButtonEnabled(bool enabled) {
  Button& button = controls_.BitBtn1;
  button.SetEnabled(enabled);
  // Disabling the focused button leaves the window without a focus, and then Tab does
  // nothing; give the focus back to the button.
  if (enabled && !GetFocus() && GetActiveWindow() == hwnd_) SetFocus(button.Hwnd());
}

// A timer without a window would be a thread timer, whose ticks no window handles.
void TVXTMainWindow::SetTimerEnabled(bool enabled) {
  if (!hwnd_) return;
  if (enabled) {
    SetTimer(hwnd_, kTimer1Id, kTimer1IntervalMs, nullptr);
  } else {
    KillTimer(hwnd_, kTimer1Id);
  }
}

void TVXTMainWindow::StartShowTimer(int delay_ms) {
  if (hwnd_) SetTimer(hwnd_, kShowTimerId, static_cast<UINT>(delay_ms), nullptr);
}

void TVXTMainWindow::StopShowTimer() {
  KillTimer(hwnd_, kShowTimerId);
}

void TVXTMainWindow::Destroy() {
  DestroyWindow(hwnd_);
}

void TVXTMainWindow::SetLiveStatusChecked(bool checked) {
  HMENU system_menu = GetSystemMenu(hwnd_, FALSE);
  if (system_menu) {
    CheckMenuItem(system_menu, kLiveStatusMenuId,
                  MF_BYCOMMAND | static_cast<UINT>(checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

bool TVXTMainWindow::ShellOpen(const TPath& path) {
  const auto shell_execute = ShellExecuteWFunction();
  if (shell_execute == nullptr) return false;
  // The path as the system holds it: a folder named outside the ANSI code page has no A name.
  HINSTANCE result =
      shell_execute(hwnd_, L"OPEN", WidePath(path).c_str(), nullptr, nullptr, SW_SHOW);
  // Not a handle: a result above 32 is success, any other one an error code.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void TVXTMainWindow::PumpMessages(bool all_pending) {
  MSG msg;
  // The tick that shows a running exchange comes, like every timer's message, after the other
  // messages of this step: a click among them is ignored by the running exchange all the same.
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The program's own loop must see the quit request: put it back and stop pumping.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!all_pending) return;
  }
}

bool TVXTMainWindow::MessagesPending() {
  // The high word is what waits in the queue now; GetQueueStatus neither removes nor
  // dispatches anything (PeekMessage would deliver sent messages).
  return HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0;
}

}  // namespace vxt::win32

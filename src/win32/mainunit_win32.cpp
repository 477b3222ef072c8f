// The main window VXTMain: its class, its creation and its window procedure. The procedure
// finds its object through GWLP_USERDATA (set on WM_NCCREATE), turns each message into one
// handler of the portable logic, and shows what a handler raises by the default failure
// display: no failure crosses the window procedure. The logic decides everything about the
// exchanges, the window's end during one included; the window delivers its messages and shows
// what the logic tells it (the view, at the end of this file).
#include "mainunit_win32.h"

#include <exception>

#include "ControlIds.h"
#include "FailureBoxes.h"
#include "RunTimeImports.h"
#include "ScopedGdi.h"
#include "app/LayoutRules.h"
#include "app/Settings.h"
#include "failures/Exceptions.h"
#include "platform/System.h"
#include "platform/win32/WidePath.h"
#include "resource.h"

namespace vxt::win32 {

namespace {

int SystemDpi() {
  const ScopedGetDC screen(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

}  // namespace

TVXTMainWindow::TVXTMainWindow(HINSTANCE instance) : instance_(instance) {}

TVXTMainWindow::~TVXTMainWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
  logic_.reset();
}

bool TVXTMainWindow::Create() {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance_;
  window_class.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_VXTVANNIKORDE));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageA(instance_, MAKEINTRESOURCEA(IDI_VXTVANNIKORDE), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = kMainWindowClass;
  if (!RegisterClassExA(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    DWORD error = GetLastError();
    failure_ = {"EOSError", SystemErrorText(error), ImageOffset(__builtin_return_address(0))};
    return false;
  }

  dpi_ = SystemDpi();
  RECT frame{0, 0, ScaleToDpi(kClientWidth, dpi_), ScaleToDpi(kClientHeight, dpi_)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

  HWND hwnd = CreateWindowExA(kWindowExStyle, kMainWindowClass, kWindowCaption, kWindowStyle, left,
                              top, width, height, nullptr, nullptr, instance_, this);
  if (!hwnd) {
    if (failure_.class_name.empty()) {
      DWORD error = GetLastError();
      failure_ = {"EOSError", SystemErrorText(error), ImageOffset(__builtin_return_address(0))};
    }
    return false;
  }
  return true;
}

void TVXTMainWindow::Show(int show_command) {
  // The period and the settings are in the fields before the window first appears; a
  // failure is shown now, and the window then opens with what the fields hold.
  Guarded(&TVXTMain::FormShow);
  ShowStoreInList();
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  if (GetActiveWindow() == hwnd_ && !GetFocus()) SetFocus(controls_.BitBtn1.Hwnd());
}

bool TVXTMainWindow::PreTranslate(MSG& msg) {
  return hwnd_ && IsDialogMessageA(hwnd_, &msg);
}

LRESULT CALLBACK TVXTMainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  TVXTMainWindow* self;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    self = static_cast<TVXTMainWindow*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TVXTMainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, message, wparam, lparam);
  LRESULT result = self->HandleMessage(message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

LRESULT TVXTMainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_TIMER:
      OnTimer(wparam);
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == kLiveStatusMenuId) {
        OnSysCommand(wparam);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      OnActivate(wparam);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_ENDSESSION:
      // Logging off or shutting down ends the program without the closing handler: the
      // settings file stays as it was.
      if (wparam) {
        KillTimer(hwnd_, kTimer1Id);
        ExitProcess(0);
      }
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

bool TVXTMainWindow::OnCreate() {
  CreateControlsAndMenu();
  try {
    logic_ = std::make_unique<TVXTMain>(*this);
    logic_->FormCreate();
    return true;
  } catch (const Exception& failure) {
    failure_ = {failure.ClassName(), failure.Message(), ImageOffset(__builtin_return_address(0))};
  } catch (const std::exception& failure) {
    failure_ = {"Exception", failure.what(), ImageOffset(__builtin_return_address(0))};
  }
  logic_.reset();
  return false;
}

void TVXTMainWindow::CreateControlsAndMenu() {
  font_.Reset(CreateFontA(ScaleToDpi(kFontHeight, dpi_), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, kFontFace));
  CreateControls(ControlParent{hwnd_, instance_, font_.Get(), dpi_}, controls_);
  controls_.Edit1.SetText(DefaultServerHost());
  controls_.Edit3.SetText(DefaultCustomer());
  controls_.Edit2.SetText(DefaultPin());

  HMENU system_menu = GetSystemMenu(hwnd_, FALSE);
  if (system_menu) {
    AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(system_menu, MF_STRING | MF_UNCHECKED, kLiveStatusMenuId, kLiveStatusMenuText);
  }
}

void TVXTMainWindow::Guarded(void (TVXTMain::*handler)()) {
  if (!logic_) return;
  try {
    (logic_.get()->*handler)();
  } catch (const Exception& failure) {
    ShowDefaultFailure(hwnd_, failure.Message());
  } catch (const std::exception& failure) {
    ShowDefaultFailure(hwnd_, failure.what());
  }
}

void TVXTMainWindow::OnCommand(int id, int code) {
  if (id == kBitBtn1Id && code == BN_CLICKED) Guarded(&TVXTMain::BitBtn1Click);
}

void TVXTMainWindow::OnTimer(WPARAM id) {
  switch (id) {
    case kTimer1Id:
      Guarded(&TVXTMain::Timer1Timer);
      break;
    case kShowTimerId:
      // One shot: a system timer repeats until it is killed.
      KillTimer(hwnd_, kShowTimerId);
      Guarded(&TVXTMain::ShowTimerTimer);
      break;
    case kBarFrameTimerId:
      // KillTimer leaves a tick already queued where it is.
      if (bar_waits_) DrawBar();
      break;
    default:
      break;
  }
}

void TVXTMainWindow::OnSysCommand(WPARAM) {
  Guarded(&TVXTMain::LiveStatusMenuClick);
}

void TVXTMainWindow::OnActivate(WPARAM state) {
  // A plain window does not keep its focused control across deactivation; put the focus
  // back where it was (the report button the first time).
  if (LOWORD(state) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) focus_before_deactivation_ = focus;
  } else if (!HIWORD(state)) {
    HWND target = focus_before_deactivation_;
    if (!target || !IsWindow(target) || !IsWindowEnabled(target)) {
      target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    }
    if (target) SetFocus(target);
  }
}

void TVXTMainWindow::OnClose() {
  // A failed save is shown, and the window closes all the same: the settings store keeps the
  // old file intact, and a window that cannot be closed would be worse.
  Guarded(&TVXTMain::FormClose);
  ShowStoreInList();
  // Gone from the screen at once, also while an exchange still has to return.
  ShowWindow(hwnd_, SW_HIDE);
  Guarded(&TVXTMain::Close);
}

void TVXTMainWindow::OnDestroy() {
  // The logic stays until the window object ends: the destruction may come from inside it.
  if (!failure_.class_name.empty()) return;  // creation failed: no loop to end
  PostQuitMessage(0);
}

// The view: what the logic shows, and the settings list.
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
  RedrawWindow(controls_.Memo1.Hwnd(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
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
  bar_waits_ =
      SetTimer(hwnd_, kBarFrameTimerId, static_cast<UINT>(left > 0 ? left : 1), nullptr) != 0;
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

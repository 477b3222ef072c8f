// The main window VXTMain: its class, its creation and its window procedure. The procedure
// finds its object through GWLP_USERDATA (set on WM_NCCREATE), turns each message into one
// handler of the portable logic, and shows what a handler raises by the default failure
// display: no failure crosses the window procedure. The logic decides everything about the
// exchanges, the window's end during one included; the window only delivers.
#include "mainunit_win32.h"

#include <exception>

#include "ControlIds.h"
#include "FailureBoxes.h"
#include "ScopedGdi.h"
#include "app/LayoutRules.h"
#include "failures/Exceptions.h"
#include "platform/System.h"
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
  Guarded([this] { logic_->FormShow(); });
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

template <typename Handler>
void TVXTMainWindow::Guarded(Handler&& handler) {
  if (!logic_) return;
  try {
    handler();
  } catch (const Exception& failure) {
    ShowDefaultFailure(hwnd_, failure.Message());
  } catch (const std::exception& failure) {
    ShowDefaultFailure(hwnd_, failure.what());
  }
}

void TVXTMainWindow::OnCommand(int id, int code) {
  if (id == kBitBtn1Id && code == BN_CLICKED) Guarded([this] { logic_->BitBtn1Click(); });
}

void TVXTMainWindow::OnTimer(WPARAM id) {
  switch (id) {
    case kTimer1Id:
      Guarded([this] { logic_->Timer1Timer(); });
      break;
    case kShowTimerId:
      // One shot: a system timer repeats until it is killed.
      KillTimer(hwnd_, kShowTimerId);
      Guarded([this] { logic_->ShowTimerTimer(); });
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
  Guarded([this] { logic_->LiveStatusMenuClick(); });
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
  Guarded([this] { logic_->FormClose(); });
  ShowStoreInList();
  // Gone from the screen at once, also while an exchange still has to return.
  ShowWindow(hwnd_, SW_HIDE);
  Guarded([this] { logic_->Close(); });
}

void TVXTMainWindow::OnDestroy() {
  // The logic stays until the window object ends: the destruction may come from inside it.
  if (!failure_.class_name.empty()) return;  // creation failed: no loop to end
  PostQuitMessage(0);
}

}  // namespace vxt::win32

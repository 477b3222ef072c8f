// The main window VXTMain. The window procedure finds its object through GWLP_USERDATA (set on
// WM_NCCREATE), turns each message into one handler of the portable logic, and shows what a
// handler raises by the default failure display: no failure crosses the window procedure.
#include "mainunit_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <exception>

#include "ControlIds.h"
#include "failures/Exceptions.h"
#include "platform/System.h"
#include "resource.h"

namespace vxt::win32 {

TVXTMainWindow* VXTMain = nullptr;

namespace {

constexpr int kClientWidth = 349;
constexpr int kClientHeight = 275;
constexpr int kFontHeight = -11;
constexpr char kFontFace[] = "Tahoma";
constexpr char kStartupFailureCaption[] = "Application Error";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditStyle = kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kLabelStyle = kChild | SS_LEFT | SS_NOPREFIX;
// A log that wraps: ES_AUTOVSCROLL without a scroll bar, since an edit without it refuses
// text beyond its visible lines; no ES_AUTOHSCROLL, so long lines wrap.
constexpr DWORD kMemoStyle =
    kChild | WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
constexpr DWORD kPickerStyle = kChild | WS_TABSTOP | DTS_SHORTDATEFORMAT;
constexpr DWORD kListStyle =
    kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;

struct ControlLayout {
  int id;
  const char* class_name;
  const char* text;
  DWORD style;
  DWORD ex_style;
  int left, top, width, height;  // client pixels at 96 dpi; a label's width is its least
};

// In the order of creation, which is also the tab order (the Z order that the dialog manager
// walks); the labels have no tab stop.
const ControlLayout kLayout[] = {
    {kBitBtn1Id, "Button", "Izvjestaj", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 127, 95, 75, 25},
    {kEdit1Id, "Edit", "", kEditStyle, WS_EX_CLIENTEDGE, 46, 5, 121, 21},
    {kLabel1Id, "Static", "Server", kLabelStyle, 0, 8, 8, 32, 13},
    {kMemo1Id, "Edit", "", kMemoStyle, WS_EX_CLIENTEDGE, 8, 135, 333, 104},
    {kLabel3Id, "Static", "Kupac", kLabelStyle, 0, 8, 43, 29, 13},
    {kEdit3Id, "Edit", "", kEditStyle, WS_EX_CLIENTEDGE, 6, 57, 45, 21},
    {kD1Id, DATETIMEPICK_CLASSA, "", kPickerStyle, 0, 109, 57, 112, 21},
    {kD2Id, DATETIMEPICK_CLASSA, "", kPickerStyle, 0, 226, 57, 113, 21},
    {kPbId, PROGRESS_CLASSA, "", kChild | PBS_SMOOTH, 0, 8, 245, 333, 17},
    {kLabel2Id, "Static", "PIN", kLabelStyle, 0, 60, 43, 17, 13},
    {kEdit2Id, "Edit", "", kEditStyle, WS_EX_CLIENTEDGE, 58, 57, 45, 21},
    {kLabel4Id, "Static", "Period", kLabelStyle, 0, 109, 43, 30, 13},
    {kVlId, WC_LISTVIEWA, "", kListStyle, WS_EX_CLIENTEDGE, 345, 67, 306, 300},
};

// The width of text in the font that control draws with (the system font when it has none).
int TextWidth(HWND control, const char* text) {
  HDC dc = GetDC(control);
  if (!dc) return 0;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
  SIZE extent{0, 0};
  if (!GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent)) extent.cx = 0;
  if (old) SelectObject(dc, old);
  ReleaseDC(control, dc);
  return extent.cx;
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

uintptr_t ImageOffset(const void* address) {
  return reinterpret_cast<uintptr_t>(address) -
         reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
}

std::string ExecutableFileName() {
  std::string path = ExecutablePath();
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

LRESULT CALLBACK MemoSubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR) {
  if (message == WM_GETDLGCODE) {
    LRESULT code = DefSubclassProc(hwnd, message, wparam, lparam);
    // A multi-line edit wants every key, Tab included; here Tab moves the focus on, as in
    // the other fields. Return still reaches the log.
    const MSG* msg = reinterpret_cast<const MSG*>(lparam);
    if (msg && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) && msg->wParam == VK_TAB) {
      code &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    }
    // Tabbing into the log must not select all of it.
    return code & ~DLGC_HASSETSEL;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, MemoSubclassProc, 0);
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

void ShowStartupFailure(const StartupFailure& failure) {
  std::string text = StartupFailureText(failure, ExecutableFileName());
  MessageBoxA(nullptr, text.c_str(), kStartupFailureCaption, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void ShowDefaultFailure(HWND owner, const std::string& message) {
  std::string text = FailureDisplayText(message);
  MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

int ScaleToDpi(int value, int dpi) {
  return MulDiv(value, dpi, 96);
}

TVXTMainWindow::TVXTMainWindow(HINSTANCE instance) : instance_(instance) {
  VXTMain = this;
}

TVXTMainWindow::~TVXTMainWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
  logic_.reset();
  if (font_) DeleteObject(font_);
  if (VXTMain == this) VXTMain = nullptr;
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
  if (GetActiveWindow() == hwnd_ && !GetFocus()) SetFocus(Control(kBitBtn1Id));
}

bool TVXTMainWindow::PreTranslate(MSG& msg) {
  return hwnd_ && !destroying_ && IsDialogMessageA(hwnd_, &msg);
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
      if (wparam == kTimer1Id && !close_pending_) {
        Guarded([this] { logic_->Timer1Timer(); });
        FinishPendingClose();
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == kLiveStatusMenuId) {
        OnSysCommand(wparam);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // A plain window does not keep its focused control across deactivation; put the
      // focus back where it was (the report button the first time).
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focus_before_deactivation_ = focus;
      } else if (!HIWORD(wparam)) {
        HWND target = focus_before_deactivation_;
        if (!target || !IsWindow(target) || !IsWindowEnabled(target)) {
          target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
        }
        if (target) SetFocus(target);
      }
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
      destroying_ = true;
      KillTimer(hwnd_, kTimer1Id);
      logic_.reset();
      if (!failure_.class_name.empty()) return 0;  // creation failed: no loop to end
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

bool TVXTMainWindow::OnCreate() {
  CreateControls();
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

void TVXTMainWindow::CreateControls() {
  font_ = CreateFontA(ScaleToDpi(kFontHeight, dpi_), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, kFontFace);
  for (const ControlLayout& layout : kLayout) {
    HWND control = CreateWindowExA(layout.ex_style, layout.class_name, layout.text, layout.style,
                                   ScaleToDpi(layout.left, dpi_), ScaleToDpi(layout.top, dpi_),
                                   ScaleToDpi(layout.width, dpi_), ScaleToDpi(layout.height, dpi_),
                                   hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)),
                                   instance_, nullptr);
    if (control && font_) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // A label's designed width is that of its text in one Tahoma at 96 dpi. Another build
    // of Tahoma, a substitute face where Tahoma is missing, or the rounding at another
    // resolution makes the text wider, and a static control clips what does not fit: a
    // label takes the width of its text when that is more. Its place and height stay.
    if (control && layout.style == kLabelStyle) {
      int width = TextWidth(control, layout.text);
      if (width > ScaleToDpi(layout.width, dpi_)) {
        SetWindowPos(control, nullptr, 0, 0, width, ScaleToDpi(layout.height, dpi_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
    }
  }

  SetControlText(kEdit1Id, DefaultServerHost());
  SetControlText(kEdit3Id, DefaultCustomer());
  SetControlText(kEdit2Id, DefaultPin());

  HWND memo = Control(kMemo1Id);
  // No length limit: the default of a multi-line edit is 32767 characters.
  SendMessageA(memo, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  SetWindowSubclass(memo, MemoSubclassProc, 0, 0);

  for (int id : {kD1Id, kD2Id}) {
    if (font_) SendMessageA(Control(id), DTM_SETMCFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }

  HWND bar = Control(kPbId);
  SendMessageA(bar, PBM_SETRANGE32, 0, 100);
  SendMessageA(bar, PBM_SETSTEP, 1, 0);
  SendMessageA(bar, PBM_SETPOS, 0, 0);

  HWND list = Control(kVlId);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const char* titles[] = {"Key", "Value"};
  for (int column = 0; column < 2; ++column) {
    LVCOLUMNA lv_column{};
    lv_column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    lv_column.cx = ScaleToDpi(column == 0 ? 120 : 180, dpi_);
    lv_column.pszText = const_cast<char*>(titles[column]);
    lv_column.iSubItem = column;
    SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&lv_column));
  }

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
  if (id == kBitBtn1Id && code == BN_CLICKED && !close_pending_) {
    Guarded([this] { logic_->BitBtn1Click(); });
    FinishPendingClose();
  }
}

void TVXTMainWindow::OnSysCommand(WPARAM) {
  if (close_pending_) return;
  Guarded([this] { logic_->LiveStatusMenuClick(); });
  FinishPendingClose();
}

void TVXTMainWindow::OnClose() {
  if (close_pending_ || destroying_) return;  // saved already; the window ends shortly
  // A failed save is shown, and the window closes all the same: the settings store keeps the
  // old file intact, and a window that cannot be closed would be worse.
  Guarded([this] { logic_->FormClose(); });
  ShowStoreInList();
  if (logic_ && logic_->ExchangeRunning()) {
    // This close arrived from a pump step inside the exchange, which is still on the stack:
    // end the exchange, and leave the window to be destroyed when the exchange has returned.
    close_pending_ = true;
    SetTimerEnabled(false);
    logic_->AbortExchange();
    ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  DestroyWindow(hwnd_);
}

void TVXTMainWindow::FinishPendingClose() {
  if (!close_pending_ || !hwnd_ || destroying_) return;
  if (logic_ && logic_->ExchangeRunning()) return;  // an outer exchange is still unwinding
  DestroyWindow(hwnd_);
}

void TVXTMainWindow::ShowStoreInList() {
  HWND list = Control(kVlId);
  if (!logic_ || !list) return;
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const std::string& line : logic_->vl.Lines()) {
    size_t equals = line.find('=');
    std::string name = line.substr(0, equals);
    std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = name.data();
    int index =
        static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) break;
    item.iItem = index;
    item.iSubItem = 1;
    item.pszText = value.data();
    SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    ++row;
  }
}

std::string TVXTMainWindow::ControlText(int id) const {
  HWND control = Control(id);
  int length = GetWindowTextLengthA(control);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(control, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

void TVXTMainWindow::SetControlText(int id, const std::string& text) {
  SetWindowTextA(Control(id), text.c_str());
}

TDate TVXTMainWindow::PickerDate(int id) const {
  SYSTEMTIME time{};
  if (SendMessageA(Control(id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) !=
      GDT_VALID) {
    GetLocalTime(&time);
  }
  return TDate{time.wYear, time.wMonth, time.wDay};
}

void TVXTMainWindow::SetPickerDate(int id, const TDate& date) {
  HWND picker = Control(id);
  SYSTEMTIME time{};
  // Only the date changes; the picker keeps its time of day.
  if (SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) != GDT_VALID) {
    GetLocalTime(&time);
  }
  time.wYear = static_cast<WORD>(date.year);
  time.wMonth = static_cast<WORD>(date.month);
  time.wDay = static_cast<WORD>(date.day);
  // The picker may or may not work the weekday out itself.
  time.wDayOfWeek = static_cast<WORD>(DayOfWeek(date));
  SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
}

std::string TVXTMainWindow::ServerText() {
  return ControlText(kEdit1Id);
}
std::string TVXTMainWindow::CustomerText() {
  return ControlText(kEdit3Id);
}
std::string TVXTMainWindow::PinText() {
  return ControlText(kEdit2Id);
}
TDate TVXTMainWindow::FirstDay() {
  return PickerDate(kD1Id);
}
TDate TVXTMainWindow::LastDay() {
  return PickerDate(kD2Id);
}
void TVXTMainWindow::SetServerText(const std::string& text) {
  SetControlText(kEdit1Id, text);
}
void TVXTMainWindow::SetCustomerText(const std::string& text) {
  SetControlText(kEdit3Id, text);
}
void TVXTMainWindow::SetPinText(const std::string& text) {
  SetControlText(kEdit2Id, text);
}
void TVXTMainWindow::SetFirstDay(const TDate& date) {
  SetPickerDate(kD1Id, date);
}
void TVXTMainWindow::SetLastDay(const TDate& date) {
  SetPickerDate(kD2Id, date);
}

void TVXTMainWindow::ClearLog() {
  HWND memo = Control(kMemo1Id);
  SetWindowTextA(memo, "");
  UpdateWindow(memo);
}

void TVXTMainWindow::AppendLog(const std::string& entry) {
  HWND memo = Control(kMemo1Id);
  // Selection positions count characters, which GetWindowTextLengthW gives exactly.
  LPARAM end = GetWindowTextLengthW(memo);
  SendMessageA(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
  std::string text = entry + "\r\n";
  SendMessageA(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(memo, EM_SCROLLCARET, 0, 0);
}

void TVXTMainWindow::ProcessMessages() {
  PumpMessages(true);
}

bool TVXTMainWindow::ShellOpen(const std::string& path) {
  HINSTANCE result = ShellExecuteA(hwnd_, "OPEN", path.c_str(), nullptr, nullptr, SW_SHOW);
  // Not a handle: a result above 32 is success, any other one an error code.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

int32_t TVXTMainWindow::ProgressMax() {
  return static_cast<int32_t>(SendMessageA(Control(kPbId), PBM_GETRANGE, FALSE, 0));
}

void TVXTMainWindow::SetProgressMax(int32_t value) {
  SendMessageA(Control(kPbId), PBM_SETRANGE32, 0, value);
}

void TVXTMainWindow::SetProgressPosition(int32_t value) {
  SendMessageA(Control(kPbId), PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void TVXTMainWindow::SetReportButtonEnabled(bool enabled) {
  HWND button = Control(kBitBtn1Id);
  EnableWindow(button, enabled);
  // Disabling the focused button leaves the window without a focus, and then Tab does
  // nothing; give the focus back to the button.
  if (enabled && !GetFocus() && GetActiveWindow() == hwnd_) SetFocus(button);
}

void TVXTMainWindow::SetTimerEnabled(bool enabled) {
  if (!hwnd_) return;
  if (enabled) {
    // SetTimer on a running timer would restart its interval; an enabled timer keeps ticking.
    if (!timer_enabled_) timer_enabled_ = SetTimer(hwnd_, kTimer1Id, kTimer1IntervalMs, nullptr);
  } else {
    KillTimer(hwnd_, kTimer1Id);
    timer_enabled_ = false;
  }
}

void TVXTMainWindow::SetLiveStatusChecked(bool checked) {
  HMENU system_menu = GetSystemMenu(hwnd_, FALSE);
  if (system_menu) {
    CheckMenuItem(system_menu, kLiveStatusMenuId,
                  MF_BYCOMMAND | static_cast<UINT>(checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

bool TVXTMainWindow::MessagesPending() {
  // The high word is what waits in the queue now; GetQueueStatus neither removes nor
  // dispatches anything (PeekMessage would deliver sent messages).
  return HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0;
}

void TVXTMainWindow::PumpMessages(bool all_pending) {
  MSG msg;
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

}  // namespace vxt::win32

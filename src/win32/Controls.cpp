#include "Controls.h"

#include <commctrl.h>

#include "ScopedGdi.h"
#include "app/LayoutRules.h"

namespace vxt::win32 {

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditStyle = kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kLabelStyle = kChild | SS_LEFT | SS_NOPREFIX;
// A log that wraps: ES_AUTOVSCROLL without a scroll bar, since an edit without it refuses
// text beyond its visible lines; no ES_AUTOHSCROLL, so long lines wrap.
constexpr DWORD kMemoStyle =
    kChild | WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
constexpr DWORD kButtonStyle = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kPickerStyle = kChild | WS_TABSTOP | DTS_SHORTDATEFORMAT;
constexpr DWORD kBarStyle = kChild | PBS_SMOOTH;
constexpr DWORD kListStyle =
    kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;

// The list's columns: title and width at 96 dpi.
struct ListColumn {
  const char* title;
  int width;
};
constexpr ListColumn kListColumns[] = {{"Key", 120}, {"Value", 180}};

// The width of text in the font that control draws with (the system font when it has none).
int TextWidth(HWND control, const char* text) {
  const ScopedGetDC dc(control);
  if (!dc) return 0;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
  const ScopedSelectFont selected(dc, font ? font : GetStockObject(SYSTEM_FONT));
  SIZE extent{0, 0};
  if (!GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent)) extent.cx = 0;
  return extent.cx;
}

// The edit class's own procedure, which the log's procedure passes its messages on to. One for
// all logs: every log is an instance of the same class.
WNDPROC memo_edit_proc = nullptr;

// The log's procedure, put in place of the edit class's by hand (a Unicode one, as comctl32's
// would be, so that typed text is not narrowed on its way) rather than through comctl32's
// subclass chain: that chain finds its data as a window property on every message and again
// when it passes the message on, and under Wine each lookup is a call to the server. The log
// gets a few dozen messages per exchange (its paints, the appends, queries from outside); with
// the chain each cost about 0.1 ms more.
LRESULT CALLBACK MemoProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_GETDLGCODE) {
    LRESULT code = CallWindowProcW(memo_edit_proc, hwnd, message, wparam, lparam);
    // A multi-line edit wants every key, Tab included; here Tab moves the focus on, as in
    // the other fields. Return still reaches the log.
    const MSG* msg = reinterpret_cast<const MSG*>(lparam);
    if (msg && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) && msg->wParam == VK_TAB) {
      code &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    }
    // Tabbing into the log must not select all of it.
    return code & ~DLGC_HASSETSEL;
  }
  return CallWindowProcW(memo_edit_proc, hwnd, message, wparam, lparam);
}

// The picker's date and time; the local time when it holds none.
SYSTEMTIME PickerTime(HWND picker) {
  SYSTEMTIME time{};
  if (SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) != GDT_VALID) {
    GetLocalTime(&time);
  }
  return time;
}

}  // namespace

void Control::CreateChild(const ControlParent& parent, const ControlRow& row,
                          const char* class_name, DWORD style, DWORD ex_style) {
  hwnd_ = CreateWindowExA(ex_style, class_name, row.text, style, ScaleToDpi(row.left, parent.dpi),
                          ScaleToDpi(row.top, parent.dpi), ScaleToDpi(row.width, parent.dpi),
                          ScaleToDpi(row.height, parent.dpi), parent.window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), parent.instance,
                          nullptr);
  if (hwnd_ && parent.font) {
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(parent.font), FALSE);
  }
}

void Label::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, "Static", kLabelStyle, 0);
  if (!hwnd_) return;
  // Its place and height stay; only a text wider than designed widens it.
  const int width = LabelWidth(row.width, parent.dpi, TextWidth(hwnd_, row.text));
  if (width != ScaleToDpi(row.width, parent.dpi)) {
    SetWindowPos(hwnd_, nullptr, 0, 0, width, ScaleToDpi(row.height, parent.dpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Button::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, "Button", kButtonStyle, 0);
}

void Button::SetEnabled(bool enabled) {
  EnableWindow(hwnd_, enabled);
}

void Edit::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, "Edit", kEditStyle, WS_EX_CLIENTEDGE);
  // A field takes text of any length; an edit's default refuses typing beyond 32767
  // characters (0 asks for the most a single-line edit can hold).
  SendMessageA(hwnd_, EM_SETLIMITTEXT, 0, 0);
}

std::string Edit::Text() const {
  int length = GetWindowTextLengthA(hwnd_);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(hwnd_, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

void Edit::SetText(const std::string& text) {
  SetWindowTextA(hwnd_, text.c_str());
}

void Memo::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, "Edit", kMemoStyle, WS_EX_CLIENTEDGE);
  // No length limit: the default of a multi-line edit is 32767 characters.
  SendMessageA(hwnd_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  if (!hwnd_) return;
  const auto edit_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MemoProc)));
  if (!memo_edit_proc) memo_edit_proc = edit_proc;
}

void Memo::Clear() {
  SetWindowTextA(hwnd_, "");
}

void Memo::Append(const std::string& entry) {
  // Selection positions count characters, which GetWindowTextLengthW gives exactly.
  LPARAM end = GetWindowTextLengthW(hwnd_);
  SendMessageA(hwnd_, EM_SETSEL, static_cast<WPARAM>(end), end);
  std::string text = entry + "\r\n";
  SendMessageA(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(hwnd_, EM_SCROLLCARET, 0, 0);
}

void DatePicker::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, DATETIMEPICK_CLASSA, kPickerStyle, 0);
  // The drop-down calendar in the window's font too.
  if (parent.font) {
    SendMessageA(hwnd_, DTM_SETMCFONT, reinterpret_cast<WPARAM>(parent.font), FALSE);
  }
}

TDate DatePicker::Date() const {
  SYSTEMTIME time = PickerTime(hwnd_);
  return TDate{time.wYear, time.wMonth, time.wDay};
}

void DatePicker::SetDate(const TDate& date) {
  SYSTEMTIME time = PickerTime(hwnd_);
  time.wYear = static_cast<WORD>(date.year);
  time.wMonth = static_cast<WORD>(date.month);
  time.wDay = static_cast<WORD>(date.day);
  // The picker may or may not work the weekday out itself.
  time.wDayOfWeek = static_cast<WORD>(DayOfWeek(date));
  SendMessageA(hwnd_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
}

void ProgressBar::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, PROGRESS_CLASSA, kBarStyle, 0);
  SendMessageA(hwnd_, PBM_SETRANGE32, 0, 100);
  SendMessageA(hwnd_, PBM_SETSTEP, 1, 0);
  SendMessageA(hwnd_, PBM_SETPOS, 0, 0);
}

void ProgressBar::SetMax(int32_t value) {
  SendMessageA(hwnd_, PBM_SETRANGE32, 0, value);
}

void ProgressBar::SetPosition(int32_t value) {
  SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void ListView::Create(const ControlParent& parent, const ControlRow& row) {
  CreateChild(parent, row, WC_LISTVIEWA, kListStyle, WS_EX_CLIENTEDGE);
  SendMessageA(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  int index = 0;
  for (const ListColumn& column : kListColumns) {
    LVCOLUMNA lv_column{};
    lv_column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    lv_column.cx = ScaleToDpi(column.width, parent.dpi);
    lv_column.pszText = const_cast<char*>(column.title);
    lv_column.iSubItem = index;
    SendMessageA(hwnd_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&lv_column));
    ++index;
  }
}

void ListView::Clear() {
  SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
}

bool ListView::AddRow(std::string key, std::string value) {
  // The item's text pointer is a writable one, hence the copies.
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(SendMessageA(hwnd_, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = key.data();
  int index =
      static_cast<int>(SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (index < 0) return false;
  item.iItem = index;
  item.iSubItem = 1;
  item.pszText = value.data();
  SendMessageA(hwnd_, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
  return true;
}

}  // namespace vxt::win32

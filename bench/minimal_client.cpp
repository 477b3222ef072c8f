// vxt_minimal_client: the least a Win32 window can do to fetch a report, as the yardstick for the
// real window under the same Wine and the same server. Same kinds of controls (three edits, a
// button, a multi-line log, a progress bar); a click runs one blocking exchange on the window's
// thread: connect to port 8026, one send of the request line, a receive loop of 4096-byte blocks
// into response.pdf beside the program, the two reception lines in the log and the outcome
// (the reply's first line, the dropped-connection line, or the shell asked to open the PDF).
//
//   vxt_minimal_client.exe [SERVER [CUSTOMER [PIN]]] [/progress | /progress60] [/pump]
//
// /progress sets the bar's position after every block (the real window's display, without its
// wrapping rule's read-back); /progress60 sets it at most once per 16 ms, the first time 16 ms
// after the reception began (a position that would stand for less than a frame is not drawn);
// /pump processes all pending messages after every block. They let the benchmark price the
// display and the pump one at a time.
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h; the common
// controls and the shell need windows.h first.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kCaption[] = "VXT minimal client";
constexpr char kClass[] = "VXTMinimalClient";
constexpr int kButtonId = 101, kServerId = 102, kLogId = 104, kCustomerId = 106, kPinId = 111,
              kBarId = 109;
constexpr int kBlock = 4096;
constexpr int kUnknownTotalMax = 150000;

HWND main_window, button, server_edit, customer_edit, pin_edit, log_edit, bar;
bool set_progress = false, progress_at_display_pace = false, pump_per_block = false;
constexpr ULONGLONG kFrameMs = 16;

std::string Text(HWND control) {
  char buffer[256] = {};
  GetWindowTextA(control, buffer, sizeof buffer);
  return buffer;
}

void AppendLog(const std::string& entry) {
  const LPARAM end = GetWindowTextLengthA(log_edit);
  SendMessageA(log_edit, EM_SETSEL, static_cast<WPARAM>(end), end);
  const std::string text = entry + "\r\n";
  SendMessageA(log_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder = path;
  const size_t cut = folder.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : folder.substr(0, cut);
}

std::string RequestLine() {
  SYSTEMTIME today;
  GetLocalTime(&today);
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int last = kDays[today.wMonth - 1];
  const int year = today.wYear;
  if (today.wMonth == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) last = 29;
  char line[256];
  std::snprintf(line, sizeof line, "IZVJ %s 01-%02d-%04d %02d-%02d-%04d %s \r\n",
                Text(customer_edit).c_str(), today.wMonth, year, last, today.wMonth, year,
                Text(pin_edit).c_str());
  return line;
}

void Fail(const char* what) {
  char text[128];
  std::snprintf(text, sizeof text, "Error while connecting to TCP SERVER:\r%s %d", what,
                WSAGetLastError());
  AppendLog(text);
}

void Exchange() {
  SetWindowTextA(log_edit, "");
  const std::string host = Text(server_edit);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(8026);
  peer.sin_addr.s_addr = inet_addr(host == "localhost" ? "127.0.0.1" : host.c_str());
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Fail("socket");
  if (connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    Fail("connect");
    closesocket(s);
    return;
  }
  const std::string request = RequestLine();
  if (send(s, request.data(), static_cast<int>(request.size()), 0) !=
      static_cast<int>(request.size())) {
    Fail("send");
    closesocket(s);
    return;
  }
  const std::string path = ProgramFolder() + "\\response.pdf";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Fail("create file");
    closesocket(s);
    return;
  }
  AppendLog("Pocetak prijema podataka...sacekajte kraj prenosa...");
  SendMessageA(bar, PBM_SETRANGE32, 0, kUnknownTotalMax);
  static char block[kBlock];
  std::string first_block;
  long long total = 0;
  ULONGLONG drawn_at = GetTickCount64();
  int got;
  while ((got = recv(s, block, kBlock, 0)) > 0) {
    DWORD put = 0;
    WriteFile(file, block, static_cast<DWORD>(got), &put, nullptr);
    if (first_block.size() < 1025) first_block.append(block, got);
    total += got;
    if (set_progress)
      SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(total % kUnknownTotalMax), 0);
    if (progress_at_display_pace) {
      const ULONGLONG now = GetTickCount64();
      if (now - drawn_at >= kFrameMs) {
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(total % kUnknownTotalMax), 0);
        drawn_at = now;
      }
    }
    if (pump_per_block) Pump();
  }
  CloseHandle(file);
  AppendLog("Prijem podataka zavrsen");
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  shutdown(s, SD_SEND);
  closesocket(s);
  if (got < 0) return Fail("recv");
  if (total == 0) {
    AppendLog("Server je raskinuo konekciju!");
  } else if (total <= 1024) {
    const size_t end = first_block.find_first_of("\r\n\x1A");
    AppendLog(first_block.substr(0, end));
  } else {
    ShellExecuteA(main_window, "OPEN", path.c_str(), nullptr, nullptr, SW_SHOW);
  }
}

HWND Child(const char* cls, const char* text, DWORD style, DWORD ex_style, int id, int x, int y,
           int w, int h) {
  return CreateWindowExA(ex_style, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                         main_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleA(nullptr), nullptr);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kButtonId && HIWORD(wparam) == BN_CLICKED) {
        // Greyed while the exchange runs, as in the real window, so that a driver can tell
        // when the click has been dealt with completely.
        EnableWindow(button, FALSE);
        Exchange();
        EnableWindow(button, TRUE);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const char* fields[3] = {"127.0.0.1", "2", "1"};
  int field = 0;
  for (int i = 1; i < __argc; ++i) {
    if (std::strcmp(__argv[i], "/progress") == 0)
      set_progress = true;
    else if (std::strcmp(__argv[i], "/progress60") == 0)
      progress_at_display_pace = true;
    else if (std::strcmp(__argv[i], "/pump") == 0)
      pump_per_block = true;
    else if (field < 3)
      fields[field++] = __argv[i];
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);

  WNDCLASSA window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = kClass;
  RegisterClassA(&window_class);
  // Each variant has a caption of its own: "VXT minimal client", "... /progress", "... /pump".
  std::string caption = kCaption;
  if (set_progress) caption += " /progress";
  if (progress_at_display_pace) caption += " /progress60";
  if (pump_per_block) caption += " /pump";
  main_window = CreateWindowExA(0, kClass, caption.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                100, 100, 365, 314, nullptr, nullptr, instance, nullptr);
  button = Child("Button", "Izvjestaj", WS_TABSTOP | BS_PUSHBUTTON, 0, kButtonId, 127, 95, 75, 25);
  server_edit = Child("Edit", fields[0], WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kServerId,
                      46, 5, 121, 21);
  log_edit = Child("Edit", "", WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
                   WS_EX_CLIENTEDGE, kLogId, 8, 135, 333, 104);
  SendMessageA(log_edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  customer_edit = Child("Edit", fields[1], WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                        kCustomerId, 6, 57, 45, 21);
  bar = Child(PROGRESS_CLASSA, "", PBS_SMOOTH, 0, kBarId, 8, 245, 333, 17);
  pin_edit = Child("Edit", fields[2], WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kPinId, 58, 57,
                   45, 21);
  ShowWindow(main_window, show);
  UpdateWindow(main_window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  WSACleanup();
  return 0;
}

#include "ProgramUnderTest.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ControlIds.h"
#include "support/WaitFor.h"

namespace vxt::uitest {

namespace {

constexpr UINT kMessageTimeoutMs = 5000;

// The build gives the program's path as the build machine's path.
std::string ProgramPath() {
  return WinePathOf(VXT_PROGRAM_PATH);
}

std::wstring Widened(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  std::wstring wide(MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(),
                      static_cast<int>(wide.size()));
  return wide;
}

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
  return std::wstring(buffer, length);
}

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

struct FindContext {
  DWORD process_id;
  const char* class_name;
  bool visible_only;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lparam) {
  auto* context = reinterpret_cast<FindContext*>(lparam);
  DWORD process_id = 0;
  GetWindowThreadProcessId(hwnd, &process_id);
  if (process_id != context->process_id) return TRUE;
  if (ClassNameOf(hwnd) != context->class_name) return TRUE;
  if (context->visible_only && !IsWindowVisible(hwnd)) return TRUE;
  context->found = hwnd;
  return FALSE;
}

HWND FindWindowOfProcess(DWORD process_id, const char* class_name, bool visible_only) {
  FindContext context{process_id, class_name, visible_only, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

}  // namespace

std::string WinePathOf(const std::string& build_path) {
  std::string path = build_path;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
  return path;
}

bool WaitUntil(const std::function<bool()>& predicate, int timeout_ms) {
  // Every look asks the program across processes; 20 ms apart is close enough.
  return static_cast<bool>(
      vxt::testing::WaitFor(predicate, timeout_ms, "the program's state", {20, nullptr}));
}

std::string WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kMessageTimeoutMs, &length)) {
    return "<no answer>";
  }
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_NORMAL, kMessageTimeoutMs, &copied)) {
    return "<no answer>";
  }
  return std::string(buffer.data(), copied);
}

bool SetWindowTextOf(HWND hwnd, const std::string& text) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_NORMAL, kMessageTimeoutMs, &result) &&
         result;
}

std::string ClassNameOf(HWND hwnd) {
  char name[256];
  int length = GetClassNameA(hwnd, name, sizeof name);
  return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

ProgramUnderTest::ProgramUnderTest(const std::string& case_name, const std::string& program_name)
    : program_name_(program_name) {
  std::wstring base = CurrentDirectory() + L"\\cases";
  CreateDirectoryW(base.c_str(), nullptr);
  folder_ = base + L"\\" + Widened(case_name, CP_UTF8);
  RemoveFolder(folder_);
  CreateDirectoryW(folder_.c_str(), nullptr);
  CopyFileW(Widened(ProgramPath(), CP_ACP).c_str(), WidePathOf(program_name_).c_str(), FALSE);
}

ProgramUnderTest::ProgramUnderTest(SecondCopy, const ProgramUnderTest& first)
    : folder_(first.folder_), program_name_(first.program_name_) {}

std::vector<std::string> ProgramUnderTest::FileNames() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    char name[MAX_PATH * 3];
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name, sizeof name, nullptr, nullptr);
    names.emplace_back(name, length > 0 ? static_cast<size_t>(length - 1) : 0);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring ProgramUnderTest::WidePathOf(const std::string& file_name) const {
  return folder_ + L"\\" + Widened(file_name, CP_UTF8);
}

std::string ProgramUnderTest::PathOf(const std::string& file_name) const {
  const std::wstring wide = WidePathOf(file_name);
  const int length = static_cast<int>(wide.size());
  std::string text(
      WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), static_cast<int>(text.size()),
                      nullptr, nullptr);
  return text;
}

ProgramUnderTest::~ProgramUnderTest() {
  if (process_info_.hProcess) {
    if (Running()) {
      TerminateProcess(process_info_.hProcess, 99);
      WaitForSingleObject(process_info_.hProcess, 5000);
    }
    CloseHandle(process_info_.hThread);
    CloseHandle(process_info_.hProcess);
  }
}

void ProgramUnderTest::WriteFile(const std::string& file_name, const std::string& bytes) const {
  HANDLE file = CreateFileW(WidePathOf(file_name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool ProgramUnderTest::CopyIn(const std::string& source, const std::string& file_name) const {
  return CopyFileA(source.c_str(), PathOf(file_name).c_str(), FALSE) != FALSE;
}

bool ProgramUnderTest::ReadFile(const std::string& file_name, std::string& bytes) const {
  HANDLE file =
      CreateFileW(WidePathOf(file_name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  CloseHandle(file);
  return true;
}

bool ProgramUnderTest::FileExists(const std::string& file_name) const {
  DWORD attributes = GetFileAttributesW(WidePathOf(file_name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ProgramUnderTest::Start(const std::string& extra_env) {
  std::string environment;
  if (!extra_env.empty()) {
    std::string name = extra_env.substr(0, extra_env.find('=') + 1);
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) {
      if (_strnicmp(entry, name.c_str(), name.size()) == 0) continue;
      environment.append(entry).push_back('\0');
    }
    FreeEnvironmentStringsA(block);
    environment.append(extra_env).push_back('\0');
    environment.push_back('\0');
  }
  // The environment block stays in the code page (no CREATE_UNICODE_ENVIRONMENT).
  std::wstring program = WidePathOf(program_name_);
  std::wstring command_line = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  return CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                        &process_info_);
}

HWND ProgramUnderTest::WaitForMainWindow(bool visible, int timeout_ms) {
  WaitUntil(
      [&] {
        main_window_ = FindWindowOfProcess(ProcessId(), vxt::win32::kMainWindowClass, visible);
        return main_window_ != nullptr;
      },
      timeout_ms);
  return main_window_;
}

MessageBoxContent ProgramUnderTest::WaitForMessageBox(int timeout_ms) {
  MessageBoxContent content;
  WaitUntil(
      [&] {
        content.box = FindWindowOfProcess(ProcessId(), "#32770", true);
        return content.box != nullptr;
      },
      timeout_ms);
  if (!content.box) return content;
  content.caption = WindowText(content.box);
  // The message text is the box's static control 0xFFFF; look for any other static with
  // text should that ID differ.
  HWND text = GetDlgItem(content.box, 0xFFFF);
  if (text) {
    content.text = WindowText(text);
  } else {
    for (HWND child = GetWindow(content.box, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (ClassNameOf(child) == "Static" && !WindowText(child).empty()) {
        content.text = WindowText(child);
        break;
      }
    }
  }
  return content;
}

void ProgramUnderTest::PressOk(HWND box) {
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

std::string ProgramUnderTest::LogText() const {
  return WindowText(Control(vxt::win32::kMemo1Id));
}

bool ProgramUnderTest::ReportButtonEnabled() const {
  return IsWindowEnabled(Control(vxt::win32::kBitBtn1Id)) != FALSE;
}

std::string ProgramUnderTest::RunReportExpecting(const std::string& expected_log, int timeout_ms) {
  return RunReportExpectingOneOf({expected_log}, timeout_ms);
}

std::string ProgramUnderTest::RunReportExpectingOneOf(const std::vector<std::string>& expected_logs,
                                                      int timeout_ms) {
  SetWindowTextOf(Control(vxt::win32::kMemo1Id), "<before the report>");
  PostMessageA(Control(vxt::win32::kBitBtn1Id), BM_CLICK, 0, 0);
  WaitUntil(
      [&] {
        const std::string log = LogText();
        return std::find(expected_logs.begin(), expected_logs.end(), log) != expected_logs.end() &&
               ReportButtonEnabled();
      },
      timeout_ms);
  return LogText();
}

HWND ProgramUnderTest::FocusedControl() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(ThreadId(), &info)) return nullptr;
  return info.hwndFocus;
}

void ProgramUnderTest::PressTab() const {
  HWND focus = FocusedControl();
  if (!focus) return;
  PostMessageA(focus, WM_KEYDOWN, VK_TAB, 0x000F0001);
  PostMessageA(focus, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
}

bool ProgramUnderTest::FocusControl(HWND control) const {
  DWORD own_thread = GetCurrentThreadId();
  if (!AttachThreadInput(own_thread, ThreadId(), TRUE)) return false;
  SetFocus(control);
  AttachThreadInput(own_thread, ThreadId(), FALSE);
  return WaitUntil([&] { return FocusedControl() == control; }, 2000);
}

bool ProgramUnderTest::ReadControlTime(HWND control, SYSTEMTIME& time) const {
  void* remote = VirtualAllocEx(process_info_.hProcess, nullptr, sizeof time,
                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return false;
  DWORD_PTR result = 0;
  bool ok = SendMessageTimeoutA(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(remote),
                                SMTO_NORMAL, kMessageTimeoutMs, &result) &&
            result == GDT_VALID;
  SIZE_T got = 0;
  ok = ok && ReadProcessMemory(process_info_.hProcess, remote, &time, sizeof time, &got) &&
       got == sizeof time;
  VirtualFreeEx(process_info_.hProcess, remote, 0, MEM_RELEASE);
  return ok;
}

bool ProgramUnderTest::WaitForExit(int timeout_ms, DWORD* exit_code) {
  if (WaitForSingleObject(process_info_.hProcess, static_cast<DWORD>(timeout_ms)) !=
      WAIT_OBJECT_0) {
    return false;
  }
  if (exit_code) GetExitCodeProcess(process_info_.hProcess, exit_code);
  return true;
}

bool ProgramUnderTest::Running() const {
  return process_info_.hProcess && WaitForSingleObject(process_info_.hProcess, 0) == WAIT_TIMEOUT;
}

}  // namespace vxt::uitest

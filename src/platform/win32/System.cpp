// System services on Windows.
#include "platform/System.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WidePath.h"

namespace vxt {

std::string RawSystemErrorText(uint32_t error_code) {
  // A buffer of 256 holds at most 255 characters and the terminator; a longer description
  // makes the call fail, and then, as for a code without any description, the text is empty.
  char buffer[256];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error_code, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), buffer,
                                sizeof buffer, nullptr);
  return std::string(buffer, length);
}

std::wstring WidePath(const TPath& path) {
  const std::u16string units = Utf16Of(path);
  return std::wstring(units.begin(), units.end());
}

TPath PathOfWide(const wchar_t* units, size_t length) {
  return PathFromUtf16(std::u16string(units, units + length));
}

TPath ExecutablePath() {
  // GetModuleFileNameW cuts a path that does not fit and then returns the buffer's size; a
  // longer buffer is tried until the whole path fits (long paths may exceed MAX_PATH).
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return TPath();
    if (length < size) return PathOfWide(buffer.data(), length);
    if (buffer.size() >= 1u << 16) return TPath();
    buffer.resize(buffer.size() * 2);
  }
}

TPath FullPathName(const TPath& path) {
  // The first call tells the size needed (terminator included); the working directory could
  // change between the calls, hence the loop.
  const std::wstring wide = WidePath(path);
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetFullPathNameW(wide.c_str(), size, buffer.data(), nullptr);
    if (length == 0) return TPath();
    if (length < size) return PathOfWide(buffer.data(), length);
    buffer.resize(length);
  }
}

std::string DisplayText(const TPath& path) {
  // No flags: characters without a counterpart in the code page take their best fit ("Đ"
  // becomes "Ð" under 1252) or "?", as the system's own A calls show them.
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string text(static_cast<size_t>(size), '\0');
  size = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
  text.resize(size > 0 ? static_cast<size_t>(size) : 0);
  return text;
}

const char* PathDelimiters() {
  return "\\:";
}
const char* PathSeparator() {
  return "\\";
}

uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

bool ProcessRunning(uint32_t process_id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  // A process that has ended stays openable while anyone holds a handle to it.
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

TDate LocalToday() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TDate{now.wYear, now.wMonth, now.wDay};
}

}  // namespace vxt

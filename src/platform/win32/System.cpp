// System services on Windows.
#include "platform/System.h"

#include <windows.h>

#include <vector>

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

std::string ExecutablePath() {
  // GetModuleFileNameA cuts a path that does not fit and then returns the buffer's size; a
  // longer buffer is tried until the whole path fits (long paths may exceed MAX_PATH).
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
    if (length == 0) return std::string();
    if (length < size) return std::string(buffer.data(), length);
    if (buffer.size() >= 1u << 16) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string FullPathName(const std::string& path) {
  // The first call tells the size needed (terminator included); the working directory could
  // change between the calls, hence the loop.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetFullPathNameA(path.c_str(), size, buffer.data(), nullptr);
    if (length == 0) return std::string();
    if (length < size) return std::string(buffer.data(), length);
    buffer.resize(length);
  }
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

TDate LocalToday() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TDate{now.wYear, now.wMonth, now.wDay};
}

}  // namespace vxt

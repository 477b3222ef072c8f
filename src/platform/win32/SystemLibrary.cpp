#include "platform/win32/SystemLibrary.h"

namespace vxt {

void RestrictDllSearchToSystemFolder() {
  // Looked up at run time: a Windows 7 without its loader update lacks the function, and a
  // static import of it would keep the program from starting there at all.
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set_default_directories = reinterpret_cast<decltype(&::SetDefaultDllDirectories)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default_directories != nullptr && set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return;
  }
  // Without it, at least the current folder leaves the search; LoadSystemLibrary then names
  // each DLL by its full path.
  ::SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const std::string& name) {
  std::wstring wide(name.begin(), name.end());  // DLL names of the system are ASCII
  const HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // The flag is unknown to this system: the full path, whose folder the search of the DLL's
  // own dependencies then starts from.
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + wide;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace vxt

// DLLs of the system taken from the system folder alone. Users start the program from a
// downloads folder, where anything may lie beside it under the name of a system DLL; the
// loader's usual search looks in the program's folder first, and for every DLL that a system
// DLL loads in turn. Windows only: the Win32 platform layer and the window use it.
#pragma once

#include <windows.h>

#include <string>

namespace vxt {

// Makes the system folder the only place where the process's later loads by name look. The
// program calls it before anything else; the DLLs that the executable imports are loaded
// already, so those imports are kept to the DLLs that the system itself protects.
void RestrictDllSearchToSystemFolder();

// Loads the DLL name (a file name without a folder) from the system folder only, its own
// dependencies too. nullptr when it cannot, with the thread's last error telling why.
HMODULE LoadSystemLibrary(const std::string& name);

// The function name of the system DLL library, which is loaded on the first call and stays
// loaded; typed by the SDK's declaration (decltype(&::Name)). nullptr when the DLL or the
// function is missing.
template <typename Function>
Function SystemFunction(const char* library, const char* name) {
  const HMODULE module = LoadSystemLibrary(library);
  if (module == nullptr) return nullptr;
  // void (*)() converts to and from every function pointer type without a cast warning.
  const auto found = reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
  return reinterpret_cast<Function>(found);
}

}  // namespace vxt

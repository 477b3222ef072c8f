// The functions of the system DLLs that the program does not import: comctl32's, COM's and the
// shell's, each taken from the system folder when first needed. Apart from kernel32, user32,
// gdi32 and msvcrt, which the system protects (KnownDLLs), every import of the executable would
// be looked for in the program's folder before the program could run a line of its own, and
// so would everything the imported DLL loads in turn (the shell brings a dozen).
#pragma once

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <shellapi.h>

namespace vxt::win32 {

// comctl32's InitCommonControlsEx. The library comes from the system folder, and the
// manifest's dependency on version 6 still selects that version from the side-by-side store.
// False when the library or the function is missing.
bool InitCommonControlsAtRunTime(DWORD classes);

// COM for the calling thread (apartment-threaded, without OLE 1 DDE) while it lives: the shell
// may hand the opening of a document to COM objects that need an apartment.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool entered_ = false;
};

// The shell's ShellExecuteW, shell32 being loaded on the first call; nullptr when it cannot be.
decltype(&::ShellExecuteW) ShellExecuteWFunction();

}  // namespace vxt::win32

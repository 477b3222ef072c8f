#include "RunTimeImports.h"

#include <commctrl.h>
#include <objbase.h>

#include "platform/win32/SystemLibrary.h"

namespace vxt::win32 {

bool InitCommonControlsAtRunTime(DWORD classes) {
  const auto init =
      SystemFunction<decltype(&::InitCommonControlsEx)>("comctl32.dll", "InitCommonControlsEx");
  if (init == nullptr) return false;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = classes;
  return init(&controls) != FALSE;
}

ComApartment::ComApartment() {
  const auto initialize =
      SystemFunction<decltype(&::CoInitializeEx)>("ole32.dll", "CoInitializeEx");
  if (initialize == nullptr) return;
  entered_ = SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

ComApartment::~ComApartment() {
  if (!entered_) return;
  // ole32 is loaded since the constructor: this only finds the function.
  if (const auto uninitialize =
          SystemFunction<decltype(&::CoUninitialize)>("ole32.dll", "CoUninitialize")) {
    uninitialize();
  }
}

decltype(&::ShellExecuteW) ShellExecuteWFunction() {
  static const auto function =
      SystemFunction<decltype(&::ShellExecuteW)>("shell32.dll", "ShellExecuteW");
  return function;
}

}  // namespace vxt::win32

// Program entry: DPI awareness and the common controls, the main window VXTMain, and the
// message loop until the window has closed.

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <commctrl.h>
#include <objbase.h>

#include "FailureBoxes.h"
#include "mainunit_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  // The manifest declares DPI awareness; this covers a manifest that a loader ignored.
  if (!IsProcessDPIAware()) SetProcessDPIAware();

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC =
      ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&controls);
  // The shell may hand the opening of a document to COM objects that need an apartment.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  int exit_code = 0;
  {
    vxt::win32::TVXTMainWindow window(instance);
    if (!window.Create()) {
      vxt::win32::ShowStartupFailure(window.failure());
      exit_code = 1;
    } else {
      window.Show(show_command);
      MSG msg;
      BOOL got;
      while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
        if (!window.PreTranslate(msg)) {
          TranslateMessage(&msg);
          DispatchMessageA(&msg);
        }
      }
      if (got == 0) exit_code = static_cast<int>(msg.wParam);
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exit_code;
}

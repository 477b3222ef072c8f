// Program entry: the DLL search kept to the system folder, DPI awareness and the common
// controls, the main window VXTMain, and the message loop until the window has closed.

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <commctrl.h>

#include "FailureBoxes.h"
#include "RunTimeImports.h"
#include "mainunit_win32.h"
#include "platform/win32/SystemLibrary.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  // Before any other DLL is loaded: none may come from the program's folder. (The imported ones
  // are known DLLs, which come from the system folder only, and nothing that runs before WinMain
  // loads one: the stack guard is seeded without.)
  vxt::RestrictDllSearchToSystemFolder();
  // The manifest declares DPI awareness; this covers a manifest that a loader ignored.
  if (!IsProcessDPIAware()) SetProcessDPIAware();

  vxt::win32::InitCommonControlsAtRunTime(ICC_STANDARD_CLASSES | ICC_DATE_CLASSES |
                                          ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES);
  int exit_code = 0;
  {
    const vxt::win32::ComApartment com;
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
  return exit_code;
}

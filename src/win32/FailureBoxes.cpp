#include "FailureBoxes.h"

#include "app/mainunit.h"
#include "platform/System.h"

namespace vxt::win32 {

namespace {

constexpr char kStartupFailureCaption[] = "Application Error";

// A box shown while the window has not appeared yet comes to the front and stays there: the
// program has nothing else on the screen, and a box behind other windows looks like a program
// that never started.
constexpr UINT kInFront = MB_SETFOREGROUND | MB_TOPMOST;

}  // namespace

void ShowStartupFailure(const StartupFailure& failure) {
  std::string text = StartupFailureText(failure, ModuleNameOf(DisplayText(ExecutablePath())));
  MessageBoxA(nullptr, text.c_str(), kStartupFailureCaption,
              MB_OK | MB_ICONERROR | MB_TASKMODAL | kInFront);
}

void ShowDefaultFailure(HWND owner, const std::string& message) {
  std::string text = FailureDisplayText(message);
  const UINT in_front = owner && IsWindowVisible(owner) ? 0 : kInFront;
  MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR | in_front);
}

uintptr_t ImageOffset(const void* address) {
  return reinterpret_cast<uintptr_t>(address) -
         reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
}

}  // namespace vxt::win32

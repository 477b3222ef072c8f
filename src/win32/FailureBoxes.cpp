#include "FailureBoxes.h"

#include "app/mainunit.h"
#include "platform/System.h"

namespace vxt::win32 {

namespace {

constexpr char kStartupFailureCaption[] = "Application Error";

}  // namespace

void ShowStartupFailure(const StartupFailure& failure) {
  std::string text = StartupFailureText(failure, ModuleNameOf(DisplayText(ExecutablePath())));
  MessageBoxA(nullptr, text.c_str(), kStartupFailureCaption, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void ShowDefaultFailure(HWND owner, const std::string& message) {
  std::string text = FailureDisplayText(message);
  MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

uintptr_t ImageOffset(const void* address) {
  return reinterpret_cast<uintptr_t>(address) -
         reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
}

}  // namespace vxt::win32

// The program's two failure boxes: the start-up failure box (shown by WinMain when the window
// cannot be created) and the default failure display (a failure that a handler raised).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/FailureTexts.h"

namespace vxt::win32 {

// Shows the start-up failure box (task-modal, error icon, caption "Application Error"), in
// front of every other window.
void ShowStartupFailure(const StartupFailure& failure);

// The default failure display: a modal box with an error icon and OK, captioned with the
// application title, whose text is the failure's message with the final "." rule applied. While
// the owner is not shown yet (a failure as the window opens) the box comes in front of every
// other window.
void ShowDefaultFailure(HWND owner, const std::string& message);

// An address inside the executable as an offset into its image, as the start-up failure box
// shows it.
uintptr_t ImageOffset(const void* address);

}  // namespace vxt::win32

// What identifies the main window and its controls from outside: the window class, the control
// IDs, the timer and the system menu command. The UI tests find the controls by these.
#pragma once

namespace vxt::win32 {

inline constexpr char kMainWindowClass[] = "TVXTMain";

// Control IDs stay clear of IDOK (1) and IDCANCEL (2), which the dialog manager sends for the
// Return and Escape keys.
enum ControlId : int {
  kBitBtn1Id = 101,
  kEdit1Id = 102,
  kLabel1Id = 103,
  kMemo1Id = 104,
  kLabel3Id = 105,
  kEdit3Id = 106,
  kD1Id = 107,
  kD2Id = 108,
  kPbId = 109,
  kLabel2Id = 110,
  kEdit2Id = 111,
  kLabel4Id = 112,
  kVlId = 113,
};

inline constexpr unsigned kTimer1Id = 1;
inline constexpr unsigned kTimer1IntervalMs = 1000;
// The one-shot timer after which a running exchange is shown.
inline constexpr unsigned kShowTimerId = 2;
// The timer that draws the bar's newest position at the end of its frame.
inline constexpr unsigned kBarFrameTimerId = 3;

// A system menu command: below 0xF000 and a multiple of 16, since the system uses the low four
// bits of WM_SYSCOMMAND's wParam.
inline constexpr unsigned kLiveStatusMenuId = 0x0010;
inline constexpr char kLiveStatusMenuText[] = "Podaci uzivo";

}  // namespace vxt::win32

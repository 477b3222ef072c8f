// The main window's stored layout: its size, font and frame, and its controls by their designed
// names, made in the order that is also the tab order.
#pragma once

#include <windows.h>

#include "Controls.h"

namespace vxt::win32 {

inline constexpr int kClientWidth = 349;  // client pixels at 96 dpi
inline constexpr int kClientHeight = 275;
inline constexpr int kFontHeight = -11;  // 8 points at 96 dpi
inline constexpr char kFontFace[] = "Tahoma";
inline constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
inline constexpr DWORD kWindowExStyle = 0;

struct TVXTMainControls {
  Button BitBtn1;
  Edit Edit1;
  Label Label1;
  Memo Memo1;
  Label Label3;
  Edit Edit3;
  DatePicker d1;
  DatePicker d2;
  ProgressBar pb;
  Label Label2;
  Edit Edit2;
  Label Label4;
  ListView vl;
};

// Makes every control of the layout in parent.window. A control that cannot be made stays
// null, and what is asked of it then does nothing.
void CreateControls(const ControlParent& parent, TVXTMainControls& controls);

}  // namespace vxt::win32

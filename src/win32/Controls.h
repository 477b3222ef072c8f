// One small wrapper per kind of control of the main window: each is made from a row of the
// window's layout and hides the messages that its kind understands.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "calendar/Calendar.h"

namespace vxt::win32 {

// Where a control is made: its parent window, the module, the window's font (null: the
// system's) and the resolution the layout is scaled to.
struct ControlParent {
  HWND window = nullptr;
  HINSTANCE instance = nullptr;
  HFONT font = nullptr;
  int dpi = 96;
};

// A control of the layout: its ID, its initial text, and its place and size in client pixels
// at 96 dpi (a label's width is its least).
struct ControlRow {
  int id;
  const char* text;
  int left, top, width, height;
};

// A control's window; null until created, and when its creation failed (every method then
// does nothing).
class Control {
 public:
  HWND Hwnd() const { return hwnd_; }

 protected:
  // The child window of class_name at the row's place and size scaled to the parent's
  // resolution, in the window's font.
  void CreateChild(const ControlParent& parent, const ControlRow& row, const char* class_name,
                   DWORD style, DWORD ex_style);

  HWND hwnd_ = nullptr;
};

// A static text without a tab stop, as wide as its text needs.
class Label : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
};

class Button : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
  void SetEnabled(bool enabled);
};

// A single-line edit without a length limit.
class Edit : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
  std::string Text() const;
  void SetText(const std::string& text);
};

// The message log: a multi-line edit that wraps its lines, has no length limit to speak of,
// and lets Tab move the focus on.
class Memo : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
  void Clear();
  // Adds entry and a line break at the end and scrolls to it.
  void Append(const std::string& entry);
  // While held, appended text is in the log at once but not drawn; the end of the hold draws
  // the whole log once, before it returns.
  void HoldDrawing(bool hold);

 private:
  bool held_ = false;
  bool undrawn_ = false;
};

// A date picker in the short date format.
class DatePicker : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
  // The picked date; today's when the picker holds none.
  TDate Date() const;
  // Only the date changes; the picker keeps its time of day.
  void SetDate(const TDate& date);
};

// A smooth bar from 0, stepping by 1, drawn at the display's pace: a transfer moves it after
// every block, and a bar repaints itself within each move (about a millisecond under Wine,
// more than the block's own work). So a move is drawn at once only when the last drawing is a
// frame old; otherwise the newest position waits for the frame's end, when a timer draws it.
// 0, the end of a transfer, is always drawn at once.
class ProgressBar : public Control {
 public:
  static constexpr std::chrono::milliseconds kFrame{16};

  ~ProgressBar();
  void Create(const ControlParent& parent, const ControlRow& row);
  // The maximum, as last set (the control is not asked).
  int32_t Max() const { return max_; }
  // Starts a frame: the first move after a new maximum waits for the frame's end.
  void SetMax(int32_t value);
  void SetPosition(int32_t value);
  // The position the bar shows or is about to show at the frame's end.
  int32_t Position() const { return frame_pending_ ? pending_ : drawn_; }

 private:
  static void CALLBACK OnFrameEnd(HWND hwnd, UINT message, UINT_PTR id, DWORD time);
  void Draw(int32_t value);
  void CancelFrame();

  int32_t max_ = 100;
  int32_t drawn_ = 0;
  int32_t pending_ = 0;
  bool frame_pending_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

// A report list of two columns, "Key" and "Value".
class ListView : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
  void Clear();
  // Adds a row at the end; false when the list took none.
  bool AddRow(std::string key, std::string value);
};

}  // namespace vxt::win32

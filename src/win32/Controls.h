// One small wrapper per kind of control of the main window: each is made from a row of the
// window's layout and hides the messages that its kind understands.
#pragma once

#include <windows.h>

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

// A smooth bar from 0, stepping by 1. Each change of the position redraws it before returning.
class ProgressBar : public Control {
 public:
  void Create(const ControlParent& parent, const ControlRow& row);
  void SetMax(int32_t value);
  void SetPosition(int32_t value);
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

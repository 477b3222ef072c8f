// What the report exchange needs of the window: the request's fields, the log, a pump of its
// messages and the shell. The window logic (TVXTMain) implements it, and keeps whatever the
// display needs beyond it; tests and tools use stand-ins. The exchange only tells what
// happened: it never asks the window to draw.
#pragma once

#include <string>

#include "calendar/Calendar.h"
#include "platform/Path.h"

namespace vxt {

class ReportHost {
 public:
  virtual ~ReportHost() = default;
  virtual std::string ServerText() = 0;    // Edit1
  virtual std::string CustomerText() = 0;  // Edit3
  virtual std::string PinText() = 0;       // Edit2
  virtual TDate FirstDay() = 0;            // d1, date part
  virtual TDate LastDay() = 0;             // d2, date part
  virtual void ClearLog() = 0;
  // Appends one entry at the end of the log, followed by CR LF.
  virtual void AppendLog(const std::string& entry) = 0;
  // Lets the window process all pending messages once.
  virtual void ProcessMessages() = 0;
  // Asks the shell to open path: owner window, verb "OPEN", no parameters, no folder, SW_SHOW.
  // False when the shell reports a failure (ShellExecuteW's result is 32 or less). Starting a
  // viewer may keep the window from drawing for seconds: whatever the log holds must be on
  // screen before the call.
  virtual bool ShellOpen(const TPath& path) = 0;
};

}  // namespace vxt

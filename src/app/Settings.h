// The settings store: an ordered list of "name=value" lines, loaded from and saved to the
// settings file beside the executable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Path.h"

namespace vxt {

// Cuts data into lines: CR LF, a lone CR and a lone LF each end a line; a NUL byte ends the
// data; text after the last break is a last line; a trailing break adds no empty line.
std::vector<std::string> SplitSettingsLines(std::string_view data);

// One line of the store cut at its first "=": the name before it and the value after it. A line
// without "=" has no name; the settings list still shows it whole in its name column.
struct TSettingsEntry {
  std::string_view name;   // the whole line when it has no "="
  std::string_view value;  // empty when the line has no "="
  bool named = false;      // the line has a "="
};
TSettingsEntry SplitSettingsEntry(std::string_view line);

class TValueList {
 public:
  void Clear() { lines_.clear(); }
  void AppendEntry(const std::string& name, const std::string& value);
  // The value of the first line whose name (text before its first "=") equals name when
  // letter case is ignored; empty when none does.
  std::string Value(const std::string& name) const;
  const std::vector<std::string>& Lines() const { return lines_; }
  // Replaces all lines by the file's. Raises "Cannot open file "%s". %s" when it cannot be
  // opened for reading.
  void LoadFromFile(const TPath& path);
  // Loads the settings file when there is one; where a save was cut short after setting the
  // old file aside, loads that. False, with the lines unchanged, when there is neither.
  bool LoadSaved(const TPath& path);
  // Writes every line followed by CR LF. The old file is replaced only by a completely written
  // new one, flushed to the disk first, which keeps the old one's attributes and permissions:
  // "Cannot create file "%s". %s" or "Stream write error" leave it as it was, and no copy of
  // the lines (the PIN among them) stays behind. Where the folder takes no new file but the
  // file itself can be written, it is written in place. A replacement refused with a sharing
  // violation or access denied (a scanner holding a file for a moment) is tried 5 times in
  // all, SetReplaceRetryWait apart (100 ms). A save that succeeds also removes the files that
  // saves of ended processes left behind.
  void SaveToFile(const TPath& path) const;
  void SetReplaceRetryWait(int ms) { replace_retry_wait_ms_ = ms; }

 private:
  std::vector<std::string> lines_;
  int replace_retry_wait_ms_ = 100;
};

}  // namespace vxt

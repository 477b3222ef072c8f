// The settings store and its file. The file is read and written as raw bytes (ANSI, no BOM, no
// conversion); a save never destroys the old file before the new one is complete, unless the
// folder allows no new file and the old one can only be rewritten in place, or a replacement
// that stopped halfway has freed the name and the new file cannot be moved there.
#include "app/Settings.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "failures/Exceptions.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/System.h"

namespace vxt {

namespace {

constexpr char kNul = '\0';
constexpr char kCr = '\r';
constexpr char kLf = '\n';

// How often a replacement refused for a moment is tried in all.
constexpr int kReplaceAttempts = 5;
// Names taken by files of other saves are skipped; this many are tried before giving up.
constexpr int kTemporaryNameAttempts = 8;
std::atomic<uint32_t> temporary_sequence{0};

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only ASCII letters fold: the store's names are plain ASCII, and folding bytes of the ANSI
// code page would make two different names of another script match.
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Removes a file of a save, which holds a copy of the lines and with them the PIN. Windows
// refuses to delete a file that another program still holds, and a virus scanner or an
// indexer opens a file that has just been written: the file is then cut to nothing, and by
// then the other program has often let it go. A file that is not there is left at that.
void RemoveCopy(FileApi& api, const TPath& path) {
  if (api.DeleteFile(path)) return;
  const uint32_t code = api.LastError();
  if (code == file_error::kFileNotFound || code == file_error::kPathNotFound) return;
  TFileHolder cut(api);
  if (api.CreateExclusive(path, cut.Receive()) == 0) cut.Close();
  api.DeleteFile(path);
}

// A new file of its own for one save, in the settings file's folder so that the final rename
// stays on one volume. Each save takes a fresh name (process id and a sequence number), and
// the file is only ever created new, never opened over: two copies of the program closing at
// once never write into the same temporary file, nor take one that another save still needs.
// The same stem with another extension names the place where the replacement may set the old
// file aside. The file of a failed save holds the PIN, so it goes unless it was handed over.
class TemporaryFile {
 public:
  TemporaryFile(FileApi& api, const TPath& target) : file_(api) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      stem_ = target.Bytes() + "." + std::to_string(CurrentProcessId()) + "-" +
              std::to_string(temporary_sequence.fetch_add(1) + 1);
      path_ = TPath(stem_ + ".tmp");
      code_ = api.CreateNew(path_, file_.Receive());
      if (code_ != file_error::kFileExists) break;
    }
  }
  ~TemporaryFile() {
    // Closed first: an open file cannot be deleted on Windows.
    file_.Close();
    if (code_ != 0 || released_) return;
    RemoveCopy(file_.Api(), path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // 0 when the file was created, else the last creation's error code.
  uint32_t CreateCode() const { return code_; }
  TFileHandle Handle() const { return file_.Handle(); }
  const TPath& Path() const { return path_; }
  TPath BackupPath() const { return TPath(stem_ + ".bak"); }
  // Closes the file; returns the close's error code.
  uint32_t Close() { return file_.Close(); }
  // The file is no longer this save's to remove: it is the settings file now, or the only
  // whole copy of the new lines.
  void Release() { released_ = true; }

 private:
  TFileHolder file_;
  std::string stem_;
  TPath path_;
  uint32_t code_ = 0;
  bool released_ = false;
};

// Writes block whole; false when the file took less (a full disk) or the write failed.
bool WriteWhole(FileApi& api, TFileHandle handle, const std::string& block) {
  if (block.empty()) return true;
  size_t written = 0;
  uint32_t code = api.Write(handle, block.data(), block.size(), written);
  return code == 0 && written == block.size();
}

// Creates (or cuts) the settings file itself and writes block into it.
void SaveInPlace(FileApi& api, const TPath& path, const std::string& block) {
  TFileHolder file(api);
  uint32_t code = api.CreateExclusive(path, file.Receive());
  if (code != 0) RaiseCreateFileFailure(path, code);
  bool whole = WriteWhole(api, file.Handle(), block) && api.Flush(file.Handle()) == 0;
  // Closing flushes what the system still buffers; a failure there loses data like a write.
  if (file.Close() != 0 || !whole) throw EWriteError(kStreamWriteError);
}

// A virus scanner, an indexer or a sync client opens a file that has just been written, or the
// old one, for a moment: the replacement is refused with a sharing violation or access denied
// and is tried again a little later, a few times, before it counts as failed.
uint32_t ReplaceRetrying(FileApi& api, const TPath& from, const TPath& to, const TPath& backup,
                         int retry_wait_ms) {
  for (int attempt = 1;; ++attempt) {
    const uint32_t code = api.Replace(from, to, backup);
    if ((code != file_error::kAccessDenied && code != file_error::kSharingViolation) ||
        attempt == kReplaceAttempts) {
      return code;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(retry_wait_ms));
  }
}

// The save itself: returns once the settings file holds block whole.
void SaveBlock(FileApi& api, const TPath& path, const std::string& block, int retry_wait_ms) {
  // The new content goes into a file of its own and replaces the old file only when it is
  // completely written; the replacement keeps what was set on the old file.
  TemporaryFile temp(api, path);
  if (temp.CreateCode() != 0) {
    // A folder that takes no new file may still let the settings file itself be written, as
    // a save straight into the file always could; a failure of that write can no longer
    // spare the old content. When the file cannot be written either, its own failure is the
    // one reported.
    SaveInPlace(api, path, block);
    return;
  }
  if (!WriteWhole(api, temp.Handle(), block)) throw EWriteError(kStreamWriteError);
  // On the disk before it takes the old file's place: after a power loss the settings file
  // holds the old lines or the new ones, never a name on lost or zeroed data.
  if (api.Flush(temp.Handle()) != 0) throw EWriteError(kStreamWriteError);
  // Closing flushes what the system still buffers; a failure there loses data like a write.
  if (temp.Close() != 0) throw EWriteError(kStreamWriteError);

  const TPath backup = temp.BackupPath();
  uint32_t code = ReplaceRetrying(api, temp.Path(), path, backup, retry_wait_ms);
  if (code == 0) {
    temp.Release();
    RemoveCopy(api, backup);
    return;
  }
  if (code != file_error::kUnableToMoveReplacement &&
      code != file_error::kUnableToMoveReplacement2) {
    RaiseCreateFileFailure(path, code);  // the old file is as it was
  }
  // The replacement stopped halfway: the old file may be set aside already, and the new one
  // still has its own name. From here on the new file is removed only while the settings
  // file is known to be whole.
  code = api.Move(temp.Path(), path);
  if (code == 0) {
    temp.Release();
    RemoveCopy(api, backup);
    return;
  }
  if (api.FileExists(path)) {
    // The old file is still in its place (or another copy's save has put its own there).
    RemoveCopy(api, backup);
    RaiseCreateFileFailure(path, code);
  }
  // The name is free: the lines are written in place there.
  try {
    SaveInPlace(api, path, block);
  } catch (...) {
    // The settings file is missing or part-written; the old one goes back from where the
    // replacement set it aside. Where it cannot, the new file is the only whole copy left.
    if (api.Move(backup, path) != 0) temp.Release();
    throw;
  }
  RemoveCopy(api, backup);
}

// The files that a save which was cut short (the program killed, the power gone) may leave
// beside the settings file: its temporary file and the old file set aside,
// "<name>.<process>-<n>.tmp" and ".bak". Only those of processes that have ended are listed: a
// running one may be in the middle of its own save. Each entry is the ending after the
// settings file's name.
std::vector<std::string> FilesOfEndedSaves(FileApi& api, const TPath& path) {
  std::vector<std::string> endings;
  std::vector<std::string> ended;
  if (api.ListFilesNamedAfter(path, endings) != 0) return ended;
  for (const std::string& ending : endings) {
    // "." digits "-" digits ".tmp" or ".bak", nothing else.
    if (ending.size() < 8 || ending[0] != '.') continue;
    const std::string extension = ending.substr(ending.size() - 4);
    if (extension != ".tmp" && extension != ".bak") continue;
    const std::string middle = ending.substr(1, ending.size() - 5);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 10 ||
        middle.find_first_not_of("0123456789-") != std::string::npos ||
        middle.find('-', dash + 1) != std::string::npos) {
      continue;
    }
    const uint64_t process_id = std::stoull(middle.substr(0, dash));
    if (process_id > UINT32_MAX || ProcessRunning(static_cast<uint32_t>(process_id))) continue;
    ended.push_back(ending);
  }
  return ended;
}

// Once a save has put a whole file in place, what ended saves left is of no use to anyone.
void RemoveFilesOfEndedSaves(FileApi& api, const TPath& path) {
  for (const std::string& ending : FilesOfEndedSaves(api, path)) {
    RemoveCopy(api, TPath(path.Bytes() + ending));
  }
}

}  // namespace

std::vector<std::string> SplitSettingsLines(std::string_view data) {
  std::vector<std::string> lines;
  size_t pos = 0;
  const size_t end = data.size();
  while (pos < end && data[pos] != kNul) {
    size_t stop = pos;
    while (stop < end && data[stop] != kCr && data[stop] != kLf && data[stop] != kNul) ++stop;
    lines.emplace_back(data.substr(pos, stop - pos));
    pos = stop;
    if (pos < end && data[pos] != kNul) {
      // Only a CR may take the LF after it along; an LF ends its line alone, so LF CR is a line
      // break followed by a second (empty) line.
      bool was_cr = data[pos] == kCr;
      ++pos;
      if (was_cr && pos < end && data[pos] == kLf) ++pos;
    }
  }
  return lines;
}

void TValueList::AppendEntry(const std::string& name, const std::string& value) {
  lines_.push_back(name + "=" + value);
}

TSettingsEntry SplitSettingsEntry(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return TSettingsEntry{line, std::string_view(), false};
  return TSettingsEntry{line.substr(0, equals), line.substr(equals + 1), true};
}

std::string TValueList::Value(const std::string& name) const {
  for (const std::string& line : lines_) {
    const TSettingsEntry entry = SplitSettingsEntry(line);
    if (entry.named && SameNameIgnoringCase(entry.name, name)) return std::string(entry.value);
  }
  return std::string();
}

void TValueList::LoadFromFile(const TPath& path) {
  FileApi& api = ActiveFileApi();
  TFileHolder file(api);
  uint32_t code = api.OpenShareRead(path, file.Receive());
  if (code != 0) RaiseOpenFileFailure(path, code);

  std::string data;
  int64_t size = api.Size(file.Handle());
  if (size > 0) data.resize(static_cast<size_t>(size));
  size_t filled = 0;
  // One read normally takes the whole file; the loop only guards against a short read or a
  // file that grew between the size query and the read (others may not write it meanwhile,
  // but the size query itself may have failed).
  for (;;) {
    if (filled == data.size()) data.resize(data.size() + 4096);
    size_t read = 0;
    code = api.Read(file.Handle(), data.data() + filled, data.size() - filled, read);
    if (code != 0) RaiseOpenFileFailure(path, code);
    if (read == 0) break;
    filled += read;
  }
  data.resize(filled);
  file.Close();
  lines_ = SplitSettingsLines(data);
}

bool TValueList::LoadSaved(const TPath& path) {
  FileApi& api = ActiveFileApi();
  if (api.FileExists(path)) {
    LoadFromFile(path);
    return true;
  }
  // A save cut short between setting the old file aside and putting the new one in its place
  // leaves no settings file, and the old lines under the save's own name: they are the
  // settings still. The next save puts them back in place and removes that file.
  for (const std::string& ending : FilesOfEndedSaves(api, path)) {
    if (ending.ends_with(".bak")) {
      LoadFromFile(TPath(path.Bytes() + ending));
      return true;
    }
  }
  return false;
}

void TValueList::SaveToFile(const TPath& path) const {
  std::string block;
  for (const std::string& line : lines_) {
    block += line;
    block += "\r\n";
  }
  FileApi& api = ActiveFileApi();
  SaveBlock(api, path, block, replace_retry_wait_ms_);
  RemoveFilesOfEndedSaves(api, path);
}

}  // namespace vxt

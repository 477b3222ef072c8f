// The settings store and its file. The file is read and written as raw bytes (ANSI, no BOM, no
// conversion); a save never destroys the old file before the new one is complete.
#include "app/Settings.h"

#include <cstddef>
#include <cstdint>

#include "failures/Exceptions.h"
#include "platform/Files.h"

namespace vxt {

namespace {

constexpr char kNul = '\0';
constexpr char kCr = '\r';
constexpr char kLf = '\n';

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

// Deletes the temporary file of a failed save unless it was handed over.
class TemporaryFile {
 public:
  TemporaryFile(FileApi& api, std::string path) : api_(api), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (handle_ != kInvalidFile) api_.Close(handle_);
    if (!released_) api_.DeleteFile(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  TFileHandle& Handle() { return handle_; }
  const std::string& Path() const { return path_; }
  // Closes the handle; returns the close's error code.
  uint32_t Close() {
    uint32_t code = api_.Close(handle_);
    handle_ = kInvalidFile;
    return code;
  }
  void Release() { released_ = true; }

 private:
  FileApi& api_;
  std::string path_;
  TFileHandle handle_ = kInvalidFile;
  bool released_ = false;
};

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

std::string TValueList::Value(const std::string& name) const {
  for (const std::string& line : lines_) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;  // no "=": the line has no name
    if (SameNameIgnoringCase(std::string_view(line).substr(0, equals), name)) {
      return line.substr(equals + 1);
    }
  }
  return std::string();
}

void TValueList::LoadFromFile(const std::string& path) {
  FileApi& api = ActiveFileApi();
  TFileHandle handle = kInvalidFile;
  uint32_t code = api.OpenShareRead(path, handle);
  if (code != 0) RaiseOpenFileFailure(path, code);

  std::string data;
  int64_t size = api.Size(handle);
  if (size > 0) data.resize(static_cast<size_t>(size));
  size_t filled = 0;
  // One read normally takes the whole file; the loop only guards against a short read or a
  // file that grew between the size query and the read (others may not write it meanwhile,
  // but the size query itself may have failed).
  for (;;) {
    if (filled == data.size()) data.resize(data.size() + 4096);
    size_t read = 0;
    code = api.Read(handle, data.data() + filled, data.size() - filled, read);
    if (code != 0) {
      api.Close(handle);
      RaiseOpenFileFailure(path, code);
    }
    if (read == 0) break;
    filled += read;
  }
  data.resize(filled);
  api.Close(handle);
  lines_ = SplitSettingsLines(data);
}

void TValueList::SaveToFile(const std::string& path) const {
  std::string block;
  for (const std::string& line : lines_) {
    block += line;
    block += "\r\n";
  }

  FileApi& api = ActiveFileApi();
  // The new content goes into a file of its own in the same folder (so that the final rename
  // stays on one volume) and replaces the old file only when it is completely written.
  TemporaryFile temp(api, path + ".tmp");
  uint32_t code = api.CreateExclusive(temp.Path(), temp.Handle());
  if (code != 0) {
    temp.Handle() = kInvalidFile;
    // Nothing was created, and a file of that name may belong to another save in progress.
    temp.Release();
    RaiseCreateFileFailure(path, code);
  }

  if (!block.empty()) {
    size_t written = 0;
    code = api.Write(temp.Handle(), block.data(), block.size(), written);
    if (code != 0 || written != block.size()) throw EWriteError(kStreamWriteError);
  }
  // Closing flushes what the system still buffers; a failure there loses data like a write.
  if (temp.Close() != 0) throw EWriteError(kStreamWriteError);

  code = api.Replace(temp.Path(), path);
  if (code != 0) RaiseCreateFileFailure(path, code);
  temp.Release();
}

}  // namespace vxt

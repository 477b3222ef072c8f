// The portable part of the system services: the trimming of system texts, path arithmetic on
// the executable's own path and the identity of the main thread.
#include "platform/System.h"

#include <cstring>
#include <thread>

namespace vxt {

namespace {

// Taken while the program's static objects are constructed, which happens on the thread that
// starts the process, before main and before any other thread exists.
const std::thread::id main_thread_id = std::this_thread::get_id();

bool IsDelimiter(char c, TPathStyle style) {
  return std::strchr(style.delimiters, c) != nullptr;
}

// Index of the last delimiter of path, or npos.
size_t LastDelimiter(const std::string& path, TPathStyle style) {
  return path.find_last_of(style.delimiters);
}

}  // namespace

std::string TrimSystemText(std::string text) {
  while (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.' && last != 0x7F) break;
    text.pop_back();
  }
  return text;
}

std::string SystemErrorText(uint32_t error_code) {
  return TrimSystemText(RawSystemErrorText(error_code));
}

TPathStyle PlatformPathStyle() {
  return TPathStyle{PathDelimiters(), PathSeparator()};
}

std::string ProgramFolderOf(const std::string& exe_path, TPathStyle style) {
  size_t last = LastDelimiter(exe_path, style);
  if (last == std::string::npos) return std::string();
  // A separator that follows another delimiter ("C:\x.exe") or starts the path ("/x") is part
  // of the root, which keeps it; anywhere else the separator ends the folder and is dropped.
  bool is_separator = std::strchr(style.separator, exe_path[last]) != nullptr;
  bool ends_root = last == 0 || IsDelimiter(exe_path[last - 1], style);
  size_t length = (is_separator && !ends_root) ? last : last + 1;
  return exe_path.substr(0, length);
}

std::string PathBesideExecutable(const std::string& exe_path, const std::string& file_name,
                                 TPathStyle style) {
  size_t last = LastDelimiter(exe_path, style);
  size_t keep = last == std::string::npos ? 0 : last + 1;
  return exe_path.substr(0, keep) + file_name;
}

TPath ProgramFolderOf(const TPath& exe_path) {
  return TPath(ProgramFolderOf(exe_path.Bytes(), PlatformPathStyle()));
}

TPath PathBesideExecutable(const TPath& exe_path, const std::string& file_name) {
  return TPath(PathBesideExecutable(exe_path.Bytes(), file_name, PlatformPathStyle()));
}

TPath ProgramFolder() {
  return ProgramFolderOf(ExecutablePath());
}

bool IsMainThread() {
  return std::this_thread::get_id() == main_thread_id;
}

}  // namespace vxt

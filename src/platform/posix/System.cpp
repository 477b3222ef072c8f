// System services on POSIX.
#include "platform/System.h"

#include <limits.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "failures/Exceptions.h"

namespace vxt {

namespace {

// The file layer reports Windows system error codes on every platform, so their texts are the
// descriptions of those codes, worded as the Windows system message table words them.
constexpr TNumberedText kErrorTexts[] = {
    {0, "The operation completed successfully."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {17, "The system cannot move the file to a different disk drive."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33,
     "The process cannot access the file because another process has locked a portion of "
     "the file."},
    {38, "Reached the end of the file."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {223, "The file size exceeds the limit allowed and cannot be saved."},
    {267, "The directory name is invalid."},
};

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

std::string RawSystemErrorText(uint32_t error_code) {
  const char* text = TextOfNumber(kErrorTexts, error_code);
  return text != nullptr ? text : std::string();
}

TPath ExecutablePath() {
  // readlink neither terminates nor reports truncation: a result that fills the buffer may be
  // cut, so the buffer grows until the link fits with room to spare.
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return TPath();
    if (static_cast<size_t>(length) < buffer.size()) {
      return TPath(std::string(buffer.data(), static_cast<size_t>(length)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

TPath FullPathName(const TPath& given) {
  const std::string& path = given.Bytes();
  if (path.empty()) return TPath();
  std::string absolute = path[0] == '/' ? path : CurrentDirectory() + "/" + path;
  // Purely textual, as Windows does it: ".." removes the name before it (never the root),
  // "." and empty names vanish, and symbolic links are left as they are.
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    std::string name = absolute.substr(start, end - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& name : names) result += "/" + name;
  if (result.empty()) return TPath("/");
  if (absolute.back() == '/') result += "/";
  return TPath(result);
}

// POSIX names files by bytes, which the messages show as they are.
std::string DisplayText(const TPath& path) {
  return path.Bytes();
}

const char* PathDelimiters() {
  return "/";
}
const char* PathSeparator() {
  return "/";
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

bool ProcessRunning(uint32_t process_id) {
  // 0 and what pid_t cannot hold name process groups or nothing at all.
  if (process_id == 0 || process_id > static_cast<uint32_t>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(process_id), 0) == 0 || errno == EPERM;
}

TDate LocalToday() {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return TDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

}  // namespace vxt

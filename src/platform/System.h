// Process and system services: system error texts, the executable's own path, the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "calendar/Calendar.h"
#include "platform/Path.h"

namespace vxt {

// The platform's raw description of a system error code (FormatMessageA on Windows, a
// short description of the condition on POSIX); empty when there is none. Untrimmed.
std::string RawSystemErrorText(uint32_t error_code);

// The system text that failure messages end with: the raw description without trailing
// control characters, spaces and full stops; empty when the platform has none.
std::string SystemErrorText(uint32_t error_code);

// Removes trailing control characters, spaces and full stops.
std::string TrimSystemText(std::string text);

// The executable's own full path (never derived from the working directory), as the system
// holds it (GetModuleFileNameW on Windows).
TPath ExecutablePath();

// The path made absolute and normalised (GetFullPathNameW on Windows).
TPath FullPathName(const TPath& path);

// Characters after the last of which a path's folder ends: "\\:" on Windows, "/" on POSIX.
const char* PathDelimiters();
// The separator put between a folder and a file name: "\\" on Windows, "/" on POSIX.
const char* PathSeparator();

// Everything before the last separator of exe_path (for a file in a drive's root, the root
// with its separator).
TPath ProgramFolderOf(const TPath& exe_path);
// The folder of the running executable.
TPath ProgramFolder();
// exe_path cut after its last delimiter ("\\" or ":" on Windows), then the file name.
TPath PathBesideExecutable(const TPath& exe_path, const std::string& file_name);

// The same arithmetic on the held bytes with the path style given, so both platforms' forms
// can be used (and tested) everywhere. The delimiters are ASCII, which never occurs inside the
// bytes of another character of the held form, so the bytes can be cut as they are.
struct TPathStyle {
  const char* delimiters;  // characters after the last of which a path's folder ends
  const char* separator;   // put between a folder and a file name
};
inline constexpr TPathStyle kWindowsPathStyle{"\\:", "\\"};
inline constexpr TPathStyle kPosixPathStyle{"/", "/"};
TPathStyle PlatformPathStyle();
std::string ProgramFolderOf(const std::string& exe_path, TPathStyle style);
std::string PathBesideExecutable(const std::string& exe_path, const std::string& file_name,
                                 TPathStyle style);

// True on the program's main thread (the thread that started the process).
bool IsMainThread();

// The running process's identifier, unique among the processes running at the same time.
uint32_t CurrentProcessId();
// Whether a process of that identifier runs now (one that exists but may not be looked at
// counts as running).
bool ProcessRunning(uint32_t process_id);

// Today's local calendar date.
TDate LocalToday();

}  // namespace vxt

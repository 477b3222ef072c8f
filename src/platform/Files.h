// The file layer: the few file operations the client needs, with Windows semantics on every
// platform. Failures are reported as Windows system error codes (2 file not found, 3 path not
// found, 4 too many open files, 5 access denied, 32 sharing violation, 112 disk full, ...).
// On POSIX the share modes are emulated with advisory locks (flock), so a file held by another
// holder of the layer behaves as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Path.h"

namespace vxt {

// The system error codes that the file layer reports and that callers tell apart (Windows'
// numbers; the POSIX layer maps errno to them).
namespace file_error {
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kFileExists = 80;
inline constexpr uint32_t kDiskFull = 112;
inline constexpr uint32_t kNegativeSeek = 131;
inline constexpr uint32_t kUnableToMoveReplacement = 1176;
inline constexpr uint32_t kUnableToMoveReplacement2 = 1177;
}  // namespace file_error

using TFileHandle = int64_t;
inline constexpr TFileHandle kInvalidFile = -1;

class FileApi {
 public:
  virtual ~FileApi() = default;
  // True when path exists and is no folder; tested on its attributes alone.
  virtual bool FileExists(const TPath& path) = 0;
  virtual bool DeleteFile(const TPath& path) = 0;
  // Creates or truncates path for reading and writing, shared with nobody.
  virtual uint32_t CreateExclusive(const TPath& path, TFileHandle& handle) = 0;
  // Creates path for reading and writing, shared with nobody, only when nothing of that name
  // exists (80 when something does): of two callers racing for one name, exactly one wins.
  virtual uint32_t CreateNew(const TPath& path, TFileHandle& handle) = 0;
  // Opens an existing file for reading; others may read it meanwhile, but not write it.
  virtual uint32_t OpenShareRead(const TPath& path, TFileHandle& handle) = 0;
  virtual uint32_t Read(TFileHandle handle, void* buffer, size_t length, size_t& read) = 0;
  virtual uint32_t Write(TFileHandle handle, const void* buffer, size_t length,
                         size_t& written) = 0;
  virtual uint32_t Seek(TFileHandle handle, int64_t position) = 0;
  virtual uint32_t Truncate(TFileHandle handle) = 0;  // cuts the file at the current position
  virtual int64_t Size(TFileHandle handle) = 0;       // -1 on failure
  virtual uint32_t Close(TFileHandle handle) = 0;
  // Makes what was written through handle last: on disk before the call returns, so that a
  // power loss after it finds the content whole (FlushFileBuffers, fsync).
  virtual uint32_t Flush(TFileHandle handle) = 0;
  // Puts from in the place of to (used for the settings save). An existing to keeps what the
  // user or an administrator set on it: its attributes and permissions on Windows
  // (ReplaceFileW), its mode and, where permitted, its owner on POSIX. On the way the old file
  // may be put under backup, a name of the caller's that nothing holds: after a success the
  // caller removes backup if it exists. On failure to is as it was and from still exists,
  // except after 1176 (ERROR_UNABLE_TO_MOVE_REPLACEMENT) and 1177 (..._2): from still exists,
  // and the old file is either still at to or, for 1177, under backup.
  virtual uint32_t Replace(const TPath& from, const TPath& to, const TPath& backup) = 0;
  // Renames from to to, over a file of that name if there is one, in one step; the renamed
  // file keeps its own attributes and permissions.
  virtual uint32_t Move(const TPath& from, const TPath& to) = 0;
  // The files beside path whose names begin with path's own name and go on: for each, the rest
  // of its name after that beginning (".1-2.tmp" beside "a.ini" for "a.ini.1-2.tmp").
  // Folders are left out.
  virtual uint32_t ListFilesNamedAfter(const TPath& path, std::vector<std::string>& endings) = 0;
  // The calling thread's last system error code, for failures outside the calls above.
  virtual uint32_t LastError() = 0;
};

// The platform's file layer. Defined per platform.
FileApi& PlatformFileApi();

// The layer in use: the test fake when one is set, else the platform's.
FileApi& ActiveFileApi();
void SetFileApiForTesting(FileApi* api);

// The failures of a creation or an opening of path that failed with error_code of this layer:
// "Cannot create file "%s". %s" (EFCreateError) and "Cannot open file "%s". %s" (EFOpenError)
// with the display text of the full path of path and the system text of error_code.
[[noreturn]] void RaiseCreateFileFailure(const TPath& path, uint32_t error_code);
[[noreturn]] void RaiseOpenFileFailure(const TPath& path, uint32_t error_code);

}  // namespace vxt

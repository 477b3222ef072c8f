// The file layer on Windows: the Win32 wide-character calls, on the paths as the system holds
// them, and their own error codes.
#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileA, which would rename the layer's method here.
#undef DeleteFile

#include <algorithm>

#include "platform/Files.h"
#include "platform/win32/WidePath.h"

namespace vxt {

namespace {

// The attributes that a user or an administrator sets on a file and that a replacement keeps.
// Read-only is not among them: such a file is never replaced.
constexpr DWORD kUserAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// How often a replacement that found the old file gone meanwhile looks at it again.
constexpr int kReplaceRounds = 4;

// ReadFile and WriteFile take 32-bit counts; larger transfers go in pieces of this size.
constexpr size_t kChunk = 1u << 30;

HANDLE ToHandle(TFileHandle handle) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}
TFileHandle FromHandle(HANDLE handle) {
  return static_cast<TFileHandle>(reinterpret_cast<intptr_t>(handle));
}

uint32_t Result(BOOL ok) {
  return ok ? 0 : GetLastError();
}

DWORD AttributesOf(const TPath& path) {
  return GetFileAttributesW(WidePath(path).c_str());
}

// A file that is hidden or a system file can only be created over with those attributes given
// again (else access denied); no other attribute is carried over.
DWORD KeptAttributesOf(const TPath& path) {
  DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FILE_ATTRIBUTE_NORMAL;
  attributes &= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

uint32_t OpenFile(const TPath& path, DWORD access, DWORD share, DWORD disposition,
                  TFileHandle& handle, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE file =
      CreateFileW(WidePath(path).c_str(), access, share, nullptr, disposition, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    handle = kInvalidFile;
    return GetLastError();
  }
  handle = FromHandle(file);
  return 0;
}

// Windows refuses to truncate, replace or delete a file with the read-only attribute (5). Wine
// running as root, as it does on the build machines, does all three, since it leaves the check
// to the Unix permissions; testing the attribute first gives Windows' answer everywhere.
bool IsReadOnlyFile(const TPath& path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A rename over whatever holds the name by then (another copy's save may have put a file there
// a moment ago), written through to the disk before it returns.
uint32_t MoveInPlace(const std::wstring& source, const std::wstring& target) {
  return Result(MoveFileExW(source.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

uint32_t DenyAccess() {
  SetLastError(ERROR_ACCESS_DENIED);
  return ERROR_ACCESS_DENIED;
}

class Win32FileApi final : public FileApi {
 public:
  bool FileExists(const TPath& path) override {
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool DeleteFile(const TPath& path) override {
    if (IsReadOnlyFile(path)) return DenyAccess() == 0;
    return DeleteFileW(WidePath(path).c_str()) != 0;
  }

  uint32_t CreateExclusive(const TPath& path, TFileHandle& handle) override {
    if (IsReadOnlyFile(path)) {
      handle = kInvalidFile;
      return DenyAccess();
    }
    return OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, handle,
                    KeptAttributesOf(path));
  }

  uint32_t CreateNew(const TPath& path, TFileHandle& handle) override {
    return OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, handle);
  }

  uint32_t OpenShareRead(const TPath& path, TFileHandle& handle) override {
    return OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, handle);
  }

  uint32_t Read(TFileHandle handle, void* buffer, size_t length, size_t& read) override {
    read = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (read < length) {
      DWORD piece = static_cast<DWORD>(std::min(length - read, kChunk));
      DWORD got = 0;
      if (!ReadFile(ToHandle(handle), bytes + read, piece, &got, nullptr)) return GetLastError();
      read += got;
      if (got < piece) break;  // the end of the file
    }
    return 0;
  }

  uint32_t Write(TFileHandle handle, const void* buffer, size_t length, size_t& written) override {
    written = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (written < length) {
      DWORD piece = static_cast<DWORD>(std::min(length - written, kChunk));
      DWORD put = 0;
      if (!WriteFile(ToHandle(handle), bytes + written, piece, &put, nullptr)) {
        return GetLastError();
      }
      written += put;
      // A file write that succeeds but takes less than offered has run out of room.
      if (put < piece) return file_error::kDiskFull;
    }
    return 0;
  }

  uint32_t Seek(TFileHandle handle, int64_t position) override {
    LARGE_INTEGER distance;
    distance.QuadPart = position;
    return Result(SetFilePointerEx(ToHandle(handle), distance, nullptr, FILE_BEGIN));
  }

  uint32_t Truncate(TFileHandle handle) override { return Result(SetEndOfFile(ToHandle(handle))); }

  int64_t Size(TFileHandle handle) override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(ToHandle(handle), &size)) return -1;
    return size.QuadPart;
  }

  uint32_t Close(TFileHandle handle) override { return Result(CloseHandle(ToHandle(handle))); }

  uint32_t Flush(TFileHandle handle) override { return Result(FlushFileBuffers(ToHandle(handle))); }

  uint32_t Replace(const TPath& from, const TPath& to, const TPath& backup) override {
    // The old file may go between the look at it and the replacement: another copy's save
    // sets it aside for a moment, and the replacement then finds nothing to replace (2) while
    // the new file is still there. The look is made again: by then the other save has put its
    // own file in place (replaced in turn) or none is there (taken by a rename).
    uint32_t code = 0;
    for (int attempt = 0; attempt < kReplaceRounds; ++attempt) {
      code = ReplaceOnce(from, to, backup);
      if (code != ERROR_FILE_NOT_FOUND || AttributesOf(from) == INVALID_FILE_ATTRIBUTES) break;
    }
    return code;
  }

  uint32_t Move(const TPath& from, const TPath& to) override {
    if (IsReadOnlyFile(to)) return DenyAccess();
    return MoveInPlace(WidePath(from), WidePath(to));
  }

  uint32_t ListFilesNamedAfter(const TPath& path, std::vector<std::string>& endings) override {
    endings.clear();
    const std::wstring wide = WidePath(path);
    const std::wstring name = wide.substr(wide.find_last_of(L"\\:") + 1);
    WIN32_FIND_DATAW found;
    // The pattern also matches short 8.3 names; only long names that begin so are kept.
    HANDLE search = FindFirstFileW((wide + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      return code == ERROR_FILE_NOT_FOUND ? 0 : code;
    }
    do {
      const std::wstring found_name = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
          found_name.size() <= name.size() || found_name.compare(0, name.size(), name) != 0) {
        continue;
      }
      const std::wstring ending = found_name.substr(name.size());
      endings.push_back(PathOfWide(ending.data(), ending.size()).Bytes());
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
      SetLastError(code);
      return code;
    }
    return 0;
  }

  uint32_t LastError() override { return GetLastError(); }

 private:
  uint32_t ReplaceOnce(const TPath& from, const TPath& to, const TPath& backup) {
    if (IsReadOnlyFile(to)) return DenyAccess();
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    const DWORD old_attributes = GetFileAttributesW(target.c_str());
    // Wine's ReplaceFileW moves a folder of the target's name aside instead of refusing.
    if (old_attributes != INVALID_FILE_ATTRIBUTES &&
        (old_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return DenyAccess();
    }
    if (old_attributes == INVALID_FILE_ATTRIBUTES) return MoveInPlace(source, target);
    // ReplaceFileW carries the old file's attributes, security descriptor and streams over to
    // the new content, which a rename over it would drop. The attributes that the user sets
    // (hidden, system, not indexed, archive) are put on the new file first as well: Wine's
    // ReplaceFileW renames without carrying them.
    const DWORD kept = old_attributes & kUserAttributes;
    if (kept != 0) SetFileAttributesW(source.c_str(), kept);
    // The old file goes aside under the caller's backup name, never under a name that the
    // system picks: without one, Wine's ReplaceFileW renames it to an rf*.tmp of its own in
    // the same folder, which two saves at once can leave behind, holding the old PIN.
    if (ReplaceFileW(target.c_str(), source.c_str(), WidePath(backup).c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return 0;
    }
    const DWORD code = GetLastError();
    // The old file has been set aside or removed and the new one still has its own name: the
    // caller completes the save, so the new file keeps the attributes it was given.
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      SetLastError(code);
      return code;
    }
    // A hidden or system file refuses to be created over (CREATE_ALWAYS), which the cleanup of
    // a failed save may need to do; the new file goes back to what it was made with.
    if (kept != 0) SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetLastError(code);
    return code;
  }
};

}  // namespace

FileApi& PlatformFileApi() {
  static Win32FileApi api;
  return api;
}

}  // namespace vxt

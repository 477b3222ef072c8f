// The file layer on Windows: the Win32 A calls, their own error codes.
#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileA, which would rename the layer's method here.
#undef DeleteFile

#include <algorithm>

#include "platform/Files.h"

namespace vxt {

namespace {

constexpr uint32_t kErrorDiskFull = ERROR_DISK_FULL;

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

uint32_t OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                  TFileHandle& handle) {
  HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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
bool IsReadOnlyFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

uint32_t DenyAccess() {
  SetLastError(ERROR_ACCESS_DENIED);
  return ERROR_ACCESS_DENIED;
}

class Win32FileApi final : public FileApi {
 public:
  bool FileExists(const std::string& path) override {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool DeleteFile(const std::string& path) override {
    if (IsReadOnlyFile(path)) return DenyAccess() == 0;
    return DeleteFileA(path.c_str()) != 0;
  }

  uint32_t CreateExclusive(const std::string& path, TFileHandle& handle) override {
    if (IsReadOnlyFile(path)) {
      handle = kInvalidFile;
      return DenyAccess();
    }
    return OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, handle);
  }

  uint32_t CreateNew(const std::string& path, TFileHandle& handle) override {
    return OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, handle);
  }

  uint32_t OpenShareRead(const std::string& path, TFileHandle& handle) override {
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
      if (put < piece) return kErrorDiskFull;
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

  uint32_t Replace(const std::string& from, const std::string& to) override {
    if (IsReadOnlyFile(to)) return DenyAccess();
    return Result(
        MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  }

  uint32_t LastError() override { return GetLastError(); }
};

}  // namespace

FileApi& PlatformFileApi() {
  static Win32FileApi api;
  return api;
}

}  // namespace vxt

// The file layer on POSIX, with the semantics of the Windows calls it stands in for.
//
// Windows share modes become advisory locks (flock) taken by every open of this layer: an
// exclusive create holds LOCK_EX, a share-read open LOCK_SH, so two share-read opens coexist
// and every other pair collides with a sharing violation (32), also between two handles of one
// process, since flock locks belong to the open file description. Programs that open the file
// without this layer are not seen. A file whose mode has no write bit plays the part of a file
// with the Windows read-only attribute: it cannot be created over, replaced or deleted (5),
// also for root, who could write it, so the mode bits are tested rather than access().
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vxt {

namespace {

struct TErrnoCode {
  int error_number;
  uint32_t code;
};

// errno values and the Windows system error codes of the same conditions. ENOENT is missing:
// it is 2 or 3 depending on the path (ErrnoToCode). Anything not listed is reported as 31,
// ERROR_GEN_FAILURE ("A device attached to the system is not functioning."), the Windows code
// of a failure without a closer match.
constexpr TErrnoCode kErrnoCodes[] = {
    {ENOTDIR, file_error::kPathNotFound},
    {EMFILE, 4},
    {ENFILE, 4},
    {EACCES, file_error::kAccessDenied},
    {EPERM, file_error::kAccessDenied},
    {EROFS, file_error::kAccessDenied},
    {EISDIR, file_error::kAccessDenied},
    {EBADF, 6},
    {ENOMEM, 8},
    {EXDEV, 17},
    {EWOULDBLOCK, file_error::kSharingViolation},  // a lock held by another open of the file
    {EEXIST, 80},
    {EINVAL, 87},
    {ENOSPC, file_error::kDiskFull},
    {EDQUOT, file_error::kDiskFull},
    {ENAMETOOLONG, 206},
    {EFBIG, 223},
};

thread_local uint32_t last_error = 0;

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentFolder(const std::string& path) {
  size_t last = path.find_last_of('/');
  if (last == std::string::npos) return ".";
  if (last == 0) return "/";
  return path.substr(0, last);
}

// Windows tells a missing file (2) from a missing folder on its path (3); ENOENT does not.
uint32_t ErrnoToCode(int error_number, const std::string& path) {
  if (error_number == ENOENT) {
    return !path.empty() && IsFolder(ParentFolder(path)) ? file_error::kFileNotFound
                                                         : file_error::kPathNotFound;
  }
  for (const TErrnoCode& entry : kErrnoCodes) {
    if (entry.error_number == error_number) return entry.code;
  }
  return file_error::kGenFailure;
}

uint32_t Fail(uint32_t code) {
  last_error = code;
  return code;
}

uint32_t FailErrno(const std::string& path = std::string()) {
  return Fail(ErrnoToCode(errno, path));
}

bool IsReadOnly(const struct stat& st) {
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

int ToFd(TFileHandle handle) {
  return static_cast<int>(handle);
}

// Changing a file through a handle opened for reading only is access denied (5) on Windows;
// POSIX says EBADF (write) or EINVAL (ftruncate) as for a handle that is no file at all.
uint32_t FailChange(int fd) {
  int error_number = errno;
  int flags = fcntl(fd, F_GETFL);
  if ((error_number == EBADF || error_number == EINVAL) && flags >= 0 &&
      (flags & O_ACCMODE) == O_RDONLY) {
    return Fail(file_error::kAccessDenied);
  }
  return Fail(ErrnoToCode(error_number, std::string()));
}

// Windows refuses to delete or rename a file that any handle holds open (none of this layer's
// opens shares deletion). An open of the layer holds a lock, so a free exclusive lock means no
// such handle. Returns 0 when free, else the sharing violation; a file that cannot be opened
// for the probe counts as free, and the operation itself then reports what is wrong.
uint32_t ProbeNotHeld(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  int locked = flock(fd, LOCK_EX | LOCK_NB);
  int lock_error = errno;
  close(fd);  // releases the probe's lock
  return locked != 0 && lock_error == EWOULDBLOCK ? file_error::kSharingViolation : 0;
}

// Renames from over to; the rename itself lasts once the folder's entry is on disk.
uint32_t Rename(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return FailErrno(to);
  int folder = open(ParentFolder(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return 0;
}

class PosixFileApi final : public FileApi {
 public:
  bool FileExists(const TPath& path) override {
    struct stat st;
    if (stat(path.Bytes().c_str(), &st) != 0) {
      FailErrno(path.Bytes());
      return false;
    }
    return !S_ISDIR(st.st_mode);
  }

  bool DeleteFile(const TPath& path) override {
    struct stat st;
    uint32_t code = 0;
    if (lstat(path.Bytes().c_str(), &st) != 0) {
      code = FailErrno(path.Bytes());
    } else if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && IsReadOnly(st))) {
      code = Fail(file_error::kAccessDenied);
    } else if (S_ISREG(st.st_mode) && ProbeNotHeld(path.Bytes()) != 0) {
      code = Fail(file_error::kSharingViolation);
    } else if (unlink(path.Bytes().c_str()) != 0) {
      code = FailErrno(path.Bytes());
    }
    return code == 0;
  }

  uint32_t CreateExclusive(const TPath& path, TFileHandle& handle) override {
    handle = kInvalidFile;
    if (path.Empty()) return Fail(file_error::kPathNotFound);
    struct stat st;
    if (stat(path.Bytes().c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || IsReadOnly(st))) {
      return Fail(file_error::kAccessDenied);
    }
    // No O_TRUNC: the content of a file that another holder still has open must survive the
    // failed attempt, so the file is cut only once the lock is ours.
    int fd = open(path.Bytes().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return FailErrno(path.Bytes());
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
      uint32_t code = FailErrno(path.Bytes());
      close(fd);
      return code;
    }
    handle = fd;
    return 0;
  }

  uint32_t CreateNew(const TPath& path, TFileHandle& handle) override {
    handle = kInvalidFile;
    if (path.Empty()) return Fail(file_error::kPathNotFound);
    // O_EXCL also refuses a dangling symbolic link of that name instead of following it.
    int fd = open(path.Bytes().c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return FailErrno(path.Bytes());
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      uint32_t code = FailErrno(path.Bytes());
      close(fd);
      unlink(path.Bytes().c_str());  // made by this call a moment ago
      return code;
    }
    handle = fd;
    return 0;
  }

  uint32_t OpenShareRead(const TPath& path, TFileHandle& handle) override {
    handle = kInvalidFile;
    if (path.Empty()) return Fail(file_error::kPathNotFound);
    int fd = open(path.Bytes().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FailErrno(path.Bytes());
    struct stat st;
    uint32_t code = 0;
    if (fstat(fd, &st) != 0) {
      code = FailErrno(path.Bytes());
    } else if (S_ISDIR(st.st_mode)) {
      code = Fail(file_error::kAccessDenied);  // Windows opens no folder as a file
    } else if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
      code = FailErrno(path.Bytes());
    }
    if (code != 0) {
      close(fd);
      return code;
    }
    handle = fd;
    return 0;
  }

  uint32_t Read(TFileHandle handle, void* buffer, size_t length, size_t& read_count) override {
    // A file read comes back short only at the end of the file, as on Windows.
    read_count = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (read_count < length) {
      ssize_t got = read(ToFd(handle), bytes + read_count, length - read_count);
      if (got < 0) {
        if (errno == EINTR) continue;
        return FailErrno();
      }
      if (got == 0) break;
      read_count += static_cast<size_t>(got);
    }
    return 0;
  }

  uint32_t Write(TFileHandle handle, const void* buffer, size_t length, size_t& written) override {
    // write() may take only a part (a disk that fills up, a signal); the rest is offered again,
    // and the error of the call that takes nothing more is the result.
    written = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (written < length) {
      ssize_t put = write(ToFd(handle), bytes + written, length - written);
      if (put < 0) {
        if (errno == EINTR) continue;
        return FailChange(ToFd(handle));
      }
      if (put == 0) return Fail(file_error::kDiskFull);
      written += static_cast<size_t>(put);
    }
    return 0;
  }

  uint32_t Seek(TFileHandle handle, int64_t position) override {
    if (position < 0) return Fail(file_error::kNegativeSeek);
    if (lseek(ToFd(handle), static_cast<off_t>(position), SEEK_SET) < 0) return FailErrno();
    return 0;
  }

  uint32_t Truncate(TFileHandle handle) override {
    off_t position = lseek(ToFd(handle), 0, SEEK_CUR);
    if (position < 0) return FailErrno();
    if (ftruncate(ToFd(handle), position) != 0) return FailChange(ToFd(handle));
    return 0;
  }

  int64_t Size(TFileHandle handle) override {
    struct stat st;
    if (fstat(ToFd(handle), &st) != 0) {
      FailErrno();
      return -1;
    }
    return static_cast<int64_t>(st.st_size);
  }

  uint32_t Close(TFileHandle handle) override {
    // After EINTR the descriptor is gone on Linux all the same; trying again could close a
    // descriptor that another thread has opened meanwhile.
    if (close(ToFd(handle)) != 0 && errno != EINTR) return FailErrno();
    return 0;
  }

  uint32_t Flush(TFileHandle handle) override {
    // A file system that cannot sync (EINVAL) keeps nothing back that a sync would write.
    if (fsync(ToFd(handle)) != 0 && errno != EINVAL) return FailErrno();
    return 0;
  }

  // A rename puts the new file in place in one step and sets nothing aside: backup stays
  // unused.
  uint32_t Replace(const TPath& from, const TPath& to, const TPath&) override {
    return RenameOver(from.Bytes(), to.Bytes(), true);
  }

  uint32_t Move(const TPath& from, const TPath& to) override {
    return RenameOver(from.Bytes(), to.Bytes(), false);
  }

  uint32_t ListFilesNamedAfter(const TPath& path, std::vector<std::string>& endings) override {
    endings.clear();
    const std::string& bytes = path.Bytes();
    const std::string folder_path = ParentFolder(bytes);
    const size_t slash = bytes.find_last_of('/');
    const std::string name = slash == std::string::npos ? bytes : bytes.substr(slash + 1);
    DIR* folder = opendir(folder_path.c_str());
    if (folder == nullptr) return FailErrno(folder_path);
    for (;;) {
      errno = 0;  // readdir tells its end from a failure by errno alone
      const dirent* entry = readdir(folder);
      if (entry == nullptr) break;
      const std::string found = entry->d_name;
      if (found.size() <= name.size() || found.compare(0, name.size(), name) != 0) continue;
      struct stat st;
      if (fstatat(dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          S_ISDIR(st.st_mode)) {
        continue;
      }
      endings.push_back(found.substr(name.size()));
    }
    const int error_number = errno;
    closedir(folder);
    if (error_number != 0) return Fail(ErrnoToCode(error_number, folder_path));
    return 0;
  }

  uint32_t LastError() override { return last_error; }

 private:
  // Renames from over to, refused as Windows refuses it: a folder or a read-only file at to
  // (5), either file held open (32). With keep_old_owner, the new file first takes an existing
  // old one's owner and permissions.
  uint32_t RenameOver(const std::string& from, const std::string& to, bool keep_old_owner) {
    struct stat st;
    const bool replaces = stat(to.c_str(), &st) == 0;
    if (replaces && (S_ISDIR(st.st_mode) || IsReadOnly(st))) return Fail(file_error::kAccessDenied);
    if (ProbeNotHeld(to) != 0 || ProbeNotHeld(from) != 0) {
      return Fail(file_error::kSharingViolation);
    }
    if (replaces && keep_old_owner) {
      int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return FailErrno(from);
      // A rename would otherwise give the file the saving user's owner and the umask's
      // permissions (a settings file kept at 0600, since it holds the PIN, would become
      // readable to all). Owner first: a change of owner clears the set-id bits. An owner that
      // may not be given (only root may) stays the saving user's.
      if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Not root: the group alone may still be given, when the user belongs to it.
        const int group_kept = fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        (void)group_kept;
      }
      const bool moded = fchmod(fd, st.st_mode & 07777) == 0;
      const uint32_t code = moded ? 0 : FailErrno(from);
      close(fd);
      if (!moded) return code;
    }
    return Rename(from, to);
  }
};

}  // namespace

FileApi& PlatformFileApi() {
  static PosixFileApi api;
  return api;
}

}  // namespace vxt

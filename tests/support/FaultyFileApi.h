// A file layer that fails on request, for the error paths of code that writes files.
//
// Every call goes to the platform's layer unless a failure has been asked for. Install it with
// ScopedFileApi (or SetFileApiForTesting) so that ActiveFileApi() returns it:
//
//   FaultyFileApi files;
//   files.FailWriteAfter(10, 112);            // the disk fills up after 10 bytes
//   files.Fail(FaultyFileApi::kReplace, 5);   // every Replace is refused
//   ScopedFileApi use(files);
//
// Torture mode fails one call by its number, whatever the call is: run the code once with
// FailNthCall(0, 0) to count its calls (Trace()), then once per n with FailNthCall(n, code).
//
// After an injected failure LastError() reports the injected code until the next call that
// reaches the platform. Not thread-safe: meant for one test thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace vxt {

class FaultyFileApi : public FileApi {
 public:
  enum TOperation {
    kFileExists,
    kDeleteFile,
    kCreateExclusive,
    kCreateNew,
    kOpenShareRead,
    kRead,
    kWrite,
    kSeek,
    kTruncate,
    kSize,
    kClose,
    kFlush,
    kReplace,
    kMove,
    kListFiles,
    kOperationCount
  };

  // Calls of operation fail with code (a Windows system error code) once `successes` calls
  // of it have gone through; `times` calls fail (kEveryCall: all that follow), the later ones
  // pass again. A failed DeleteFile returns false, a failed Size -1, a failed CreateExclusive
  // or OpenShareRead leaves the handle invalid. A failed Close still closes the file, so a
  // test leaks nothing.
  static constexpr int kEveryCall = -1;
  void Fail(TOperation operation, uint32_t code, int successes = 0, int times = kEveryCall);
  // Writes pass until `bytes` bytes have been written through this layer; the write that
  // crosses that mark writes the part up to it and reports the part and code; later writes
  // write nothing and report code.
  void FailWriteAfter(uint64_t bytes, uint32_t code);
  // A folder whose files may be written but which takes no new entry and lets none go: every
  // CreateNew, a CreateExclusive of a file that does not exist yet, every Replace and every
  // DeleteFile fail with code.
  void RefuseNewEntries(uint32_t code);
  // Every Replace that is not failed otherwise stops halfway as ReplaceFileW can, with code:
  // 1176 (ERROR_UNABLE_TO_MOVE_REPLACEMENT) leaves both files under their names; 1177
  // (..._2) first puts the old file under the backup name. Either way the new file keeps its
  // own name. 0 ends it.
  void StopReplaceHalfway(uint32_t code) { replace_stop_code_ = code; }

  // Torture mode: counts the calls afresh from now on, and fails call number n (from 1) of
  // any operation with code, once; n = 0 fails none and only counts. The failed call behaves
  // as a failed call of its operation above (FileExists reports no file); a failed Write first
  // writes the first half of what it was given, as a disk that fills up in mid-write.
  void FailNthCall(int n, uint32_t code);
  // One call since FailNthCall: what was called, on which file (for a call on a handle, the
  // file and the operation that opened the handle), how many bytes a Write was given, and
  // whether it was the call failed by number.
  struct TCall {
    TOperation operation = kOperationCount;
    TPath path;
    TOperation opened_by = kOperationCount;
    size_t length = 0;
    bool failed = false;
  };
  const std::vector<TCall>& Trace() const { return trace_; }
  // The handles that this layer opened and that have not been closed through it.
  size_t OpenHandles() const { return open_handles_.size(); }

  // Runs at the start of every call (before any failure is injected), with the call's path
  // (the target for Replace and Move; empty for calls on a handle): lets a test do something
  // between two steps of the code under test, such as a second save.
  std::function<void(TOperation operation, const TPath& path)> before_call;

  // How often operation has been called, failed or not.
  int Calls(TOperation operation) const { return calls_[operation]; }

  bool FileExists(const TPath& path) override;
  bool DeleteFile(const TPath& path) override;
  uint32_t CreateExclusive(const TPath& path, TFileHandle& handle) override;
  uint32_t CreateNew(const TPath& path, TFileHandle& handle) override;
  uint32_t OpenShareRead(const TPath& path, TFileHandle& handle) override;
  uint32_t Read(TFileHandle handle, void* buffer, size_t length, size_t& read) override;
  uint32_t Write(TFileHandle handle, const void* buffer, size_t length, size_t& written) override;
  uint32_t Seek(TFileHandle handle, int64_t position) override;
  uint32_t Truncate(TFileHandle handle) override;
  int64_t Size(TFileHandle handle) override;
  uint32_t Close(TFileHandle handle) override;
  uint32_t Flush(TFileHandle handle) override;
  uint32_t Replace(const TPath& from, const TPath& to, const TPath& backup) override;
  uint32_t Move(const TPath& from, const TPath& to) override;
  uint32_t ListFilesNamedAfter(const TPath& path, std::vector<std::string>& endings) override;
  uint32_t LastError() override;

 private:
  struct TFault {
    bool armed = false;
    uint32_t code = 0;
    int successes = 0;
    int times = kEveryCall;
  };
  struct TOpenFile {
    TPath path;
    TOperation opened_by;
  };
  // Runs the hook, counts and traces the call; returns the code to fail it with, or 0 to pass
  // it on.
  uint32_t Injected(TOperation operation, const TPath& path = TPath());
  uint32_t InjectedOnHandle(TOperation operation, TFileHandle handle, size_t length = 0);
  uint32_t InjectedCall(TOperation operation, const TPath& path, TFileHandle handle, size_t length);
  uint32_t Injecting(uint32_t code);
  // Keeps the handle that an opening call returned, for the trace and the count of open ones.
  uint32_t Opened(TOperation operation, const TPath& path, uint32_t code, TFileHandle handle);

  std::array<TFault, kOperationCount> faults_{};
  std::array<int, kOperationCount> calls_{};
  bool refuse_new_entries_ = false;
  uint32_t refusal_code_ = 0;
  uint32_t replace_stop_code_ = 0;
  bool write_limited_ = false;
  uint64_t write_budget_ = 0;
  uint32_t write_code_ = 0;
  bool last_injected_ = false;
  uint32_t last_code_ = 0;
  int torture_call_ = 0;           // 0: no call fails by number
  bool failed_by_number_ = false;  // the last call was the one failed by number
  uint32_t torture_code_ = 0;
  std::vector<TCall> trace_;
  std::map<TFileHandle, TOpenFile> open_handles_;
};

// Makes api the active file layer for the scope's lifetime.
class ScopedFileApi {
 public:
  explicit ScopedFileApi(FileApi& api) { SetFileApiForTesting(&api); }
  ~ScopedFileApi() { SetFileApiForTesting(nullptr); }
  ScopedFileApi(const ScopedFileApi&) = delete;
  ScopedFileApi& operator=(const ScopedFileApi&) = delete;
};

}  // namespace vxt

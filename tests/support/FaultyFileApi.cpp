#include "support/FaultyFileApi.h"

#include <algorithm>

namespace vxt {

void FaultyFileApi::Fail(TOperation operation, uint32_t code, int successes, int times) {
  faults_[operation] = TFault{true, code, successes, times};
}

void FaultyFileApi::FailWriteAfter(uint64_t bytes, uint32_t code) {
  write_limited_ = true;
  write_budget_ = bytes;
  write_code_ = code;
}

void FaultyFileApi::RefuseNewEntries(uint32_t code) {
  refuse_new_entries_ = true;
  refusal_code_ = code;
}

void FaultyFileApi::FailNthCall(int n, uint32_t code) {
  torture_call_ = n;
  torture_code_ = code;
  trace_.clear();
}

uint32_t FaultyFileApi::Injected(TOperation operation, const TPath& path) {
  return InjectedCall(operation, path, kInvalidFile, 0);
}

uint32_t FaultyFileApi::InjectedOnHandle(TOperation operation, TFileHandle handle, size_t length) {
  return InjectedCall(operation, TPath(), handle, length);
}

uint32_t FaultyFileApi::InjectedCall(TOperation operation, const TPath& path, TFileHandle handle,
                                     size_t length) {
  if (before_call) before_call(operation, path);
  ++calls_[operation];
  TCall call{operation, path, kOperationCount, length, false};
  if (auto open = open_handles_.find(handle); open != open_handles_.end()) {
    call.path = open->second.path;
    call.opened_by = open->second.opened_by;
  }
  trace_.push_back(call);
  failed_by_number_ = torture_call_ > 0 && trace_.size() == static_cast<size_t>(torture_call_);
  if (failed_by_number_) {
    trace_.back().failed = true;
    return Injecting(torture_code_);
  }
  TFault& fault = faults_[operation];
  if (!fault.armed) return Injecting(0);
  if (fault.successes > 0) {
    --fault.successes;
    return Injecting(0);
  }
  if (fault.times == 0) return Injecting(0);
  if (fault.times > 0) --fault.times;
  return Injecting(fault.code);
}

uint32_t FaultyFileApi::Injecting(uint32_t code) {
  last_injected_ = code != 0;
  last_code_ = code;
  return code;
}

uint32_t FaultyFileApi::Opened(TOperation operation, const TPath& path, uint32_t code,
                               TFileHandle handle) {
  if (code == 0 && handle != kInvalidFile) open_handles_[handle] = TOpenFile{path, operation};
  return code;
}

bool FaultyFileApi::FileExists(const TPath& path) {
  if (Injected(kFileExists, path) != 0) return false;
  return PlatformFileApi().FileExists(path);
}

bool FaultyFileApi::DeleteFile(const TPath& path) {
  if (Injected(kDeleteFile, path) != 0) return false;
  if (refuse_new_entries_) return Injecting(refusal_code_) == 0;
  return PlatformFileApi().DeleteFile(path);
}

uint32_t FaultyFileApi::CreateExclusive(const TPath& path, TFileHandle& handle) {
  uint32_t code = Injected(kCreateExclusive, path);
  if (code == 0 && refuse_new_entries_ && !PlatformFileApi().FileExists(path)) {
    code = Injecting(refusal_code_);
  }
  if (code != 0) {
    handle = kInvalidFile;
    return code;
  }
  const uint32_t opened = PlatformFileApi().CreateExclusive(path, handle);
  return Opened(kCreateExclusive, path, opened, handle);
}

uint32_t FaultyFileApi::CreateNew(const TPath& path, TFileHandle& handle) {
  uint32_t code = Injected(kCreateNew, path);
  if (code == 0 && refuse_new_entries_) code = Injecting(refusal_code_);
  if (code != 0) {
    handle = kInvalidFile;
    return code;
  }
  const uint32_t opened = PlatformFileApi().CreateNew(path, handle);
  return Opened(kCreateNew, path, opened, handle);
}

uint32_t FaultyFileApi::OpenShareRead(const TPath& path, TFileHandle& handle) {
  if (uint32_t code = Injected(kOpenShareRead, path)) {
    handle = kInvalidFile;
    return code;
  }
  const uint32_t opened = PlatformFileApi().OpenShareRead(path, handle);
  return Opened(kOpenShareRead, path, opened, handle);
}

uint32_t FaultyFileApi::Read(TFileHandle handle, void* buffer, size_t length, size_t& read) {
  if (uint32_t code = InjectedOnHandle(kRead, handle)) {
    read = 0;
    return code;
  }
  return PlatformFileApi().Read(handle, buffer, length, read);
}

uint32_t FaultyFileApi::Write(TFileHandle handle, const void* buffer, size_t length,
                              size_t& written) {
  written = 0;
  if (uint32_t code = InjectedOnHandle(kWrite, handle, length)) {
    // Failed by number: the first half reaches the file, as when a disk fills up mid-write.
    if (failed_by_number_ && length / 2 > 0) {
      PlatformFileApi().Write(handle, buffer, length / 2, written);
      Injecting(code);
    }
    return code;
  }
  if (!write_limited_ || length <= write_budget_) {
    uint32_t code = PlatformFileApi().Write(handle, buffer, length, written);
    if (write_limited_) write_budget_ -= std::min<uint64_t>(written, write_budget_);
    return code;
  }
  // The write crosses the mark: only the part that still fits reaches the file.
  size_t part = static_cast<size_t>(write_budget_);
  if (part > 0) {
    uint32_t code = PlatformFileApi().Write(handle, buffer, part, written);
    write_budget_ -= std::min<uint64_t>(written, write_budget_);
    if (code != 0) return code;
  }
  return Injecting(write_code_);
}

uint32_t FaultyFileApi::Seek(TFileHandle handle, int64_t position) {
  if (uint32_t code = InjectedOnHandle(kSeek, handle)) return code;
  return PlatformFileApi().Seek(handle, position);
}

uint32_t FaultyFileApi::Truncate(TFileHandle handle) {
  if (uint32_t code = InjectedOnHandle(kTruncate, handle)) return code;
  return PlatformFileApi().Truncate(handle);
}

int64_t FaultyFileApi::Size(TFileHandle handle) {
  if (InjectedOnHandle(kSize, handle) != 0) return -1;
  return PlatformFileApi().Size(handle);
}

uint32_t FaultyFileApi::Close(TFileHandle handle) {
  uint32_t code = InjectedOnHandle(kClose, handle);
  open_handles_.erase(handle);
  PlatformFileApi().Close(handle);
  return code;
}

uint32_t FaultyFileApi::Flush(TFileHandle handle) {
  if (uint32_t code = InjectedOnHandle(kFlush, handle)) return code;
  return PlatformFileApi().Flush(handle);
}

uint32_t FaultyFileApi::Replace(const TPath& from, const TPath& to, const TPath& backup) {
  if (uint32_t code = Injected(kReplace, to)) return code;
  if (refuse_new_entries_) return Injecting(refusal_code_);
  if (replace_stop_code_ != 0) {
    if (replace_stop_code_ == 1177) PlatformFileApi().Move(to, backup);
    return Injecting(replace_stop_code_);
  }
  return PlatformFileApi().Replace(from, to, backup);
}

uint32_t FaultyFileApi::Move(const TPath& from, const TPath& to) {
  if (uint32_t code = Injected(kMove, to)) return code;
  if (refuse_new_entries_) return Injecting(refusal_code_);
  return PlatformFileApi().Move(from, to);
}

uint32_t FaultyFileApi::ListFilesNamedAfter(const TPath& path, std::vector<std::string>& endings) {
  endings.clear();
  if (uint32_t code = Injected(kListFiles, path)) return code;
  return PlatformFileApi().ListFilesNamedAfter(path, endings);
}

uint32_t FaultyFileApi::LastError() {
  return last_injected_ ? last_code_ : PlatformFileApi().LastError();
}

}  // namespace vxt

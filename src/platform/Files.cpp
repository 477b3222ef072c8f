// The file layer in use (the platform's, unless a test has put a fake in its place) and the
// failures of its calls.
#include "platform/Files.h"

#include <atomic>

#include "failures/Exceptions.h"
#include "platform/System.h"

namespace vxt {

namespace {
std::atomic<FileApi*> file_api_for_testing{nullptr};
}  // namespace

FileApi& ActiveFileApi() {
  FileApi* api = file_api_for_testing.load(std::memory_order_acquire);
  return api != nullptr ? *api : PlatformFileApi();
}

void SetFileApiForTesting(FileApi* api) {
  file_api_for_testing.store(api, std::memory_order_release);
}

void RaiseCreateFileFailure(const TPath& path, uint32_t error_code) {
  RaiseCannotCreateFile(DisplayText(FullPathName(path)), SystemErrorText(error_code));
}

void RaiseOpenFileFailure(const TPath& path, uint32_t error_code) {
  RaiseCannotOpenFile(DisplayText(FullPathName(path)), SystemErrorText(error_code));
}

}  // namespace vxt

// The file layer in use: the platform's, unless a test has put a fake in its place.
#include "platform/Files.h"

#include <atomic>

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

}  // namespace vxt

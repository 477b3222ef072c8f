#include "platform/NetworkLayer.h"

#include <atomic>
#include <mutex>

#include "failures/Exceptions.h"

namespace vxt {

namespace {

struct LayerState {
  std::mutex mutex;
  int use_count = 0;
  std::unique_ptr<SocketApi> platform;
  std::atomic<SocketApi*> fake{nullptr};
};

// Never destroyed: connection objects with static lifetime may release their use during exit,
// after a static state would already be gone. The platform layer then lives until the process
// ends, which also shuts the socket library down.
LayerState& State() {
  static LayerState* const state = new LayerState;
  return *state;
}

}  // namespace

void NetworkLayer::AddUse() {
  LayerState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.use_count == 0 && !state.platform && state.fake.load() == nullptr) {
    // May raise; the count then stays at 0 and the next use tries again.
    state.platform = CreatePlatformSocketApi();
  }
  ++state.use_count;
}

void NetworkLayer::ReleaseUse() {
  LayerState& state = State();
  std::unique_ptr<SocketApi> released;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.use_count == 0) return;
    if (--state.use_count == 0) released = std::move(state.platform);
  }
  // The library is shut down outside the lock; a new first use may already build its successor.
  released.reset();
}

int NetworkLayer::UseCount() {
  LayerState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.use_count;
}

bool NetworkLayer::PlatformLayerLoaded() {
  LayerState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.platform != nullptr;
}

SocketApi& ActiveSocketApi() {
  LayerState& state = State();
  if (SocketApi* fake = state.fake.load()) return *fake;
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.platform) state.platform = CreatePlatformSocketApi();
  return *state.platform;
}

void SetSocketApiForTesting(SocketApi* api) {
  State().fake.store(api);
}

int64_t CheckSocketResult(const TSocketResult& result) {
  if (result.Failed()) RaiseSocketFailure(result.error);
  return result.value;
}

std::unique_ptr<SocketApi> CreatePlatformSocketApi() {
  return CreatePlatformSocketApiFromLibrary(PlatformSocketLibraryName());
}

}  // namespace vxt

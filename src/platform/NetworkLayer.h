// The network layer: the one process-wide socket layer that every socket call goes through,
// kept alive by a usage count, and the place where a test puts its fake.
#pragma once

#include <memory>

#include "platform/SocketApi.h"

namespace vxt {

// The platform layer from PlatformSocketLibraryName() (see
// CreatePlatformSocketApiFromLibrary).
std::unique_ptr<SocketApi> CreatePlatformSocketApi();

// The network layer's process-wide usage count. The first use creates the platform layer,
// the release of the last use destroys it. Connection objects, I/O handlers and input buffers
// each hold one use (NetworkLayerUse) while they exist. Changed only under a process-wide lock.
class NetworkLayer {
 public:
  static void AddUse();      // may raise the platform layer's load failures
  static void ReleaseUse();  // never raises
  static int UseCount();
  // Whether the platform layer exists now (a set test fake is not counted).
  static bool PlatformLayerLoaded();
};

class NetworkLayerUse {
 public:
  NetworkLayerUse() { NetworkLayer::AddUse(); }
  NetworkLayerUse(const NetworkLayerUse&) { NetworkLayer::AddUse(); }
  NetworkLayerUse& operator=(const NetworkLayerUse&) = default;
  ~NetworkLayerUse() { NetworkLayer::ReleaseUse(); }
};

// The socket layer that all socket calls go through: the test fake when one is set, otherwise
// the platform layer (created on demand when no use holds it yet).
SocketApi& ActiveSocketApi();

// Puts a fake in place of the platform layer (nullptr restores it). The fake is not owned.
void SetSocketApiForTesting(SocketApi* api);

}  // namespace vxt

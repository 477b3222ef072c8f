// The network layer's usage count: the first use creates the platform layer, the release of
// the last destroys it, a test fake bypasses it, and the count survives concurrent use.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/NetworkLayer.h"
#include "support/FakeSocketApi.h"

namespace vxt {
namespace {

// A layer that has been started makes sockets.
void ExpectWorking(SocketApi& api) {
  const TSocketResult s = api.Socket(TIPVersion::Id_IPv4);
  ASSERT_FALSE(s.Failed()) << s.error;
  const TSocketResult closed = api.Close(s.value);
  EXPECT_FALSE(closed.Failed()) << closed.error;
}

class NetworkLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(NetworkLayer::UseCount(), 0) << "a use leaked from an earlier test";
  }
  void TearDown() override {
    SetSocketApiForTesting(nullptr);
    while (NetworkLayer::UseCount() > 0) NetworkLayer::ReleaseUse();
  }
};

TEST_F(NetworkLayerTest, FirstUseCreatesAndLastReleaseDestroysThePlatformLayer) {
  // A layer made on demand earlier goes with the next release of the last use.
  NetworkLayer::AddUse();
  NetworkLayer::ReleaseUse();
  ASSERT_FALSE(NetworkLayer::PlatformLayerLoaded());

  NetworkLayer::AddUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 1);
  EXPECT_TRUE(NetworkLayer::PlatformLayerLoaded());
  SocketApi* const first = &ActiveSocketApi();
  NetworkLayer::AddUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 2);
  EXPECT_EQ(&ActiveSocketApi(), first);
  ExpectWorking(*first);

  NetworkLayer::ReleaseUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 1);
  EXPECT_TRUE(NetworkLayer::PlatformLayerLoaded());
  NetworkLayer::ReleaseUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 0);
  EXPECT_FALSE(NetworkLayer::PlatformLayerLoaded());
}

TEST_F(NetworkLayerTest, AReleaseWithoutUseChangesNothing) {
  NetworkLayer::ReleaseUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 0);
  NetworkLayer::AddUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 1);
  NetworkLayer::ReleaseUse();
  NetworkLayer::ReleaseUse();
  EXPECT_EQ(NetworkLayer::UseCount(), 0);
}

TEST_F(NetworkLayerTest, WithoutUsesTheLayerIsMadeOnDemandAndKept) {
  SocketApi& made = ActiveSocketApi();
  EXPECT_TRUE(NetworkLayer::PlatformLayerLoaded());
  EXPECT_EQ(NetworkLayer::UseCount(), 0);
  EXPECT_EQ(&ActiveSocketApi(), &made);
  // Taking and giving back a use ends it, as the count falls to 0.
  NetworkLayer::AddUse();
  EXPECT_EQ(&ActiveSocketApi(), &made);
  NetworkLayer::ReleaseUse();
  EXPECT_FALSE(NetworkLayer::PlatformLayerLoaded());
}

TEST_F(NetworkLayerTest, AFakeReplacesThePlatformLayerWithoutLoadingIt) {
  {
    testing::FakeSocketApi fake;
    NetworkLayer::AddUse();
    EXPECT_EQ(NetworkLayer::UseCount(), 1);
    EXPECT_FALSE(NetworkLayer::PlatformLayerLoaded());
    EXPECT_EQ(&ActiveSocketApi(), &fake);
    EXPECT_FALSE(NetworkLayer::PlatformLayerLoaded());
  }
  // With the fake gone the platform layer answers, made on demand.
  SocketApi& platform = ActiveSocketApi();
  EXPECT_TRUE(NetworkLayer::PlatformLayerLoaded());
  ExpectWorking(platform);
  NetworkLayer::ReleaseUse();
  EXPECT_FALSE(NetworkLayer::PlatformLayerLoaded());
}

TEST_F(NetworkLayerTest, UseObjectsHoldOneUseEachAlsoWhenCopied) {
  testing::FakeSocketApi fake;
  {
    NetworkLayerUse use;
    EXPECT_EQ(NetworkLayer::UseCount(), 1);
    {
      NetworkLayerUse copy(use);
      EXPECT_EQ(NetworkLayer::UseCount(), 2);
      NetworkLayerUse other;
      other = copy;
      EXPECT_EQ(NetworkLayer::UseCount(), 3);
    }
    EXPECT_EQ(NetworkLayer::UseCount(), 1);
  }
  EXPECT_EQ(NetworkLayer::UseCount(), 0);
}

TEST_F(NetworkLayerTest, ConcurrentUsesBalance) {
  testing::FakeSocketApi fake;
  NetworkLayerUse held;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        NetworkLayer::AddUse();
        NetworkLayer::AddUse();
        NetworkLayer::ReleaseUse();
        NetworkLayer::ReleaseUse();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(NetworkLayer::UseCount(), 1);
}

}  // namespace
}  // namespace vxt

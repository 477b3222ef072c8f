// The test servers themselves, driven by raw loopback sockets rather than the product, so that
// a fault in a server does not pass for a fault of the connection (or hide one).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/Net.h"
#include "support/ScriptedServer.h"

namespace vxt::testing {
namespace {

// A blocking-style client on top of the non-blocking calls.
class RawClient {
 public:
  explicit RawClient(uint16_t port) : s_(net::StartConnect(net::kLoopback, port)) {
    connected_ = s_ != net::kNoSocket &&
                 net::AwaitConnect(s_, 3000) == net::ConnectState::kConnected;
  }
  ~RawClient() { net::Close(s_); }
  bool Connected() const { return connected_; }
  void Send(const std::string& bytes) {
    ASSERT_TRUE(net::SendAll(s_, bytes.data(), bytes.size(), nullptr, 100));
  }
  // Reads until the peer closes; error receives the failure's code (0 for an orderly close).
  std::string ReadAll(int& error) {
    std::string all;
    error = 0;
    for (;;) {
      char buffer[4096];
      const long count = net::ReceiveWithin(s_, buffer, sizeof buffer, 3000);
      if (count == net::kWouldBlock) {
        error = -1;
        return all;
      }
      if (count < 0) {
        error = net::LastError();
        return all;
      }
      if (count == 0) return all;
      all.append(buffer, static_cast<size_t>(count));
    }
  }
  void Close() {
    net::Close(s_);
    s_ = net::kNoSocket;
  }

 private:
  net::Handle s_;
  bool connected_ = false;
};

TEST(ScriptedServerTest, RecordsTheRequestAndSendsTheReplyInBlocks) {
  std::string reply = PatternBytes(10000);
  ScriptedServer server({Step::ReadLine(), Step::SendBlocks(reply, 4096, 5), Step::Close()});
  RawClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  client.Send(std::string("IZVJ 1\r\nextra", 13));
  int error = 0;
  EXPECT_EQ(client.ReadAll(error), reply);
  EXPECT_EQ(error, 0);
  ASSERT_TRUE(server.WaitUntilDone(0));
  // Everything read is recorded, also what came after the line in the same receive.
  std::string received = server.Received(0);
  EXPECT_EQ(received.substr(0, 8), "IZVJ 1\r\n");
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST(ScriptedServerTest, QueuedScriptsServeConnectionsInAcceptOrder) {
  ScriptedServer server({Step::Send("default"), Step::Close()});
  server.QueueScript({Step::Send("first"), Step::Close()});
  int error = 0;
  {
    RawClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.ReadAll(error), "first");
  }
  {
    RawClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.ReadAll(error), "default");
  }
  EXPECT_TRUE(server.WaitForConnections(2));
}

TEST(ScriptedServerTest, WaitClientCloseNoticesTheClose) {
  ScriptedServer server({Step::WaitClientClose(), Step::Close()});
  RawClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  client.Send("bye");
  ASSERT_TRUE(server.WaitForConnections(1));
  client.Close();
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_TRUE(server.ClientClosed(0));
  EXPECT_EQ(server.Received(0), "bye");
}

TEST(ScriptedServerTest, WaitUntilHoldsTheScriptUntilItsConditionOrItsGiveUp) {
  std::atomic<bool> released{false};
  ScriptedServer server({Step::WaitUntil([&] { return released.load(); }, "the test releases it"),
                         Step::Send("held"), Step::Close()});
  server.QueueScript({Step::WaitUntil([] { return false; }, "never", 50), Step::Send("given up"),
                      Step::Close()});
  int error = 0;
  RawClient first(server.Port());
  ASSERT_TRUE(first.Connected());
  EXPECT_EQ(first.ReadAll(error), "given up");
  const std::vector<std::string> given_up{"the server waited 50 ms until never"};
  EXPECT_EQ(server.WaitsGivenUp(), given_up);

  RawClient second(server.Port());
  ASSERT_TRUE(second.Connected());
  ASSERT_TRUE(server.WaitForConnections(2));
  EXPECT_FALSE(server.WaitUntilDone(1, 100)) << "the script went on before its condition held";
  released = true;
  EXPECT_EQ(second.ReadAll(error), "held");
  EXPECT_EQ(server.WaitsGivenUp(), given_up);
}

TEST(ScriptedServerTest, StopEndsSilentAndSendingConnectionsPromptly) {
  auto started = std::chrono::steady_clock::now();
  {
    ScriptedServer server({Step::Silent()});
    server.QueueScript({Step::Send(PatternBytes(8 << 20))});  // more than the socket buffers
    RawClient sender(server.Port());
    RawClient silent(server.Port());
    ASSERT_TRUE(sender.Connected());
    ASSERT_TRUE(silent.Connected());
    ASSERT_TRUE(server.WaitForConnections(2));
    server.Stop();
    EXPECT_TRUE(server.WaitUntilDone(0, 0));
    EXPECT_TRUE(server.WaitUntilDone(1, 0));
  }
  // Generous: this only guards against a Stop() that waits for a client.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

TEST(ScriptedServerTest, ConnectsToTheHangingListenerStayPending) {
  HangingListener listener;
  ASSERT_TRUE(listener.ConnectsHang());
  net::Handle probe = net::StartConnect(net::kLoopback, listener.Port());
  ASSERT_NE(probe, net::kNoSocket);
  EXPECT_EQ(net::AwaitConnect(probe, 300), net::ConnectState::kPending);
  net::Close(probe);
}

TEST(ScriptedServerTest, PatternBytesDoNotRepeatAtBlockDistances) {
  std::string bytes = PatternBytes(10000);
  EXPECT_NE(bytes.substr(0, 100), bytes.substr(4096, 100));
  EXPECT_NE(bytes.substr(0, 100), bytes.substr(8192, 100));
  EXPECT_EQ(bytes.size(), 10000u);
}

}  // namespace
}  // namespace vxt::testing

// The connection over real loopback sockets against the scripted servers: what reaches the
// wire, what the client reports, and in which state each fault leaves it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "connection/ConnectionTestSupport.h"
#include "connection/IOHandler.h"
#include "connection/IdAntiFreeze.h"
#include "connection/TCPClient.h"
#include "support/MemoryStream.h"
#include "support/ScriptedServer.h"
#include "support/WaitFor.h"

namespace vxt {
namespace {

using testing::HangingListener;
using testing::PatternBytes;
using testing::ScriptedServer;
using testing::Step;

class ConnectionLoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.SetHost("127.0.0.1");
    client_.SetConnectTimeout(2000);
    client_.SetReadTimeout(2000);
  }

  void OpenTo(const ScriptedServer& server) {
    client_.SetPort(server.Port());
    client_.OpenConnection();
    client_.IOHandler()->SetRecvBufferSize(4096);
  }

  // The report request's read loop.
  void ReceiveWhileConnected(TStream& sink) {
    while (client_.IsConnected()) client_.IOHandler()->ReceiveUntilClosed(sink);
  }

  // Polls until the client has noticed the server's close (the close is in flight only for
  // the moment that loopback takes).
  ::testing::AssertionResult NoticedClose() {
    return testing::WaitFor(
        [&] {
          client_.IsConnected();
          return client_.IOHandler()->ClosedGracefully();
        },
        1000, "the client notices the server's close", {5, nullptr});
  }

  TTCPClient client_;
};

TEST_F(ConnectionLoopbackTest, AConnectThatHangsEndsAtTheTimeLimit) {
  HangingListener listener;
  ASSERT_TRUE(listener.ConnectsHang()) << "this system answers every connect";
  TIdAntiFreeze anti_freeze;
  int pumps = 0;
  anti_freeze.SetMessagePump([&](bool) { ++pumps; });
  client_.SetPort(listener.Port());
  client_.SetConnectTimeout(300);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdConnectTimeout", "Connect timed out.");
  EXPECT_EQ(pumps, 2);  // 300 = 125 + 125 + 50
  EXPECT_EQ(client_.IOHandler(), nullptr);
  EXPECT_FALSE(client_.IsConnected());

  // Without the component the limit holds the same way, with no pump step.
  anti_freeze.SetActive(false);
  client_.SetConnectTimeout(200);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdConnectTimeout", "Connect timed out.");
  EXPECT_EQ(pumps, 2);
  EXPECT_EQ(client_.IOHandler(), nullptr);
}

TEST_F(ConnectionLoopbackTest, AWaitingReplyIsReceivedInBlocksWithItsNotifications) {
  const std::string reply = PatternBytes(10000);
  ScriptedServer server({Step::ReadLine(), Step::Send(reply), Step::Close()});
  OpenTo(server);
  client_.IOHandler()->SendLine("IZVJ 1 ");
  // The whole reply and the close are waiting before the first poll.
  ASSERT_TRUE(server.WaitUntilDone(0));
  NotificationLog log(client_);
  ASSERT_TRUE(client_.IsConnected());
  EXPECT_EQ(client_.IOHandler()->InputBuffer()->Size(), 4096u);
  testing::MemoryStream sink;
  client_.IOHandler()->ReceiveUntilClosed(sink);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"begin r 0", "work r 4096", "work r 8192",
                                                     "work r 10000", "end r"}));
  EXPECT_EQ(sink.DataAsString(), reply);
  EXPECT_FALSE(client_.IsConnected());
  EXPECT_FALSE(client_.IOHandler()->Opened());
  EXPECT_NO_THROW(client_.CloseConnection());
  EXPECT_EQ(server.Received(0), "IZVJ 1 \r\n");
}

TEST_F(ConnectionLoopbackTest, AReplyInBlocksEndsWithItsLastBlock) {
  const std::string reply = PatternBytes(8192, 3);
  ScriptedServer server({Step::ReadLine(), Step::SendBlocks(reply, 4096, 30), Step::Close()});
  OpenTo(server);
  client_.IOHandler()->SendLine("x");
  NotificationLog log(client_);
  testing::MemoryStream sink;
  ReceiveWhileConnected(sink);
  EXPECT_EQ(sink.DataAsString(), reply);
  const auto& entries = log.Entries();
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries.front(), "begin r 0");
  EXPECT_EQ(entries[entries.size() - 2], "work r 8192");  // nothing more for the close
  EXPECT_EQ(entries.back(), "end r");
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "begin r 0"), 1);
}

TEST_F(ConnectionLoopbackTest, AServerThatClosesAtOnceGivesNoTransfer) {
  ScriptedServer server({Step::Close()});
  OpenTo(server);
  ASSERT_TRUE(server.WaitUntilDone(0));
  NotificationLog log(client_);
  ASSERT_TRUE(NoticedClose());
  EXPECT_FALSE(client_.IsConnected());
  EXPECT_TRUE(log.Entries().empty());
  EXPECT_NO_THROW(client_.CloseConnection());
}

TEST_F(ConnectionLoopbackTest, ASilentServerEndsTheReadAtTheTimeLimitAndStaysOpen) {
  ScriptedServer server({Step::ReadLine(), Step::Silent()});
  server.QueueScript({Step::ReadLine(), Step::Send("partial"), Step::Silent()});
  client_.SetReadTimeout(200);
  {
    OpenTo(server);
    client_.IOHandler()->SendLine("x");
    NotificationLog log(client_);
    testing::MemoryStream sink;
    ExpectFailure([&] { client_.IOHandler()->ReceiveUntilClosed(sink); }, "EIdReadTimeout",
                  "Read Timeout");
    EXPECT_EQ(sink.DataAsString(), "partial");
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"begin r 0", "work r 7", "end r"}));
    EXPECT_TRUE(client_.IsConnected());  // stuck open until closed
    client_.CloseConnection();
    EXPECT_FALSE(client_.IsConnected());
  }
  {
    // With the component in use the wait is cut at IdleTimeOut: 150 + 250 here.
    TIdAntiFreeze anti_freeze;
    int pumps = 0;
    anti_freeze.SetMessagePump([&](bool) { ++pumps; });
    client_.SetReadTimeout(400);
    OpenTo(server);
    client_.IOHandler()->SendLine("x");
    NotificationLog log(client_);
    testing::MemoryStream sink;
    pumps = 0;
    ExpectFailure([&] { client_.IOHandler()->ReceiveUntilClosed(sink); }, "EIdReadTimeout",
                  "Read Timeout");
    EXPECT_EQ(sink.Size(), 0);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"begin r 0", "end r"}));
    EXPECT_EQ(pumps, 3);  // the poll, the first part, the last part
    EXPECT_TRUE(client_.IsConnected());
  }
  client_.CloseConnection();
  ASSERT_TRUE(server.WaitUntilDone(1));
  EXPECT_TRUE(server.ClientClosed(1));
}

TEST_F(ConnectionLoopbackTest, TheHandlerIsReusedAfterAClose) {
  ScriptedServer server({Step::ReadLine(), Step::Close()});
  OpenTo(server);
  TIOHandler* first = client_.IOHandler();
  client_.IOHandler()->SendLine("one");
  client_.CloseConnection();
  EXPECT_FALSE(client_.IsConnected());
  client_.OpenConnection();
  EXPECT_EQ(client_.IOHandler(), first);
  EXPECT_EQ(client_.IOHandler()->RecvBufferSize(), 4096);
  EXPECT_EQ(client_.IOHandler()->InputBuffer()->Size(), 0u);
  client_.IOHandler()->SendLine("two");
  client_.CloseConnection();
  // Each connection has its own server thread: the second may be done before the first.
  ASSERT_TRUE(server.WaitUntilDone(0));
  ASSERT_TRUE(server.WaitUntilDone(1));
  EXPECT_EQ(server.Received(0), "one\r\n");
  EXPECT_EQ(server.Received(1), "two\r\n");
}

TEST_F(ConnectionLoopbackTest, SendLinePutsTheBytesOnTheWireUnchanged) {
  struct Row {
    std::string text;
    std::string wire;
  };
  const Row rows[] = {
      {"AB", std::string("\x41\x42\x0D\x0A", 4)},
      {"", "\r\n"},
      {"\x80\xE9\xFF kupac", "\x80\xE9\xFF kupac\r\n"},
      {"IZVJ 123 01-05-2024 31-05-2024 1 ", "IZVJ 123 01-05-2024 31-05-2024 1 \r\n"},
  };
  ScriptedServer server({Step::ReadLine(), Step::Close()});
  client_.SetHost("LocalHost");  // no lookup: straight to 127.0.0.1
  size_t index = 0;
  for (const Row& row : rows) {
    OpenTo(server);
    client_.IOHandler()->SendLine(row.text);
    ASSERT_TRUE(server.WaitUntilDone(index));
    EXPECT_EQ(server.Received(index), row.wire) << "row " << index;
    client_.CloseConnection();
    ++index;
  }
}

TEST_F(ConnectionLoopbackTest, SendingOnANoticedCloseFailsEvenWithUnreadBytes) {
  ScriptedServer server({Step::Send("unread"), Step::Close()});
  OpenTo(server);
  ASSERT_TRUE(server.WaitUntilDone(0));
  ASSERT_TRUE(NoticedClose());
  EXPECT_TRUE(client_.IsConnected());  // the unread bytes
  ExpectFailure([&] { client_.IOHandler()->SendLine("x"); }, "EIdConnClosedGracefully",
                "Connection Closed Gracefully.");
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdAlreadyConnected", "Already connected.");
  testing::MemoryStream sink;
  ReceiveWhileConnected(sink);
  EXPECT_EQ(sink.DataAsString(), "unread");
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(ConnectionLoopbackTest, AnOpenConnectionRefusesASecondOpen) {
  ScriptedServer server({Step::Silent()});
  OpenTo(server);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdAlreadyConnected", "Already connected.");
  EXPECT_TRUE(client_.IsConnected());
  client_.CloseConnection();
  // The refused open made no connection of its own.
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

}  // namespace
}  // namespace vxt

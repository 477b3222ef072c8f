// The real socket layer on loopback: Winsock numbers for the failures the client meets, each
// returned with its call, a round trip, the readability wait, and the connect that does not
// block.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "failures/Exceptions.h"
#include "platform/IPv4Address.h"
#include "platform/NetworkLayer.h"
#include "platform/SocketApi.h"
#include "platform/SocketResult.h"
#include "platform/System.h"
#include "support/ScriptedServer.h"

namespace vxt {
namespace {

using testing::ScriptedServer;
using testing::Step;

// Where the socket calls come from the C library (POSIX) the layer's own numbers are known
// exactly; under Winsock some of them are the library's choice.
bool BsdLayer() {
  return PlatformSocketLibraryName()[0] == '\0';
}

bool ClosedHandleError(int32_t error) {
  return error == 10009 || error == 10038;
}

constexpr TIPv4Address kLoopback{{127, 0, 0, 1}};

TSocketAddress Loopback(uint16_t port) {
  return TSocketAddress{kLoopback, port};
}

::testing::AssertionResult Ok(const TSocketResult& result) {
  if (!result.Failed()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the call failed with " << result.error;
}

// The call failed with the number.
::testing::AssertionResult FailedWith(const TSocketResult& result, int32_t error) {
  if (result.Failed() && result.error == error) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "value " << result.value << ", error " << result.error
                                       << ", expected a failure with " << error;
}

class SocketLayerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const TPlatformSocket& s : opened_) {
      if (s.handle != kInvalidSocket) api_.Close(s.handle);
    }
  }

  // A bound IPv4 socket, closed at the end of the test.
  TPlatformSocket& NewSocket() {
    const TSocketResult s = api_.Socket(TIPVersion::Id_IPv4);
    EXPECT_TRUE(Ok(s));
    EXPECT_TRUE(Ok(api_.Bind(s.value, TSocketAddress())));
    opened_.emplace_back().handle = s.value;
    return opened_.back();
  }

  TPlatformSocket& Connected(uint16_t port) {
    TPlatformSocket& s = NewSocket();
    EXPECT_TRUE(Ok(api_.SetNoDelay(s.handle, false)));
    EXPECT_TRUE(Ok(api_.Connect(s, Loopback(port))));
    return s;
  }

  // Receives until count bytes or the peer's close; fails the test on a wait time-out.
  std::string ReceiveUpTo(TPlatformSocket& s, size_t count) {
    std::string received;
    char buffer[4096];
    while (received.size() < count) {
      if (api_.WaitReadable(s, 5000).value != 1) {
        ADD_FAILURE() << "nothing readable after " << received.size() << " bytes";
        break;
      }
      const TSocketResult n = api_.Recv(s, buffer, sizeof buffer);
      if (n.value <= 0) break;
      received.append(buffer, static_cast<size_t>(n.value));
    }
    return received;
  }

  NetworkLayerUse use_;
  SocketApi& api_ = ActiveSocketApi();
  std::deque<TPlatformSocket> opened_;  // stays where it is as more are added
};

TEST_F(SocketLayerTest, RefusedConnectReportsConnectionRefused) {
  const uint16_t port = testing::FreeLoopbackPort();
  TPlatformSocket& s = NewSocket();
  const TSocketResult refused = api_.Connect(s, Loopback(port));
  ASSERT_TRUE(FailedWith(refused, 10061));
  try {
    CheckSocketResult(refused);
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_EQ(failure.LastError(), 10061);
    EXPECT_EQ(failure.Message(), "Socket Error # 10061\r\nConnection refused.");
  }
}

TEST_F(SocketLayerTest, EachThreadsFailureComesBackWithItsOwnCall) {
  const uint16_t port = testing::FreeLoopbackPort();
  const TSocketHandle s = NewSocket().handle;
  TPlatformSocket& other = NewSocket();
  std::atomic<int> stage{0};
  TSocketResult worker_result;
  std::thread worker([&] {
    while (stage.load() != 1) {
    }
    worker_result = api_.Connect(other, Loopback(port));
    stage = 2;
  });
  const TSocketResult own_result = api_.Bind(s, TSocketAddress());  // bound already
  stage = 1;
  while (stage.load() != 2) {
  }
  worker.join();
  EXPECT_TRUE(FailedWith(worker_result, 10061));
  EXPECT_TRUE(FailedWith(own_result, 10022));
}

TEST_F(SocketLayerTest, UnknownHostNameGivesALookupNumber) {
  TIPv4Address ip;
  int32_t code = 0;
  ASSERT_FALSE(api_.GetHostByName("no-such-host.invalid", ip, code));
  EXPECT_GE(code, 11001);
  EXPECT_LE(code, 11004);
  // The number goes into the message as it is: only 11001 has a text.
  const std::string expected_tail = code == 11001 ? "\r\nHost not found." : "\r\n";
  EXPECT_EQ(SocketErrorMessage(code), "Socket Error # " + std::to_string(code) + expected_tail);
}

TEST_F(SocketLayerTest, LocalNamesResolveToIPv4) {
  TIPv4Address ip;
  int32_t code = 0;
  ASSERT_TRUE(api_.GetHostByName("localhost", ip, code)) << code;
  EXPECT_EQ(ip.bytes[0], 127) << FormatDottedIPv4(ip);
  EXPECT_TRUE(api_.GetHostByName("127.0.0.2", ip, code)) << code;
  EXPECT_EQ(ip, (TIPv4Address{{127, 0, 0, 2}}));
}

TEST_F(SocketLayerTest, RoundTripKeepsEveryByteAndReportsBothAddresses) {
  const std::string reply = testing::PatternBytes(10000);
  ScriptedServer server({Step::ReadLine(), Step::Send(reply), Step::Close()});
  TPlatformSocket& s = Connected(server.Port());

  TSocketAddress local;
  TSocketAddress peer;
  ASSERT_TRUE(Ok(api_.GetSockName(s.handle, local)));
  ASSERT_TRUE(Ok(api_.GetPeerName(s.handle, peer)));
  EXPECT_EQ(local.ip, kLoopback);
  EXPECT_NE(local.port, 0);
  EXPECT_EQ(peer, Loopback(server.Port()));

  const std::string line = std::string("AB\x00\x80\xFF", 5) + "\r\n";
  ASSERT_EQ(api_.Send(s, line.data(), static_cast<int>(line.size())).value,
            static_cast<int64_t>(line.size()));
  EXPECT_EQ(ReceiveUpTo(s, reply.size() + 1), reply);
  // After the server's close the socket stays readable and each receive returns 0.
  EXPECT_EQ(api_.WaitReadable(s, 5000).value, 1);
  char byte;
  EXPECT_EQ(api_.Recv(s, &byte, 1).value, 0);
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.Received(0), line);
}

TEST_F(SocketLayerTest, WaitReadableTimesOutWithZero) {
  ScriptedServer server({Step::Silent()});
  TPlatformSocket& s = Connected(server.Port());
  EXPECT_EQ(api_.WaitReadable(s, 0).value, 0);
  EXPECT_EQ(api_.WaitReadable(s, 30).value, 0);
  EXPECT_EQ(api_.WaitReadable(s, 1001).value, 0);  // whole seconds and a rest
}

// What a count found waiting belongs to its socket: a count on another socket leaves it alone,
// each receive takes its bytes off it, and the wait needs nothing more while some are left.
TEST_F(SocketLayerTest, TheBytesACountFoundStayWithTheirSocket) {
  ScriptedServer server({Step::ReadLine(), Step::Send("0123456789"), Step::WaitClientClose()});
  TPlatformSocket& a = Connected(server.Port());
  TPlatformSocket& b = Connected(server.Port());
  for (TPlatformSocket* s : {&a, &b}) ASSERT_TRUE(Ok(api_.Send(*s, "x\n", 2)));
  // Loopback delivers the ten bytes in one piece; once they are there, a wait counts them.
  for (TPlatformSocket* s : {&a, &b}) {
    ASSERT_EQ(api_.WaitReadable(*s, 5000).value, 1);
    ASSERT_EQ(api_.WaitReadable(*s, 0).value, 1);
  }
  EXPECT_EQ(a.known_pending, 10u);
  EXPECT_EQ(b.known_pending, 10u);
  char buffer[16];
  ASSERT_EQ(api_.Recv(a, buffer, 4).value, 4);
  EXPECT_EQ(a.known_pending, 6u);
  EXPECT_EQ(b.known_pending, 10u);
  EXPECT_EQ(api_.WaitReadable(a, 0).value, 1);
  ASSERT_EQ(api_.Recv(a, buffer, sizeof buffer).value, 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(a.known_pending, 0u);
  ASSERT_EQ(api_.Recv(b, buffer, sizeof buffer).value, 10);
  EXPECT_EQ(b.known_pending, 0u);
}

// A wait that finds nothing looks with a receive that must not wait, and leaves the socket in
// that mode; the calls after it must still behave as on a blocking socket: a send takes all
// the bytes, and a receive waits for bytes that are not there yet.
TEST_F(SocketLayerTest, AfterAWaitThatFoundNothingSendAndReceiveStillBlock) {
  const std::string big = testing::PatternBytes(size_t{4} << 20, 3);
  std::atomic<bool> receiving{false};
  ScriptedServer server({Step::ReadBytes(big.size()),
                         Step::WaitUntil([&] { return receiving.load(); },
                                         "the client is about to receive"),
                         Step::Send("kasno"), Step::Close()});
  TPlatformSocket& s = Connected(server.Port());
  EXPECT_EQ(api_.WaitReadable(s, 0).value, 0);
  // (A short send would leave the server waiting for the rest: the test ends here then.)
  ASSERT_EQ(api_.Send(s, big.data(), static_cast<int>(big.size())).value,
            static_cast<int64_t>(big.size()));
  EXPECT_EQ(api_.WaitReadable(s, 0).value, 0);
  receiving = true;
  char buffer[16];
  const TSocketResult received = api_.Recv(s, buffer, sizeof buffer);
  ASSERT_TRUE(Ok(received));
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(received.value)), "kasno");
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.Received(0), big);
}

TEST_F(SocketLayerTest, BindingAnAddressInUseFails) {
  const TSocketHandle first = api_.Socket(TIPVersion::Id_IPv4).value;
  const TSocketHandle second = api_.Socket(TIPVersion::Id_IPv4).value;
  opened_.emplace_back().handle = first;
  opened_.emplace_back().handle = second;
  ASSERT_TRUE(Ok(api_.Bind(first, Loopback(0))));
  TSocketAddress bound;
  ASSERT_TRUE(Ok(api_.GetSockName(first, bound)));
  EXPECT_TRUE(FailedWith(api_.Bind(second, bound), 10048));
}

TEST_F(SocketLayerTest, SendAfterTheOwnShutdownIsRefused) {
  ScriptedServer server({Step::WaitClientClose()});
  TPlatformSocket& s = Connected(server.Port());
  ASSERT_TRUE(Ok(api_.ShutdownSend(s)));
  EXPECT_TRUE(FailedWith(api_.Send(s, "x", 1), 10058));
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_TRUE(server.ClientClosed(0));
  EXPECT_EQ(server.Received(0), "");
}

TEST_F(SocketLayerTest, APeersResetFailsReceiveAndSend) {
  // The reset only once the byte sent before it is the client's.
  std::atomic<bool> received_first{false};
  ScriptedServer server({Step::Send("x"),
                         Step::WaitUntil([&] { return received_first.load(); },
                                         "the client has received the byte"),
                         Step::Reset()});
  TPlatformSocket& s = Connected(server.Port());
  ASSERT_EQ(ReceiveUpTo(s, 1), "x");
  received_first = true;
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_TRUE(server.WaitsGivenUp().empty());
  ASSERT_EQ(api_.WaitReadable(s, 5000).value, 1);
  char buffer[16];
  const TSocketResult received = api_.Recv(s, buffer, sizeof buffer);
  if (testing::ResetsReachClients()) {
    EXPECT_TRUE(FailedWith(received, 10054));
  } else {
    EXPECT_EQ(received.value, 0);  // this system reports the reset as an orderly end
  }
  // Sends to the reset connection fail, the second one too (where POSIX says EPIPE).
  for (int attempt = 0; attempt < 2; ++attempt) {
    const TSocketResult sent = api_.Send(s, "abc", 3);
    EXPECT_TRUE(sent.Failed()) << attempt;
    if (BsdLayer()) {
      EXPECT_EQ(sent.error, 10054) << attempt;
    } else {
      EXPECT_TRUE(sent.error == 10053 || sent.error == 10054 || sent.error == 10058) << sent.error;
    }
  }
}

TEST_F(SocketLayerTest, AClosedHandleIsRefused) {
  TPlatformSocket closed;
  closed.handle = api_.Socket(TIPVersion::Id_IPv4).value;
  ASSERT_NE(closed.handle, kInvalidSocket);
  ASSERT_TRUE(Ok(api_.Close(closed.handle)));
  char byte;
  TSocketResult result = api_.Recv(closed, &byte, 1);
  EXPECT_TRUE(result.Failed() && ClosedHandleError(result.error)) << result.error;
  result = api_.Close(closed.handle);
  EXPECT_TRUE(result.Failed() && ClosedHandleError(result.error)) << result.error;
}

// The connect that does not block: started, waited for in slices, and the socket blocking again
// once it has completed.
TEST_F(SocketLayerTest, AStartedConnectIsMadeAndTheSocketBlocksAgain) {
  ScriptedServer server({Step::ReadLine(), Step::Pause(50), Step::Send("ok"), Step::Close()});
  TPlatformSocket& s = NewSocket();
  ASSERT_TRUE(Ok(api_.StartConnect(s, Loopback(server.Port()))));
  TSocketResult made;
  for (int slice = 0; slice < 40 && made.value == 0; ++slice) made = api_.WaitConnected(s, 125);
  ASSERT_EQ(made.value, 1) << made.error;
  TSocketAddress peer;
  ASSERT_TRUE(Ok(api_.GetPeerName(s.handle, peer)));
  EXPECT_EQ(peer, Loopback(server.Port()));
  ASSERT_TRUE(Ok(api_.Send(s, "A\r\n", 3)));
  // The server answers only after a pause: a receive on a socket left non-blocking would fail
  // with 10035 at once instead of waiting for the bytes.
  char buffer[8];
  const TSocketResult received = api_.Recv(s, buffer, sizeof buffer);
  ASSERT_TRUE(Ok(received));
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(received.value)), "ok");
}

TEST_F(SocketLayerTest, AStartedConnectThatIsRefusedFailsInItsWait) {
  TPlatformSocket& s = NewSocket();
  const TSocketResult started = api_.StartConnect(s, Loopback(testing::FreeLoopbackPort()));
  TSocketResult outcome = started;
  for (int slice = 0; slice < 40 && !outcome.Failed() && outcome.value != 1; ++slice) {
    outcome = api_.WaitConnected(s, 125);
  }
  EXPECT_TRUE(FailedWith(outcome, 10061));
}

TEST_F(SocketLayerTest, AStartedConnectThatHangsTimesOutAndIsClosedOnItsOwnThread) {
  testing::HangingListener listener;
  if (!listener.ConnectsHang()) GTEST_SKIP() << "connects to a full accept queue do not hang here";
  TPlatformSocket& s = NewSocket();
  ASSERT_TRUE(Ok(api_.StartConnect(s, Loopback(listener.Port()))));
  EXPECT_EQ(api_.WaitConnected(s, 0).value, 0);
  const TSocketResult pending = api_.WaitConnected(s, 60);
  EXPECT_TRUE(Ok(pending));
  EXPECT_EQ(pending.value, 0);
  api_.ShutdownSend(s);  // its result does not matter, as at the connect time limit
  EXPECT_TRUE(Ok(api_.Close(s.handle)));
  opened_.clear();
}

TEST(PlatformSocketLayerTest, TwoLayersLiveSideBySide) {
  auto first = CreatePlatformSocketApi();
  auto second = CreatePlatformSocketApi();
  ASSERT_TRUE(Ok(first->Socket(TIPVersion::Id_IPv4)));
  first.reset();  // shutting one down leaves the other working
  const TSocketResult t = second->Socket(TIPVersion::Id_IPv4);
  ASSERT_TRUE(Ok(t));
  EXPECT_TRUE(Ok(second->Bind(t.value, Loopback(0))));
  EXPECT_TRUE(Ok(second->Close(t.value)));
}

TEST(PlatformSocketLayerTest, AMissingLibraryRaisesTheLoadFailure) {
  if (BsdLayer()) GTEST_SKIP() << "no socket library is loaded on this platform";
  EXPECT_STREQ(PlatformSocketLibraryName(), "WS2_32.DLL");
  try {
    CreatePlatformSocketApiFromLibrary("vxt-no-such-library.dll");
    FAIL() << "nothing raised";
  } catch (const EIdWinsockStubError& failure) {
    const std::string title = "Error on loading Winsock2 library (vxt-no-such-library.dll)";
    EXPECT_EQ(failure.Title(), title);
    EXPECT_EQ(failure.Win32Error(), 126u);  // module not found
    EXPECT_EQ(failure.Win32ErrorText(), SystemErrorText(126));
    EXPECT_FALSE(failure.Win32ErrorText().empty());
    EXPECT_EQ(failure.Message(), title + ": " + SystemErrorText(126));
  }
}

}  // namespace
}  // namespace vxt

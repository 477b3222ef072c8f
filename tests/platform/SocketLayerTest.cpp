// The real socket layer on loopback: Winsock numbers for the failures the client meets, a
// round trip, the readability wait, and the connect that does not block.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <set>
#include <string>

#include "failures/Exceptions.h"
#include "platform/IPv4Address.h"
#include "platform/NetworkLayer.h"
#include "platform/SocketApi.h"
#include "platform/System.h"
#include "support/ScriptedServer.h"

namespace vxt {
namespace {

using testing::ScriptedServer;
using testing::Step;

// What the two layers show differently, said once here. The C library's calls (POSIX) fail
// with the errno of the condition, which the layer turns into one Winsock number; Winsock
// chooses among its numbers itself, and its library is loaded, so it can be missing. (Whether a
// peer's reset reaches a receive at all is the system's own: testing::ResetsReachClients.)
struct LayerDifferences {
  bool loads_a_library;
  std::set<int32_t> send_to_a_reset_peer;
  std::set<int32_t> call_on_a_closed_handle;
};
const LayerDifferences kThisLayer = PlatformSocketLibraryName()[0] == '\0'
                                        ? LayerDifferences{false, {10054}, {10009}}
                                        : LayerDifferences{true, {10053, 10054, 10058}, {10038}};

::testing::AssertionResult FailedWithOneOf(const TSocketResult& result,
                                           const std::set<int32_t>& errors) {
  if (result.Failed() && errors.count(result.error) != 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "value " << result.value << ", error " << result.error;
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

  // The outcome of a connect waited for without limit.
  TSocketResult Connect(TPlatformSocket& s, uint16_t port) {
    const TSocketResult started = api_.StartConnect(s, Loopback(port));
    return started.Failed() ? started : api_.WaitConnected(s, -1);
  }

  TPlatformSocket& Connected(uint16_t port) {
    TPlatformSocket& s = NewSocket();
    EXPECT_TRUE(Ok(api_.SetNoDelay(s.handle, false)));
    EXPECT_TRUE(Ok(Connect(s, port)));
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
  const TSocketResult refused = Connect(s, port);
  ASSERT_TRUE(FailedWith(refused, 10061));
  try {
    CheckSocketResult(refused);
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_EQ(failure.LastError(), 10061);
    EXPECT_EQ(failure.Message(), "Socket Error # 10061\r\nConnection refused.");
  }
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

// Bytes waiting on one socket say nothing about another, and once a receive has taken them all
// a wait without time finds nothing.
TEST_F(SocketLayerTest, WaitsAnswerForTheirOwnSocketsBytes) {
  ScriptedServer server({Step::ReadLine(), Step::Send("0123456789"), Step::WaitClientClose()});
  TPlatformSocket& a = Connected(server.Port());
  TPlatformSocket& b = Connected(server.Port());
  for (TPlatformSocket* s : {&a, &b}) ASSERT_TRUE(Ok(api_.Send(*s, "x\n", 2)));
  for (TPlatformSocket* s : {&a, &b}) ASSERT_EQ(api_.WaitReadable(*s, 5000).value, 1);
  char buffer[16];
  ASSERT_EQ(api_.Recv(a, buffer, 4).value, 4);
  EXPECT_EQ(api_.WaitReadable(a, 0).value, 1);
  ASSERT_EQ(api_.Recv(a, buffer, sizeof buffer).value, 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(api_.WaitReadable(a, 0).value, 0);
  EXPECT_EQ(api_.WaitReadable(b, 0).value, 1);
  ASSERT_EQ(api_.Recv(b, buffer, sizeof buffer).value, 10);
  EXPECT_EQ(api_.WaitReadable(b, 0).value, 0);
}

// After a wait that found nothing, the calls still behave as on a blocking socket: a send takes
// all the bytes, and a receive waits for bytes that are not there yet.
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
    EXPECT_TRUE(FailedWithOneOf(api_.Send(s, "abc", 3), kThisLayer.send_to_a_reset_peer))
        << attempt;
  }
}

TEST_F(SocketLayerTest, AClosedHandleIsRefused) {
  TPlatformSocket closed;
  closed.handle = api_.Socket(TIPVersion::Id_IPv4).value;
  ASSERT_NE(closed.handle, kInvalidSocket);
  ASSERT_TRUE(Ok(api_.Close(closed.handle)));
  char byte;
  EXPECT_TRUE(FailedWithOneOf(api_.Recv(closed, &byte, 1), kThisLayer.call_on_a_closed_handle));
  EXPECT_TRUE(FailedWithOneOf(api_.Close(closed.handle), kThisLayer.call_on_a_closed_handle));
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

TEST_F(SocketLayerTest, AStartedConnectThatHangsTimesOutAndIsClosed) {
  testing::HangingListener listener;
  if (!listener.ConnectsHang()) GTEST_SKIP() << "connects to a full accept queue do not hang here";
  TPlatformSocket& s = NewSocket();
  ASSERT_TRUE(Ok(api_.StartConnect(s, Loopback(listener.Port()))));
  EXPECT_EQ(api_.WaitConnected(s, 0).value, 0);
  const TSocketResult pending = api_.WaitConnected(s, 60);
  EXPECT_TRUE(Ok(pending));
  EXPECT_EQ(pending.value, 0);
  api_.ShutdownSend(s.handle);  // its result does not matter, as at the connect time limit
  EXPECT_TRUE(Ok(api_.Close(s.handle)));
  opened_.clear();
}

TEST(PlatformSocketLayerTest, AMissingLibraryRaisesTheLoadFailure) {
  if (!kThisLayer.loads_a_library) GTEST_SKIP() << "no socket library is loaded on this platform";
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

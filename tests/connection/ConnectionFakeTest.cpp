// The connection against the recording socket layer: exact socket calls, wait splitting,
// connect slices and pump steps, without a network.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "connection/ConnectWait.h"
#include "connection/ConnectionTestSupport.h"
#include "connection/IOHandler.h"
#include "connection/IdAntiFreeze.h"
#include "connection/TCPClient.h"
#include "support/FakeSocketApi.h"
#include "support/MemoryStream.h"

namespace vxt {
namespace {

using testing::FakeSocketApi;
using Kind = testing::SocketCall::Kind;

class ConnectionFakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.SetHost("127.0.0.1");
    client_.SetPort(8026);
  }
  void TearDown() override { SetConnectWaitObserverForTesting(nullptr); }

  // Registers the responsiveness component; its pump steps become records of the fake.
  TIdAntiFreeze& UseAntiFreeze() {
    anti_freeze_ = std::make_unique<TIdAntiFreeze>();
    anti_freeze_->SetMessagePump([this](bool all_pending) { fake_.RecordPump(all_pending); });
    return *anti_freeze_;
  }

  // Records the length of every connect wait. Just before the wait numbered release_at (from
  // 1) the connect under way completes (made for code 0, else failed with code), so that the
  // wait notices it.
  void ObserveConnectWaits(size_t release_at = 0, int32_t code = 0) {
    SetConnectWaitObserverForTesting([this, release_at, code](int ms) {
      connect_waits_.push_back(ms);
      if (connect_waits_.size() == release_at) fake_.ReleaseConnect(code);
    });
  }

  void Open() {
    client_.OpenConnection();
    fake_.ClearCalls();
  }

  FakeSocketApi fake_;
  TTCPClient client_;
  std::unique_ptr<TIdAntiFreeze> anti_freeze_;
  std::vector<int> connect_waits_;
};

TEST_F(ConnectionFakeTest, SettingsHaveTheirDefaultsAndAChangeReachesAnOpenConnection) {
  TTCPClient fresh;
  EXPECT_EQ(fresh.Host(), "");
  EXPECT_EQ(fresh.Port(), 0);
  EXPECT_EQ(fresh.ConnectTimeout(), 0);
  EXPECT_EQ(fresh.ReadTimeout(), -1);
  EXPECT_EQ(fresh.IPVersion(), TIPVersion::Id_IPv4);
  EXPECT_EQ(fresh.IOHandler(), nullptr);
  EXPECT_FALSE(fresh.IsConnected());

  client_.SetConnectTimeout(5000);
  client_.SetReadTimeout(45000);
  Open();
  TIOHandler* io = client_.IOHandler();
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(io->RecvBufferSize(), 32768);
  // Settings changed on an open connection make no socket call and never reconnect; a new
  // ReadTimeout applies to the next wait for data.
  client_.SetHost("other");
  client_.SetPort(1);
  client_.SetConnectTimeout(7);
  client_.SetReadTimeout(8);
  EXPECT_TRUE(fake_.Calls().empty());
  testing::MemoryStream sink;
  ExpectFailure([&] { io->ReceiveUntilClosed(sink); }, "EIdReadTimeout", "Read Timeout");
  EXPECT_EQ(fake_.WaitTimeouts(), (std::vector<int>{0, 8}));
  EXPECT_EQ(fake_.Count(Kind::kConnect), 0u);
}

TEST_F(ConnectionFakeTest, OpeningMakesTheSocketCallsInOrder) {
  client_.OpenConnection();
  EXPECT_EQ(fake_.Sequence(),
            (std::vector<Kind>{Kind::kSocket, Kind::kBind, Kind::kSetNoDelay, Kind::kConnect,
                               Kind::kWaitConnected, Kind::kGetSockName, Kind::kGetPeerName}));
  auto bind = fake_.CallsOf(Kind::kBind).at(0);
  EXPECT_EQ(bind.text, "0.0.0.0");  // the wildcard address
  EXPECT_EQ(bind.value, 0);
  EXPECT_EQ(fake_.CallsOf(Kind::kSetNoDelay).at(0).value, 0);  // Nagle stays on
  auto connect = fake_.CallsOf(Kind::kConnect).at(0);
  EXPECT_EQ(connect.text, "127.0.0.1");
  EXPECT_EQ(connect.value, 8026);
  EXPECT_TRUE(client_.IsConnected());
}

TEST_F(ConnectionFakeTest, EmptyHostOrPortZeroFailBeforeAnySocketExists) {
  client_.SetHost("");
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdHostRequired", "");
  client_.SetHost("127.0.0.1");
  client_.SetPort(0);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdPortRequired", "");
  EXPECT_TRUE(fake_.Calls().empty());
  EXPECT_EQ(client_.IOHandler(), nullptr);
}

struct PeerCase {
  const char* host;
  const char* connected_to;  // the address handed to the connect, dotted
  bool looked_up;
};

class PeerAddressTest : public ConnectionFakeTest,
                        public ::testing::WithParamInterface<PeerCase> {};

TEST_P(PeerAddressTest, DottedAddressesAndLocalhostNeedNoLookup) {
  const PeerCase& row = GetParam();
  fake_.AddHost(row.host, "127.0.0.9");
  client_.SetHost(row.host);
  client_.OpenConnection();
  EXPECT_EQ(fake_.Count(Kind::kGetHostByName), row.looked_up ? 1u : 0u);
  EXPECT_EQ(fake_.CallsOf(Kind::kConnect).at(0).text, row.connected_to);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, PeerAddressTest,
    ::testing::Values(
        PeerCase{"127.0.0.1", "127.0.0.1", false},
        // A dotted address is read as it is, blanks, signs and hexadecimal pieces included.
        PeerCase{" 127.0.0.1", "127.0.0.1", false}, PeerCase{"127 . 0 .0. 1 ", "127.0.0.1", false},
        PeerCase{"$7F.0x0.X0.0001", "127.0.0.1", false},
        PeerCase{"+127.-0.0.$ff", "127.0.0.255", false}, PeerCase{"010.1.2.3", "10.1.2.3", false},
        PeerCase{"127.0.0.1.", "127.0.0.1", false}, PeerCase{"localhost", "127.0.0.1", false},
        PeerCase{"LocalHost", "127.0.0.1", false}, PeerCase{"LOCALHOST", "127.0.0.1", false},
        // Everything else is a name for the lookup.
        PeerCase{"1.2.3.4.5", "127.0.0.9", true}, PeerCase{"127.0.0.256", "127.0.0.9", true},
        PeerCase{"127..0.1", "127.0.0.9", true}, PeerCase{"127.0.0", "127.0.0.9", true},
        PeerCase{"127.0.0.-1", "127.0.0.9", true}, PeerCase{"127.0.0.0x", "127.0.0.9", true},
        PeerCase{"127.0.0.1a", "127.0.0.9", true}, PeerCase{"localhost.", "127.0.0.9", true},
        PeerCase{"reports", "127.0.0.9", true}));

TEST_F(ConnectionFakeTest, AFailedLookupClosesTheSocketAndDropsTheHandler) {
  client_.SetHost("nowhere");
  int32_t code = ExpectFailure([&] { client_.OpenConnection(); }, "EIdSocketError",
                               "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(code, 11001);
  // The socket exists and is bound before the lookup, so the failure closes it.
  EXPECT_EQ(fake_.Sequence(),
            (std::vector<Kind>{Kind::kSocket, Kind::kBind, Kind::kSetNoDelay, Kind::kGetHostByName,
                               Kind::kShutdownSend, Kind::kClose}));
  EXPECT_EQ(fake_.OpenSockets(), 0u);
  EXPECT_EQ(client_.IOHandler(), nullptr);
  EXPECT_FALSE(client_.IsConnected());

  fake_.FailLookup("nodata", 11004);
  client_.SetHost("nodata");
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdSocketError", "Socket Error # 11004\r\n");
}

TEST_F(ConnectionFakeTest, FailuresWhileMakingTheSocketHaveTheirKinds) {
  fake_.FailNextSocket(10024);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdSocketError",
                "Socket Error # 10024\r\nToo many open files.");
  EXPECT_EQ(fake_.Count(Kind::kClose), 0u);  // there was no socket to close
  EXPECT_EQ(client_.IOHandler(), nullptr);

  fake_.FailBind(10048);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdCouldNotBindSocket",
                "Could not bind socket. Address and port are already in use.");
  EXPECT_EQ(fake_.OpenSockets(), 0u);
  fake_.FailBind(0);

  fake_.FailSetNoDelay(10042);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdSocketError",
                "Socket Error # 10042\r\nBad protocol option.");
  EXPECT_EQ(fake_.OpenSockets(), 0u);
  EXPECT_EQ(client_.IOHandler(), nullptr);
}

TEST_F(ConnectionFakeTest, AConnectThatNeverCompletesTimesOutAfterItsSlices) {
  UseAntiFreeze();
  ObserveConnectWaits();
  fake_.ConnectBlocks();
  client_.SetConnectTimeout(600);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdConnectTimeout", "Connect timed out.");
  // 600 = 4 slices of 125, each followed by a pump step, and a last part of 100 without one;
  // each of them a wait for the connect on this thread, which then closes the socket itself.
  EXPECT_EQ(connect_waits_, (std::vector<int>{125, 125, 125, 125, 100}));
  EXPECT_EQ(
      fake_.Sequence({Kind::kSocket, Kind::kBind, Kind::kSetNoDelay}),
      (std::vector<Kind>{Kind::kConnect, Kind::kWaitConnected, Kind::kPump, Kind::kWaitConnected,
                         Kind::kPump, Kind::kWaitConnected, Kind::kPump, Kind::kWaitConnected,
                         Kind::kPump, Kind::kWaitConnected, Kind::kShutdownSend, Kind::kClose}));
  std::vector<int> waited;
  for (const auto& call : fake_.CallsOf(Kind::kWaitConnected)) waited.push_back(call.value);
  EXPECT_EQ(waited, connect_waits_);
  EXPECT_EQ(fake_.CallsOf(Kind::kPump).at(0).value, 1);  // all pending messages
  EXPECT_FALSE(fake_.ConnectPending());
  EXPECT_EQ(client_.IOHandler(), nullptr);
  EXPECT_FALSE(client_.IsConnected());

  // The window's limit of 5000 ms: 39 slices with a pump step after each, then a last part.
  connect_waits_.clear();
  fake_.ClearCalls();
  client_.SetConnectTimeout(5000);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdConnectTimeout", "Connect timed out.");
  EXPECT_EQ(connect_waits_, std::vector<int>(40, 125));
  EXPECT_EQ(fake_.Count(Kind::kPump), 39u);
  EXPECT_EQ(fake_.Count(Kind::kWaitConnected), 40u);
  EXPECT_EQ(fake_.OpenSockets(), 0u);
}

TEST_F(ConnectionFakeTest, TheSliceFollowsIdleTimeOutOnlyWhileTheComponentIsInUse) {
  TIdAntiFreeze& anti_freeze = UseAntiFreeze();
  anti_freeze.SetIdleTimeOut(50);
  ObserveConnectWaits();
  fake_.ConnectBlocks();
  client_.SetConnectTimeout(200);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdConnectTimeout", "Connect timed out.");
  EXPECT_EQ(connect_waits_, (std::vector<int>{50, 50, 50, 50}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 3u);

  anti_freeze.SetActive(false);
  connect_waits_.clear();
  fake_.ClearCalls();
  client_.SetConnectTimeout(300);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdConnectTimeout", "Connect timed out.");
  EXPECT_EQ(connect_waits_, (std::vector<int>{125, 125, 50}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 0u);
}

TEST_F(ConnectionFakeTest, AFailingPumpStepLeavesNoConnectBehind) {
  TIdAntiFreeze& anti_freeze = UseAntiFreeze();
  int pumps = 0;
  anti_freeze.SetMessagePump([&](bool) {
    if (++pumps == 2) throw EIdException("handler failed");
  });
  fake_.ConnectBlocks();
  client_.SetConnectTimeout(5000);
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdException", "handler failed");
  EXPECT_FALSE(fake_.ConnectPending());
  EXPECT_EQ(fake_.OpenSockets(), 0u);
  EXPECT_EQ(client_.IOHandler(), nullptr);
}

// With the responsiveness component in use a connect is waited for in slices of 125 ms with a
// pump step after each but the last part of the limit, and noticed in the slice in which it
// completed. ConnectTimeout 0 stands for 120000 ms there, -1 for no limit.
TEST_F(ConnectionFakeTest, AConnectIsWaitedForInSlicesAndNoticedInTheOneItCompletedIn) {
  struct Row {
    const char* why;
    int connect_timeout;
    size_t completes_in;  // the wait, counted from 1, in which the connect completes
    std::vector<int> waits;
    size_t pump_steps;
  };
  const Row rows[] = {
      {"noticed in the slice in which it completed", 5000, 3, {125, 125, 125}, 3},
      {"made in the last part (300 = 125 + 125 + 50): still counts", 300, 3, {125, 125, 50}, 2},
      {"0: the limit of 120000 ms, in slices", 0, 2, {125, 125}, 2},
      {"-1: no limit, slices for as long as it takes", -1, 6, std::vector<int>(6, 125), 6},
  };
  UseAntiFreeze();
  fake_.ConnectBlocks();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    connect_waits_.clear();
    fake_.ClearCalls();
    ObserveConnectWaits(row.completes_in);
    client_.SetConnectTimeout(row.connect_timeout);
    client_.OpenConnection();
    EXPECT_EQ(connect_waits_, row.waits);
    EXPECT_EQ(fake_.Count(Kind::kPump), row.pump_steps);
    EXPECT_TRUE(client_.IsConnected());
    client_.CloseConnection();
  }
}

TEST_F(ConnectionFakeTest, ConnectTimeoutZeroWithoutTheComponentConnectsDirectly) {
  ObserveConnectWaits();
  client_.OpenConnection();
  // No slices: one wait for the connect, without limit.
  EXPECT_TRUE(connect_waits_.empty());
  ASSERT_EQ(fake_.Count(Kind::kWaitConnected), 1u);
  EXPECT_EQ(fake_.CallsOf(Kind::kWaitConnected).at(0).value, -1);
  EXPECT_TRUE(client_.IsConnected());
}

TEST_F(ConnectionFakeTest, AConnectFailureIsRaisedAfterThePumpStepOfItsSlice) {
  UseAntiFreeze();
  ObserveConnectWaits(1, 10061);
  fake_.ConnectBlocks();
  client_.SetConnectTimeout(5000);
  int32_t code = ExpectFailure([&] { client_.OpenConnection(); }, "EIdSocketError",
                               "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(code, 10061);
  // Noticed in the first slice, not at the limit.
  EXPECT_EQ(connect_waits_, (std::vector<int>{125}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 1u);
  EXPECT_EQ(fake_.OpenSockets(), 0u);
  EXPECT_EQ(client_.IOHandler(), nullptr);
}

TEST_F(ConnectionFakeTest, AHandlerThatClosesTheConnectionEndsTheConnectWait) {
  TIdAntiFreeze& anti_freeze = UseAntiFreeze();
  int pumps = 0;
  anti_freeze.SetMessagePump([&](bool) {
    if (++pumps == 2) client_.CloseConnection();
  });
  ObserveConnectWaits();
  fake_.ConnectBlocks();
  client_.SetConnectTimeout(5000);
  client_.OpenConnection();
  // No wait on the closed socket after the pump step that closed it.
  EXPECT_EQ(connect_waits_, (std::vector<int>{125, 125}));
  EXPECT_EQ(fake_.Count(Kind::kWaitConnected), 2u);
  EXPECT_EQ(fake_.OpenSockets(), 0u);
  EXPECT_FALSE(client_.IsConnected());
  ExpectFailure([&] { client_.IOHandler()->SendLine("x"); }, "EIdConnClosedGracefully",
                "Connection Closed Gracefully.");
}

// Every code is a failure of its own kind, connected directly or in slices: no close happens
// under a connect any more, so none of them stands for one.
TEST_F(ConnectionFakeTest, AConnectFailureIsRaisedAsItIs) {
  struct Row {
    int32_t code;
    const char* kind;
    const char* message;
  };
  const Row rows[] = {
      {10038, "EIdNotASocket", "Socket Error # 10038\r\nSocket operation on non-socket."},
      {10009, "EIdSocketError", "Socket Error # 10009\r\nBad file number."},
      {10065, "EIdSocketError", "Socket Error # 10065\r\nNo route to host."},
  };
  for (const bool sliced : {false, true}) {
    SCOPED_TRACE(sliced ? "in slices" : "directly");
    if (sliced) UseAntiFreeze();
    for (const Row& row : rows) {
      fake_.ConnectFails(row.code);
      ExpectFailure([&] { client_.OpenConnection(); }, row.kind, row.message);
    }
    EXPECT_EQ(fake_.OpenSockets(), 0u);
  }
}

TEST_F(ConnectionFakeTest, ALongReadTimeoutIsSplitAtIdleTimeOut) {
  UseAntiFreeze();
  client_.SetReadTimeout(45000);
  Open();
  NotificationLog log(client_);
  testing::MemoryStream sink;
  ExpectFailure([&] { client_.IOHandler()->ReceiveUntilClosed(sink); }, "EIdReadTimeout",
                "Read Timeout");
  // The loop's poll (0 ms), then 45000 - 250 and 250; every wait that found nothing pumps.
  EXPECT_EQ(fake_.WaitTimeouts(), (std::vector<int>{0, 44750, 250}));
  EXPECT_EQ(fake_.Sequence(),
            (std::vector<Kind>{Kind::kWaitReadable, Kind::kPump, Kind::kWaitReadable, Kind::kPump,
                               Kind::kWaitReadable, Kind::kPump}));
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"begin r 0", "end r"}));
  EXPECT_TRUE(client_.IsConnected());  // stuck open
}

TEST_F(ConnectionFakeTest, WithoutTheComponentAReadWaitIsOneWait) {
  client_.SetReadTimeout(45000);
  Open();
  testing::MemoryStream sink;
  ExpectFailure([&] { client_.IOHandler()->ReceiveUntilClosed(sink); }, "EIdReadTimeout",
                "Read Timeout");
  EXPECT_EQ(fake_.WaitTimeouts(), (std::vector<int>{0, 45000}));

  // The same on another thread while the component is registered: it is not in use there.
  UseAntiFreeze();
  fake_.ClearCalls();
  std::thread other([&] {
    testing::MemoryStream other_sink;
    EXPECT_THROW(client_.IOHandler()->ReceiveUntilClosed(other_sink), EIdReadTimeout);
  });
  other.join();
  EXPECT_EQ(fake_.WaitTimeouts(), (std::vector<int>{0, 45000}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 0u);
}

TEST_F(ConnectionFakeTest, ABusyWaitPumpsOnlyWhenNotOnlyWhenIdle) {
  TIdAntiFreeze& anti_freeze = UseAntiFreeze();
  client_.SetReadTimeout(45000);
  Open();
  client_.IOHandler()->SetRecvBufferSize(4096);
  // The reply arrives during the first part of the split wait.
  bool delivered = false;
  fake_.SetOnCall([&](const testing::SocketCall& call) {
    if (call.kind == Kind::kWaitReadable && call.value == 44750 && !delivered) {
      delivered = true;
      fake_.QueueData("reply");
      fake_.QueueClose();
    }
  });
  testing::MemoryStream sink;
  client_.IOHandler()->ReceiveUntilClosed(sink);
  EXPECT_EQ(sink.DataAsString(), "reply");
  // Wait(0) found nothing: pump. Wait(44750) found the reply: no pump.
  EXPECT_EQ(fake_.Sequence({Kind::kRecv, Kind::kShutdownSend, Kind::kClose}),
            (std::vector<Kind>{Kind::kWaitReadable, Kind::kPump, Kind::kWaitReadable,
                               Kind::kWaitReadable}));
  EXPECT_FALSE(client_.IsConnected());

  anti_freeze.SetOnlyWhenIdle(false);
  fake_.SetOnCall(nullptr);
  fake_.ClearCalls();
  client_.OpenConnection();
  fake_.QueueData("again");
  fake_.QueueClose();
  fake_.ClearCalls();
  testing::MemoryStream second;
  client_.IOHandler()->ReceiveUntilClosed(second);
  EXPECT_EQ(second.DataAsString(), "again");
  // Every single wait pumps now, readable or not.
  EXPECT_EQ(
      fake_.Sequence({Kind::kRecv, Kind::kShutdownSend, Kind::kClose}),
      (std::vector<Kind>{Kind::kWaitReadable, Kind::kPump, Kind::kWaitReadable, Kind::kPump}));
}

TEST_F(ConnectionFakeTest, WithoutALimitTheWaitsAreIdleTimeOutLong) {
  UseAntiFreeze();
  client_.SetReadTimeout(0);  // 0 and -1 both mean no limit
  Open();
  int waits = 0;
  fake_.SetOnCall([&](const testing::SocketCall& call) {
    if (call.kind == Kind::kWaitReadable && ++waits == 4) fake_.QueueClose();
  });
  testing::MemoryStream sink;
  client_.IOHandler()->ReceiveUntilClosed(sink);
  EXPECT_EQ(fake_.WaitTimeouts(), (std::vector<int>{0, 250, 250, 250}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 3u);

  // Without the component: one wait without a time value.
  anti_freeze_.reset();
  client_.SetReadTimeout(-1);
  client_.OpenConnection();
  fake_.ClearCalls();
  waits = 0;
  fake_.SetOnCall([&](const testing::SocketCall& call) {
    if (call.kind == Kind::kWaitReadable && ++waits == 2) fake_.QueueClose();
  });
  client_.IOHandler()->ReceiveUntilClosed(sink);
  EXPECT_EQ(fake_.WaitTimeouts(), (std::vector<int>{0, -1}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 0u);
}

TEST_F(ConnectionFakeTest, SendsNeverPumpWhileOnlyWhenIdle) {
  TIdAntiFreeze& anti_freeze = UseAntiFreeze();
  Open();
  fake_.LimitSend(3);
  client_.IOHandler()->SendLine("hello");
  EXPECT_EQ(fake_.Sent(), "hello\r\n");
  std::vector<std::string> pieces;
  for (const auto& call : fake_.CallsOf(Kind::kSend)) pieces.push_back(call.text);
  EXPECT_EQ(pieces, (std::vector<std::string>{"hello\r\n", "lo\r\n", "\n"}));
  EXPECT_EQ(fake_.Count(Kind::kPump), 0u);

  anti_freeze.SetOnlyWhenIdle(false);
  fake_.ClearCalls();
  client_.IOHandler()->SendLine("abcdef");
  EXPECT_EQ(fake_.Sequence(), (std::vector<Kind>{Kind::kSend, Kind::kPump, Kind::kSend, Kind::kPump,
                                                 Kind::kSend, Kind::kPump}));

  anti_freeze.SetActive(false);
  fake_.ClearCalls();
  client_.IOHandler()->SendLine("abcdef");
  EXPECT_EQ(fake_.Count(Kind::kPump), 0u);
}

TEST_F(ConnectionFakeTest, SendLineRaisesNoNotifications) {
  Open();
  NotificationLog log(client_);
  client_.IOHandler()->SendLine("IZVJ 1 ");
  EXPECT_EQ(fake_.Sent(), "IZVJ 1 \r\n");
  EXPECT_EQ(fake_.Count(Kind::kSend), 1u);  // one send for the whole line
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(ConnectionFakeTest, ASendOfNothingMeansThePeerHasClosed) {
  Open();
  fake_.QueueSendAnswer(0);
  ExpectFailure([&] { client_.IOHandler()->SendLine("x"); }, "EIdConnClosedGracefully",
                "Connection Closed Gracefully.");
  EXPECT_TRUE(client_.IOHandler()->ClosedGracefully());
  EXPECT_FALSE(client_.IOHandler()->BindingAllocated());
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(ConnectionFakeTest, AFailedSendLeavesTheConnectionStuckOpen) {
  Open();
  fake_.QueueSendAnswer(-1, 10053);
  ExpectFailure([&] { client_.IOHandler()->SendLine("x"); }, "EIdSocketError",
                "Socket Error # 10053\r\nSoftware caused connection abort.");
  EXPECT_TRUE(client_.IsConnected());
  client_.CloseConnection();
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(ConnectionFakeTest, SendingAfterTheCloseWasNoticedFailsEvenWithUnreadBytes) {
  Open();
  fake_.QueueData("unread");
  fake_.QueueClose();
  EXPECT_TRUE(client_.IsConnected());  // takes the bytes
  EXPECT_TRUE(client_.IsConnected());  // notices the close, closes the socket
  EXPECT_FALSE(client_.IOHandler()->BindingAllocated());
  fake_.ClearCalls();
  ExpectFailure([&] { client_.IOHandler()->SendLine("x"); }, "EIdConnClosedGracefully",
                "Connection Closed Gracefully.");
  EXPECT_TRUE(fake_.Calls().empty());
  // The unread bytes keep the connection "connected" and refuse a new open.
  EXPECT_TRUE(client_.IsConnected());
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdAlreadyConnected", "Already connected.");
}

TEST_F(ConnectionFakeTest, AlreadyConnected) {
  Open();
  ExpectFailure([&] { client_.OpenConnection(); }, "EIdAlreadyConnected", "Already connected.");
  EXPECT_EQ(fake_.Count(Kind::kSocket), 0u);
  EXPECT_TRUE(client_.IsConnected());  // the failed open changed nothing
}

TEST_F(ConnectionFakeTest, AResetKeepsTheBytesAndLeavesTheConnectionStuckOpen) {
  Open();
  client_.IOHandler()->SetRecvBufferSize(4096);
  fake_.QueueData(std::string(5000, 'r'));
  fake_.QueueRecvError(10054);
  NotificationLog log(client_);
  testing::MemoryStream sink;
  int32_t code =
      ExpectFailure([&] { client_.IOHandler()->ReceiveUntilClosed(sink); }, "EIdSocketError",
                    "Socket Error # 10054\r\nConnection reset by peer.");
  EXPECT_EQ(code, 10054);
  EXPECT_EQ(sink.DataAsString(), std::string(5000, 'r'));
  EXPECT_EQ(log.Entries(),
            (std::vector<std::string>{"begin r 0", "work r 4096", "work r 5000", "end r"}));
  EXPECT_TRUE(client_.IOHandler()->Opened());
  EXPECT_TRUE(client_.IOHandler()->BindingAllocated());
  // Every later poll asks the platform again and raises what it reports.
  fake_.QueueWaitAnswer(-1, 10054);
  EXPECT_THROW(client_.IsConnected(), EIdSocketError);
}

TEST_F(ConnectionFakeTest, CloseConnectionClosesBeforeItRaisesThePollFailure) {
  Open();
  fake_.QueueWaitAnswer(-1, 10050);
  ExpectFailure([&] { client_.CloseConnection(); }, "EIdSocketError",
                "Socket Error # 10050\r\nNetwork is down.");
  EXPECT_EQ(fake_.Sequence(),
            (std::vector<Kind>{Kind::kWaitReadable, Kind::kShutdownSend, Kind::kClose}));
  EXPECT_FALSE(client_.IOHandler()->Opened());
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(ConnectionFakeTest, TheHandlerIsReusedAfterACloseAndRenewedAfterAFailedOpen) {
  Open();
  TIOHandler* first = client_.IOHandler();
  first->SetRecvBufferSize(4096);
  fake_.QueueData("left over");
  EXPECT_TRUE(client_.IsConnected());
  client_.CloseConnection();
  // The close dropped the bytes never taken: they would count as connected and refuse the open.
  EXPECT_FALSE(client_.IsConnected());
  client_.OpenConnection();
  EXPECT_EQ(client_.IOHandler(), first);
  EXPECT_EQ(first->RecvBufferSize(), 4096);
  EXPECT_EQ(first->InputBuffer()->Size(), 0u);
  client_.CloseConnection();

  fake_.ConnectFails(10061);
  EXPECT_THROW(client_.OpenConnection(), EIdSocketError);
  EXPECT_EQ(client_.IOHandler(), nullptr);
  fake_.ConnectSucceeds();
  client_.OpenConnection();
  ASSERT_NE(client_.IOHandler(), nullptr);
  EXPECT_EQ(client_.IOHandler()->RecvBufferSize(), 32768);
}

TEST_F(ConnectionFakeTest, NotificationsNestAndDropProgressOutsideATransfer) {
  NotificationLog log(client_);
  client_.DoWork(wmRead, 5);  // no transfer begun: dropped
  client_.BeginWork(wmRead, 0);
  client_.BeginWork(wmRead, 99);  // nested: no second begin
  client_.DoWork(wmRead, 10);
  client_.DoWork(wmWrite, 10);  // the other mode has no transfer
  client_.EndWork(wmRead);
  client_.DoWork(wmRead, 1);
  client_.EndWork(wmRead);
  client_.BeginWork(wmRead, 7);  // a new outermost transfer starts from 0
  client_.DoWork(wmRead, 2);
  client_.EndWork(wmRead);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"begin r 0", "work r 10", "work r 11", "end r",
                                                     "begin r 7", "work r 2", "end r"}));
}

TEST_F(ConnectionFakeTest, CountsBeyondThirtyTwoBitsAreARangeErrorOnlyWithAHandler) {
  client_.BeginWork(wmRead, 0);
  client_.DoWork(wmRead, 2147483647);
  EXPECT_NO_THROW(client_.DoWork(wmRead, 1));  // nobody listens: nothing is converted
  client_.EndWork(wmRead);

  NotificationLog log(client_);
  client_.BeginWork(wmRead, 0);
  client_.DoWork(wmRead, 2147483647);
  ExpectFailure([&] { client_.DoWork(wmRead, 1); }, "ERangeError", "Range check error");
  client_.EndWork(wmRead);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"begin r 0", "work r 2147483647", "end r"}));
  ExpectFailure([&] { client_.BeginWork(wmWrite, 2147483648LL); }, "ERangeError",
                "Range check error");
}

TEST_F(ConnectionFakeTest, TheBlockThatPassesTheCountLimitStillReachesTheSink) {
  Open();
  client_.IOHandler()->SetRecvBufferSize(4096);
  NotificationLog log(client_);
  // An outer transfer that has counted nearly 2 GiB already: the reply's first block passes
  // the limit of the notifications' 32-bit count, without 2 GiB on the way.
  client_.BeginWork(wmRead, 0);
  client_.DoWork(wmRead, 2147483647 - 1000);
  const std::string first(3000, 'a');
  const std::string second(4096, 'b');
  fake_.QueueData(first);
  fake_.QueueData(second);
  fake_.QueueClose();
  testing::MemoryStream sink;
  ExpectFailure([&] { client_.IOHandler()->ReceiveUntilClosed(sink); }, "ERangeError",
                "Range check error");
  // The block that crossed the limit and the rest that had arrived are kept.
  EXPECT_EQ(sink.DataAsString(), first + second);
  EXPECT_TRUE(client_.IOHandler()->InputBuffer()->Empty());
}

}  // namespace
}  // namespace vxt

// The real socket layer on loopback: Winsock numbers for the failures the client meets, a
// round trip, the readability wait, and a close from another thread that ends a pending
// connect (and a shutdown that does not).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
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

class SocketLayerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (TSocketHandle s : opened_) api_.Close(s);
  }

  // A bound IPv4 socket, closed at the end of the test.
  TSocketHandle NewSocket() {
    const TSocketHandle s = api_.Socket(TIPVersion::Id_IPv4);
    EXPECT_NE(s, kInvalidSocket) << api_.LastError();
    EXPECT_EQ(api_.Bind(s, TSocketAddress()), 0) << api_.LastError();
    opened_.push_back(s);
    return s;
  }

  TSocketHandle Connected(uint16_t port) {
    const TSocketHandle s = NewSocket();
    EXPECT_EQ(api_.SetNoDelay(s, false), 0) << api_.LastError();
    EXPECT_EQ(api_.Connect(s, Loopback(port)), 0) << api_.LastError();
    return s;
  }

  // Receives until count bytes or the peer's close; fails the test on a wait time-out.
  std::string ReceiveUpTo(TSocketHandle s, size_t count) {
    std::string received;
    char buffer[4096];
    while (received.size() < count) {
      if (api_.WaitReadable(s, 5000) != 1) {
        ADD_FAILURE() << "nothing readable after " << received.size() << " bytes";
        break;
      }
      const int n = api_.Recv(s, buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
    return received;
  }

  NetworkLayerUse use_;
  SocketApi& api_ = ActiveSocketApi();
  std::vector<TSocketHandle> opened_;
};

TEST_F(SocketLayerTest, RefusedConnectReportsConnectionRefused) {
  const uint16_t port = testing::FreeLoopbackPort();
  const TSocketHandle s = NewSocket();
  ASSERT_EQ(api_.Connect(s, Loopback(port)), -1);
  EXPECT_EQ(api_.LastError(), 10061);
  try {
    CheckSocketResult(-1);
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_EQ(failure.LastError(), 10061);
    EXPECT_EQ(failure.Message(), "Socket Error # 10061\r\nConnection refused.");
  }
}

TEST_F(SocketLayerTest, TheLastErrorBelongsToTheCallingThread) {
  const uint16_t port = testing::FreeLoopbackPort();
  const TSocketHandle s = NewSocket();
  const TSocketHandle other = NewSocket();
  std::atomic<int> stage{0};
  int32_t worker_error = 0;
  std::thread worker([&] {
    while (stage.load() != 1) {
    }
    if (api_.Connect(other, Loopback(port)) == -1) worker_error = api_.LastError();
    stage = 2;
  });
  // Between the failing call and the reading of its error this thread makes no system call
  // (on Windows any of them may overwrite the thread's last error): it spins on the stage.
  ASSERT_EQ(api_.Bind(s, TSocketAddress()), -1);  // bound already
  stage = 1;
  while (stage.load() != 2) {
  }
  const int32_t own_error = api_.LastError();
  worker.join();
  EXPECT_EQ(worker_error, 10061);
  EXPECT_EQ(own_error, 10022);
}

TEST_F(SocketLayerTest, UnknownHostNameGivesALookupNumber) {
  TIPv4Address ip;
  int32_t code = 0;
  ASSERT_FALSE(api_.GetHostByName("no-such-host.invalid", ip, code));
  EXPECT_GE(code, 11001);
  EXPECT_LE(code, 11004);
  EXPECT_EQ(api_.LastError(), code);
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
  const TSocketHandle s = Connected(server.Port());

  TSocketAddress local;
  TSocketAddress peer;
  ASSERT_EQ(api_.GetSockName(s, local), 0) << api_.LastError();
  ASSERT_EQ(api_.GetPeerName(s, peer), 0) << api_.LastError();
  EXPECT_EQ(local.ip, kLoopback);
  EXPECT_NE(local.port, 0);
  EXPECT_EQ(peer, Loopback(server.Port()));

  const std::string line = std::string("AB\x00\x80\xFF", 5) + "\r\n";
  ASSERT_EQ(api_.Send(s, line.data(), static_cast<int>(line.size())),
            static_cast<int>(line.size()));
  EXPECT_EQ(ReceiveUpTo(s, reply.size() + 1), reply);
  // After the server's close the socket stays readable and each receive returns 0.
  EXPECT_EQ(api_.WaitReadable(s, 5000), 1);
  char byte;
  EXPECT_EQ(api_.Recv(s, &byte, 1), 0);
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_EQ(server.Received(0), line);
}

TEST_F(SocketLayerTest, WaitReadableTimesOutWithZero) {
  ScriptedServer server({Step::Silent()});
  const TSocketHandle s = Connected(server.Port());
  EXPECT_EQ(api_.WaitReadable(s, 0), 0);
  EXPECT_EQ(api_.WaitReadable(s, 30), 0);
  EXPECT_EQ(api_.WaitReadable(s, 1001), 0);  // whole seconds and a rest
}

TEST_F(SocketLayerTest, BindingAnAddressInUseFails) {
  const TSocketHandle first = api_.Socket(TIPVersion::Id_IPv4);
  const TSocketHandle second = api_.Socket(TIPVersion::Id_IPv4);
  opened_.push_back(first);
  opened_.push_back(second);
  ASSERT_EQ(api_.Bind(first, Loopback(0)), 0);
  TSocketAddress bound;
  ASSERT_EQ(api_.GetSockName(first, bound), 0);
  EXPECT_EQ(api_.Bind(second, bound), -1);
  EXPECT_EQ(api_.LastError(), 10048);
}

TEST_F(SocketLayerTest, SendAfterTheOwnShutdownIsRefused) {
  ScriptedServer server({Step::WaitClientClose()});
  const TSocketHandle s = Connected(server.Port());
  ASSERT_EQ(api_.ShutdownSend(s), 0) << api_.LastError();
  EXPECT_EQ(api_.Send(s, "x", 1), -1);
  EXPECT_EQ(api_.LastError(), 10058);
  ASSERT_TRUE(server.WaitUntilDone(0));
  EXPECT_TRUE(server.ClientClosed(0));
  EXPECT_EQ(server.Received(0), "");
}

TEST_F(SocketLayerTest, APeersResetFailsReceiveAndSend) {
  ScriptedServer server({Step::Send("x"), Step::Pause(20), Step::Reset()});
  const TSocketHandle s = Connected(server.Port());
  ASSERT_EQ(ReceiveUpTo(s, 1), "x");
  ASSERT_TRUE(server.WaitUntilDone(0));
  ASSERT_EQ(api_.WaitReadable(s, 5000), 1);
  char buffer[16];
  const int received = api_.Recv(s, buffer, sizeof buffer);
  if (testing::ResetsReachClients()) {
    EXPECT_EQ(received, -1);
    EXPECT_EQ(api_.LastError(), 10054);
  } else {
    EXPECT_EQ(received, 0);  // this system reports the reset as an orderly end
  }
  // Sends to the reset connection fail, the second one too (where POSIX says EPIPE).
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(api_.Send(s, "abc", 3), -1) << attempt;
    const int32_t error = api_.LastError();
    if (BsdLayer()) {
      EXPECT_EQ(error, 10054) << attempt;
    } else {
      EXPECT_TRUE(error == 10053 || error == 10054 || error == 10058) << error;
    }
  }
}

TEST_F(SocketLayerTest, AClosedHandleIsRefusedAndNeverReachesALaterSocket) {
  ScriptedServer server({Step::Close()});
  const TSocketHandle closed = api_.Socket(TIPVersion::Id_IPv4);
  ASSERT_NE(closed, kInvalidSocket);
  ASSERT_EQ(api_.Close(closed), 0);
  char byte;
  EXPECT_EQ(api_.Recv(closed, &byte, 1), -1);
  EXPECT_TRUE(ClosedHandleError(api_.LastError())) << api_.LastError();
  EXPECT_EQ(api_.Close(closed), -1);
  EXPECT_TRUE(ClosedHandleError(api_.LastError())) << api_.LastError();

  // The next socket may get the same descriptor from the system; its handle must differ.
  const TSocketHandle next = NewSocket();
  if (next == closed) {
    ASSERT_FALSE(BsdLayer()) << "a handle was given out twice";
    GTEST_SKIP() << "Winsock gave the new socket the same handle";
  }
  EXPECT_EQ(api_.Connect(closed, Loopback(server.Port())), -1);
  EXPECT_TRUE(ClosedHandleError(api_.LastError())) << api_.LastError();
  TSocketAddress peer;
  EXPECT_EQ(api_.GetPeerName(next, peer), -1);
  EXPECT_EQ(api_.LastError(), 10057);
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

// A blocking connect on a thread of its own. The state it shares with the test is kept alive by
// the thread as well, so that a connect that never returns does not outlive it.
class PendingConnect {
 public:
  PendingConnect(SocketApi& api, TSocketHandle s, uint16_t port)
      : api_(api), s_(s), state_(std::make_shared<State>()) {
    worker_ = std::thread([state = state_, api = &api, s, port] {
      const int result = api->Connect(s, Loopback(port));
      const int32_t error = api->LastError();
      std::lock_guard<std::mutex> lock(state->mutex);
      state->result = result;
      state->error = error;
      state->finished = true;
      state->changed.notify_all();
    });
  }

  ~PendingConnect() {
    if (worker_.joinable()) worker_.detach();
  }

  // Waits until the connect has reached the system and so is pending (the listener drops its
  // handshake): the system gives the socket, bound to the wildcard address, its local address
  // when the connect starts.
  ::testing::AssertionResult Started() {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::unique_lock<std::mutex> lock(state_->mutex);
    for (;;) {
      if (state_->finished) {
        return ::testing::AssertionFailure()
               << "the connect ended by itself: " << state_->result << ", " << state_->error;
      }
      TSocketAddress local;
      lock.unlock();
      const bool addressed = api_.GetSockName(s_, local) == 0 && local.ip == kLoopback;
      lock.lock();
      if (addressed) return ::testing::AssertionSuccess();
      if (std::chrono::steady_clock::now() > give_up) {
        return ::testing::AssertionFailure()
               << "the connect had not reached the system after 10 s (local address \""
               << FormatDottedIPv4(local.ip) << "\")";
      }
      // The connect's own end wakes this wait early.
      state_->changed.wait_for(lock, std::chrono::milliseconds(1));
    }
  }

  // Waits for the connect's end; without a close it would retry its handshake for minutes, so
  // 10 s only catches a hang.
  ::testing::AssertionResult Ended() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return state_->finished; })) {
      return ::testing::AssertionFailure() << "the connect still hangs 10 s after the close";
    }
    lock.unlock();
    worker_.join();
    return ::testing::AssertionSuccess();
  }

  int Result() const { return state_->result; }
  int32_t Error() const { return state_->error; }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    int result = 0;
    int32_t error = 0;
  };
  SocketApi& api_;
  TSocketHandle s_;
  std::shared_ptr<State> state_;
  std::thread worker_;
};

// A connect that a close ended fails as a call on a closed handle: quietly, for the connect
// worker.
void ExpectEndedByTheClose(const PendingConnect& connect) {
  EXPECT_EQ(connect.Result(), -1);
  if (BsdLayer()) {
    EXPECT_EQ(connect.Error(), 10009);
  } else {
    EXPECT_NE(connect.Error(), 0);
  }
}

TEST_F(SocketLayerTest, ShutdownAndCloseFromAnotherThreadEndAPendingConnect) {
  testing::HangingListener listener;
  if (!listener.ConnectsHang()) GTEST_SKIP() << "connects to a full accept queue do not hang here";
  const TSocketHandle s = NewSocket();
  PendingConnect connect(api_, s, listener.Port());
  ASSERT_TRUE(connect.Started());
  api_.ShutdownSend(s);
  api_.Close(s);
  opened_.clear();
  ASSERT_TRUE(connect.Ended());
  ExpectEndedByTheClose(connect);
}

TEST_F(SocketLayerTest, ShutdownLeavesAPendingConnectAlone) {
  testing::HangingListener listener;
  if (!listener.ConnectsHang()) GTEST_SKIP() << "connects to a full accept queue do not hang here";
  const TSocketHandle s = NewSocket();
  PendingConnect connect(api_, s, listener.Port());
  ASSERT_TRUE(connect.Started());
  EXPECT_EQ(api_.ShutdownSend(s), -1);
  EXPECT_EQ(api_.LastError(), 10057);
  // An aborted connect would have given its local address back.
  TSocketAddress local;
  EXPECT_EQ(api_.GetSockName(s, local), 0) << api_.LastError();
  EXPECT_EQ(local.ip, kLoopback) << "the shutdown ended the connect";
  api_.Close(s);
  opened_.clear();
  ASSERT_TRUE(connect.Ended());
  ExpectEndedByTheClose(connect);
}

TEST(PlatformSocketLayerTest, TwoLayersLiveSideBySide) {
  auto first = CreatePlatformSocketApi();
  auto second = CreatePlatformSocketApi();
  const TSocketHandle s = first->Socket(TIPVersion::Id_IPv4);
  ASSERT_NE(s, kInvalidSocket);
  first.reset();  // shutting one down leaves the other working
  const TSocketHandle t = second->Socket(TIPVersion::Id_IPv4);
  ASSERT_NE(t, kInvalidSocket) << second->LastError();
  EXPECT_EQ(second->Bind(t, Loopback(0)), 0) << second->LastError();
  EXPECT_EQ(second->Close(t), 0);
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

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "App.h"
#include "net/Net.h"
#include "Replies.h"
#include "Server.h"
#include "support/WaitFor.h"

namespace vxt::demo {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

// Generous limits that only matter when the server is broken; they never decide a pass.
constexpr int kClientPatienceMs = 15000;

struct Received {
  std::string bytes;
  bool orderly_close = false;  // the server closed; not a reset, not our own give-up
};

// A client on its own socket: sends, then reads until the server closes.
class TestClient {
 public:
  explicit TestClient(std::uint16_t port) : socket_(net::Connect(kLoopback, port)) {}
  ~TestClient() { net::Close(socket_); }
  bool Connected() const { return socket_ != net::kNoSocket; }
  void ShutdownSend() { net::ShutdownSend(socket_); }

  bool SendBytes(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      if (net::WaitFor(socket_, true, kClientPatienceMs) != net::WaitResult::kReady) return false;
      const long n = net::Send(socket_, bytes.data() + sent, bytes.size() - sent);
      if (n == net::kWouldBlock) continue;
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  Received ReceiveUntilClosed() {
    Received received;
    char buffer[8192];
    const auto give_up =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kClientPatienceMs);
    while (std::chrono::steady_clock::now() < give_up) {
      const net::WaitResult wait = net::WaitFor(socket_, false, 100);
      if (wait == net::WaitResult::kTimeout) continue;
      if (wait == net::WaitResult::kError) break;
      const long n = net::Receive(socket_, buffer, sizeof buffer);
      if (n == net::kWouldBlock) continue;
      if (n < 0) break;
      if (n == 0) {
        received.orderly_close = true;
        break;
      }
      received.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
  }

 private:
  net::Handle socket_;
};

// A server on a free loopback port, run on a thread of its own for the test's life.
class RunningServer {
 public:
  explicit RunningServer(ServerOptions options = Defaults(kReadLimitMs)) {
    options.port = 0;
    server_ = std::make_unique<DemoServer>(options, [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.push_back(line);
    });
    std::string error;
    listening_ = server_->Listen(error);
    EXPECT_TRUE(listening_) << error;
    if (listening_) thread_ = std::thread([this] { server_->Run(); });
  }
  ~RunningServer() { StopAndWait(); }

  static constexpr int kReadLimitMs = 5000;
  static ServerOptions Defaults(int read_timeout_ms = kReadLimitMs) {
    ServerOptions options;
    options.read_timeout_ms = read_timeout_ms;
    return options;
  }

  std::uint16_t Port() const { return server_->Port(); }
  DemoServer& Server() { return *server_; }

  void StopAndWait() {
    server_->Stop();
    if (thread_.joinable()) thread_.join();
  }

  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  // Waits until the server has logged n lines (a connection logs after it has closed).
  std::vector<std::string> WaitForLog(std::size_t n) {
    EXPECT_TRUE(testing::WaitFor([&] { return Log().size() >= n; }, kClientPatienceMs,
                                 std::to_string(n) + " log lines",
                                 {10, [&] { return std::to_string(Log().size()) + " lines"; }}));
    return Log();
  }
  ::testing::AssertionResult WaitForActive(int n) {
    return testing::WaitFor(
        [&] { return server_->ActiveConnections() == n; }, kClientPatienceMs,
        std::to_string(n) + " active connections",
        {10, [&] { return std::to_string(server_->ActiveConnections()) + " active"; }});
  }

 private:
  std::unique_ptr<DemoServer> server_;
  bool listening_ = false;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> log_;
};

Received Exchange(std::uint16_t port, const std::string& request) {
  TestClient client(port);
  EXPECT_TRUE(client.Connected());
  EXPECT_TRUE(client.SendBytes(request));
  return client.ReceiveUntilClosed();
}

class DemoServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(net::StartLibrary()); }
};

TEST_F(DemoServerTest, ServesAReportOverLoopback) {
  RunningServer server;
  ASSERT_NE(server.Port(), 0);
  const Received reply = Exchange(server.Port(), "IZVJ 2 01-11-2026 31-12-2026 1 \r\n");
  EXPECT_TRUE(reply.orderly_close);
  EXPECT_GT(reply.bytes.size(), 1024u);
  EXPECT_EQ(reply.bytes.rfind("%PDF-1.4\n", 0), 0u);
  EXPECT_EQ(reply.bytes.substr(reply.bytes.size() - 6), "%%EOF\n");
  const Request request = ParseRequest("IZVJ 2 01-11-2026 31-12-2026 1 ");
  EXPECT_EQ(reply.bytes, ChooseReportReply(request).bytes);

  const std::vector<std::string> log = server.WaitForLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(" 127.0.0.1:"), std::string::npos) << log[0];
  EXPECT_NE(log[0].find("\"IZVJ 2 01-11-2026 31-12-2026 **** \" -> PDF " +
                        std::to_string(reply.bytes.size()) + " bytes, 2 pages"),
            std::string::npos)
      << log[0];
}

TEST_F(DemoServerTest, AnswersTextRepliesAndLiveStatus) {
  RunningServer server;
  struct Case {
    std::string request;
    std::string reply;
  };
  const Case cases[] = {
      {"IZVJ 2 01-12-2026 31-12-2026  \r\n", std::string(replies::kWrongPin)},
      {"IZVJ 2 01-12-2026 31-12-2026 7 \n", std::string(replies::kWrongPin)},
      {"IZVJ 5 01-12-2026 31-12-2026 1 \r\n", std::string(replies::kUnknownCustomer)},
      {"IZVJ 2 31-12-2026 01-12-2026 1 \r\n", std::string(replies::kReversedPeriod)},
      {"IZVJ 2 30-02-2026 01-12-2026 1 \r\n", std::string(replies::kBadDate)},
      {"IZVJ 2 01-12-2026 \r\n", std::string(replies::kMalformed)},
      {"\r\n", std::string(replies::kMalformed)},
      {"ALIVR\r\nIZVJ 2 01-12-2026 31-12-2026 1 \r\n", ""},  // one request per connection
  };
  for (const Case& c : cases) {
    // The previous connection's thread ends just after its client has seen the close.
    ASSERT_TRUE(server.WaitForActive(0));
    const Received reply = Exchange(server.Port(), c.request);
    EXPECT_TRUE(reply.orderly_close) << c.request;
    if (c.reply.empty()) {
      EXPECT_EQ(reply.bytes.rfind("Server radi: ", 0), 0u) << reply.bytes;
      EXPECT_NE(reply.bytes.find(", aktivnih konekcija: 1\r\n"), std::string::npos) << reply.bytes;
    } else {
      EXPECT_EQ(reply.bytes, c.reply) << c.request;
    }
  }
  const std::vector<std::string> log = server.WaitForLog(std::size(cases));
  ASSERT_EQ(log.size(), std::size(cases));
  for (const std::string& line : log) {
    EXPECT_EQ(line.find(" 7 "), std::string::npos) << "PIN shown: " << line;
  }
}

TEST_F(DemoServerTest, RequestWithoutLineEndIsAnsweredWhenTheClientHalfCloses) {
  RunningServer server;
  TestClient client(server.Port());
  ASSERT_TRUE(client.SendBytes("IZVJ 2 01-12-2026 31-12-2026 9"));
  // Only the sending side closes; the reply can still come back.
  client.ShutdownSend();
  const Received reply = client.ReceiveUntilClosed();
  EXPECT_TRUE(reply.orderly_close);
  EXPECT_EQ(reply.bytes, replies::kWrongPin);
}

TEST_F(DemoServerTest, OverlongLineGetsTheMalformedReplyAndAnOrderlyClose) {
  ServerOptions options = RunningServer::Defaults();
  options.linger_ms = 60000;  // the drain below must never be cut short on a slow machine
  RunningServer server(options);
  // Far more than the limit and no line end: the server stops parsing at the limit, answers and
  // reads away the rest. More than the socket buffers hold, so a server that closed with unread
  // input would reset the connection and this send would fail.
  const Received reply = Exchange(server.Port(), std::string(8 * 1024 * 1024, 'A'));
  EXPECT_TRUE(reply.orderly_close);
  EXPECT_EQ(reply.bytes, replies::kMalformed);

  const Received just_over =
      Exchange(server.Port(), "IZVJ 2 01-12-2026 31-12-2026 " + std::string(1000, '1') + "\r\n");
  EXPECT_EQ(just_over.bytes, replies::kMalformed);

  const std::vector<std::string> log = server.WaitForLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("(line longer than 1024 bytes) -> Neispravan zahtjev!"), std::string::npos)
      << log[0];
  // The server still serves afterwards.
  EXPECT_EQ(Exchange(server.Port(), "ALIVR\r\n").bytes.rfind("Server radi: ", 0), 0u);
}

TEST_F(DemoServerTest, SilentClientIsDroppedAfterTheReadLimit) {
  RunningServer server(RunningServer::Defaults(200));
  TestClient silent(server.Port());
  ASSERT_TRUE(silent.Connected());
  const Received nothing = silent.ReceiveUntilClosed();
  EXPECT_TRUE(nothing.orderly_close);
  EXPECT_EQ(nothing.bytes, "");

  TestClient partial(server.Port());
  ASSERT_TRUE(partial.SendBytes("IZVJ 2 01-12"));
  const Received still_nothing = partial.ReceiveUntilClosed();
  EXPECT_TRUE(still_nothing.orderly_close);
  EXPECT_EQ(still_nothing.bytes, "");

  const std::vector<std::string> log = server.WaitForLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("(no request) -> dropped: no complete request line within 200 ms"),
            std::string::npos)
      << log[0];
  EXPECT_NE(log[1].find("(incomplete line, 12 bytes) -> dropped"), std::string::npos) << log[1];
}

TEST_F(DemoServerTest, ClientThatClosesAtOnceIsLoggedAndForgotten) {
  RunningServer server;
  { TestClient gone(server.Port()); }
  const std::vector<std::string> log = server.WaitForLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("(no request) -> dropped: closed without a request"), std::string::npos)
      << log[0];
  ASSERT_TRUE(server.WaitForActive(0));
  EXPECT_EQ(server.Server().ActiveConnections(), 0);
}

TEST_F(DemoServerTest, ServesConnectionsConcurrently) {
  RunningServer server;
  TestClient waiting(server.Port());
  ASSERT_TRUE(waiting.Connected());
  ASSERT_TRUE(server.WaitForActive(1));
  // The first connection has not sent its line yet; a second one is served meanwhile and
  // counts both.
  const Received status = Exchange(server.Port(), "ALIVR\r\n");
  EXPECT_NE(status.bytes.find(", aktivnih konekcija: 2\r\n"), std::string::npos) << status.bytes;
  ASSERT_TRUE(waiting.SendBytes("IZVJ 17 01-12-2026 31-12-2026 4321 \r\n"));
  EXPECT_EQ(waiting.ReceiveUntilClosed().bytes.rfind("%PDF-", 0), 0u);
}

TEST_F(DemoServerTest, ConnectionsBeyondTheCapWaitForAFreeSlot) {
  ServerOptions options = RunningServer::Defaults(300);
  options.max_connections = 1;
  RunningServer server(options);
  TestClient silent(server.Port());
  ASSERT_TRUE(silent.Connected());
  ASSERT_TRUE(server.WaitForActive(1));
  // Queued in the backlog until the silent one is dropped, then served alone.
  const Received status = Exchange(server.Port(), "ALIVR\r\n");
  EXPECT_TRUE(status.orderly_close);
  EXPECT_NE(status.bytes.find(", aktivnih konekcija: 1\r\n"), std::string::npos) << status.bytes;
  EXPECT_EQ(silent.ReceiveUntilClosed().bytes, "");
}

// Clients that connect and never send their line must not lock the others out. Every place
// the server has is taken by an idle connection, and all of them stay open until a real
// client's reply has arrived or that client's patience is over: a server whose places stay
// held for the read limit fails by that bounded wait.
TEST_F(DemoServerTest, IdleConnectionsCannotLockOutAClient) {
  const ServerOptions options = RunningServer::Defaults(600000);  // beyond the client's patience
  RunningServer server(options);
  std::vector<std::unique_ptr<TestClient>> idle;
  for (int i = 0; i < options.max_connections; ++i) {
    idle.push_back(std::make_unique<TestClient>(server.Port()));
    ASSERT_TRUE(idle.back()->Connected());
  }
  ASSERT_TRUE(server.WaitForActive(options.max_connections));
  ASSERT_EQ(server.Server().ActiveConnections(), options.max_connections);

  const Received status = Exchange(server.Port(), "ALIVR\r\n");
  ASSERT_TRUE(status.orderly_close) << "no reply within " << kClientPatienceMs << " ms beside "
                                    << idle.size() << " idle connections";
  EXPECT_EQ(status.bytes.rfind("Server radi: ", 0), 0u) << status.bytes;

  // The connection that had waited longest made room: closed without a byte, and logged.
  const Received dropped = idle.front()->ReceiveUntilClosed();
  EXPECT_TRUE(dropped.orderly_close);
  EXPECT_EQ(dropped.bytes, "");
  const std::vector<std::string> log = server.WaitForLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("(no request) -> dropped: server full, its place went to a newer "
                        "connection"),
            std::string::npos)
      << log[0];
  EXPECT_NE(log[1].find("\"ALIVR\" -> "), std::string::npos) << log[1];
}

TEST_F(DemoServerTest, StopEndsRunWithConnectionsStillOpen) {
  RunningServer server(RunningServer::Defaults(600000));
  TestClient idle(server.Port());
  ASSERT_TRUE(idle.Connected());
  ASSERT_TRUE(server.WaitForActive(1));
  server.StopAndWait();
  EXPECT_EQ(server.Server().ActiveConnections(), 0);
  EXPECT_TRUE(idle.ReceiveUntilClosed().orderly_close);
  const std::vector<std::string> log = server.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("dropped: server stopping"), std::string::npos) << log[0];
}

TEST_F(DemoServerTest, ListenRefusesATakenPortAndABadAddress) {
  RunningServer first;
  ServerOptions options;
  options.port = first.Port();
  DemoServer second(options, nullptr);
  std::string error;
  EXPECT_FALSE(second.Listen(error));
  EXPECT_EQ(error, "cannot listen on 127.0.0.1:" + std::to_string(first.Port()) +
                       ": the port is already in use");

  options.address = "127.0.0.256";
  DemoServer bad(options, nullptr);
  EXPECT_FALSE(bad.Listen(error));
  EXPECT_EQ(error, "bad address \"127.0.0.256\": give a dotted IPv4 address such as 127.0.0.1");
}

TEST(DemoNet, ParsesOnlyDottedIpv4) {
  std::uint32_t address = 0;
  ASSERT_TRUE(net::ParseIpv4("127.0.0.1", address));
  EXPECT_EQ(address, kLoopback);
  ASSERT_TRUE(net::ParseIpv4("0.0.0.0", address));
  EXPECT_EQ(address, 0u);
  ASSERT_TRUE(net::ParseIpv4("255.255.255.255", address));
  EXPECT_EQ(address, 0xFFFFFFFFu);
  for (const char* bad : {"", "localhost", "127.0.0", "127.0.0.1.", "127.0.0.1.5", "127..0.1",
                          "256.0.0.1", "1.2.3.4 ", " 1.2.3.4", "+1.2.3.4", "1.2.3.0004", "::1"}) {
    EXPECT_FALSE(net::ParseIpv4(bad, address)) << bad;
  }
  EXPECT_EQ(net::FormatIpv4(0xC0A80A01), "192.168.10.1");
}

TEST(DemoOptions, DefaultsAndEveryOption) {
  ServerOptions options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ParseOptions({}, options, help, error));
  EXPECT_EQ(options.address, "127.0.0.1");
  EXPECT_EQ(options.port, 8026);
  EXPECT_EQ(options.read_timeout_ms, 10000);
  EXPECT_EQ(options.max_line, 1024u);
  EXPECT_FALSE(help);

  ASSERT_TRUE(ParseOptions(
      {"--address", "0.0.0.0", "--port=0", "--read-timeout", "250", "--max-connections=3"}, options,
      help, error))
      << error;
  EXPECT_EQ(options.address, "0.0.0.0");
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.read_timeout_ms, 250);
  EXPECT_EQ(options.max_connections, 3);
  ASSERT_TRUE(ParseOptions({"-h"}, options, help, error));
  EXPECT_TRUE(help);
}

TEST(DemoOptions, RejectsBadValuesWithOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"--port", "65536"}, "bad port \"65536\": give a number from 0 to 65535"},
      {{"--port", "-1"}, "bad port \"-1\": give a number from 0 to 65535"},
      {{"--port", "80a"}, "bad port \"80a\": give a number from 0 to 65535"},
      {{"--port="}, "bad port \"\": give a number from 0 to 65535"},
      {{"--port"}, "option --port needs a value"},
      {{"--read-timeout", "0"}, "bad read timeout \"0\": give milliseconds from 1 to 3600000"},
      {{"--verbose"}, "unknown option \"--verbose\" (see --help)"},
      {{"8026"}, "unknown option \"8026\" (see --help)"},
  };
  for (const Case& c : cases) {
    ServerOptions options;
    bool help = false;
    std::string error;
    EXPECT_FALSE(ParseOptions(c.args, options, help, error));
    EXPECT_EQ(error, c.error);
  }
}

// The program's entry as main() runs it, with the console replaced by line lists.
class ProgramRun {
 public:
  explicit ProgramRun(std::vector<std::string> args) {
    thread_ = std::thread([this, args] {
      code_ = RunDemoServer(
          args, [this](const std::string& line) { Add(out_, line); },
          [this](const std::string& line) { Add(err_, line); }, stop_);
    });
  }
  ~ProgramRun() { Finish(); }
  int Finish() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    return code_;
  }
  std::vector<std::string> Out() { return Copy(out_); }
  std::vector<std::string> Err() { return Copy(err_); }
  std::uint16_t WaitForPort() {
    std::uint16_t port = 0;
    auto announced = [&] {
      for (const std::string& line : Out()) {
        const std::size_t at = line.find("listening on 127.0.0.1:");
        if (at != std::string::npos) {
          port = static_cast<std::uint16_t>(std::stoi(line.substr(at + 23)));
          return true;
        }
      }
      return false;
    };
    EXPECT_TRUE(testing::WaitFor(announced, kClientPatienceMs, "the server names its port",
                                 {10, [&] { return std::to_string(Out().size()) + " lines"; }}));
    return port;
  }

 private:
  void Add(std::vector<std::string>& lines, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.push_back(line);
  }
  std::vector<std::string> Copy(const std::vector<std::string>& lines) {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines;
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> out_, err_;
  int code_ = -1;
  std::thread thread_;
};

TEST(DemoProgram, PortZeroPrintsTheChosenPortAndStopsCleanly) {
  ProgramRun run({"--port", "0"});
  const std::uint16_t port = run.WaitForPort();
  ASSERT_NE(port, 0);
  ASSERT_TRUE(net::StartLibrary());
  EXPECT_EQ(Exchange(port, "IZVJ 2 01-12-2026 31-12-2026 1 \r\n").bytes.rfind("%PDF-", 0), 0u);
  EXPECT_EQ(run.Finish(), 0);
  const std::vector<std::string> out = run.Out();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_NE(out[1].find("-> PDF "), std::string::npos);
  EXPECT_EQ(out[2], "demo_report_server: stopped");
  EXPECT_TRUE(run.Err().empty());
}

TEST(DemoProgram, TakenPortAndBadOptionsExitWithOneAndOneLine) {
  ProgramRun first({"--port", "0"});
  const std::uint16_t port = first.WaitForPort();
  ASSERT_NE(port, 0);
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"--port", std::to_string(port)},
       "demo_report_server: cannot listen on 127.0.0.1:" + std::to_string(port) +
           ": the port is already in use"},
      {{"--address", "nowhere"},
       "demo_report_server: bad address \"nowhere\": give a dotted IPv4 "
       "address such as 127.0.0.1"},
      {{"--port", "x"}, "demo_report_server: bad port \"x\": give a number from 0 to 65535"},
  };
  for (const Case& c : cases) {
    ProgramRun run(c.args);
    EXPECT_EQ(run.Finish(), 1);
    EXPECT_EQ(run.Err(), std::vector<std::string>{c.error});
    EXPECT_TRUE(run.Out().empty());
  }
  ProgramRun help({"--help"});
  EXPECT_EQ(help.Finish(), 0);
  ASSERT_EQ(help.Out().size(), 1u);
  EXPECT_EQ(help.Out()[0].rfind("Usage: demo_report_server [--address A] [--port P]", 0), 0u);
}

}  // namespace
}  // namespace vxt::demo

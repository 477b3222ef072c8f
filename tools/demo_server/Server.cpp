#include "Server.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "Replies.h"

namespace vxt::demo {

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait, so that a stop request is seen quickly.
constexpr int kSliceMs = 100;
// A connection keeps its place this long whatever comes: a client that sends its line at once
// (every real one) is never pushed out by the crowd behind it, also in a burst at the limit.
constexpr auto kPlaceKeptFor = std::chrono::milliseconds(1000);
// Bytes taken from one connection per turn, and connections accepted per turn, so that one
// busy client or a flood of new ones cannot starve the rest.
constexpr std::size_t kReceiveBudget = 64 * 1024;
constexpr int kAcceptsPerTurn = 64;

constexpr char kMadeRoom[] = "server full, its place went to a newer connection";
constexpr char kStopping[] = "server stopping";

std::string Pad2(int value) {
  return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
         static_cast<char>('0' + value % 10);
}

Clock::time_point After(int ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

// Every connection and the listener must fit into one Poll.
std::size_t ConnectionLimit(const ServerOptions& options) {
  return static_cast<std::size_t>(
      std::clamp<int>(options.max_connections, 1, static_cast<int>(net::kMaxPollEntries) - 1));
}

}  // namespace

// One client's exchange: reading its line until the read deadline, sending the reply until the
// send deadline, then waiting for the client's close until the linger deadline.
struct DemoServer::Connection {
  enum class Phase { kReading, kSending, kLingering, kDone };

  Connection(net::Handle accepted_socket, std::string peer_text, std::size_t max_line,
             int read_timeout_ms)
      : socket(accepted_socket),
        peer(std::move(peer_text)),
        accepted(Clock::now()),
        deadline(After(read_timeout_ms)),
        assembler(max_line) {}
  ~Connection() { net::Close(socket); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  net::Handle socket;
  std::string peer;
  Clock::time_point accepted;
  Phase phase = Phase::kReading;
  Clock::time_point deadline;  // of the current phase
  LineAssembler assembler;
  std::string shown_line;  // the request as the log shows it
  std::string outcome;     // the log's text after "->"
  Reply reply;
  std::size_t sent = 0;
};

std::string LocalTimeText(bool for_log) {
  // std::localtime shares one buffer between threads.
  static std::mutex mutex;
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (const std::tm* local = std::localtime(&now)) parts = *local;
  }
  const std::string year = std::to_string(parts.tm_year + 1900);
  const std::string month = Pad2(parts.tm_mon + 1);
  const std::string day = Pad2(parts.tm_mday);
  const std::string time =
      Pad2(parts.tm_hour) + ":" + Pad2(parts.tm_min) + ":" + Pad2(parts.tm_sec);
  return for_log ? year + "-" + month + "-" + day + " " + time
                 : day + "-" + month + "-" + year + " " + time;
}

DemoServer::DemoServer(ServerOptions options, LogSink log)
    : options_(std::move(options)), log_(std::move(log)) {}

DemoServer::~DemoServer() {
  Stop();
  net::Close(listener_);
}

bool DemoServer::Listen(std::string& error) {
  std::uint32_t address = 0;
  if (!net::ParseIpv4(options_.address, address)) {
    error =
        "bad address \"" + options_.address + "\": give a dotted IPv4 address such as 127.0.0.1";
    return false;
  }
  const net::Listener listener =
      net::Listen(address, options_.port, 64, net::PortReuse::kExclusive);
  listener_ = listener.socket;
  port_ = listener.port;
  if (listener_ != net::kNoSocket) return true;
  error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": ";
  switch (listener.failure) {
    case net::ListenFailure::kInUse:
      error += "the port is already in use";
      break;
    case net::ListenFailure::kAddressNotAvailable:
      error += "the address does not belong to this machine";
      break;
    case net::ListenFailure::kDenied:
      error += "permission denied";
      break;
    case net::ListenFailure::kNone:
    case net::ListenFailure::kOther:
      error += "socket error " + std::to_string(listener.system_code);
      break;
  }
  return false;
}

bool DemoServer::StopRequested() const {
  return stop_.load() || (external_stop_ != nullptr && external_stop_->load());
}

void DemoServer::Stop() {
  stop_.store(true);
}

bool DemoServer::WaitUntilIdle(int timeout_ms) const {
  std::unique_lock<std::mutex> lock(active_mutex_);
  return active_changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [this] { return active_.load() == 0; });
}

void DemoServer::SetActive(std::size_t count) {
  // Only Run's thread changes the count; the lock is for the waiters, who must not miss it.
  const int value = static_cast<int>(count);
  if (active_.load() == value) return;
  {
    std::lock_guard<std::mutex> lock(active_mutex_);
    active_.store(value);
  }
  active_changed_.notify_all();
}

void DemoServer::Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(log_mutex_);
  if (log_) log_(line);
}

void DemoServer::Run(const std::atomic<bool>* external_stop) {
  external_stop_ = external_stop;
  const std::size_t limit = ConnectionLimit(options_);
  Connections connections;
  std::vector<net::PollEntry> entries;
  Clock::time_point accept_paused_until = Clock::now();
  while (!StopRequested() && listener_ != net::kNoSocket) {
    // Deadlines first: a connection past its own is ended whatever its socket says.
    for (Connection& connection : connections) {
      if (Clock::now() >= connection.deadline) Advance(connection);
    }
    connections.remove_if([](const Connection& c) { return c.phase == Connection::Phase::kDone; });
    SetActive(connections.size());

    // While there is no room, newcomers stay in the backlog and the listener is not watched.
    const Clock::time_point now = Clock::now();
    const bool watch_listener =
        now >= accept_paused_until &&
        (connections.size() < limit || PlaceToGive(connections) != connections.end());
    entries.clear();
    entries.push_back(net::PollEntry{listener_, watch_listener, false, false});
    Clock::time_point wake = now + std::chrono::milliseconds(kSliceMs);
    for (const Connection& connection : connections) {
      const bool sending = connection.phase == Connection::Phase::kSending;
      entries.push_back(net::PollEntry{connection.socket, !sending, sending, false});
      wake = std::min(wake, connection.deadline);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
    if (!net::Poll(entries, wait < 0 ? 0 : static_cast<int>(wait))) {
      // A failed wait (it should not happen) must not turn into a busy loop.
      std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
      continue;
    }
    if (StopRequested()) break;

    // The connections first: a line that has arrived completes before anyone loses a place.
    std::size_t index = 1;
    for (Connection& connection : connections) {
      if (entries[index++].ready) Advance(connection);
    }
    connections.remove_if([](const Connection& c) { return c.phase == Connection::Phase::kDone; });
    SetActive(connections.size());

    if (entries[0].ready) {
      const std::size_t before = connections.size();
      AcceptWaiting(connections);
      // Ready but nothing taken (out of descriptors, say): try again a slice later.
      if (connections.size() == before) accept_paused_until = After(kSliceMs);
    }
  }
  for (Connection& connection : connections) Cut(connection, kStopping);
  connections.clear();
  SetActive(0);
  net::Close(listener_);
  listener_ = net::kNoSocket;
}

void DemoServer::AcceptWaiting(Connections& connections) {
  const std::size_t limit = ConnectionLimit(options_);
  for (int accepted = 0; accepted < kAcceptsPerTurn; ++accepted) {
    Connections::iterator place = connections.end();
    if (connections.size() >= limit) {
      place = PlaceToGive(connections);
      if (place == connections.end()) return;
    }
    std::uint32_t peer_address = 0;
    std::uint16_t peer_port = 0;
    const net::Handle socket = net::Accept(listener_, &peer_address, &peer_port);
    if (socket == net::kNoSocket) return;
    if (place != connections.end()) {
      Cut(*place, kMadeRoom);
      connections.erase(place);
    }
    connections.emplace_back(socket,
                             net::FormatIpv4(peer_address) + ":" + std::to_string(peer_port),
                             options_.max_line, options_.read_timeout_ms);
    SetActive(connections.size());
  }
}

DemoServer::Connections::iterator DemoServer::PlaceToGive(Connections& connections) {
  const Clock::time_point kept_until = Clock::now() - kPlaceKeptFor;
  // A client that has not sent its line first, then one whose reply is out but which has not
  // closed, then one slow to take its reply; within each the one accepted first.
  for (Connection::Phase phase :
       {Connection::Phase::kReading, Connection::Phase::kLingering, Connection::Phase::kSending}) {
    for (auto it = connections.begin(); it != connections.end(); ++it) {
      if (it->phase == phase && it->accepted <= kept_until) return it;
    }
  }
  return connections.end();
}

void DemoServer::Advance(Connection& connection) {
  switch (connection.phase) {
    case Connection::Phase::kReading:
      Receive(connection);
      break;
    case Connection::Phase::kSending:
      SendMore(connection);
      break;
    case Connection::Phase::kLingering:
      Linger(connection);
      break;
    case Connection::Phase::kDone:
      break;
  }
}

void DemoServer::Receive(Connection& connection) {
  char buffer[4096];
  for (std::size_t taken = 0;; taken += sizeof buffer) {
    if (Clock::now() >= connection.deadline) {
      EndReading(connection, "no complete request line within " +
                                 std::to_string(options_.read_timeout_ms) + " ms");
      return;
    }
    if (taken >= kReceiveBudget) return;  // more at the next turn
    const long n = net::Receive(connection.socket, buffer, sizeof buffer);
    if (n == net::kWouldBlock) return;
    if (n == net::kFailed) {
      EndReading(connection, "receive failed");
      return;
    }
    if (n == 0) {
      // A line without its end is still answered when the client closes its sending side.
      EndReading(connection,
                 connection.assembler.ReceivedBytes() == 0 ? "closed without a request" : "");
      return;
    }
    if (connection.assembler.Feed(std::string_view(buffer, static_cast<std::size_t>(n))) !=
        LineAssembler::State::kNeedMore) {
      EndReading(connection, "");
      return;
    }
  }
}

void DemoServer::EndReading(Connection& connection, const std::string& failure) {
  const LineAssembler& assembler = connection.assembler;
  bool answer = false;
  if (assembler.state() == LineAssembler::State::kOverlong) {
    connection.shown_line = "(line longer than " + std::to_string(options_.max_line) + " bytes)";
    connection.reply = MalformedReply();
    answer = true;
  } else if (failure.empty()) {
    const std::string line = assembler.Line();
    // Appended piece by piece: "\"" + std::string trips a false -Wrestrict of GCC 12.
    connection.shown_line = '"';
    connection.shown_line += LoggableLine(line);
    connection.shown_line += '"';
    connection.reply = ChooseReply(ParseRequest(line), [this] {
      return LiveStatus{LocalTimeText(false), active_.load()};
    });
    answer = true;
  } else {
    connection.shown_line =
        assembler.ReceivedBytes() == 0
            ? "(no request)"
            : "(incomplete line, " + std::to_string(assembler.ReceivedBytes()) + " bytes)";
  }
  if (!answer) {
    connection.outcome = "dropped: " + failure;
    net::ShutdownSend(connection.socket);
    Finish(connection);
    return;
  }
  connection.outcome = DescribeReply(connection.reply);
  connection.phase = Connection::Phase::kSending;
  connection.deadline = After(options_.send_timeout_ms);
  SendMore(connection);
}

void DemoServer::SendMore(Connection& connection) {
  const std::string& bytes = connection.reply.bytes;
  while (connection.sent < bytes.size()) {
    if (Clock::now() >= connection.deadline) break;
    const long n = net::Send(connection.socket, bytes.data() + connection.sent,
                             bytes.size() - connection.sent);
    if (n == net::kWouldBlock) return;
    if (n <= 0) break;
    connection.sent += static_cast<std::size_t>(n);
  }
  EndSending(connection, true);
}

void DemoServer::EndSending(Connection& connection, bool linger) {
  if (connection.sent < connection.reply.bytes.size()) {
    connection.outcome += "; reply cut after " + std::to_string(connection.sent) + " bytes";
  }
  // An orderly close: send FIN after the reply, then read (and discard) until the client closes
  // too. Closing with unread input would make the system answer with a reset, which may destroy
  // reply bytes still on their way to the client.
  net::ShutdownSend(connection.socket);
  if (!linger) {
    Finish(connection);
    return;
  }
  connection.phase = Connection::Phase::kLingering;
  connection.deadline = After(options_.linger_ms);
  Linger(connection);
}

void DemoServer::Linger(Connection& connection) {
  char buffer[4096];
  for (std::size_t taken = 0;; taken += sizeof buffer) {
    if (Clock::now() >= connection.deadline) break;
    if (taken >= kReceiveBudget) return;  // still sending: more at the next turn
    const long n = net::Receive(connection.socket, buffer, sizeof buffer);
    if (n == net::kWouldBlock) return;
    if (n <= 0) break;  // the client's close (or a failure): nothing left to protect
  }
  Finish(connection);
}

void DemoServer::Finish(Connection& connection) {
  net::Close(connection.socket);
  connection.socket = net::kNoSocket;
  connection.phase = Connection::Phase::kDone;
  Log(LocalTimeText(true) + " " + connection.peer + " " + connection.shown_line + " -> " +
      connection.outcome);
}

void DemoServer::Cut(Connection& connection, const std::string& failure) {
  switch (connection.phase) {
    case Connection::Phase::kReading:
      // A reading connection's line is incomplete (a complete one ends the phase at once), so
      // it is dropped as it stands.
      EndReading(connection, failure);
      break;
    case Connection::Phase::kSending:
      EndSending(connection, false);
      break;
    case Connection::Phase::kLingering:
      Finish(connection);
      break;
    case Connection::Phase::kDone:
      break;
  }
}

}  // namespace vxt::demo

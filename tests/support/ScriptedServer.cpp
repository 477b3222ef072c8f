#include "support/ScriptedServer.h"

#include <chrono>
#include <stdexcept>

#include "net/Net.h"
#include "support/WaitFor.h"

namespace vxt::testing {

namespace {

// Every server wait is cut into slices of this length, so that Stop() is seen promptly.
constexpr int kSliceMs = 20;

net::Listener ListenOnLoopback(const char* server, int backlog) {
  const net::Listener listener = net::Listen(net::kLoopback, 0, backlog, net::PortReuse::kNone);
  if (listener.socket == net::kNoSocket) {
    throw std::runtime_error(std::string(server) + ": cannot listen on 127.0.0.1, error " +
                             std::to_string(listener.system_code));
  }
  return listener;
}

}  // namespace

std::string PatternBytes(size_t count, unsigned seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<char>(((i % 251) * 37 + seed) & 0xFF);
  }
  return bytes;
}

bool ForEachPatternBlock(size_t count, unsigned seed,
                         const std::function<bool(const char* data, size_t length)>& take) {
  // The pattern repeats every 251 bytes, so one block of whole periods serves all.
  const std::string block = PatternBytes(251 * 256, seed);
  for (size_t done = 0; done < count; done += block.size()) {
    if (!take(block.data(), count - done < block.size() ? count - done : block.size())) {
      return false;
    }
  }
  return true;
}

struct ScriptedServer::Connection {
  net::Handle socket = net::kNoSocket;
  Script script;
  std::string received;    // guarded by the server's mutex
  size_t line_offset = 0;  // where the next ReadLine looks for its LF (serving thread only)
  bool client_closed = false;
  bool done = false;
  std::thread thread;
};

ScriptedServer::ScriptedServer(Script default_script) : default_script_(std::move(default_script)) {
  const net::Listener listener = ListenOnLoopback("ScriptedServer", 16);
  listener_ = listener.socket;
  port_ = listener.port;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  Stop();
}

void ScriptedServer::QueueScript(Script script) {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_.push_back(std::move(script));
}

void ScriptedServer::SetDefaultScript(Script script) {
  std::lock_guard<std::mutex> lock(mutex_);
  default_script_ = std::move(script);
}

size_t ScriptedServer::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_.size();
}

std::string ScriptedServer::Received(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < connections_.size() ? connections_[index]->received : std::string();
}

bool ScriptedServer::ClientClosed(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < connections_.size() && connections_[index]->client_closed;
}

bool ScriptedServer::WaitForConnections(size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return connections_.size() >= count; });
}

bool ScriptedServer::WaitUntilDone(size_t index, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return index < connections_.size() && connections_[index]->done;
  });
}

void ScriptedServer::Stop() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  // The acceptor has ended, so the list no longer grows.
  for (auto& connection : connections_) {
    if (connection->thread.joinable()) connection->thread.join();
  }
  if (listener_ != net::kNoSocket) {
    net::Close(listener_);
    listener_ = net::kNoSocket;
  }
}

void ScriptedServer::AcceptLoop() {
  while (!stop_) {
    if (net::WaitFor(listener_, false, kSliceMs) != net::WaitResult::kReady) continue;
    const net::Handle s = net::Accept(listener_);
    if (s == net::kNoSocket) continue;
    auto connection = std::make_unique<Connection>();
    connection->socket = s;
    Connection* served = connection.get();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!queued_.empty()) {
        connection->script = std::move(queued_.front());
        queued_.pop_front();
      } else {
        connection->script = default_script_;
      }
      connections_.push_back(std::move(connection));
    }
    changed_.notify_all();
    served->thread = std::thread([this, served] { Serve(*served); });
  }
}

std::vector<std::string> ScriptedServer::WaitsGivenUp() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waits_given_up_;
}

bool ScriptedServer::WaitUntil(const Step& step) {
  // Short slices: the step after this one should follow the client's progress closely.
  const ::testing::AssertionResult waited =
      WaitFor([&] { return stop_ || step.ready(); }, step.pause_ms, step.bytes, {1, nullptr});
  if (stop_) return false;
  if (!waited) {
    std::lock_guard<std::mutex> lock(mutex_);
    waits_given_up_.push_back(std::string("the server ") + waited.message());
  }
  return true;
}

bool ScriptedServer::SleepUnlessStopped(int ms) const {
  return !WaitFor([this] { return stop_.load(); }, ms, "the server stops", {kSliceMs, nullptr});
}

bool ScriptedServer::SendAll(Connection& connection, const char* data, size_t length) {
  return net::SendAll(connection.socket, data, length, &stop_, kSliceMs);
}

int ScriptedServer::ReadOnce(Connection& connection, int wait_ms) {
  if (stop_) return -1;
  char buffer[4096];
  const long count = net::ReceiveWithin(connection.socket, buffer, sizeof buffer, wait_ms);
  if (count == net::kWouldBlock) return 2;
  if (count < 0) return -1;
  std::lock_guard<std::mutex> lock(mutex_);
  if (count == 0) {
    connection.client_closed = true;
    return 0;
  }
  connection.received.append(buffer, static_cast<size_t>(count));
  return 1;
}

void ScriptedServer::Finish(Connection& connection, bool orderly) {
  if (orderly) {
    // Unread bytes at close make the system send a reset instead of a FIN; take them first.
    while (!connection.client_closed && ReadOnce(connection, 0) == 1) {
    }
    net::ShutdownSend(connection.socket);
  }
  net::Close(connection.socket);
  connection.socket = net::kNoSocket;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connection.done = true;
  }
  changed_.notify_all();
}

void ScriptedServer::Serve(Connection& connection) {
  bool alive = true;
  for (const Step& step : connection.script) {
    if (!alive || stop_) break;
    switch (step.kind) {
      case Step::Kind::kClose:
        Finish(connection, true);
        return;
      case Step::Kind::kReset:
        net::SetAbortiveClose(connection.socket);
        Finish(connection, false);
        return;
      case Step::Kind::kReadLine:
        for (;;) {
          size_t lf;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            lf = connection.received.find('\n', connection.line_offset);
          }
          if (lf != std::string::npos) {
            connection.line_offset = lf + 1;
            break;
          }
          int result = ReadOnce(connection, kSliceMs);
          if (result <= 0) {
            // A client that half-closed may still read the reply; a failure ends the script.
            alive = result == 0;
            break;
          }
        }
        break;
      case Step::Kind::kReadBytes:
        for (;;) {
          size_t have;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            have = connection.received.size();
          }
          if (have >= step.count) break;
          int result = ReadOnce(connection, kSliceMs);
          if (result <= 0) break;
        }
        break;
      case Step::Kind::kSend:
        alive = SendAll(connection, step.bytes.data(), step.bytes.size());
        break;
      case Step::Kind::kSendBlocks: {
        size_t block = step.count == 0 ? step.bytes.size() : step.count;
        for (size_t offset = 0; alive && offset < step.bytes.size(); offset += block) {
          if (offset > 0) alive = SleepUnlessStopped(step.pause_ms);
          size_t length = step.bytes.size() - offset < block ? step.bytes.size() - offset : block;
          if (alive) alive = SendAll(connection, step.bytes.data() + offset, length);
        }
        break;
      }
      case Step::Kind::kSendPattern:
        alive = ForEachPatternBlock(step.count, step.seed, [&](const char* data, size_t length) {
          return SendAll(connection, data, length);
        });
        break;
      case Step::Kind::kShutdownSend:
        net::ShutdownSend(connection.socket);
        break;
      case Step::Kind::kPause:
        alive = SleepUnlessStopped(step.pause_ms);
        break;
      case Step::Kind::kWaitUntil:
        alive = WaitUntil(step);
        break;
      case Step::Kind::kSilent:
      case Step::Kind::kWaitClientClose:
        for (;;) {
          int result = ReadOnce(connection, kSliceMs);
          if (result == 0 || result < 0) break;
        }
        break;
    }
  }
  Finish(connection, true);
}

HangingListener::HangingListener() {
  // Backlog 0: the system queues at most one finished handshake, and with the queue full it
  // drops further SYNs, so their connects stay pending while nobody accepts.
  const net::Listener listener = ListenOnLoopback("HangingListener", 0);
  listener_ = listener.socket;
  port_ = listener.port;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const net::Handle s = net::StartConnect(net::kLoopback, port_);
    if (s == net::kNoSocket) break;
    fillers_.push_back(s);
    const net::ConnectState state = net::AwaitConnect(s, 300);
    if (state == net::ConnectState::kPending) {
      hangs_ = true;
      break;
    }
    if (state == net::ConnectState::kFailed) break;
  }
}

HangingListener::~HangingListener() {
  for (net::Handle s : fillers_) net::Close(s);
  net::Close(listener_);
}

uint16_t FreeLoopbackPort() {
  return net::FreePort(net::kLoopback);
}

bool ResetsReachClients() {
  static const bool reported = [] {
    // The reset comes once the byte before it is the probe's, so that only the reset is
    // left for the receive that tells.
    std::atomic<bool> byte_taken{false};
    ScriptedServer server({Step::Send("x"),
                           Step::WaitUntil([&] { return byte_taken.load(); }, "the probe has x"),
                           Step::Reset()});
    const net::Handle s = net::StartConnect(net::kLoopback, server.Port());
    if (s == net::kNoSocket || net::AwaitConnect(s, 3000) != net::ConnectState::kConnected) {
      net::Close(s);
      return false;
    }
    long result = 0;
    char buffer[16];
    for (int round = 0; round < 100; ++round) {
      if (net::WaitFor(s, false, 3000) != net::WaitResult::kReady) break;
      result = net::Receive(s, buffer, sizeof buffer);
      if (result == net::kWouldBlock) continue;
      if (result > 0) {
        byte_taken = true;
        server.WaitUntilDone(0);
        continue;
      }
      break;
    }
    net::Close(s);
    return result == net::kFailed;
  }();
  return reported;
}

}  // namespace vxt::testing

#include "Server.h"

#include <chrono>
#include <ctime>
#include <system_error>

#include "Replies.h"

namespace vxt::demo {

namespace {

using Clock = std::chrono::steady_clock;

// Every wait is cut into slices of this length, so a stop request is seen quickly.
constexpr int kSliceMs = 100;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0
                           : static_cast<int>(left.count() < kSliceMs ? left.count() : kSliceMs);
}

std::string Pad2(int value) {
  return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
         static_cast<char>('0' + value % 10);
}

}  // namespace

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
  ReapFinished(true);
  net::Close(listener_);
}

bool DemoServer::Listen(std::string& error) {
  std::uint32_t address = 0;
  if (!net::ParseIpv4(options_.address, address)) {
    error =
        "bad address \"" + options_.address + "\": give a dotted IPv4 address such as 127.0.0.1";
    return false;
  }
  net::ListenFailure failure = net::ListenFailure::kNone;
  int code = 0;
  listener_ = net::Listen(address, options_.port, 64, port_, failure, code);
  if (listener_ != net::kNoSocket) return true;
  error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": ";
  switch (failure) {
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
      error += "socket error " + std::to_string(code);
      break;
  }
  return false;
}

bool DemoServer::StopRequested() const {
  return stop_.load() || (external_stop_ != nullptr && external_stop_->load());
}

void DemoServer::Stop() {
  stop_.store(true);
  slot_freed_.notify_all();
}

void DemoServer::Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(log_mutex_);
  if (log_) log_(line);
}

void DemoServer::ReapFinished(bool all) {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (all || it->done.load()) {
      if (it->thread.joinable()) it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void DemoServer::Run(const std::atomic<bool>* external_stop) {
  external_stop_ = external_stop;
  while (!StopRequested() && listener_ != net::kNoSocket) {
    ReapFinished(false);
    if (active_.load() >= options_.max_connections) {
      // Full: leave new connections in the backlog until a connection ends.
      std::unique_lock<std::mutex> lock(slots_mutex_);
      slot_freed_.wait_for(lock, std::chrono::milliseconds(kSliceMs), [this] {
        return active_.load() < options_.max_connections || stop_.load();
      });
      continue;
    }
    if (net::WaitFor(listener_, false, kSliceMs) != net::WaitResult::kReady) continue;
    std::uint32_t peer_address = 0;
    std::uint16_t peer_port = 0;
    const net::Handle socket = net::Accept(listener_, peer_address, peer_port);
    if (socket == net::kNoSocket) continue;
    const std::string peer = net::FormatIpv4(peer_address) + ":" + std::to_string(peer_port);
    active_.fetch_add(1);
    Worker& worker = workers_.emplace_back();
    try {
      worker.thread = std::thread([this, socket, peer, &worker] {
        Serve(socket, peer);
        {
          std::lock_guard<std::mutex> lock(slots_mutex_);
          active_.fetch_sub(1);
        }
        slot_freed_.notify_all();
        worker.done.store(true);
      });
    } catch (const std::system_error&) {
      workers_.pop_back();
      active_.fetch_sub(1);
      net::Close(socket);
      Log(LocalTimeText(true) + " " + peer + " -> dropped: no thread available");
    }
  }
  ReapFinished(true);
  net::Close(listener_);
  listener_ = net::kNoSocket;
}

void DemoServer::Serve(net::Handle socket, const std::string& peer) {
  LineAssembler assembler(options_.max_line);
  std::string failure;  // why no request was read, when none was
  bool ended_early = false;
  const Clock::time_point read_deadline =
      Clock::now() + std::chrono::milliseconds(options_.read_timeout_ms);
  char buffer[4096];
  while (assembler.state() == LineAssembler::State::kNeedMore) {
    if (StopRequested()) {
      failure = "server stopping";
      break;
    }
    if (Clock::now() >= read_deadline) {
      failure =
          "no complete request line within " + std::to_string(options_.read_timeout_ms) + " ms";
      break;
    }
    const net::WaitResult wait = net::WaitFor(socket, false, MillisecondsLeft(read_deadline));
    if (wait == net::WaitResult::kTimeout) continue;
    const long n = wait == net::WaitResult::kError ? net::kFailed
                                                   : net::Receive(socket, buffer, sizeof buffer);
    if (n == net::kWouldBlock) continue;
    if (n == net::kFailed) {
      failure = "receive failed";
      break;
    }
    if (n == 0) {
      ended_early = true;
      if (assembler.ReceivedBytes() == 0) failure = "closed without a request";
      break;
    }
    assembler.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  }

  std::string shown_line;
  Reply reply;
  bool answer = false;
  if (assembler.state() == LineAssembler::State::kOverlong) {
    shown_line = "(line longer than " + std::to_string(options_.max_line) + " bytes)";
    reply = MalformedReply();
    answer = true;
  } else if (assembler.state() == LineAssembler::State::kComplete ||
             (ended_early && failure.empty())) {
    const std::string line = assembler.Line();
    shown_line = "\"" + LoggableLine(line) + "\"";
    reply = ChooseReply(ParseRequest(line), [this] {
      return LiveStatus{LocalTimeText(false), active_.load()};
    });
    answer = true;
  } else {
    shown_line = assembler.ReceivedBytes() == 0
                     ? "(no request)"
                     : "(incomplete line, " + std::to_string(assembler.ReceivedBytes()) + " bytes)";
  }

  std::string outcome;
  if (answer) {
    outcome = DescribeReply(reply);
    std::size_t sent = 0;
    const Clock::time_point send_deadline =
        Clock::now() + std::chrono::milliseconds(options_.send_timeout_ms);
    while (sent < reply.bytes.size()) {
      if (StopRequested() || Clock::now() >= send_deadline) break;
      const net::WaitResult wait = net::WaitFor(socket, true, MillisecondsLeft(send_deadline));
      if (wait == net::WaitResult::kTimeout) continue;
      if (wait == net::WaitResult::kError) break;
      const long n = net::Send(socket, reply.bytes.data() + sent, reply.bytes.size() - sent);
      if (n == net::kWouldBlock) continue;
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    if (sent < reply.bytes.size()) {
      outcome += "; reply cut after " + std::to_string(sent) + " bytes";
    }
  } else {
    outcome = "dropped: " + failure;
  }

  // An orderly close: send FIN after the reply, then read (and discard) until the client closes
  // too. Closing with unread input would make the system answer with a reset, which may destroy
  // reply bytes still on their way to the client. A dropped client has nothing to protect.
  net::ShutdownSend(socket);
  const Clock::time_point linger_deadline =
      Clock::now() + std::chrono::milliseconds(options_.linger_ms);
  while (answer && !StopRequested() && Clock::now() < linger_deadline) {
    const net::WaitResult wait = net::WaitFor(socket, false, MillisecondsLeft(linger_deadline));
    if (wait == net::WaitResult::kTimeout) continue;
    if (wait == net::WaitResult::kError) break;
    const long n = net::Receive(socket, buffer, sizeof buffer);
    if (n == net::kWouldBlock) continue;
    if (n <= 0) break;
  }
  net::Close(socket);
  Log(LocalTimeText(true) + " " + peer + " " + shown_line + " -> " + outcome);
}

}  // namespace vxt::demo

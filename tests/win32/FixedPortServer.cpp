#include "FixedPortServer.h"

#include "support/WaitFor.h"

namespace vxt::uitest {

namespace {

constexpr uint16_t kPort = 8026;
constexpr int kSliceMs = 25;

}  // namespace

FixedPortServer::FixedPortServer(const std::string& address, ServerScript script)
    : script_(std::move(script)) {
  uint32_t ip = 0;
  if (!net::ParseIpv4(address, ip)) return;
  // A rerun soon after finds this address's earlier connections in TIME_WAIT.
  listener_ = net::Listen(ip, kPort, 4, net::PortReuse::kShared).socket;
  if (Listening()) thread_ = std::thread([this] { Serve(); });
}

FixedPortServer::~FixedPortServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  net::Close(listener_);
}

std::vector<std::string> FixedPortServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t FixedPortServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

bool FixedPortServer::SleepUnlessStopped(int ms) const {
  return !vxt::testing::WaitFor([this] { return stop_.load(); }, ms, "the server stops",
                           {kSliceMs, nullptr});
}

bool FixedPortServer::ReceiveWithin(net::Handle connection, size_t index, int ms,
                                    bool& line_done) {
  char buffer[1024];
  const long got = net::ReceiveWithin(connection, buffer, sizeof buffer, ms);
  if (got == net::kWouldBlock) return true;
  if (got <= 0) {
    client_gone_ = true;
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  requests_[index].append(buffer, static_cast<size_t>(got));
  line_done = std::string(buffer, static_cast<size_t>(got)).find('\n') != std::string::npos;
  return true;
}

bool FixedPortServer::SendAll(net::Handle connection, const char* data, size_t length) {
  if (!net::SendAll(connection, data, length, &stop_, kSliceMs)) {
    if (!stop_) client_gone_ = true;
    return false;
  }
  bytes_sent_ += length;
  return true;
}

void FixedPortServer::Serve() {
  while (!stop_) {
    if (net::WaitFor(listener_, false, kSliceMs) != net::WaitResult::kReady) continue;
    const net::Handle connection = net::Accept(listener_);
    if (connection == net::kNoSocket) continue;
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = requests_.size();
      requests_.emplace_back();
    }
    ServeOne(connection, index);
    net::ShutdownSend(connection);
    net::Close(connection);
  }
}

void FixedPortServer::ServeOne(net::Handle connection, size_t index) {
  // The request line: everything up to and including the first LF.
  for (bool line_done = false; !line_done;) {
    if (stop_ || !ReceiveWithin(connection, index, kSliceMs, line_done)) return;
  }
  if (!SleepUnlessStopped(script_.pause_before_reply_ms)) return;

  const std::string& reply = script_.reply;
  size_t block = script_.block_size ? script_.block_size : reply.size();
  for (size_t offset = 0; offset < reply.size(); offset += block) {
    size_t length = reply.size() - offset < block ? reply.size() - offset : block;
    if (!SendAll(connection, reply.data() + offset, length)) return;
    if (offset + length < reply.size() && !SleepUnlessStopped(script_.pause_between_blocks_ms)) {
      return;
    }
  }

  const std::string chunk(script_.trickle_block ? script_.trickle_block : 1, 'x');
  while (script_.trickle_forever && !stop_) {
    // The client's close shows as a readable socket whose receive gives 0 (or fails on reset).
    bool line_done = false;
    if (!ReceiveWithin(connection, index, 0, line_done)) return;
    if (!SendAll(connection, chunk.data(), chunk.size())) return;
    if (!SleepUnlessStopped(script_.pause_between_blocks_ms > 0 ? script_.pause_between_blocks_ms
                                                                : 100)) {
      return;
    }
  }
}

}  // namespace vxt::uitest

#include "FixedPortServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

namespace vxt::uitest {

namespace {

constexpr uint16_t kPort = 8026;
constexpr int kSliceMs = 25;

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

// 1 readable, 0 not yet, -1 failed.
int WaitReadable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{0, ms * 1000};
  int result = select(0, &set, nullptr, nullptr, &limit);
  return result < 0 ? -1 : result;
}

}  // namespace

FixedPortServer::FixedPortServer(const std::string& address, ServerScript script)
    : script_(std::move(script)) {
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  // A rerun soon after finds this address's earlier connections in TIME_WAIT.
  BOOL reuse = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(kPort);
  local.sin_addr.s_addr = inet_addr(address.c_str());
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(s, 4) != 0) {
    closesocket(s);
    return;
  }
  listener_ = s;
  thread_ = std::thread([this] { Serve(); });
}

FixedPortServer::~FixedPortServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (Listening()) closesocket(listener_);
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
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (stop_) return false;
    Sleep(kSliceMs < ms ? kSliceMs : static_cast<DWORD>(ms));
  }
  return !stop_;
}

void FixedPortServer::Record(size_t index, const char* data, int length) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_[index].append(data, static_cast<size_t>(length));
}

void FixedPortServer::Serve() {
  while (!stop_) {
    if (WaitReadable(listener_, kSliceMs) != 1) continue;
    SOCKET connection = accept(listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = requests_.size();
      requests_.emplace_back();
    }
    ServeOne(connection, index);
    shutdown(connection, SD_SEND);
    closesocket(connection);
  }
}

void FixedPortServer::ServeOne(uintptr_t connection_value, size_t index) {
  SOCKET connection = static_cast<SOCKET>(connection_value);
  char buffer[1024];
  // The request line: everything up to and including the first LF.
  for (bool line_done = false; !line_done;) {
    if (stop_) return;
    int ready = WaitReadable(connection, kSliceMs);
    if (ready < 0) return;
    if (ready == 0) continue;
    int got = recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) {
      client_gone_ = true;
      return;
    }
    Record(index, buffer, got);
    line_done = std::string(buffer, static_cast<size_t>(got)).find('\n') != std::string::npos;
  }
  if (!SleepUnlessStopped(script_.pause_before_reply_ms)) return;

  const std::string& reply = script_.reply;
  size_t block = script_.block_size ? script_.block_size : reply.size();
  for (size_t offset = 0; offset < reply.size(); offset += block) {
    size_t length = reply.size() - offset < block ? reply.size() - offset : block;
    if (send(connection, reply.data() + offset, static_cast<int>(length), 0) !=
        static_cast<int>(length)) {
      client_gone_ = true;
      return;
    }
    bytes_sent_ += length;
    if (offset + length < reply.size() && !SleepUnlessStopped(script_.pause_between_blocks_ms)) {
      return;
    }
  }

  while (script_.trickle_forever && !stop_) {
    // The client's close shows as a readable socket whose recv gives 0 (or fails on reset).
    if (WaitReadable(connection, 0) == 1) {
      int got = recv(connection, buffer, sizeof buffer, 0);
      if (got <= 0) {
        client_gone_ = true;
        return;
      }
      Record(index, buffer, got);
    }
    std::string chunk(script_.trickle_block ? script_.trickle_block : 1, 'x');
    int length = static_cast<int>(chunk.size());
    if (send(connection, chunk.data(), length, 0) != length) {
      client_gone_ = true;
      return;
    }
    bytes_sent_ += chunk.size();
    if (!SleepUnlessStopped(script_.pause_between_blocks_ms > 0 ? script_.pause_between_blocks_ms
                                                                : 100)) {
      return;
    }
  }
}

}  // namespace vxt::uitest

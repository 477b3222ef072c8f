// A scripted report server on a loopback address of its own and the program's fixed port
// 8026. Each case takes another address of 127.0.0.0/8, so cases never meet each other or a
// demo server on 127.0.0.1:8026.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/Net.h"

namespace vxt::uitest {

struct ServerScript {
  int pause_before_reply_ms = 0;  // after the request line, before the first byte
  std::string reply;              // sent in blocks, then the server closes
  size_t block_size = 0;          // 0: the whole reply at once
  int pause_between_blocks_ms = 0;
  bool trickle_forever = false;  // after the reply: a block per pause until the client closes
  size_t trickle_block = 4096;   // the size of those blocks
};

class FixedPortServer {
 public:
  // Listens on address:8026 (an address of 127.0.0.0/8); Listening() tells whether it could.
  FixedPortServer(const std::string& address, ServerScript script);
  ~FixedPortServer();
  FixedPortServer(const FixedPortServer&) = delete;
  FixedPortServer& operator=(const FixedPortServer&) = delete;

  bool Listening() const { return listener_ != net::kNoSocket; }
  // Everything the clients sent, one string per connection in accept order.
  std::vector<std::string> Requests() const;
  size_t Connections() const;
  // True once a connection's client has closed its side or reset it.
  bool ClientGone() const { return client_gone_; }
  // Bytes sent to clients so far.
  size_t BytesSent() const { return bytes_sent_; }

 private:
  void Serve();
  void ServeOne(net::Handle connection, size_t index);
  bool SleepUnlessStopped(int ms) const;
  // Takes what the client sent within ms into the record; false when it closed or failed.
  bool ReceiveWithin(net::Handle connection, size_t index, int ms, bool& line_done);
  bool SendAll(net::Handle connection, const char* data, size_t length);

  ServerScript script_;
  net::Handle listener_ = net::kNoSocket;
  std::atomic<bool> stop_{false};
  std::atomic<bool> client_gone_{false};
  std::atomic<size_t> bytes_sent_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace vxt::uitest

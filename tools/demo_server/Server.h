// The demo report server: accepts loopback (or any IPv4) connections, serves each on a thread of
// its own, reads one request line, answers, closes, and logs one line per connection.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "Net.h"
#include "Request.h"

namespace vxt::demo {

struct ServerOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 8026;    // 0: any free port, see DemoServer::Port()
  int read_timeout_ms = 10000;  // for the whole request line, from accept
  int send_timeout_ms = 10000;  // for the whole reply
  int linger_ms = 2000;         // waiting for the client's close after the reply
  int max_connections = 64;     // more wait in the listen backlog
  std::size_t max_line = kMaxRequestLine;
};

// Receives finished log lines (without a line end); called from connection threads, one call at
// a time.
using LogSink = std::function<void(const std::string&)>;

class DemoServer {
 public:
  DemoServer(ServerOptions options, LogSink log);
  ~DemoServer();
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // Binds and listens. On failure returns false and sets a one-line reason.
  bool Listen(std::string& error);
  std::uint16_t Port() const { return port_; }
  const ServerOptions& Options() const { return options_; }

  // Accepts and serves until Stop() or *external_stop becomes true, then waits for the
  // connections in flight (each gives up at once when it sees the stop) and closes the listener.
  void Run(const std::atomic<bool>* external_stop = nullptr);
  // Thread-safe; Run() returns soon after.
  void Stop();

  int ActiveConnections() const { return active_.load(); }

 private:
  struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  bool StopRequested() const;
  void Serve(net::Handle socket, const std::string& peer);
  void ReapFinished(bool all);
  void Log(const std::string& line);

  ServerOptions options_;
  LogSink log_;
  std::mutex log_mutex_;
  net::Handle listener_ = net::kNoSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  const std::atomic<bool>* external_stop_ = nullptr;
  std::atomic<int> active_{0};
  std::mutex slots_mutex_;
  std::condition_variable slot_freed_;
  std::list<Worker> workers_;  // touched only by Run's thread
};

// Local time as "dd-mm-yyyy hh:mm:ss" (the protocol's date order) or, for the log,
// "yyyy-mm-dd hh:mm:ss".
std::string LocalTimeText(bool for_log);

}  // namespace vxt::demo

// The demo report server: accepts loopback (or any IPv4) connections, reads one request line on
// each, answers, closes, and logs one line per connection. One thread serves every connection
// at once, waiting on all of them together, each with deadlines of its own: an idle or slow
// client costs a socket and a few bytes, and holds up nobody else.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>

#include "Request.h"
#include "net/Net.h"

namespace vxt::demo {

struct ServerOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 8026;    // 0: any free port, see DemoServer::Port()
  int read_timeout_ms = 10000;  // for the whole request line, from accept
  int send_timeout_ms = 10000;  // for the whole reply
  int linger_ms = 2000;         // waiting for the client's close after the reply
  // Connections open at once. At the limit a newcomer takes the place of the connection that
  // has waited longest (a second at least) without sending its line; failing that, of the
  // one longest waiting for the client's close, or the slowest taker of its reply. While none
  // has had its second, newcomers wait in the listen backlog.
  int max_connections = 64;
  std::size_t max_line = kMaxRequestLine;
};

// Receives finished log lines (without a line end); called from Run's thread.
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

  // Accepts and serves until Stop() or *external_stop becomes true, then ends the connections
  // still open (each logged as cut short by the stop) and closes the listener.
  void Run(const std::atomic<bool>* external_stop = nullptr);
  // Thread-safe; Run() returns soon after.
  void Stop();

  // Connections open now; a connection no longer counts once its socket is closed.
  int ActiveConnections() const { return active_.load(); }
  // Waits until no connection is open, up to timeout_ms; false when some still are.
  bool WaitUntilIdle(int timeout_ms) const;

 private:
  struct Connection;
  using Connections = std::list<Connection>;  // in accept order: the front has waited longest

  bool StopRequested() const;
  // Accepts what waits in the backlog while there is room, making room where the rules allow.
  void AcceptWaiting(Connections& connections);
  // The connection a newcomer may replace, or connections.end().
  Connections::iterator PlaceToGive(Connections& connections);
  // Moves the connection on by what its socket allows now, or past a deadline.
  void Advance(Connection& connection);
  void Receive(Connection& connection);
  // The request phase is over: answer, or drop with failure as the reason.
  void EndReading(Connection& connection, const std::string& failure);
  void SendMore(Connection& connection);
  void EndSending(Connection& connection, bool linger);
  void Linger(Connection& connection);
  void Finish(Connection& connection);
  // Ends a connection at once, for the stop or for a newcomer.
  void Cut(Connection& connection, const std::string& failure);
  void Log(const std::string& line);
  void SetActive(std::size_t count);

  ServerOptions options_;
  LogSink log_;
  std::mutex log_mutex_;
  net::Handle listener_ = net::kNoSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  const std::atomic<bool>* external_stop_ = nullptr;
  std::atomic<int> active_{0};
  mutable std::mutex active_mutex_;
  mutable std::condition_variable active_changed_;
};

// Local time as "dd-mm-yyyy hh:mm:ss" (the protocol's date order) or, for the log,
// "yyyy-mm-dd hh:mm:ss".
std::string LocalTimeText(bool for_log);

}  // namespace vxt::demo

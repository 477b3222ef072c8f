// Scripted loopback servers for the tests of every layer.
//
// ScriptedServer listens on 127.0.0.1 and an ephemeral port and serves each connection on a
// thread of its own by a script: a list of steps such as "read the request line", "send these
// bytes", "stay silent", "reset". Faults are data: one script per test case. Everything a
// connection sent to the server is recorded. Stopping never hangs: every server thread waits
// in short slices and looks at the stop flag between them.
//
//   ScriptedServer server({Step::ReadLine(), Step::Send(reply), Step::Close()});
//   client.SetPort(server.Port());
//   ...
//   server.WaitUntilDone(0);
//   EXPECT_EQ(server.Received(0), "IZVJ ...\r\n");
//
// HangingListener makes connects to its port hang (nothing answers the SYN), FreeLoopbackPort
// gives a port with nothing listening (connects are refused).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/Net.h"

namespace vxt::testing {

struct Step {
  enum class Kind {
    kClose,            // orderly close (FIN) at once; ends the script
    kReadLine,         // read up to and including the first LF (or until the client closes)
    kSend,             // send the bytes
    kSendBlocks,       // send the bytes in blocks of block_size, pausing pause_ms after each
    kPause,            // wait pause_ms (reading and recording nothing)
    kSilent,           // send nothing until the client closes or the server stops
    kReset,            // SO_LINGER {1, 0} and close: the client sees a reset; ends the script
    kWaitClientClose,  // read (and record) until the client closes
    kReadBytes,        // read until count bytes in all have been received on this connection
    kSendPattern,      // send count bytes of PatternBytes(count, seed), made block by block
    kShutdownSend,     // orderly close of the sending side only (FIN); reading goes on
    kWaitUntil,        // wait (reading nothing) until ready() holds, or give up after pause_ms
  };

  static Step Close() { return Make(Kind::kClose); }
  static Step ReadLine() { return Make(Kind::kReadLine); }
  static Step Send(std::string bytes) { return Make(Kind::kSend, std::move(bytes)); }
  // The pause comes between blocks, not after the last one.
  static Step SendBlocks(std::string bytes, size_t block_size, int pause_ms) {
    return Make(Kind::kSendBlocks, std::move(bytes), block_size, pause_ms);
  }
  static Step Pause(int pause_ms) { return Make(Kind::kPause, {}, 0, pause_ms); }
  static Step Silent() { return Make(Kind::kSilent); }
  static Step Reset() { return Make(Kind::kReset); }
  static Step WaitClientClose() { return Make(Kind::kWaitClientClose); }
  static Step ReadBytes(size_t count) { return Make(Kind::kReadBytes, {}, count); }
  // Replies far larger than the test wants to hold in memory.
  static Step SendPattern(size_t count, unsigned seed) {
    Step step = Make(Kind::kSendPattern, {}, count);
    step.seed = seed;
    return step;
  }
  static Step ShutdownSend() { return Make(Kind::kShutdownSend); }
  // For a step that must come only once the client has got somewhere (a condition on what the
  // test observes of it). A wait that gives up is recorded (WaitsGivenUp) and the script goes
  // on.
  static Step WaitUntil(std::function<bool()> ready, std::string what, int give_up_ms = 5000) {
    Step step = Make(Kind::kWaitUntil, std::move(what), 0, give_up_ms);
    step.ready = std::move(ready);
    return step;
  }

  Kind kind = Kind::kClose;
  std::string bytes;  // what kWaitUntil waits for, in words
  size_t count = 0;  // block size of kSendBlocks, total of kReadBytes and kSendPattern
  int pause_ms = 0;
  unsigned seed = 0;  // of kSendPattern
  std::function<bool()> ready;  // of kWaitUntil

 private:
  static Step Make(Kind kind, std::string bytes = {}, size_t count = 0, int pause_ms = 0) {
    Step step;
    step.kind = kind;
    step.bytes = std::move(bytes);
    step.count = count;
    step.pause_ms = pause_ms;
    return step;
  }
};

using Script = std::vector<Step>;

// The bytes of a test reply: count bytes of a pattern that repeats only every 251 bytes, so
// that a lost, doubled or moved block shows in a comparison.
std::string PatternBytes(size_t count, unsigned seed = 0);
// Hands the same bytes to take block by block, without holding them all; stops when take
// returns false, and returns false then.
bool ForEachPatternBlock(size_t count, unsigned seed,
                         const std::function<bool(const char* data, size_t length)>& take);

class ScriptedServer {
 public:
  // A server whose connections all run default_script (after the queued scripts, if any).
  // A script that ends without closing is followed by an orderly close.
  explicit ScriptedServer(Script default_script = {Step::Close()});
  ~ScriptedServer();  // Stop()
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }

  // The next connection without a queued script runs this script.
  void QueueScript(Script script);
  void SetDefaultScript(Script script);

  // Connections accepted so far.
  size_t ConnectionCount() const;
  // Everything that connection index (in accept order) has sent so far, exactly.
  std::string Received(size_t index) const;
  // True when the client of that connection closed its side (a recv returned 0).
  bool ClientClosed(size_t index) const;
  // Waits until count connections have been accepted; false on time-out.
  bool WaitForConnections(size_t count, int timeout_ms = 5000) const;
  // Waits until the script of connection index has ended and its socket is closed.
  bool WaitUntilDone(size_t index, int timeout_ms = 5000) const;
  // One line for each WaitUntil step that gave up, on any connection.
  std::vector<std::string> WaitsGivenUp() const;

  // Ends all connections (closing their sockets) and the listener; joins every thread.
  // Returns within a few slices of the server's internal wait, whatever the scripts do.
  void Stop();

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(Connection& connection);
  bool SleepUnlessStopped(int ms) const;
  // False when the server stops first.
  bool WaitUntil(const Step& step);
  bool SendAll(Connection& connection, const char* data, size_t length);
  // Reads what is there, records it; 1 data, 0 closed by the client, -1 failure/stop, 2 nothing.
  int ReadOnce(Connection& connection, int wait_ms);
  void Finish(Connection& connection, bool orderly);

  net::Handle listener_ = net::kNoSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Script> queued_;
  Script default_script_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::string> waits_given_up_;
  std::thread acceptor_;
};

// A listener whose accept queue is full and never served, so that the SYN of a further
// connect is dropped and the connect stays pending (until the client gives up or closes).
class HangingListener {
 public:
  HangingListener();
  ~HangingListener();
  HangingListener(const HangingListener&) = delete;
  HangingListener& operator=(const HangingListener&) = delete;

  uint16_t Port() const { return port_; }
  // True when a probe connect stayed pending: connects to Port() really hang here.
  bool ConnectsHang() const { return hangs_; }

 private:
  net::Handle listener_ = net::kNoSocket;
  uint16_t port_ = 0;
  bool hangs_ = false;
  std::vector<net::Handle> fillers_;
};

// A port of 127.0.0.1 with nothing listening: a connect to it is refused.
uint16_t FreeLoopbackPort();

// Whether a receive on this system reports a peer's reset as a failure. Wine 8 does not: its
// server consumes the pending error while polling the socket, so the receive that follows
// sees an orderly end of the stream. Probed once with raw sockets, then cached.
bool ResetsReachClients();

}  // namespace vxt::testing

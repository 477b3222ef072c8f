// The blocking TCP client that talks to the report server.
//
// TTCPClient holds the settings and the transfer notifications; its I/O handler, created by the
// first OpenConnection, owns the socket and the input buffer and does every send and receive.
// Every operation blocks the calling thread; TIdAntiFreeze pumps window messages inside waits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "connection/ConnectionSettings.h"
#include "connection/WorkSink.h"
#include "platform/SocketApi.h"

namespace vxt {

class TTCPClient;
class TIOHandler;
class TStream;

using TWorkBeginEvent = std::function<void(TTCPClient& sender, TWorkMode mode, int32_t total)>;
using TWorkEvent = std::function<void(TTCPClient& sender, TWorkMode mode, int32_t count)>;
using TWorkEndEvent = std::function<void(TTCPClient& sender, TWorkMode mode)>;

class TTCPClient : public TWorkSink {
 public:
  TTCPClient();  // adds a use of the network layer (may raise its load failures)
  ~TTCPClient() override;
  TTCPClient(const TTCPClient&) = delete;
  TTCPClient& operator=(const TTCPClient&) = delete;

  const std::string& Host() const;
  void SetHost(const std::string& value);
  int Port() const;
  void SetPort(int value);
  int ConnectTimeout() const;
  void SetConnectTimeout(int value);
  int ReadTimeout() const;
  void SetReadTimeout(int value);
  TIPVersion IPVersion() const;
  void SetIPVersion(TIPVersion value);

  // The I/O handler, or nullptr before the first open and after a failed open.
  TIOHandler* IOHandler() const;

  bool IsConnected();
  void OpenConnection();
  // Polls, closes the socket, and drops the bytes that arrived and were never taken: they
  // belong to a reply that the caller abandoned, and left in the input buffer they would keep
  // the connection reporting itself connected, so that the next exchange would skip its open
  // and send on the closed socket. A failure of the poll is passed on after the close.
  void CloseConnection();

  // The I/O handler's operations for the caller that has opened the connection; before the
  // first open (no handler) each fails with "Not Connected".
  void SetRecvBufferSize(int value);
  void SendLine(const std::string& text);
  void ReceiveUntilClosed(TStream& sink);

  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // Transfer accounting: the I/O handler reports here, the client raises the notifications
  // with itself as the sender.
  void BeginWork(TWorkMode mode, int64_t total) override;
  void DoWork(TWorkMode mode, int64_t count) override;
  void EndWork(TWorkMode mode) override;

 private:
  TIOHandler& OpenedHandler() const;

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vxt

// The I/O handler of a TTCPClient: owns the socket handle and the input buffer and carries out
// every send and receive. Created by the client's first OpenConnection.
#pragma once

#include <cstdint>
#include <string>

#include "connection/Streams.h"
#include "platform/SocketApi.h"

namespace vxt {

class TTCPClient;

class TIOHandler {
 public:
  int RecvBufferSize() const;
  void SetRecvBufferSize(int value);
  int SendBufferSize() const;
  void SetSendBufferSize(int value);
  bool UseNagle() const;
  void SetUseNagle(bool value);

  // Sends the text's bytes unchanged, then CR LF.
  void SendLine(const std::string& text);
  // Writes to sink every byte that arrives until the server closes the connection.
  void ReceiveUntilClosed(TStream& sink);

  // (the connection layer completes this class)
};

}  // namespace vxt

#include "net/Net.h"

#include "net/Sockets.h"

namespace vxt::net {

bool ParseIpv4(std::string_view text, std::uint32_t& address) {
  std::uint32_t result = 0;
  int parts = 0;
  std::size_t pos = 0;
  while (parts < 4) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    result = (result << 8) | value;
    ++parts;
    if (parts < 4) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
  }
  if (pos != text.size()) return false;
  address = result;
  return true;
}

std::string FormatIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

Listener Listen(std::uint32_t address, std::uint16_t port, int backlog, PortReuse reuse) {
  Listener listener;
  const Handle socket = sockets::NewSocket();
  if (socket != kNoSocket) {
    sockets::SetPortReuse(socket, reuse);
    if (sockets::Bind(socket, address, port) && sockets::StartListening(socket, backlog)) {
      listener.socket = socket;
      listener.port = sockets::LocalPort(socket);
      return listener;
    }
  }
  // The code first: the close below may change it.
  listener.system_code = LastError();
  listener.failure = sockets::Classify(listener.system_code);
  Close(socket);
  return listener;
}

std::uint16_t FreePort(std::uint32_t address) {
  const Handle socket = sockets::NewSocket();
  if (socket == kNoSocket) return 0;
  const std::uint16_t port = sockets::Bind(socket, address, 0) ? sockets::LocalPort(socket) : 0;
  Close(socket);
  return port;
}

Handle StartConnect(std::uint32_t address, std::uint16_t port) {
  const Handle socket = sockets::NewSocket();
  if (socket != kNoSocket && !sockets::ConnectStarted(socket, address, port)) {
    Close(socket);
    return kNoSocket;
  }
  return socket;
}

ConnectState AwaitConnect(Handle socket, int timeout_ms) {
  switch (WaitFor(socket, true, timeout_ms)) {
    case WaitResult::kReady:
      return sockets::ConnectError(socket) == 0 ? ConnectState::kConnected : ConnectState::kFailed;
    case WaitResult::kTimeout:
      return ConnectState::kPending;
    case WaitResult::kError:
      break;
  }
  return ConnectState::kFailed;
}

Handle Connect(std::uint32_t address, std::uint16_t port) {
  const Handle socket = StartConnect(address, port);
  if (socket != kNoSocket && AwaitConnect(socket, -1) != ConnectState::kConnected) {
    Close(socket);
    return kNoSocket;
  }
  return socket;
}

long ReceiveWithin(Handle socket, char* buffer, std::size_t size, int timeout_ms) {
  switch (WaitFor(socket, false, timeout_ms)) {
    case WaitResult::kReady:
      return Receive(socket, buffer, size);
    case WaitResult::kTimeout:
      return kWouldBlock;
    case WaitResult::kError:
      break;
  }
  return kFailed;
}

bool SendAll(Handle socket, const char* data, std::size_t size, const std::atomic<bool>* stop,
             int slice_ms) {
  std::size_t sent = 0;
  while (sent < size) {
    if (stop != nullptr && stop->load()) return false;
    const long n = Send(socket, data + sent, size - sent);
    if (n == kWouldBlock) {
      WaitFor(socket, true, slice_ms);
      continue;
    }
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace vxt::net

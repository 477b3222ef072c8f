// vxt_reply_server: a loopback server for the benchmark. For every connection it reads the request
// line, sends a reply of a fixed size, shuts its sending side down and drains the client until it
// closes, so that the client always sees an orderly close and never a reset.
//
//   vxt_reply_server [--address A] [--port P] [--size BYTES | --file PATH] [--once]
//
// With --port 0 it picks a free port; it prints "port N" once it listens.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "net/Net.h"

namespace {

using namespace vxt;

// The sockets of the library never block; this server waits without a limit instead, and only
// when nothing is there yet.
long ReceiveSome(net::Handle socket, char* buffer, size_t size) {
  long n;
  while ((n = net::Receive(socket, buffer, size)) == net::kWouldBlock) {
    net::WaitFor(socket, false, -1);
  }
  return n;
}

void Serve(net::Handle socket, const std::vector<char>& block, unsigned long long size) {
  char c;
  while (ReceiveSome(socket, &c, 1) == 1 && c != '\n') {
  }
  unsigned long long left = size;
  while (left > 0) {
    const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
    if (!net::SendAll(socket, block.data(), n, nullptr, -1)) break;
    left -= n;
  }
  net::ShutdownSend(socket);
  char sink[4096];
  while (ReceiveSome(socket, sink, sizeof sink) > 0) {
  }
  net::Close(socket);
}

}  // namespace

int main(int argc, char** argv) {
  std::string address = "127.0.0.1", file;
  int port = 0;
  unsigned long long size = 200;
  bool once = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--address" && next) address = argv[++i];
    else if (arg == "--port" && next) port = std::atoi(argv[++i]);
    else if (arg == "--size" && next) size = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--file" && next) file = argv[++i];
    else if (arg == "--once") once = true;
    else {
      std::fprintf(stderr, "usage: vxt_reply_server [--address A] [--port P] [--size N | --file F] [--once]\n");
      return 2;
    }
  }
  if (!net::StartLibrary()) {
    std::fprintf(stderr, "the socket library could not be started\n");
    return 1;
  }

  // The reply: a file's bytes, or a printable pattern streamed from one 1 MiB block.
  std::vector<char> block;
  if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 1;
    }
    block.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    size = block.size();
  } else {
    block.resize(size < (1u << 20) ? static_cast<size_t>(size) : (1u << 20));
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + i % 26);
    if (!block.empty() && size <= block.size()) block.back() = '\n';
  }

  // A malformed address has no system error of its own: the message then ends in strerror(0).
  std::uint32_t ip = 0;
  net::Listener listener;
  if (net::ParseIpv4(address, ip)) {
    listener = net::Listen(ip, static_cast<std::uint16_t>(port), 64, net::PortReuse::kExclusive);
  }
  if (listener.socket == net::kNoSocket) {
    std::fprintf(stderr, "cannot listen on %s:%d: %s\n", address.c_str(), port,
                 std::strerror(listener.system_code));
    return 1;
  }
  std::printf("port %d\n", listener.port);
  std::fflush(stdout);
  for (;;) {
    net::WaitFor(listener.socket, false, -1);
    const net::Handle socket = net::Accept(listener.socket);
    if (socket == net::kNoSocket) continue;
    Serve(socket, block, size);
    if (once) break;
  }
  net::Close(listener.socket);
  return 0;
}

// vxt_reply_server: a loopback server for the benchmark. For every connection it reads the request
// line, sends a reply of a fixed size, shuts its sending side down and drains the client until it
// closes, so that the client always sees an orderly close and never a reset.
//
//   vxt_reply_server [--address A] [--port P] [--size BYTES | --file PATH] [--once]
//
// With --port 0 it picks a free port; it prints "port N" once it listens.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool SendAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

void Serve(int fd, const std::vector<char>& block, unsigned long long size) {
  char c;
  while (recv(fd, &c, 1, 0) == 1 && c != '\n') {
  }
  unsigned long long left = size;
  while (left > 0) {
    const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
    if (!SendAll(fd, block.data(), n)) break;
    left -= n;
  }
  shutdown(fd, SHUT_WR);
  char sink[4096];
  while (recv(fd, sink, sizeof sink, 0) > 0) {
  }
  close(fd);
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
  signal(SIGPIPE, SIG_IGN);

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

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(listener, 64) != 0) {
    std::fprintf(stderr, "cannot listen on %s:%d: %s\n", address.c_str(), port, std::strerror(errno));
    return 1;
  }
  socklen_t len = sizeof sa;
  getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
  std::printf("port %d\n", ntohs(sa.sin_port));
  std::fflush(stdout);
  for (;;) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    Serve(fd, block, size);
    if (once) break;
  }
  close(listener);
  return 0;
}

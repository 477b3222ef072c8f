// demo_report_server: a stand-in for the report server, so the client can be tried at once.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "App.h"
#include "StopSignal.h"

namespace {

std::atomic<bool> g_stop{false};

// Every line is flushed at once: the log is often read through a pipe or by a test.
void WriteLine(std::FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  if (line.empty() || line.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  vxt::demo::InstallStopHandlers(g_stop);
  std::vector<std::string> args(argv + 1, argv + argc);
  return vxt::demo::RunDemoServer(
      args, [](const std::string& line) { WriteLine(stdout, line); },
      [](const std::string& line) { WriteLine(stderr, line); }, g_stop);
}

// The program around the server: command-line options, start-up messages, the run until a stop
// request. main() only wires the console and the stop signals to RunDemoServer.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "Server.h"

namespace vxt::demo {

// Fills options from the arguments (without the program name). Returns false with a one-line
// error for an unknown option, a missing value or a value out of range; sets show_help for
// --help or -h. Values are checked as text here; the address is checked when listening.
bool ParseOptions(const std::vector<std::string>& args, ServerOptions& options, bool& show_help,
                  std::string& error);

std::string UsageText();

// Runs the program: prints "listening on A:P" (with the port actually bound) to out, one line
// per served connection, and "stopped" at the end; errors go to err as one line. Returns the
// exit code: 0 after a stop request or --help, 1 for bad options or when it cannot listen.
using LineOutput = std::function<void(const std::string&)>;
int RunDemoServer(const std::vector<std::string>& args, const LineOutput& out,
                  const LineOutput& err, const std::atomic<bool>& stop);

}  // namespace vxt::demo

// Turns the console's stop requests (SIGINT and SIGTERM; Ctrl-C, Ctrl-Break and closing the
// console on Windows) into a flag that the server polls.
#pragma once

#include <atomic>

namespace vxt::demo {

// The flag must outlive the process's handling of signals (a global). It is only stored to, so
// the handler stays async-signal-safe.
void InstallStopHandlers(std::atomic<bool>& stop);

}  // namespace vxt::demo

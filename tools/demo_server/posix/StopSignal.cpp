#include "StopSignal.h"

#include <signal.h>

#include <cstring>

namespace vxt::demo {

namespace {

std::atomic<bool>* g_stop = nullptr;

void OnStopSignal(int) {
  if (g_stop != nullptr) g_stop->store(true);
}

}  // namespace

void InstallStopHandlers(std::atomic<bool>& stop) {
  static_assert(std::atomic<bool>::is_always_lock_free,
                "the signal handler needs a lock-free flag");
  g_stop = &stop;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace vxt::demo

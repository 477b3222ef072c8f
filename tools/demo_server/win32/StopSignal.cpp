#include "StopSignal.h"

#include <windows.h>

namespace vxt::demo {

namespace {

std::atomic<bool>* g_stop = nullptr;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (g_stop != nullptr) g_stop->store(true);
      if (event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends as soon as this returns: give the server time to finish.
        Sleep(1500);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallStopHandlers(std::atomic<bool>& stop) {
  g_stop = &stop;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace vxt::demo

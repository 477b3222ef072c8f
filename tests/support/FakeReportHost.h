// A window stand-in for the report exchange: it serves the request's fields and records what
// the exchange does to the window (log entries, shell opens, progress, message pumps).
//
// Header only: the support library itself does not link the report layer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "connection/TCPClient.h"
#include "platform/Files.h"
#include "report/ReportHost.h"
#include "support/WindowTexts.h"  // kBeginLine, kEndLine

namespace vxt::testing {

// The request line that FakeHost's default fields make.
inline constexpr char kDecemberRequest[] = "IZVJ 2 01-12-2026 31-12-2026  \r\n";

class FakeHost : public ReportHost {
 public:
  std::string ServerText() override { return server; }
  std::string CustomerText() override { return customer; }
  std::string PinText() override { return pin; }
  TDate FirstDay() override { return first; }
  TDate LastDay() override { return last; }
  void ClearLog() override {
    ++clear_count;
    log.clear();
  }
  void AppendLog(const std::string& entry) override { log.push_back(entry); }
  void ProcessMessages() override {
    ++process_count;
    if (on_process) on_process();
  }
  // A shell that opens everything.
  bool ShellOpen(const TPath& path) override {
    shell_opens.push_back(path);
    return true;
  }

  // Logs the reception lines as the window does, and records the progress counts.
  void BindTo(TTCPClient& client) {
    client.OnWorkBegin = [this](TTCPClient&, TWorkMode, int32_t) { AppendLog(kBeginLine); };
    client.OnWork = [this](TTCPClient&, TWorkMode, int32_t count) {
      work_counts.push_back(count);
      if (on_work) on_work(count);
    };
    client.OnWorkEnd = [this](TTCPClient&, TWorkMode) { AppendLog(kEndLine); };
  }

  std::string server = "127.0.0.1";
  std::string customer = "2";
  std::string pin = "";
  TDate first{2026, 12, 1};
  TDate last{2026, 12, 31};

  std::vector<std::string> log;
  std::vector<TPath> shell_opens;
  std::vector<int32_t> work_counts;
  int clear_count = 0;
  int process_count = 0;
  std::function<void()> on_process;
  std::function<void(int32_t)> on_work;
};

// The log without the two reception lines at its top, which a reply that is already closed
// at the first connection test does not produce.
inline std::vector<std::string> AfterReception(const std::vector<std::string>& log) {
  if (log.size() >= 2 && log[0] == kBeginLine && log[1] == kEndLine) {
    return std::vector<std::string>(log.begin() + 2, log.end());
  }
  return log;
}

// True when nobody holds the file any more: it opens for reading with every sharing mode.
inline bool FileIsFree(const TPath& path) {
  TFileHandle handle = kInvalidFile;
  if (PlatformFileApi().OpenShareRead(path, handle) != 0) return false;
  PlatformFileApi().Close(handle);
  return true;
}

}  // namespace vxt::testing

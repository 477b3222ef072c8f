// The report exchange: one request line to the report server, the reply into the response
// file, and the outcome by the reply's size. Runs on the window's thread, against the small
// interface of what it needs from the window.
#pragma once

#include <string>

#include "connection/TCPClient.h"

namespace vxt {

struct TDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

// "dd-mm-yyyy", independent of any regional setting.
std::string FormatRequestDate(const TDate& date);
// "IZVJ " customer " " first " " last " " pin " " (SendLine appends CR LF).
std::string BuildReportRequestLine(const std::string& customer, const TDate& first,
                                   const TDate& last, const std::string& pin);

// What the exchange needs of the window.
class ReportHost {
 public:
  virtual ~ReportHost() = default;
  virtual std::string ServerText() = 0;    // Edit1
  virtual std::string CustomerText() = 0;  // Edit3
  virtual std::string PinText() = 0;       // Edit2
  virtual TDate FirstDay() = 0;            // d1, date part
  virtual TDate LastDay() = 0;             // d2, date part
  virtual void ClearLog() = 0;
  // Appends one entry at the end of the log, followed by CR LF.
  virtual void AppendLog(const std::string& entry) = 0;
  // Lets the window process all pending messages once.
  virtual void ProcessMessages() = 0;
  // Asks the shell to open path: owner window, verb "OPEN", no parameters, no folder, SW_SHOW.
  virtual void ShellOpen(const std::string& path) = 0;
};

class ReportExchange {
 public:
  ReportExchange(TTCPClient& client, ReportHost& host);

  // BitBtn1Click's work. A start while an exchange runs does nothing.
  void RunReport();
  // The live-status request ("ALIVR" into "alivr.txt"). A start while one runs does nothing.
  void RunLiveStatus();
  bool Running() const { return running_; }
  // Ends a running exchange promptly (used when the window closes): closes the connection,
  // so that the blocking read returns.
  void Abort();

  // The response file's name in the program folder; tests may point the exchange elsewhere.
  void SetFolder(const std::string& folder) { folder_ = folder; }
  const std::string& Folder() const { return folder_; }

 private:
  TTCPClient& client_;
  ReportHost& host_;
  std::string folder_;
  bool running_ = false;
};

}  // namespace vxt

// The report exchange: one request line to the report server, the reply into the response
// file, and the outcome by the reply's size. Runs on the window's thread, against the small
// interface of what it needs from the window.
#pragma once

#include <cstdint>
#include <string>

#include "calendar/Calendar.h"
#include "connection/TCPClient.h"

namespace vxt {

class Exception;
class FileApi;
class TFileStream;

inline constexpr const char kResponseFileName[] = "response.pdf";
inline constexpr const char kLiveStatusFileName[] = "alivr.txt";
inline constexpr const char kLiveStatusRequestLine[] = "ALIVR";
// Every failure entry starts with this; one CR, no LF, then the failure's message.
inline constexpr const char kExchangeFailurePrefix[] = "Error while connecting to TCP SERVER:\r";
inline constexpr const char kServerDroppedText[] = "Server je raskinuo konekciju!";
// A report that the shell cannot open (no viewer for .pdf, say); the response file's path
// follows.
inline constexpr const char kReportNotOpenedText[] =
    "Izvjestaj je snimljen, ali se ne moze otvoriti: ";
inline constexpr int kReportRecvBufferSize = 4096;
inline constexpr int kLiveStatusRecvBufferSize = 32768;
// Replies up to this size are text messages; longer ones are PDF reports.
inline constexpr int64_t kTextReplyLimit = 1024;
// The failure message of an exchange that ran out of memory.
inline constexpr const char kOutOfMemoryText[] = "Out of memory.";

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
  // False when the shell reports a failure (ShellExecuteA's result is 32 or less).
  virtual bool ShellOpen(const std::string& path) = 0;
};

// Each run reports every outcome, failures included, as log entries through the host: a
// vxt::Exception by its message, any other std::exception by its what() ("Out of memory." for
// std::bad_alloc). Only what is no std::exception leaves a run (after the same cleanup).
class ReportExchange {
 public:
  // The folder starts as the program folder.
  ReportExchange(TTCPClient& client, ReportHost& host);

  // BitBtn1Click's work. A start while an exchange runs does nothing.
  void RunReport();
  // The live-status request ("ALIVR" into "alivr.txt"). A start while one runs does nothing.
  void RunLiveStatus();
  bool Running() const { return running_; }
  // Ends a running exchange promptly (used when the window closes): closes the connection,
  // so that the blocking read returns. The aborted exchange then ends without any outcome
  // entry, failure entry or shell open. Does nothing while no exchange runs.
  void Abort();

  // The folder of the response and live-status files; tests may point the exchange elsewhere.
  void SetFolder(const std::string& folder) { folder_ = folder; }
  const std::string& Folder() const { return folder_; }
  // The folder, the platform's separator and the file name (for the program folder of an
  // executable in a drive's root the separator is doubled, which Windows reads as one).
  std::string FilePath(const std::string& file_name) const;
  std::string ResponseFilePath() const { return FilePath(kResponseFileName); }
  std::string LiveStatusFilePath() const { return FilePath(kLiveStatusFileName); }

 private:
  class RunScope;

  // Runs body under the re-entry guard and the one failure handler of an exchange.
  void Run(void (ReportExchange::*body)(FileApi&, TFileStream&));
  void Report(FileApi& files, TFileStream& file);
  void LiveStatus(FileApi& files, TFileStream& file);
  // Reads until the server closes, writing every byte into file.
  void ReceiveReply(TFileStream& file);
  void EndFailedRun(const std::string& message, TFileStream& file);
  void CloseConnectionQuietly();
  void DiscardUnreadReply();
  void ThrowIfAborted() const;

  TTCPClient& client_;
  ReportHost& host_;
  std::string folder_;
  bool running_ = false;
  bool aborted_ = false;
};

}  // namespace vxt

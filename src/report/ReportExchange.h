// The report exchange: one request line to the report server, the reply into the response
// file, and the outcome by the reply's size. Runs on the window's thread, against the small
// interface of what it needs from the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "calendar/Calendar.h"
#include "connection/TCPClient.h"
#include "platform/Files.h"
#include "platform/Path.h"
#include "report/ReportHost.h"

namespace vxt {

class TFileStream;
struct ExchangeRequest;

// Each run reports every outcome, failures included, as log entries through the host: a
// vxt::Exception by its message, any other std::exception by its what() ("Out of memory." for
// std::bad_alloc). Only what is no std::exception leaves a run (after the same cleanup).
//
// A run does not look whether another one runs: the window's handlers run inside the blocking
// calls of a run, and the window, which starts every run, is the one that knows.
class ReportExchange {
 public:
  // The folder starts as the program folder.
  ReportExchange(TTCPClient& client, ReportHost& host);

  // BitBtn1Click's work.
  void RunReport();
  // The live-status request ("ALIVR" into "alivr.txt").
  void RunLiveStatus();

  // The folder of the response and live-status files; tests may point the exchange elsewhere.
  void SetFolder(const TPath& folder) { folder_ = folder; }
  const TPath& Folder() const { return folder_; }
  // The folder, the platform's separator and the file name (for the program folder of an
  // executable in a drive's root the separator is doubled, which Windows reads as one).
  TPath FilePath(const std::string& file_name) const;
  TPath ResponseFilePath() const;
  TPath LiveStatusFilePath() const;

 private:
  // Acts on the reply's size, the reply in the file at path.
  using Outcome = void (ReportExchange::*)(FileApi& files, const TPath& path, int64_t size);
  // Runs one exchange of the kind that request describes under the one failure handler of an
  // exchange: its line out, the reply into its file, then outcome.
  void Run(const ExchangeRequest& request, Outcome outcome);
  void ReportOutcome(FileApi& files, const TPath& path, int64_t size);
  void LiveStatusOutcome(FileApi& files, const TPath& path, int64_t size);
  void EndFailedRun(const std::string& message, TFileStream& file);
  void CloseConnectionQuietly();

  TTCPClient& client_;
  ReportHost& host_;
  TPath folder_;
};

// The request line and the reading of a text reply: steps of every exchange, declared here so
// that they can be tested on their own.

// "dd-mm-yyyy", the date of a request line; it does not depend on any regional setting.
std::string FormatRequestDate(const TDate& date);
// The report request line: "IZVJ " customer " " first " " last " " pin " " (SendLine appends
// CR LF). The fields go out as typed: nothing is trimmed or checked.
std::string BuildReportRequestLine(const std::string& customer, const TDate& first,
                                   const TDate& last, const std::string& pin);

// The first text line of a short reply is what the log shows of a text message from the
// server. The line runs from the first byte up to the first LF or CR LF, which is not part of
// it. A CR that no LF follows is dropped and does not end the line; a Ctrl-Z byte ends the
// text; there is no length limit; content without a line break is one line.
//
// The scanner gathers that line from content fed in pieces of any size; FirstTextLine takes
// the content whole.
class TFirstLineScanner {
 public:
  // Takes the next piece; returns true once the line is complete (nothing more is needed).
  bool Feed(const char* data, size_t length);
  bool Complete() const { return complete_; }
  const std::string& Line() const { return line_; }

 private:
  std::string line_;
  bool complete_ = false;
};

std::string FirstTextLine(std::string_view content);

// Opens path for reading (others may only read it meanwhile), reads its first line and closes
// it. The first open, read or close that fails raises EInOutError with that call's system
// error code ("I/O error 32" for a sharing violation, "File not found", ...). A read that
// ends with the broken-pipe code counts as the end of the file.
std::string ReadFirstLine(FileApi& files, const TPath& path);

}  // namespace vxt

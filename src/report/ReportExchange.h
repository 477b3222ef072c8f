// The report exchange: one request line to the report server, the reply into the response
// file, and the outcome by the reply's size. Runs on the window's thread, against the small
// interface of what it needs from the window.
#pragma once

#include <cstdint>
#include <string>

#include "connection/TCPClient.h"
#include "platform/Path.h"
#include "report/ReportHost.h"

namespace vxt {

class FileApi;
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

}  // namespace vxt

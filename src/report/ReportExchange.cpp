#include "report/ReportExchange.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "failures/Exceptions.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "report/FileStream.h"

namespace vxt {

// The request line.

namespace {

std::string TwoFigures(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string FourFigures(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", value);
  return buffer;
}

}  // namespace

std::string FormatRequestDate(const TDate& date) {
  return TwoFigures(date.day) + "-" + TwoFigures(date.month) + "-" + FourFigures(date.year);
}

std::string BuildReportRequestLine(const std::string& customer, const TDate& first,
                                   const TDate& last, const std::string& pin) {
  return "IZVJ " + customer + " " + FormatRequestDate(first) + " " + FormatRequestDate(last) + " " +
         pin + " ";
}

// The first line of a text reply.

namespace {

constexpr char kCtrlZ = 0x1A;
// What a read on Windows reports for the end of a pipe, and what some file systems report
// for the end of a file that a writer has closed under the reader.
constexpr uint32_t kBrokenPipe = 109;
constexpr size_t kReadChunk = 4096;

}  // namespace

bool TFirstLineScanner::Feed(const char* data, size_t length) {
  for (size_t i = 0; i < length && !complete_; ++i) {
    const char c = data[i];
    if (c == '\n' || c == kCtrlZ) {
      complete_ = true;
    } else if (c != '\r') {
      // A CR is dropped whether or not LF follows it: before LF the LF ends the line anyway.
      line_.push_back(c);
    }
  }
  return complete_;
}

std::string FirstTextLine(std::string_view content) {
  TFirstLineScanner scanner;
  scanner.Feed(content.data(), content.size());
  return scanner.Line();
}

std::string ReadFirstLine(FileApi& files, const TPath& path) {
  TFileHolder file(files);
  uint32_t error = files.OpenShareRead(path, file.Receive());
  if (error != 0) RaiseIoFailure(static_cast<int32_t>(error));

  TFirstLineScanner scanner;
  char buffer[kReadChunk];
  while (!scanner.Complete()) {
    size_t read = 0;
    uint32_t code = files.Read(file.Handle(), buffer, sizeof buffer, read);
    if (read > sizeof buffer) read = sizeof buffer;
    // The holder gives the handle back; the read's code is the one reported, not the close's.
    if (code != 0 && code != kBrokenPipe) RaiseIoFailure(static_cast<int32_t>(code));
    scanner.Feed(buffer, read);
    if (read == 0 || code == kBrokenPipe) break;
  }

  error = file.Close();
  if (error != 0) RaiseIoFailure(static_cast<int32_t>(error));
  return scanner.Line();
}

// The exchange.

// What sets one kind of exchange apart.
struct ExchangeRequest {
  std::string (*line)(ReportHost& host);
  const char* file_name;
  // A report first removes the previous one, before the connect and again before creating
  // the file; the live-status file is only cut when it is created.
  bool deletes_old_file;
  int recv_buffer_size;
};

namespace {

constexpr char kResponseFileName[] = "response.pdf";
constexpr char kLiveStatusFileName[] = "alivr.txt";
constexpr char kLiveStatusRequestLine[] = "ALIVR";
constexpr int kReportRecvBufferSize = 4096;
constexpr int kLiveStatusRecvBufferSize = 32768;
// Replies up to this size are text messages; longer ones are PDF reports.
constexpr int64_t kTextReplyLimit = 1024;

// Every failure entry starts with this; one CR, no LF, then the failure's message.
constexpr char kExchangeFailurePrefix[] = "Error while connecting to TCP SERVER:\r";
constexpr char kServerDroppedText[] = "Server je raskinuo konekciju!";
// A report that the shell cannot open (no viewer for .pdf, say); the response file's path
// follows.
constexpr char kReportNotOpenedText[] = "Izvjestaj je snimljen, ali se ne moze otvoriti: ";
// The failure message of an exchange that ran out of memory.
constexpr char kOutOfMemoryText[] = "Out of memory.";

// The fields are read when the line is sent, after the connect, as the window shows them then.
std::string ReportRequestLine(ReportHost& host) {
  return BuildReportRequestLine(host.CustomerText(), host.FirstDay(), host.LastDay(),
                                host.PinText());
}

std::string LiveStatusRequestLine(ReportHost&) {
  return kLiveStatusRequestLine;
}

}  // namespace

ReportExchange::ReportExchange(TTCPClient& client, ReportHost& host)
    : client_(client), host_(host), folder_(ProgramFolder()) {}

TPath ReportExchange::FilePath(const std::string& file_name) const {
  return folder_.Join(file_name);
}

TPath ReportExchange::ResponseFilePath() const {
  return FilePath(kResponseFileName);
}

TPath ReportExchange::LiveStatusFilePath() const {
  return FilePath(kLiveStatusFileName);
}

void ReportExchange::RunReport() {
  static constexpr ExchangeRequest kReport{&ReportRequestLine, kResponseFileName, true,
                                           kReportRecvBufferSize};
  Run(kReport, &ReportExchange::ReportOutcome);
}

void ReportExchange::RunLiveStatus() {
  static constexpr ExchangeRequest kLiveStatus{&LiveStatusRequestLine, kLiveStatusFileName, false,
                                               kLiveStatusRecvBufferSize};
  Run(kLiveStatus, &ReportExchange::LiveStatusOutcome);
}

void ReportExchange::Run(const ExchangeRequest& request, Outcome outcome) {
  // The cleared log is drawn before the window blocks.
  host_.ClearLog();
  host_.ProcessMessages();
  FileApi& files = ActiveFileApi();
  TFileStream file(files);
  try {
    const TPath path = FilePath(request.file_name);
    client_.SetHost(host_.ServerText());
    // A deletion that fails (a viewer still holding the last report) shows up as the creation
    // failure below, so its result is not looked at.
    if (request.deletes_old_file && files.FileExists(path)) files.DeleteFile(path);
    if (!client_.IsConnected()) client_.OpenConnection();
    client_.SetRecvBufferSize(request.recv_buffer_size);
    client_.SendLine(request.line(host_));
    if (request.deletes_old_file && files.FileExists(path)) files.DeleteFile(path);
    file.CreateExclusive(path);
    // Normally the body runs once: the read returns when the server has closed, and the
    // connection then reports itself not connected. Bytes still unread after a close keep it
    // reporting connected for one more round.
    while (client_.IsConnected()) {
      client_.ReceiveUntilClosed(file);
      host_.ProcessMessages();
    }
    const int64_t size = file.Size();
    file.Close();
    client_.CloseConnection();
    (this->*outcome)(files, path, size);
  } catch (const Exception& failure) {
    EndFailedRun(failure.Message(), file);
  } catch (const std::bad_alloc&) {
    EndFailedRun(kOutOfMemoryText, file);
  } catch (const std::exception& failure) {
    // Failures from outside the exchange's own kinds (the library's, a message handler's run
    // by a pump step) end it in the same words as every other.
    EndFailedRun(failure.what(), file);
  } catch (...) {
    // Not a failure (a forced unwind of the thread, say): it must go on after the cleanup.
    file.Close();
    CloseConnectionQuietly();
    throw;
  }
}

void ReportExchange::ReportOutcome(FileApi& files, const TPath& path, int64_t size) {
  if (size == 0) {
    host_.AppendLog(kServerDroppedText);
  } else if (size <= kTextReplyLimit) {
    host_.AppendLog(ReadFirstLine(files, path));
  } else {
    // The report is saved all the same; without this line a shell that cannot open it
    // (no viewer for .pdf) would pass for success.
    if (!host_.ShellOpen(path)) host_.AppendLog(kReportNotOpenedText + DisplayText(path));
  }
}

void ReportExchange::LiveStatusOutcome(FileApi& files, const TPath& path, int64_t size) {
  if (size > 0) {
    host_.AppendLog(ReadFirstLine(files, path));
  } else {
    host_.AppendLog(kServerDroppedText);
  }
  client_.CloseConnection();
}

// Whatever arrived stays in the file; the connection is closed so that the next exchange
// connects afresh instead of reusing one left stuck open by a time limit or a reset.
// The cleanup comes also when the log entry cannot be made (memory has run out, say).
void ReportExchange::EndFailedRun(const std::string& message, TFileStream& file) {
  std::exception_ptr unlogged;
  try {
    host_.AppendLog(kExchangeFailurePrefix + message);
  } catch (...) {
    unlogged = std::current_exception();
  }
  file.Close();
  CloseConnectionQuietly();
  if (unlogged) std::rethrow_exception(unlogged);
}

// Only the first failure of an exchange is reported; one raised by the closing poll is not.
void ReportExchange::CloseConnectionQuietly() {
  try {
    client_.CloseConnection();
  } catch (const std::exception&) {
  }
}

}  // namespace vxt

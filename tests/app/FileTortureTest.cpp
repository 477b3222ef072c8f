// Every call of the file layer failed in turn, where the user sees file failures: the report
// and live-status exchanges (the window's log, against a scripted loopback server) and the
// settings file's load at FormShow and save at FormClose (the failure that the handler raises
// to the default failure display).
//
// Each scenario runs once clean to count its file calls; then, for every n, it runs with call
// n failing, and again clean from what that failure left. What the user must see is taken from
// the kind of the failed call alone, by the tables below: a failure that is examined gives its
// one message, one whose failure is by design not examined gives the clean outcome. Nothing
// may be lost (a reply's bytes, the old settings), no handle may stay open, and no temporary
// file may stay behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "FakeMainWindowView.h"
#include "app/mainunit.h"
#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "support/FakeReportHost.h"
#include "support/FaultyFileApi.h"
#include "support/ScriptedServer.h"
#include "support/TestFiles.h"
#include "support/WindowTexts.h"

namespace vxt {
namespace {

using testing::AfterReception;
using testing::FakeMainWindowView;
using testing::kBeginLine;
using testing::kEndLine;
using testing::kFailurePrefix;
using testing::kServerDroppedLine;
using testing::PathExists;
using testing::PatternBytes;
using testing::ReadBytes;
using testing::ScriptedServer;
using testing::Step;
using testing::TempFolder;
using testing::WriteBytes;
using Call = FaultyFileApi::TCall;
using Lines = std::vector<std::string>;
using F = FaultyFileApi;

constexpr int kTestTimeout = 3000;
constexpr char kIniName[] = "VXTVannikorde.ini";
// Each loop runs once per code: a denied access, and a sharing violation (a viewer, a virus
// scanner or an indexer holding the file).
constexpr uint32_t kCodes[] = {5, 32};

std::string OperationName(F::TOperation operation) {
  static const char* const kNames[] = {
      "FileExists", "DeleteFile", "CreateExclusive", "CreateNew", "OpenShareRead", "Read",
      "Write",      "Seek",       "Truncate",        "Size",      "Close",         "Flush",
      "Replace",    "Move",       "ListFiles"};
  static_assert(sizeof kNames / sizeof kNames[0] == F::kOperationCount);
  return kNames[operation];
}

std::string FileMessage(const char* verb, const TPath& path, uint32_t code) {
  return std::string("Cannot ") + verb + " file \"" + DisplayText(FullPathName(path)) + "\". " +
         SystemErrorText(code);
}

// The texts of reading a text reply by the I/O error code.
std::string IoText(uint32_t code) {
  switch (code) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    default:
      return "I/O error " + std::to_string(code);
  }
}

// Nobody holds path any more: it can be deleted, which Windows, and the layer's locks on
// POSIX, refuse while any handle is open. It is written back as it was.
void ExpectReleased(const TPath& path) {
  if (!PathExists(path)) return;
  const std::string bytes = ReadBytes(path);
  EXPECT_TRUE(PlatformFileApi().DeleteFile(path)) << "the file is still held";
  WriteBytes(path, bytes);
}

class FileTortureTest : public ::testing::Test {
 protected:
  FileTortureTest() {
    main_.SetSettingsPath(folder_.File(kIniName));
    main_.SetResponseFolder(folder_.Path());
    main_.TCPClient.SetReadTimeout(kTestTimeout);
    main_.TCPClient.SetConnectTimeout(kTestTimeout);
    main_.FormCreate();
  }

  // How a run went: given the failed call of the run's trace, or nullptr for a clean run.
  using Check = std::function<void(const Call* failed, uint32_t code, const std::vector<Call>&)>;

  // The loop: a clean run counts the calls; then each call fails in turn with each code, and
  // a clean run follows from the state that the failure left.
  void Torture(const std::function<void()>& prepare, const std::function<void()>& run,
               const Check& check) {
    {
      ScopedFileApi use(files_);
      prepare();
      files_.FailNthCall(0, 0);
      run();
      const std::vector<Call> clean = files_.Trace();
      check(nullptr, 0, clean);
      ASSERT_FALSE(clean.empty()) << "the run made no call of the file layer";
      for (uint32_t code : kCodes) {
        ASSERT_NE(SystemErrorText(code), "") << code;
        for (size_t n = 1; n <= clean.size(); ++n) {
          SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(clean.size()) + ", " +
                       OperationName(clean[n - 1].operation) + ", fails with " +
                       std::to_string(code));
          prepare();
          files_.FailNthCall(static_cast<int>(n), code);
          run();
          const std::vector<Call> trace = files_.Trace();
          ASSERT_GE(trace.size(), n);
          for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(trace[i].operation, clean[i].operation) << "call " << i + 1;
          }
          ASSERT_TRUE(trace[n - 1].failed);
          check(&trace[n - 1], code, trace);
          EXPECT_EQ(files_.OpenHandles(), 0u) << "a handle stayed open";

          SCOPED_TRACE("the clean run after it");
          files_.FailNthCall(0, 0);
          run();
          check(nullptr, 0, files_.Trace());
          EXPECT_EQ(files_.OpenHandles(), 0u) << "a handle stayed open";
        }
      }
    }
    EXPECT_EQ(&ActiveFileApi(), &PlatformFileApi());
  }

  TempFolder folder_;
  FakeMainWindowView view_;
  TVXTMain main_{view_};
  FaultyFileApi files_;
};

// ---- The exchanges ----

struct ExchangeRow {
  const char* name;
  bool live_status;  // the live-status request into alivr.txt; else a report
  std::string reply;
  Lines clean_log;  // what a clean run logs after the reception lines
  bool opens_document;
};

const ExchangeRow kExchanges[] = {
    {"TextReply",
     false,
     "Neispravan PIN za kupca 2\r\nDruga linija\r\n",
     {"Neispravan PIN za kupca 2"},
     false},
    // Three blocks of the 4096 bytes that the report receives at a time: three writes.
    {"PdfReply", false, "%PDF-1.4\n" + PatternBytes(10000 - 9, 4), {}, true},
    {"EmptyReply", false, "", {kServerDroppedLine}, false},
    {"LiveStatus",
     true,
     "Server radi, 3 korisnika\r\n" + std::string(5000, 's'),
     {"Server radi, 3 korisnika"},
     false},
};

void PrintTo(const ExchangeRow& row, std::ostream* out) {
  *out << row.name;
}

// What the user sees when a call of the exchange fails.
enum class Seen { kClean, kCreateFailure, kWriteFailure, kReadFailure };

Seen ExchangeSeen(const Call& call) {
  switch (call.operation) {
    case F::kFileExists:
    case F::kDeleteFile:
      return Seen::kClean;  // the old report's removal: a failure shows at the creation
    case F::kCreateExclusive:
      return Seen::kCreateFailure;
    case F::kWrite:
      return Seen::kWriteFailure;
    case F::kOpenShareRead:
    case F::kRead:
      return Seen::kReadFailure;
    case F::kClose:
      // The reply's file is closed unexamined; the close of the text reply's read is examined.
      return call.opened_by == F::kOpenShareRead ? Seen::kReadFailure : Seen::kClean;
    default:
      ADD_FAILURE() << "the exchange called " << OperationName(call.operation);
      return Seen::kClean;
  }
}

class ExchangeTortureTest : public FileTortureTest,
                            public ::testing::WithParamInterface<ExchangeRow> {};

TEST_P(ExchangeTortureTest, EveryFailingFileCallGivesItsOneLineAndLosesNothing) {
  const ExchangeRow& row = GetParam();
  ScriptedServer server(
      row.reply.empty() ? testing::Script{Step::ReadLine(), Step::Close()}
                        : testing::Script{Step::ReadLine(), Step::Send(row.reply), Step::Close()});
  main_.TCPClient.SetPort(server.Port());
  view_.server = "127.0.0.1";
  view_.customer = "2";
  view_.pin = "1";
  view_.first_day = {2026, 12, 1};
  view_.last_day = {2026, 12, 31};
  const TPath path = folder_.File(row.live_status ? "alivr.txt" : "response.pdf");
  const std::string request = row.live_status ? "ALIVR\r\n" : "IZVJ 2 01-12-2026 31-12-2026 1 \r\n";
  const std::string old_bytes = "the file of an earlier run";

  auto prepare = [&] { WriteBytes(path, old_bytes); };
  auto run = [&] {
    view_.calls.clear();
    view_.shell_opened.clear();
    const size_t connection = server.ConnectionCount();
    if (row.live_status) {
      main_.LiveStatusMenuClick();  // checks the item and runs the request at once
      main_.LiveStatusMenuClick();  // and stops the repetition
    } else {
      main_.BitBtn1Click();
    }
    ASSERT_TRUE(server.WaitUntilDone(connection));
    EXPECT_EQ(server.ConnectionCount(), connection + 1);
    EXPECT_EQ(server.Received(connection), request);
    EXPECT_FALSE(main_.ExchangeRunning());
    EXPECT_TRUE(view_.button_enabled);
    EXPECT_FALSE(main_.TCPClient.IsConnected());
  };
  auto check = [&](const Call* failed, uint32_t code, const std::vector<Call>& trace) {
    // The exchange makes no file but its own.
    for (const std::string& name : folder_.Entries()) {
      EXPECT_EQ(name, row.live_status ? "alivr.txt" : "response.pdf");
    }
    const Seen seen = failed == nullptr ? Seen::kClean : ExchangeSeen(*failed);
    std::string kept = row.reply;
    Lines after = row.clean_log;
    switch (seen) {
      case Seen::kClean:
        break;
      case Seen::kCreateFailure:
        // Before any reception: the log holds the failure alone. A report has removed the
        // old file first; the live status leaves it as it was.
        EXPECT_EQ(view_.log, Lines{kFailurePrefix + FileMessage("create", path, code)});
        if (row.live_status) {
          EXPECT_EQ(ReadBytes(path), old_bytes);
        } else {
          EXPECT_FALSE(PathExists(path));
        }
        EXPECT_TRUE(view_.shell_opened.empty());
        ExpectReleased(path);
        return;
      case Seen::kWriteFailure: {
        // Every byte of the writes before, and what the failing write could still write.
        size_t written = failed->length / 2;
        for (const Call& call : trace) {
          if (&call == failed) break;
          if (call.operation == F::kWrite) written += call.length;
        }
        kept = row.reply.substr(0, written);
        after = {kFailurePrefix + std::string("Stream write error")};
        break;
      }
      case Seen::kReadFailure:
        after = {kFailurePrefix + IoText(code)};
        break;
    }
    if (row.reply.empty()) {
      // The server's close may come before the first connection test: no reception lines.
      EXPECT_EQ(AfterReception(view_.log), after);
    } else {
      Lines log = {kBeginLine, kEndLine};
      log.insert(log.end(), after.begin(), after.end());
      EXPECT_EQ(view_.log, log);
    }
    EXPECT_EQ(ReadBytes(path), kept);
    if (seen == Seen::kClean && row.opens_document) {
      EXPECT_EQ(view_.shell_opened, std::vector<TPath>{path});
    } else {
      EXPECT_TRUE(view_.shell_opened.empty());
    }
    ExpectReleased(path);
  };
  Torture(prepare, run, check);
}

std::string RowName(const ::testing::TestParamInfo<ExchangeRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, ExchangeTortureTest, ::testing::ValuesIn(kExchanges), RowName);

// ---- The settings file ----

class SettingsTortureTest : public FileTortureTest {
 protected:
  TPath Ini() const { return folder_.File(kIniName); }

  // Runs a handler as the window does; what it raises goes to the default failure display.
  void RunHandler(void (TVXTMain::*handler)()) {
    raised_.clear();
    try {
      (main_.*handler)();
    } catch (const Exception& failure) {
      raised_ = failure.Message();
      // A failure whose message is empty would still reach the display.
      if (raised_.empty()) raised_ = "(empty message)";
    }
  }

  std::string raised_;
};

TEST_F(SettingsTortureTest, TheLoadAtShowFailsWithItsMessageAndKeepsTheFields) {
  const std::string file = "KUPAC_ID=17\r\nKUPAC_PIN=5\r\nVXTSERVER=reports.example\r\n";
  main_.SetToday([] { return TDate{2026, 12, 5}; });
  auto prepare = [&] {
    WriteBytes(Ini(), file);
    view_.server = "start.example";
    view_.customer = "2";
    view_.pin = "7";
  };
  auto run = [&] {
    view_.first_day = {};
    view_.last_day = {};
    RunHandler(&TVXTMain::FormShow);
  };
  auto check = [&](const Call* failed, uint32_t code, const std::vector<Call>&) {
    // The period is set before the load, whatever the load does.
    EXPECT_EQ(view_.first_day.day, 1);
    EXPECT_EQ(view_.last_day.day, 31);
    EXPECT_EQ(ReadBytes(Ini()), file);  // loading never writes
    ExpectReleased(Ini());
    bool loaded = true;
    std::string message;
    if (failed != nullptr) {
      switch (failed->operation) {
        case F::kFileExists:
          loaded = false;  // the attributes say no file: nothing to load, nothing to say
          break;
        case F::kOpenShareRead:
        case F::kRead:
          loaded = false;
          message = FileMessage("open", Ini(), code);
          break;
        case F::kSize:
        case F::kClose:
          break;  // the whole file is read without the size; the reader's close is not examined
        default:
          ADD_FAILURE() << "the load called " << OperationName(failed->operation);
      }
    }
    EXPECT_EQ(raised_, message);
    if (loaded) {
      EXPECT_EQ(view_.customer, "17");
      EXPECT_EQ(view_.pin, "5");
      EXPECT_EQ(view_.server, "reports.example");
    } else {
      EXPECT_EQ(view_.customer, "2");
      EXPECT_EQ(view_.pin, "7");
      EXPECT_EQ(view_.server, "start.example");
    }
  };
  Torture(prepare, run, check);
}

// The save at close, once as it normally goes and once along each road that a replacement
// refused or stopped halfway takes: every call of each road fails in turn.
struct SaveRow {
  const char* name;
  std::function<void(FaultyFileApi&)> arrange;  // standing faults, set again before each run
  int replace_attempts = 1;                     // how often a clean run calls Replace
  // A clean run's failure: the message carries the code of the last call of this operation.
  F::TOperation fails_at = F::kOperationCount;
  uint32_t clean_code = 0;
  // Files of earlier saves lie beside the settings file: of a copy that has ended, and of one
  // that still runs.
  bool files_of_other_saves = false;
};

void PrintTo(const SaveRow& row, std::ostream* out) {
  *out << row.name;
}

const SaveRow kSaves[] = {
    {"Replaced", [](F&) {}},
    // A scanner holds the file for a moment: the replacement is tried again.
    {"RefusedOnce", [](F& files) { files.Fail(F::kReplace, 32, 0, 1); }, 2},
    // Held throughout: after 5 tries the box says what a refused replacement says.
    {"RefusedThroughout", [](F& files) { files.Fail(F::kReplace, 32); }, 5, F::kReplace, 32},
    // The old file set aside, the new one left under its name: it is moved into place, and
    // when that fails too, the lines are written at the free name.
    {"StoppedAfterSettingTheOldAside", [](F& files) { files.StopReplaceHalfway(1177); }},
    {"StoppedAfterSettingTheOldAsideAndNotMovable",
     [](F& files) {
       files.StopReplaceHalfway(1177);
       files.Fail(F::kMove, 5, 0, 1);
     }},
    // Both files under their names and the new one not movable: the old one is whole, the
    // save fails as a refused replacement does.
    {"StoppedWithTheOldInPlaceAndNotMovable",
     [](F& files) {
       files.StopReplaceHalfway(1176);
       files.Fail(F::kMove, 5);
     },
     1, F::kMove, 5},
    // A save that was cut short left its files behind: a save that succeeds removes them, but
    // not those of a copy that still runs.
    {"AfterASaveCutShort", [](F&) {}, 1, F::kOperationCount, 0, true},
};

class SaveTortureTest : public SettingsTortureTest,
                        public ::testing::WithParamInterface<SaveRow> {};

TEST_P(SaveTortureTest, EveryFailingCallGivesItsMessageAndLeavesOneWholeFileAlone) {
  const SaveRow& row = GetParam();
  const std::string old_file = "KUPAC_ID=old\r\nKUPAC_PIN=9\r\nVXTSERVER=old.example\r\n";
  const std::string new_file = "KUPAC_ID=55\r\nKUPAC_PIN=4321\r\nVXTSERVER=srv.example\r\n";
  view_.customer = "55";
  view_.pin = "4321";
  view_.server = "srv.example";
  main_.vl.SetReplaceRetryWait(1);
  // A process identifier that no process has: a multiple of 4, as Windows gives them, and
  // beyond what POSIX gives.
  const std::vector<std::string> ended = {std::string(kIniName) + ".4000000000-7.tmp",
                                          std::string(kIniName) + ".4000000000-7.bak"};
  const std::string running =
      std::string(kIniName) + "." + std::to_string(CurrentProcessId()) + "-999999.tmp";
  bool first_clean_run = false;
  auto prepare = [&] {
    WriteBytes(Ini(), old_file);
    if (row.files_of_other_saves) {
      for (const std::string& name : ended) WriteBytes(folder_.File(name), new_file);
      WriteBytes(folder_.File(running), new_file);
    }
    row.arrange(files_);
    first_clean_run = true;
  };
  std::string before;  // what the settings file held before the run
  bool ended_before = false;
  auto run = [&] {
    before = ReadBytes(Ini());
    ended_before = PathExists(folder_.File(ended[0]));
    RunHandler(&TVXTMain::FormClose);
  };
  auto check = [&](const Call* failed, uint32_t code, const std::vector<Call>& trace) {
    const auto last_of = [&](F::TOperation operation) -> const Call* {
      const Call* last = nullptr;
      for (const Call& call : trace) {
        if (call.operation == operation) last = &call;
      }
      return last;
    };
    if (failed == nullptr && first_clean_run) {
      int replaces = 0;
      for (const Call& call : trace) replaces += call.operation == F::kReplace ? 1 : 0;
      EXPECT_EQ(replaces, row.replace_attempts);
      // The new file reaches the disk before it takes the old one's place.
      bool flushed = false;
      for (const Call& call : trace) {
        if (call.operation == F::kFlush && call.opened_by == F::kCreateNew) flushed = true;
        if (call.operation == F::kReplace) {
          EXPECT_TRUE(flushed) << "replaced before the flush";
          break;
        }
      }
    }
    first_clean_run = false;
    std::string message;
    const auto row_failure = [&] {
      if (row.fails_at == F::kOperationCount) return;
      const Call* last = last_of(row.fails_at);
      message =
          FileMessage("create", Ini(), last != nullptr && last->failed ? code : row.clean_code);
    };
    if (failed == nullptr) {
      row_failure();
    } else {
      switch (failed->operation) {
        case F::kCreateNew:   // no new file in the folder: the settings file is written in place
        case F::kFileExists:  // a settings file that seems gone is written in place
          break;
        case F::kWrite:
        case F::kFlush:
        case F::kClose:
          message = "Stream write error";
          break;
        case F::kCreateExclusive:  // the write in place
          message = FileMessage("create", Ini(), code);
          break;
        case F::kReplace:     // tried again
        case F::kMove:        // written in place
        case F::kDeleteFile:  // cut to nothing and deleted
        case F::kListFiles:   // the files of ended saves stay until the next save
          row_failure();
          break;
        default:
          ADD_FAILURE() << "the save called " << OperationName(failed->operation);
      }
    }
    EXPECT_EQ(raised_, message);
    EXPECT_EQ(ReadBytes(Ini()), message.empty() ? new_file : before);
    // No copy of the lines, the PIN among them, stays behind, but one that another copy still
    // needs.
    Lines entries = {kIniName};
    if (row.files_of_other_saves) {
      entries.push_back(running);
      const bool listed = failed == nullptr || failed->operation != F::kListFiles;
      if (ended_before && (!message.empty() || !listed)) {
        entries.insert(entries.end(), ended.begin(), ended.end());
      }
      std::sort(entries.begin(), entries.end());
    }
    EXPECT_EQ(folder_.Entries(), entries);
    ExpectReleased(Ini());
  };
  Torture(prepare, run, check);
}

std::string SaveName(const ::testing::TestParamInfo<SaveRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, SaveTortureTest, ::testing::ValuesIn(kSaves), SaveName);

}  // namespace
}  // namespace vxt

// The report and live-status exchanges against the scripted loopback server: the bytes on the
// wire, the log entries, what is left on disk and the connection's state afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "connection/IOHandler.h"
#include "connection/TCPClient.h"
#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "report/ReportExchange.h"
#include "support/FakeReportHost.h"
#include "support/ScriptedServer.h"
#include "support/WindowTexts.h"

namespace vxt {
namespace {

using namespace testing;

// Long enough that a loaded machine never runs into it while a reply streams in; the tests
// of the time limit itself set a short one.
constexpr int kGenerousReadTimeout = 10000;
constexpr int kShortReadTimeout = 300;

std::string Prefixed(const std::string& message) {
  return kFailurePrefix + message;
}

class ReportExchangeTest : public ::testing::Test {
 protected:
  ReportExchangeTest() {
    client_.SetPort(server_.Port());
    client_.SetConnectTimeout(2000);
    client_.SetReadTimeout(kGenerousReadTimeout);
    host_.BindTo(client_);
    exchange_.SetFolder(folder_.Path());
  }

  // One connection's script: read the request, send the reply, close.
  void ServeReply(const std::string& reply) {
    server_.QueueScript({Step::ReadLine(), Step::Send(reply), Step::Close()});
  }

  TPath ResponseFile() const { return folder_.File("response.pdf"); }
  TPath LiveStatusFile() const { return folder_.File("alivr.txt"); }

  TempFolder folder_;
  ScriptedServer server_{{Step::ReadLine(), Step::Close()}};
  TTCPClient client_;
  FakeHost host_;
  ReportExchange exchange_{client_, host_};
};

TEST_F(ReportExchangeTest, SendsTheRequestLineExactly) {
  ServeReply("ok\r\n");
  exchange_.RunReport();
  ASSERT_TRUE(server_.WaitUntilDone(0));
  EXPECT_EQ(server_.Received(0), kDecemberRequest);

  host_.customer = "\xC8\xE6";
  host_.pin =
      "\xFF\x80"
      "1";
  host_.first = {2027, 2, 3};
  host_.last = {2027, 1, 4};
  ServeReply("ok\r\n");
  exchange_.RunReport();
  ASSERT_TRUE(server_.WaitUntilDone(1));
  EXPECT_EQ(server_.Received(1),
            "IZVJ \xC8\xE6 03-02-2027 04-01-2027 \xFF\x80"
            "1 \r\n");
}

TEST_F(ReportExchangeTest, DefaultsOfTheFolder) {
  ReportExchange fresh(client_, host_);
  EXPECT_EQ(fresh.Folder(), ProgramFolder());
  EXPECT_EQ(fresh.ResponseFilePath(), ProgramFolder().Join("response.pdf"));
  EXPECT_EQ(fresh.LiveStatusFilePath(), ProgramFolder().Join("alivr.txt"));
}

struct OutcomeRow {
  const char* name;
  std::string reply;
  // What follows the reception lines.
  std::vector<std::string> log;
  bool opens_document;
};

std::string TextOfSize(const std::string& first_line, size_t size) {
  std::string text = first_line + "\r\n";
  while (text.size() < size) text += "Druga linija poruke.\r\n";
  text.resize(size, '.');
  return text;
}

const OutcomeRow kOutcomes[] = {
    {"EmptyReply", "", {kServerDroppedLine}, false},
    {"TextWithMoreLines",
     TextOfSize("Neispravan PIN za kupca 2", 200),
     {"Neispravan PIN za kupca 2"},
     false},
    {"Text1023WithoutLineBreak", std::string(1023, 'T'), {std::string(1023, 'T')}, false},
    {"LoneCarriageReturns", "Nema\rpodataka\rza period", {"Nemapodatakaza period"}, false},
    {"CtrlZInTheFirstLine", "Kraj\x1Aostatak\r\nsljedeca", {"Kraj"}, false},
    {"OneByte", "X", {"X"}, false},
    {"Exactly1024IsText",
     TextOfSize("Poruka od 1024 bajta", 1024),
     {"Poruka od 1024 bajta"},
     false},
    {"Document1025", "%PDF-1.4\n" + PatternBytes(1025 - 9), {}, true},
    {"LargeDocument", "%PDF-1.4\n" + PatternBytes(100000, 3), {}, true},
};

class ReportOutcomeTest : public ReportExchangeTest,
                          public ::testing::WithParamInterface<OutcomeRow> {};

TEST_P(ReportOutcomeTest, ActsOnTheReplySize) {
  const OutcomeRow& row = GetParam();
  WriteBytes(ResponseFile(), "stale report of an earlier run");
  // The large reply arrives in several blocks, as over a real network.
  server_.QueueScript({Step::ReadLine(), Step::SendBlocks(row.reply, 7000, 2), Step::Close()});

  exchange_.RunReport();

  ASSERT_TRUE(server_.WaitUntilDone(0));
  EXPECT_EQ(server_.Received(0), kDecemberRequest);
  EXPECT_EQ(host_.clear_count, 1);
  EXPECT_EQ(ReadBytes(ResponseFile()), row.reply);
  if (!row.reply.empty()) {
    ASSERT_GE(host_.log.size(), 2u);
    EXPECT_EQ(host_.log[0], kBeginLine);
    EXPECT_EQ(host_.log[1], kEndLine);
    ASSERT_FALSE(host_.work_counts.empty());
    EXPECT_EQ(host_.work_counts.back(), static_cast<int32_t>(row.reply.size()));
  }
  EXPECT_EQ(AfterReception(host_.log), row.log);
  if (row.opens_document) {
    EXPECT_EQ(host_.shell_opens, std::vector<TPath>{ResponseFile()});
  } else {
    EXPECT_TRUE(host_.shell_opens.empty());
  }
  EXPECT_FALSE(client_.IsConnected());
  EXPECT_TRUE(FileIsFree(ResponseFile()));
  ASSERT_NE(client_.IOHandler(), nullptr);
  EXPECT_EQ(client_.IOHandler()->RecvBufferSize(), 4096);
}

std::string RowName(const ::testing::TestParamInfo<OutcomeRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportOutcomeTest, ::testing::ValuesIn(kOutcomes), RowName);

TEST_F(ReportExchangeTest, EmptyServerFieldTriesNoConnection) {
  host_.server = "";
  WriteBytes(ResponseFile(), "old");
  exchange_.RunReport();
  EXPECT_EQ(host_.log, std::vector<std::string>{kFailurePrefix});
  EXPECT_EQ(client_.IOHandler(), nullptr);
  EXPECT_FALSE(server_.WaitForConnections(1, 200));
  // The old response file went before the connection was tried.
  EXPECT_FALSE(PathExists(ResponseFile()));
}

TEST_F(ReportExchangeTest, HostNotFound) {
  host_.server = "vxt-report-no-such-host.invalid";
  exchange_.RunReport();
  ASSERT_EQ(host_.log.size(), 1u);
  // Which lookup number the name service gives is its own affair.
  const std::string& entry = host_.log[0];
  bool lookup_failure = false;
  for (int32_t code : {11001, 11002, 11003, 11004}) {
    if (entry == Prefixed(SocketErrorMessage(code))) lookup_failure = true;
  }
  EXPECT_TRUE(lookup_failure) << entry;
  EXPECT_EQ(client_.IOHandler(), nullptr);
}

TEST_F(ReportExchangeTest, SilenceAfterPartOfTheReplyKeepsThePartAndNextRunConnectsAfresh) {
  client_.SetReadTimeout(kShortReadTimeout);
  const std::string part = "%PDF-1.4\n" + PatternBytes(2500);
  server_.QueueScript({Step::ReadLine(), Step::Send(part), Step::Silent()});
  ServeReply("Drugi pokusaj uspio\r\n");

  exchange_.RunReport();

  EXPECT_EQ(host_.log, (std::vector<std::string>{kBeginLine, kEndLine, Prefixed("Read Timeout")}));
  EXPECT_EQ(ReadBytes(ResponseFile()), part);
  EXPECT_TRUE(FileIsFree(ResponseFile()));
  EXPECT_TRUE(host_.shell_opens.empty());
  // The connection left stuck open by the time limit has been closed.
  EXPECT_FALSE(client_.IsConnected());
  ASSERT_TRUE(server_.WaitUntilDone(0));
  EXPECT_TRUE(server_.ClientClosed(0));

  exchange_.RunReport();
  ASSERT_TRUE(server_.WaitUntilDone(1));
  EXPECT_EQ(server_.ConnectionCount(), 2u);
  EXPECT_EQ(server_.Received(1), kDecemberRequest);
  EXPECT_EQ(host_.log, (std::vector<std::string>{kBeginLine, kEndLine, "Drugi pokusaj uspio"}));
  EXPECT_EQ(ReadBytes(ResponseFile()), "Drugi pokusaj uspio\r\n");
}

TEST_F(ReportExchangeTest, SilenceWithoutAnyByte) {
  client_.SetReadTimeout(kShortReadTimeout);
  server_.QueueScript({Step::ReadLine(), Step::Silent()});
  exchange_.RunReport();
  EXPECT_EQ(host_.log, (std::vector<std::string>{kBeginLine, kEndLine, Prefixed("Read Timeout")}));
  EXPECT_TRUE(PathExists(ResponseFile()));
  EXPECT_EQ(ReadBytes(ResponseFile()), "");
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(ReportExchangeTest, ResponseFileHeldByAnotherHolder) {
  FileApi& files = PlatformFileApi();
  TFileHandle holder = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive(ResponseFile(), holder), 0u);
  size_t written = 0;
  files.Write(holder, "viewer", 6, written);

  exchange_.RunReport();
  files.Close(holder);

  EXPECT_EQ(host_.log, std::vector<std::string>{Prefixed("Cannot create file \"" +
                                                         DisplayText(FullPathName(ResponseFile())) +
                                                         "\". " + SystemErrorText(32))});
  ASSERT_TRUE(server_.WaitUntilDone(0));
  EXPECT_EQ(server_.Received(0), kDecemberRequest);
  EXPECT_EQ(ReadBytes(ResponseFile()), "viewer");
  EXPECT_FALSE(client_.IsConnected());
}

// Restores the working directory however the test ends.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const TPath& path) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(testing::FsPath(path));
  }
  ~WorkingDirectory() { std::filesystem::current_path(saved_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path saved_;
};

TEST_F(ReportExchangeTest, ResponseFileLandsInTheProgramFolder) {
  const TPath in_program_folder = ProgramFolder().Join("response.pdf");
  ReportExchange exchange(client_, host_);
  ServeReply("Iz programske mape\r\n");
  {
    WorkingDirectory elsewhere(folder_.Path());
    exchange.RunReport();
  }
  EXPECT_EQ(host_.log, (std::vector<std::string>{kBeginLine, kEndLine, "Iz programske mape"}));
  EXPECT_EQ(ReadBytes(in_program_folder), "Iz programske mape\r\n");
  EXPECT_FALSE(PathExists(folder_.File("response.pdf")));
  std::filesystem::remove(testing::FsPath(in_program_folder));
}

TEST_F(ReportExchangeTest, LiveStatus) {
  const std::string reply = "Server radi, 3 korisnika\r\n" + std::string(5000, 's');
  WriteBytes(LiveStatusFile(), std::string(20000, 'o'));
  WriteBytes(ResponseFile(), "the last report");
  ServeReply(reply);

  exchange_.RunLiveStatus();

  ASSERT_TRUE(server_.WaitUntilDone(0));
  EXPECT_EQ(server_.Received(0), "ALIVR\r\n");
  EXPECT_EQ(host_.clear_count, 1);
  EXPECT_EQ(host_.log,
            (std::vector<std::string>{kBeginLine, kEndLine, "Server radi, 3 korisnika"}));
  EXPECT_EQ(ReadBytes(LiveStatusFile()), reply);
  EXPECT_EQ(ReadBytes(ResponseFile()), "the last report");
  EXPECT_TRUE(host_.shell_opens.empty());
  EXPECT_FALSE(client_.IsConnected());
  ASSERT_NE(client_.IOHandler(), nullptr);
  EXPECT_EQ(client_.IOHandler()->RecvBufferSize(), 32768);

  // The report that follows on the same connection object goes back to 4096-byte blocks.
  ServeReply("ok\r\n");
  exchange_.RunReport();
  EXPECT_EQ(client_.IOHandler()->RecvBufferSize(), 4096);
}

TEST_F(ReportExchangeTest, LiveStatusEmptyReplyAndFailure) {
  server_.QueueScript({Step::ReadLine(), Step::Close()});
  exchange_.RunLiveStatus();
  EXPECT_EQ(AfterReception(host_.log), std::vector<std::string>{kServerDroppedLine});
  EXPECT_EQ(ReadBytes(LiveStatusFile()), "");

  // A failure ends it with its entry alone, as it ends a report.
  host_.server = "";
  exchange_.RunLiveStatus();
  EXPECT_EQ(host_.log, std::vector<std::string>{kFailurePrefix});
  EXPECT_FALSE(client_.IsConnected());
}

}  // namespace
}  // namespace vxt

// The fault matrix: one row per way a report server can misbehave, each with everything the
// user and the disk are left with. For every row the exchange runs against a loopback server
// that behaves so, and then the same client runs one more exchange against a sound server,
// which must succeed: no fault may leave the client stuck.
//
// Each row states the exact log, whether the response file exists and, when it does, that it
// holds exactly the bytes the server sent up to its fault (compared by size and digest, so
// that a 256 MiB reply needs no copy in memory) and that the last progress the window heard of
// counts them all, whether the document is opened, and that the connection is closed
// afterwards, its I/O handler released when the open itself failed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "connection/IdAntiFreeze.h"
#include "connection/TCPClient.h"
#include "report/ReportExchange.h"
#include "support/FakeReportHost.h"
#include "support/ObservedSocketApi.h"
#include "support/ProcessStats.h"
#include "support/ScriptedServer.h"
#include "support/TestFiles.h"
#include "support/WindowTexts.h"

namespace vxt {
namespace {

using namespace std::string_literals;
using namespace testing;

// FNV-1a, 64 bits: enough to tell a lost, doubled or altered block from the bytes sent.
class Digest {
 public:
  void Add(const char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      value_ ^= static_cast<unsigned char>(data[i]);
      value_ *= 0x100000001B3ull;
    }
    size_ += length;
  }
  void Add(const std::string& bytes) { Add(bytes.data(), bytes.size()); }
  std::string Text() const {
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes, digest %016llx",
                  static_cast<unsigned long long>(size_), static_cast<unsigned long long>(value_));
    return text;
  }

 private:
  uint64_t value_ = 0xCBF29CE484222325ull;
  uint64_t size_ = 0;
};

std::string DigestOfFile(const TPath& path) {
  std::ifstream in(testing::FsPath(path), std::ios::binary);
  Digest digest;
  std::vector<char> chunk(1 << 16);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    digest.Add(chunk.data(), static_cast<size_t>(in.gcount()));
  }
  return digest.Text();
}

// What a server sent before its fault: a head, then count bytes of PatternBytes(count, seed).
struct Sent {
  Sent() = default;
  Sent(std::string head_bytes, size_t pattern_count = 0, unsigned pattern_seed = 0)
      : head(std::move(head_bytes)), pattern(pattern_count), seed(pattern_seed) {}

  std::string head;
  size_t pattern = 0;
  unsigned seed = 0;

  size_t Size() const { return head.size() + pattern; }
  std::string DigestText() const {
    Digest digest;
    digest.Add(head);
    testing::ForEachPatternBlock(pattern, seed, [&](const char* data, size_t length) {
      digest.Add(data, length);
      return true;
    });
    return digest.Text();
  }
};

enum class Target { kScripted, kRefused, kHanging };
enum class File { kAbsent, kSent };

struct FaultRow {
  const char* name;
  Target target = Target::kScripted;
  Script script;
  Sent sent;
  int connect_timeout = 2000;
  int read_timeout = 10000;
  std::vector<std::string> log;
  // A reply that is already closed at the client's first look logs no reception lines; whether
  // it is depends on timing, so such rows compare the log after them.
  bool reception_lines_may_be_missing = false;
  File file = File::kSent;
  bool opens_document = false;
  // The open failed: the client has released its I/O handler, so the next exchange starts
  // with a new one.
  bool open_fails = false;
  // Where a receive reports a peer's reset as an orderly end of the stream (Wine), the
  // exchange sees a whole reply instead; these are the log and the open then.
  bool depends_on_reset = false;
  std::vector<std::string> log_if_reset_is_orderly;
  bool opens_if_reset_is_orderly = false;
  // Samples the resident size while the reply streams in.
  bool bounded_memory = false;
  // The client is slow with its second block (a slow disk, say): it writes it only once the
  // server has ended its script, so that whatever the server did last has reached the client.
  bool slow_second_block = false;
  // The responsiveness component is in use, as in the window; its pump steps are counted.
  bool pumping = false;
  int pump_steps = -1;  // how many the exchange runs (-1: not checked)
};

FaultRow Named(const char* name) {
  FaultRow row;
  row.name = name;
  return row;
}

std::string Failure(const std::string& message) {
  return kFailurePrefix + message;
}

// The client's side of the running row's exchange, as its socket calls show it; the rows' scripts
// wait on it instead of pausing for a time and hoping that the client has got there.
const testing::ObservedSocketApi* g_client = nullptr;

// The client has taken count bytes of the reply from its socket.
Step ClientHasReceived(size_t count) {
  return Step::WaitUntil(
      [count] { return g_client->BytesReceived() >= static_cast<int64_t>(count); },
      "the client has received " + std::to_string(count) + " bytes");
}

// The client is past its connection tests and waits for the reply's data.
Step ClientWaitsForData() {
  return Step::WaitUntil([] { return g_client->DataWaits() > 0; },
                         "the client waits for the reply's data");
}

const std::string kResetText = "Socket Error # 10054\r\nConnection reset by peer.";
const std::string kPdfHead = "%PDF-1.4\n";
constexpr size_t k256MiB = size_t{256} << 20;
constexpr int kShortWait = 300;

// A text reply holding every kind of awkward byte in its first line; the line ends at CR LF.
const std::string kAwkwardText =
    "Kupac\0"
    "7\x01\x07\x08\t\x0B\x0C\x1B\x7F \x80\x9A\xC8\xE6\xFF kraj\r\nDruga\x1A linija"s;
const std::string kAwkwardFirstLine = kAwkwardText.substr(0, kAwkwardText.find('\r'));

// A document whose bytes run through all 256 values, CR LF, Ctrl-Z and NUL among them: on disk
// it must stay exactly as sent, with no text-mode translation anywhere.
std::string EveryByteValue(size_t count) {
  std::string bytes = kPdfHead;
  for (size_t i = 0; bytes.size() < count; ++i) bytes += static_cast<char>(i & 0xFF);
  return bytes;
}

// The drip: one byte every 4 ms for about 1.2 s, under a time limit of 300 ms per wait.
const std::string kDripText = [] {
  std::string text = "Spora ali potpuna poruka\r\n";
  while (text.size() < 300) text += "kap po kap ";
  text.resize(300);
  return text;
}();

// A reset during the reply: the reception lines, then the reset's entry. Where a reset reads
// as an orderly close, what arrived is a whole reply, and a document (above 1024 bytes) opens.
void EndsWithAReset(FaultRow& row, std::vector<std::string> log_if_orderly, bool opens_if_orderly) {
  row.log = {kBeginLine, kEndLine, Failure(kResetText)};
  row.depends_on_reset = true;
  row.log_if_reset_is_orderly = std::move(log_if_orderly);
  row.opens_if_reset_is_orderly = opens_if_orderly;
}

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;
  const Sent part{kPdfHead + PatternBytes(2500, 1)};
  {
    FaultRow row = Named("Refused");
    row.target = Target::kRefused;
    row.log = {Failure("Socket Error # 10061\r\nConnection refused.")};
    row.file = File::kAbsent;
    row.open_fails = true;
    rows.push_back(row);
    // Through the connect wait's slices and pump steps, as in the window.
    row.name = "RefusedWhilePumping";
    row.pumping = true;
    rows.push_back(row);
  }
  {
    FaultRow row = Named("ConnectNeverAnswered");
    row.target = Target::kHanging;
    row.connect_timeout = kShortWait;
    row.log = {Failure("Connect timed out.")};
    row.file = File::kAbsent;
    row.open_fails = true;
    rows.push_back(row);
    // In slices of 125 ms with a pump step after each but the last part: 1000 ms is 7 of them.
    row.name = "ConnectNeverAnsweredWhilePumping";
    row.connect_timeout = 1000;
    row.pumping = true;
    row.pump_steps = 7;
    rows.push_back(row);
  }
  {
    FaultRow row = Named("SilentAfterTheRequest");
    row.script = {Step::ReadLine(), Step::Silent()};
    row.read_timeout = kShortWait;
    row.log = {kBeginLine, kEndLine, Failure("Read Timeout")};
    rows.push_back(row);
  }
  {
    FaultRow row = Named("PartOfTheReplyThenSilence");
    row.script = {Step::ReadLine(), Step::Send(part.head), Step::Silent()};
    row.sent = part;
    row.read_timeout = kShortWait;
    row.log = {kBeginLine, kEndLine, Failure("Read Timeout")};
    rows.push_back(row);
  }
  {
    FaultRow row = Named("ResetInTheMiddleOfTheReply");
    row.script = {Step::ReadLine(), Step::Send(part.head), ClientHasReceived(part.Size()),
                  Step::Reset()};
    row.sent = part;
    EndsWithAReset(row, {kBeginLine, kEndLine}, true);
    rows.push_back(row);
  }
  {
    // The pieces do not line up with the client's 4096-byte blocks: a block and 3000 bytes,
    // all taken by the client, then 4096 bytes and the reset. When the client's connection
    // test sees the reset, the last 3000 bytes are still in its input buffer; they belong in
    // the file.
    FaultRow row = Named("ResetAfterPiecesOutOfStepWithTheBlocks");
    const std::string first = kPdfHead + PatternBytes(7087, 2);
    const std::string second = PatternBytes(4096, 3);
    row.script = {Step::ReadLine(), Step::Send(first), ClientHasReceived(first.size()),
                  Step::Send(second), Step::Reset()};
    row.sent = {first + second};
    row.slow_second_block = true;
    EndsWithAReset(row, {kBeginLine, kEndLine}, true);
    rows.push_back(row);
  }
  {
    FaultRow row = Named("ResetBeforeAnyReply");
    row.script = {Step::ReadLine(), ClientWaitsForData(), Step::Reset()};
    EndsWithAReset(row, {kBeginLine, kEndLine, kServerDroppedLine}, false);
    rows.push_back(row);
  }
  {
    // The server closes its side at once; the request still goes out and is read.
    FaultRow row = Named("ClosedBeforeTheRequest");
    row.script = {Step::ShutdownSend(), Step::WaitClientClose()};
    row.log = {kServerDroppedLine};
    row.reception_lines_may_be_missing = true;
    rows.push_back(row);
  }
  {
    FaultRow row = Named("SlowDrip");
    row.script = {Step::ReadLine(), Step::SendBlocks(kDripText, 1, 4), Step::Close()};
    row.sent = {kDripText};
    row.read_timeout = kShortWait;
    row.log = {kBeginLine, kEndLine, "Spora ali potpuna poruka"};
    rows.push_back(row);
  }
  {
    FaultRow row = Named("Stream256MiB");
    row.sent = {kPdfHead, k256MiB, 5};
    row.script = {Step::ReadLine(), Step::Send(kPdfHead), Step::SendPattern(k256MiB, 5),
                  Step::Close()};
    row.log = {kBeginLine, kEndLine};
    row.opens_document = true;
    row.bounded_memory = true;
    rows.push_back(row);
  }
  {
    FaultRow row = Named("AwkwardBytesInATextReply");
    row.script = {Step::ReadLine(), Step::Send(kAwkwardText), Step::Close()};
    row.sent = {kAwkwardText};
    row.log = {kBeginLine, kEndLine, kAwkwardFirstLine};
    rows.push_back(row);
  }
  {
    FaultRow row = Named("CtrlZEndsTheMessage");
    const std::string text = "Nema podataka\x1A za taj period\r\n";
    row.script = {Step::ReadLine(), Step::Send(text), Step::Close()};
    row.sent = {text};
    row.log = {kBeginLine, kEndLine, "Nema podataka"};
    rows.push_back(row);
  }
  {
    FaultRow row = Named("EveryByteValueInADocument");
    const std::string document = EveryByteValue(20000);
    row.script = {Step::ReadLine(), Step::SendBlocks(document, 3001, 1), Step::Close()};
    row.sent = {document};
    row.log = {kBeginLine, kEndLine};
    row.opens_document = true;
    rows.push_back(row);
  }
  return rows;
}

const char kNextReply[] = "Sljedeca razmjena uspjela\r\n";

class FaultMatrixTest : public ::testing::TestWithParam<FaultRow> {
 protected:
  FaultMatrixTest() {
    g_client = &sockets_;
    host_.BindTo(client_);
    exchange_.SetFolder(folder_.Path());
  }
  ~FaultMatrixTest() override {
    // A script may still wait on the client when a row has failed.
    server_.Stop();
    g_client = nullptr;
  }

  TPath ResponseFile() const { return folder_.File("response.pdf"); }

  // The resident size before the exchange and its peak while the reply streams in.
  void SampleMemoryDuringTheExchange() {
    resident_before_ = testing::ResidentPages();
    resident_peak_ = resident_before_;
    host_.on_work = [this](int32_t count) {
      last_count_ = count;
      // The fake records every count; keep that record from growing with the reply.
      host_.work_counts.clear();
      if (++work_calls_ % 64 == 0) Sample();
    };
  }
  void Sample() {
    long pages = testing::ResidentPages();
    if (pages > resident_peak_) resident_peak_ = pages;
  }

  TempFolder folder_;
  ScriptedServer server_;
  testing::ObservedSocketApi sockets_;  // before the client, which it outlives
  TTCPClient client_;
  FakeHost host_;
  ReportExchange exchange_{client_, host_};
  long resident_before_ = -1;
  long resident_peak_ = -1;
  int64_t last_count_ = -1;
  int64_t work_calls_ = 0;
};

bool EndsWaitingForTheClient(const Script& script) {
  return !script.empty() && (script.back().kind == Step::Kind::kSilent ||
                             script.back().kind == Step::Kind::kWaitClientClose);
}

TEST_P(FaultMatrixTest, LeavesExactlyWhatTheServerSentAndTheNextExchangeSucceeds) {
  const FaultRow& row = GetParam();
  const bool orderly_reset = row.depends_on_reset && !testing::ResetsReachClients();
  if (orderly_reset) std::cout << "[ NOTE     ] this system reports a reset as an orderly close\n";
  const std::vector<std::string>& log = orderly_reset ? row.log_if_reset_is_orderly : row.log;
  const bool opens = orderly_reset ? row.opens_if_reset_is_orderly : row.opens_document;

  WriteBytes(ResponseFile(), "stale report of an earlier run");
  std::unique_ptr<HangingListener> hanging;
  switch (row.target) {
    case Target::kScripted:
      server_.QueueScript(row.script);
      client_.SetPort(server_.Port());
      break;
    case Target::kRefused:
      client_.SetPort(testing::FreeLoopbackPort());
      break;
    case Target::kHanging:
      hanging = std::make_unique<HangingListener>();
      ASSERT_TRUE(hanging->ConnectsHang()) << "this system answers every connect";
      client_.SetPort(hanging->Port());
      break;
  }
  client_.SetConnectTimeout(row.connect_timeout);
  client_.SetReadTimeout(row.read_timeout);
  if (row.bounded_memory) SampleMemoryDuringTheExchange();
  std::unique_ptr<TIdAntiFreeze> anti_freeze;
  int pump_steps = 0;
  if (row.pumping) {
    anti_freeze = std::make_unique<TIdAntiFreeze>();
    anti_freeze->SetMessagePump([&pump_steps](bool) { ++pump_steps; });
  }
  if (row.slow_second_block) {
    host_.on_work = [this, held = false](int32_t count) mutable {
      if (held || count <= 4096) return;
      held = true;
      EXPECT_TRUE(server_.WaitUntilDone(0)) << "the server did not end its script";
    };
  }

  const auto started = std::chrono::steady_clock::now();
  exchange_.RunReport();
  const auto elapsed = std::chrono::steady_clock::now() - started;

  anti_freeze.reset();
  // A connect that never completes fails no sooner than its limit: waits cut short by a part
  // of a millisecond at every slice would add up to a limit that ends early.
  if (row.target == Target::kHanging) {
    EXPECT_GE(elapsed, std::chrono::milliseconds(row.connect_timeout));
  }
  if (row.pump_steps >= 0) {
    EXPECT_EQ(pump_steps, row.pump_steps);
  }
  if (row.bounded_memory) Sample();
  host_.on_work = nullptr;
  if (row.reception_lines_may_be_missing) {
    EXPECT_EQ(AfterReception(host_.log), log);
  } else {
    EXPECT_EQ(host_.log, log);
  }
  if (row.file == File::kAbsent) {
    EXPECT_FALSE(PathExists(ResponseFile()));
  } else {
    ASSERT_TRUE(PathExists(ResponseFile()));
    EXPECT_EQ(DigestOfFile(ResponseFile()), row.sent.DigestText());
    EXPECT_TRUE(FileIsFree(ResponseFile()));
  }
  // The progress bar ends at what is on disk (the streamed row keeps its own count).
  if (!row.bounded_memory && row.sent.Size() > 0) {
    ASSERT_FALSE(host_.work_counts.empty());
    EXPECT_EQ(host_.work_counts.back(), static_cast<int32_t>(row.sent.Size()));
  }
  if (opens) {
    EXPECT_EQ(host_.shell_opens, std::vector<TPath>{ResponseFile()});
  } else {
    EXPECT_TRUE(host_.shell_opens.empty());
  }
  EXPECT_FALSE(client_.IsConnected());
  EXPECT_EQ(client_.IOHandler() == nullptr, row.open_fails);

  size_t connections = 0;
  if (row.target == Target::kScripted) {
    connections = 1;
    ASSERT_TRUE(server_.WaitUntilDone(0));
    EXPECT_THAT(server_.WaitsGivenUp(), ::testing::IsEmpty());
    EXPECT_EQ(server_.Received(0), kDecemberRequest);
    // A server that waits for the client sees it close its side.
    if (EndsWaitingForTheClient(row.script)) {
      EXPECT_TRUE(server_.ClientClosed(0));
    }
  }
  EXPECT_EQ(server_.ConnectionCount(), connections);

  if (row.bounded_memory) {
    EXPECT_EQ(last_count_, static_cast<int64_t>(row.sent.Size()));
    if (resident_before_ <= 0) {
      std::cout << "[ NOTE     ] this system does not show resident sizes\n";
    } else if (testing::kResidentSizeMeaningful) {
      // Bounded by the block size, never by the reply: 2 MiB of slack for the allocator.
      EXPECT_LE(resident_peak_ - resident_before_, 512)
          << "resident pages before " << resident_before_ << ", peak " << resident_peak_;
    }
  }

  // The same client, against a sound server.
  server_.QueueScript({Step::ReadLine(), Step::Send(kNextReply), Step::Close()});
  client_.SetPort(server_.Port());
  client_.SetConnectTimeout(2000);
  client_.SetReadTimeout(10000);
  host_.shell_opens.clear();
  exchange_.RunReport();
  EXPECT_EQ(host_.log,
            (std::vector<std::string>{kBeginLine, kEndLine, "Sljedeca razmjena uspjela"}));
  EXPECT_EQ(ReadBytes(ResponseFile()), kNextReply);
  EXPECT_TRUE(host_.shell_opens.empty());
  ASSERT_TRUE(server_.WaitUntilDone(connections));
  EXPECT_EQ(server_.Received(connections), kDecemberRequest);
  EXPECT_FALSE(client_.IsConnected());
}

std::string RowName(const ::testing::TestParamInfo<FaultRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrixTest, ::testing::ValuesIn(Rows()), RowName);

}  // namespace
}  // namespace vxt

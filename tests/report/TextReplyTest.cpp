#include <gtest/gtest.h>

#include <string>

#include "failures/Exceptions.h"
#include "report/ReportExchange.h"
#include "support/FaultyFileApi.h"
#include "support/TestFiles.h"

namespace vxt {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

struct LineCase {
  const char* name;
  std::string content;
  std::string line;
};

const LineCase kLineCases[] = {
    {"empty", "", ""},
    {"no line break", "abc", "abc"},
    {"CR LF ends the line", "first\r\nsecond\r\n", "first"},
    {"LF alone ends the line", "first\nsecond", "first"},
    {"lone CRs are dropped", "a\rb\rc", "abc"},
    {"CR before CR LF", "a\r\r\nb", "a"},
    {"CR at the end", "line\r", "line"},
    {"empty first line", "\r\nsecond", ""},
    {"LF first", "\nsecond", ""},
    {"Ctrl-Z ends the text",
     "ab\x1A"
     "cd\r\nef",
     "ab"},
    {"Ctrl-Z first",
     "\x1A"
     "abc",
     ""},
    {"Ctrl-Z after the line", "ok\r\n\x1A", "ok"},
    {"CR before Ctrl-Z", "ok\r\x1A", "ok"},
    {"NUL and high bytes kept", std::string("a\0\xE8z\r\nb", 7), std::string("a\0\xE8z", 4)},
    {"no length limit", std::string(100000, 'x') + "\r\ny", std::string(100000, 'x')},
};

TEST(FirstTextLineTest, Rows) {
  for (const LineCase& row : kLineCases) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FirstTextLine(row.content), row.line);
  }
}

// The file is read in chunks, so a CR, LF or Ctrl-Z may fall on any boundary.
TEST(FirstTextLineTest, PiecesOfAnySizeGiveTheSameLine) {
  for (const LineCase& row : kLineCases) {
    if (row.content.size() > 64) continue;
    SCOPED_TRACE(row.name);
    for (size_t split = 0; split <= row.content.size(); ++split) {
      TFirstLineScanner scanner;
      bool complete = scanner.Feed(row.content.data(), split);
      if (!complete)
        complete = scanner.Feed(row.content.data() + split, row.content.size() - split);
      EXPECT_EQ(scanner.Line(), row.line) << "split at " << split;
      EXPECT_EQ(complete, scanner.Complete());
    }
    TFirstLineScanner bytewise;
    for (char c : row.content) bytewise.Feed(&c, 1);
    EXPECT_EQ(bytewise.Line(), row.line);
  }
}

TEST(FirstTextLineTest, CompleteOnlyAtLineFeedOrCtrlZ) {
  TFirstLineScanner scanner;
  EXPECT_FALSE(scanner.Feed("abc\r", 4));
  EXPECT_TRUE(scanner.Feed("\nrest", 5));
  // Nothing after the end is taken.
  EXPECT_TRUE(scanner.Feed("more", 4));
  EXPECT_EQ(scanner.Line(), "abc");
}

class ReadFirstLineTest : public ::testing::Test {
 protected:
  TPath Write(const std::string& bytes) {
    TPath path = folder_.File("reply.txt");
    WriteBytes(path, bytes);
    return path;
  }

  TempFolder folder_;
};

// Returns the EInOutError that reading raises, or fails the test.
template <typename Read>
EInOutError CatchIoFailure(Read read) {
  try {
    read();
  } catch (const EInOutError& failure) {
    return failure;
  }
  ADD_FAILURE() << "no EInOutError raised";
  return EInOutError(0, "");
}

TEST_F(ReadFirstLineTest, ReadsTheFirstLineOnly) {
  TPath path = Write("Neispravan PIN\r\nsecond line\r\n");
  EXPECT_EQ(ReadFirstLine(PlatformFileApi(), path), "Neispravan PIN");
}

TEST_F(ReadFirstLineTest, LineLongerThanOneReadChunk) {
  std::string line;
  for (int i = 0; i < 20000; ++i) line.push_back(static_cast<char>('a' + i % 26));
  TPath path = Write(line + "\r\n" + line);
  EXPECT_EQ(ReadFirstLine(PlatformFileApi(), path), line);
}

TEST_F(ReadFirstLineTest, MissingFileIsFileNotFound) {
  EInOutError failure =
      CatchIoFailure([&] { ReadFirstLine(PlatformFileApi(), folder_.File("none.txt")); });
  EXPECT_EQ(failure.ErrorCode(), 2);
  EXPECT_EQ(failure.Message(), "File not found");
}

TEST_F(ReadFirstLineTest, MissingFolderIsInvalidFilename) {
  EInOutError failure = CatchIoFailure(
      [&] { ReadFirstLine(PlatformFileApi(), folder_.File("no-folder").Join("x.txt")); });
  EXPECT_EQ(failure.ErrorCode(), 3);
  EXPECT_EQ(failure.Message(), "Invalid filename");
}

TEST_F(ReadFirstLineTest, FileHeldForWritingIsASharingViolation) {
  TPath path = folder_.File("held.txt");
  FileApi& files = PlatformFileApi();
  TFileHandle writer = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive(path, writer), 0u);
  size_t written = 0;
  files.Write(writer, "text\r\n", 6, written);

  EInOutError failure = CatchIoFailure([&] { ReadFirstLine(files, path); });
  EXPECT_EQ(failure.ErrorCode(), 32);
  EXPECT_EQ(failure.Message(), "I/O error 32");

  files.Close(writer);
  EXPECT_EQ(ReadFirstLine(files, path), "text");
}

TEST_F(ReadFirstLineTest, OtherReadersMayReadMeanwhile) {
  TPath path = Write("shared\r\n");
  FileApi& files = PlatformFileApi();
  TFileHandle reader = kInvalidFile;
  ASSERT_EQ(files.OpenShareRead(path, reader), 0u);
  EXPECT_EQ(ReadFirstLine(files, path), "shared");
  // The read gave its handle back: once the test's reader closes, nobody holds the file.
  files.Close(reader);
  TFileHandle writer = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive(path, writer), 0u);
  files.Close(writer);
}

TEST_F(ReadFirstLineTest, BrokenPipeEndsTheFile) {
  TPath path = Write("abc");
  FaultyFileApi files;
  // The first read gets the bytes; the next one ends with the broken-pipe code.
  files.Fail(FaultyFileApi::kRead, 109, 1);
  EXPECT_EQ(ReadFirstLine(files, path), "abc");
  EXPECT_EQ(files.Calls(FaultyFileApi::kRead), 2);

  FaultyFileApi at_once;
  at_once.Fail(FaultyFileApi::kRead, 109);
  EXPECT_EQ(ReadFirstLine(at_once, path), "");
}

}  // namespace
}  // namespace vxt

#include <gtest/gtest.h>

#include <string>

#include "failures/Exceptions.h"
#include "platform/System.h"
#include "report/FileStream.h"
#include "support/FaultyFileApi.h"
#include "support/TestFiles.h"

namespace vxt {
namespace {

using testing::PathExists;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class FileStreamTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  TPath path_ = folder_.File("response.pdf");
};

TEST_F(FileStreamTest, WritesEveryByteAndTracksPositionAndSize) {
  {
    TFileStream stream(PlatformFileApi());
    stream.CreateExclusive(path_);
    EXPECT_TRUE(stream.IsOpen());
    EXPECT_EQ(stream.Size(), 0);
    stream.WriteBuffer("%PDF-", 5);
    stream.WriteBuffer(std::string("\0\xFF\r\n", 4).data(), 4);
    stream.WriteBuffer("", 0);
    EXPECT_EQ(stream.Position(), 9);
    EXPECT_EQ(stream.Size(), 9);
  }  // the destructor closes
  EXPECT_EQ(ReadBytes(path_), std::string("%PDF-\0\xFF\r\n", 9));
}

TEST_F(FileStreamTest, TruncatesAnExistingFile) {
  WriteBytes(path_, std::string(5000, 'o'));
  TFileStream stream(PlatformFileApi());
  stream.CreateExclusive(path_);
  stream.WriteBuffer("new", 3);
  stream.Close();
  EXPECT_EQ(ReadBytes(path_), "new");
}

TEST_F(FileStreamTest, SharedWithNobodyUntilClosed) {
  FileApi& files = PlatformFileApi();
  TFileStream stream(files);
  stream.CreateExclusive(path_);
  TFileHandle other = kInvalidFile;
  EXPECT_EQ(files.OpenShareRead(path_, other), 32u);
  stream.Close();
  stream.Close();  // repeating is harmless
  ASSERT_EQ(files.OpenShareRead(path_, other), 0u);
  files.Close(other);
}

TEST_F(FileStreamTest, CreatingAHeldFileNamesItsFullPath) {
  FileApi& files = PlatformFileApi();
  TFileHandle holder = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive(path_, holder), 0u);
  TFileStream stream(files);
  try {
    stream.CreateExclusive(path_);
    ADD_FAILURE() << "a held file was created";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + DisplayText(FullPathName(path_)) +
                                     "\". " + SystemErrorText(32));
  }
  EXPECT_FALSE(stream.IsOpen());
  files.Close(holder);
}

TEST_F(FileStreamTest, CreatingInAMissingFolderFails) {
  TPath path = folder_.File("missing").Join("response.pdf");
  TFileStream stream(PlatformFileApi());
  try {
    stream.CreateExclusive(path);
    ADD_FAILURE() << "created in a missing folder";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + DisplayText(FullPathName(path)) +
                                     "\". " + SystemErrorText(3));
  }
}

TEST_F(FileStreamTest, FullDiskIsAStreamWriteErrorThatKeepsWhatWasWritten) {
  FaultyFileApi files;
  files.FailWriteAfter(10, 112);
  TFileStream stream(files);
  stream.CreateExclusive(path_);
  stream.WriteBuffer("0123456", 7);
  try {
    stream.WriteBuffer("789abcdef", 9);
    ADD_FAILURE() << "a short write went unnoticed";
  } catch (const EWriteError& failure) {
    EXPECT_EQ(failure.Message(), "Stream write error");
  }
  EXPECT_EQ(stream.Position(), 10);
  EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
  stream.Close();
  EXPECT_EQ(ReadBytes(path_), "0123456789");
}

TEST_F(FileStreamTest, SetSizeCutsTheFile) {
  TFileStream stream(PlatformFileApi());
  stream.CreateExclusive(path_);
  stream.WriteBuffer("0123456789", 10);
  stream.SetSize(4);
  EXPECT_EQ(stream.Size(), 4);
  EXPECT_EQ(stream.Position(), 4);
  stream.WriteBuffer("xy", 2);
  stream.Close();
  EXPECT_EQ(ReadBytes(path_), "0123xy");
}

TEST_F(FileStreamTest, WritingAClosedStreamFails) {
  TFileStream stream(PlatformFileApi());
  EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
  EXPECT_FALSE(PathExists(path_));
}

}  // namespace
}  // namespace vxt

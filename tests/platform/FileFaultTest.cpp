// The fault-injecting file layer that other suites use for their error paths.
#include <gtest/gtest.h>

#include "support/TestFiles.h"
#include "support/FaultyFileApi.h"

namespace vxt {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(FaultyFileApiTest, IsActiveOnlyWhileInstalled) {
  FaultyFileApi faulty;
  EXPECT_EQ(&ActiveFileApi(), &PlatformFileApi());
  {
    ScopedFileApi use(faulty);
    EXPECT_EQ(&ActiveFileApi(), &faulty);
  }
  EXPECT_EQ(&ActiveFileApi(), &PlatformFileApi());
}

TEST(FaultyFileApiTest, WritesStopAtTheMarkWithTheChosenCode) {
  TempFolder folder;
  FaultyFileApi faulty;
  faulty.FailWriteAfter(10, 112);
  TFileHandle file = kInvalidFile;
  ASSERT_EQ(faulty.CreateExclusive(folder.File("full.ini"), file), 0u);
  size_t written = 0;
  EXPECT_EQ(faulty.Write(file, "123456", 6, written), 0u);
  EXPECT_EQ(written, 6u);
  EXPECT_EQ(faulty.Write(file, "abcdefgh", 8, written), 112u);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(faulty.LastError(), 112u);
  EXPECT_EQ(faulty.Write(file, "z", 1, written), 112u);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(faulty.Calls(FaultyFileApi::kWrite), 3);
  faulty.Close(file);
  EXPECT_EQ(ReadBytes(folder.File("full.ini")), "123456abcd");
}

TEST(FaultyFileApiTest, FailsAnOperationAfterTheGivenSuccesses) {
  TempFolder folder;
  FaultyFileApi faulty;
  faulty.Fail(FaultyFileApi::kCreateExclusive, 32, 1);
  faulty.Fail(FaultyFileApi::kReplace, 5);
  TPath path = folder.File("response.pdf");
  TFileHandle file = kInvalidFile;
  ASSERT_EQ(faulty.CreateExclusive(path, file), 0u);
  ASSERT_EQ(faulty.Close(file), 0u);
  EXPECT_EQ(faulty.CreateExclusive(path, file), 32u);
  EXPECT_EQ(file, kInvalidFile);
  EXPECT_EQ(faulty.LastError(), 32u);

  WriteBytes(folder.File("a"), "a");
  EXPECT_EQ(faulty.Replace(folder.File("a"), path), 5u);
  EXPECT_EQ(ReadBytes(folder.File("a")), "a");

  faulty.Heal();
  EXPECT_EQ(faulty.Replace(folder.File("a"), path), 0u);
  EXPECT_EQ(ReadBytes(path), "a");
  EXPECT_EQ(faulty.Calls(FaultyFileApi::kCreateExclusive), 2);
  EXPECT_EQ(faulty.Calls(FaultyFileApi::kReplace), 2);

  // A failure for a number of calls: those fail, the ones after them pass again.
  faulty.Fail(FaultyFileApi::kDeleteFile, 32, 0, 1);
  EXPECT_FALSE(faulty.DeleteFile(path));
  EXPECT_TRUE(faulty.DeleteFile(path));
  EXPECT_FALSE(testing::PathExists(path));
}

}  // namespace
}  // namespace vxt

// The messages of failed file calls, built from real failures of the platform's layer. The
// scratch folders are named outside the ANSI code page: the messages show the path converted
// to it, while the calls reach the file under its real name.
#include <gtest/gtest.h>

#include <filesystem>

#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "support/TestFiles.h"

namespace vxt {
namespace {

using testing::FromFsPath;
using testing::FsPath;
using testing::TempFolder;

class FileFailureMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { original_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(original_); }
  std::filesystem::path original_;
  TempFolder folder_;
};

TEST_F(FileFailureMessageTest, CreateFailureNamesTheFullPathAndTheSharingViolation) {
  std::filesystem::current_path(FsPath(folder_.Path()));
  const TPath relative("response.pdf");
  FileApi& files = PlatformFileApi();
  TFileHandle holder = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive(relative, holder), 0u);
  TFileHandle second = kInvalidFile;
  uint32_t code = files.CreateExclusive(relative, second);
  files.Close(holder);
  ASSERT_EQ(code, 32u);
  EXPECT_TRUE(testing::PathExists(folder_.File("response.pdf")));

  std::string expected_path =
      DisplayText(FromFsPath(std::filesystem::current_path()).Join("response.pdf"));
  try {
    RaiseCreateFileFailure(relative, code);
    FAIL() << "no failure raised";
  } catch (const EFCreateError& failure) {
    std::string text = SystemErrorText(32);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + expected_path + "\". " + text);
    EXPECT_NE(failure.Message().back(), '.');
  }
}

TEST_F(FileFailureMessageTest, OpenFailureNormalisesThePath) {
  testing::MakeFolder(folder_.File("sub"));
  std::filesystem::current_path(FsPath(folder_.File("sub")));
  const std::string sep = PathSeparator();
  const TPath relative(".." + sep + "." + sep + "VXTVannikorde.ini");
  TFileHandle handle = kInvalidFile;
  uint32_t code = PlatformFileApi().OpenShareRead(relative, handle);
  ASSERT_EQ(code, 2u);
  try {
    RaiseOpenFileFailure(relative, code);
    FAIL() << "no failure raised";
  } catch (const EFOpenError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot open file \"" +
                                     DisplayText(folder_.File("VXTVannikorde.ini")) + "\". " +
                                     SystemErrorText(2));
  }
}

TEST_F(FileFailureMessageTest, ACodeWithoutTextLeavesTheMessageEndingInTheSpace) {
  std::filesystem::current_path(FsPath(folder_.Path()));
  // Bit 29 marks application-defined codes, which the system describes nowhere.
  ASSERT_EQ(SystemErrorText(0x2000ABCDu), "");
  try {
    RaiseCreateFileFailure(TPath("response.pdf"), 0x2000ABCDu);
    FAIL() << "no failure raised";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(),
              "Cannot create file \"" + DisplayText(folder_.File("response.pdf")) + "\". ");
  }
}

}  // namespace
}  // namespace vxt

// The messages of failed file calls, built from real failures of the platform's layer.
#include <gtest/gtest.h>

#include <filesystem>

#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "support/TestFiles.h"

namespace vxt {
namespace {

using testing::TempFolder;

class FileFailureMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { original_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(original_); }
  std::filesystem::path original_;
  TempFolder folder_;
};

TEST_F(FileFailureMessageTest, CreateFailureNamesTheFullPathAndTheSharingViolation) {
  std::filesystem::current_path(folder_.Path());
  FileApi& files = PlatformFileApi();
  TFileHandle holder = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive("response.pdf", holder), 0u);
  TFileHandle second = kInvalidFile;
  uint32_t code = files.CreateExclusive("response.pdf", second);
  files.Close(holder);
  ASSERT_EQ(code, 32u);

  std::string expected_path =
      std::filesystem::current_path().string() + PathSeparator() + "response.pdf";
  try {
    RaiseCreateFileFailure("response.pdf", code);
    FAIL() << "no failure raised";
  } catch (const EFCreateError& failure) {
    std::string text = SystemErrorText(32);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + expected_path + "\". " + text);
    EXPECT_NE(failure.Message().back(), '.');
  }
}

TEST_F(FileFailureMessageTest, OpenFailureNormalisesThePath) {
  std::filesystem::create_directory(folder_.File("sub"));
  std::filesystem::current_path(folder_.File("sub"));
  const std::string sep = PathSeparator();
  std::string relative = ".." + sep + "." + sep + "VXTVannikorde.ini";
  TFileHandle handle = kInvalidFile;
  uint32_t code = PlatformFileApi().OpenShareRead(relative, handle);
  ASSERT_EQ(code, 2u);
  try {
    RaiseOpenFileFailure(relative, code);
    FAIL() << "no failure raised";
  } catch (const EFOpenError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot open file \"" + folder_.File("VXTVannikorde.ini") +
                                     "\". " + SystemErrorText(2));
  }
}

TEST_F(FileFailureMessageTest, ACodeWithoutTextLeavesTheMessageEndingInTheSpace) {
  std::filesystem::current_path(folder_.Path());
  // Bit 29 marks application-defined codes, which the system describes nowhere.
  ASSERT_EQ(SystemErrorText(0x2000ABCDu), "");
  try {
    RaiseCreateFileFailure("response.pdf", 0x2000ABCDu);
    FAIL() << "no failure raised";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + folder_.File("response.pdf") + "\". ");
  }
}

}  // namespace
}  // namespace vxt

// The I/O error texts and the file failure messages.
#include <gtest/gtest.h>

#include <string>

#include "failures/Exceptions.h"

namespace vxt {
namespace {

// Seven codes have a text of their own, without a full stop; every other code is numbered.
TEST(IoErrorTextTest, SevenRowsWithoutFullStopsAndOtherCodesNumbered) {
  struct Row {
    int32_t code;
    const char* text;
  };
  for (const Row& row : {Row{2, "File not found"}, Row{3, "Invalid filename"},
                         Row{4, "Too many open files"}, Row{5, "File access denied"},
                         Row{100, "Read beyond end of file"}, Row{101, "Disk full"},
                         Row{106, "Invalid numeric input"}, Row{32, "I/O error 32"},
                         Row{0, "I/O error 0"}, Row{1, "I/O error 1"}, Row{6, "I/O error 6"},
                         Row{102, "I/O error 102"}, Row{-1, "I/O error -1"},
                         Row{2147483647, "I/O error 2147483647"}}) {
    EXPECT_EQ(IoErrorText(row.code), row.text) << row.code;
  }
}

TEST(IoErrorTextTest, RaiseIoFailureCarriesCodeAndText) {
  try {
    RaiseIoFailure(32);
    FAIL() << "nothing raised";
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.ErrorCode(), 32);
    EXPECT_EQ(failure.Message(), "I/O error 32");
  }
  try {
    RaiseIoFailure(5);
    FAIL() << "nothing raised";
  } catch (const Exception& failure) {
    EXPECT_STREQ(failure.ClassName(), "EInOutError");
    EXPECT_EQ(failure.Message(), "File access denied");
  }
}

TEST(FileFailureTest, CreateAndOpenMessagesQuoteThePathAndEndWithTheSystemText) {
  const std::string path = "C:\\Programs\\VXT\\response.pdf";
  const std::string sharing_text =
      "The process cannot access the file because it is being used by another process";
  try {
    RaiseCannotCreateFile(path, sharing_text);
    FAIL() << "nothing raised";
  } catch (const EFileStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EFCreateError");
    EXPECT_EQ(failure.Message(),
              "Cannot create file \"C:\\Programs\\VXT\\response.pdf\". The process cannot "
              "access the file because it is being used by another process");
  }
  try {
    RaiseCannotOpenFile("/opt/vxt/VXTVannikorde.ini", "No such file or directory");
    FAIL() << "nothing raised";
  } catch (const EFileStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EFOpenError");
    EXPECT_EQ(failure.Message(),
              "Cannot open file \"/opt/vxt/VXTVannikorde.ini\". No such file or directory");
  }
}

TEST(FileFailureTest, TheTextsAreTakenAsTheyAre) {
  // An empty system text leaves the message ending in the space; nothing is trimmed or added.
  try {
    RaiseCannotCreateFile("response.pdf", "");
    FAIL() << "nothing raised";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot create file \"response.pdf\". ");
  }
  try {
    RaiseCannotOpenFile("", "Access is denied.\r\n");
    FAIL() << "nothing raised";
  } catch (const EFOpenError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot open file \"\". Access is denied.\r\n");
  }
}

}  // namespace
}  // namespace vxt

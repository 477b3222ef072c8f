// The I/O error texts, the file failure messages, the system text trimming and the text of
// the default failure display.
#include <gtest/gtest.h>

#include <string>

#include "failures/Exceptions.h"
#include "platform/System.h"

namespace vxt {
namespace {

TEST(IoErrorTextTest, SevenRowsWithoutFullStops) {
  EXPECT_EQ(IoErrorText(2), "File not found");
  EXPECT_EQ(IoErrorText(3), "Invalid filename");
  EXPECT_EQ(IoErrorText(4), "Too many open files");
  EXPECT_EQ(IoErrorText(5), "File access denied");
  EXPECT_EQ(IoErrorText(100), "Read beyond end of file");
  EXPECT_EQ(IoErrorText(101), "Disk full");
  EXPECT_EQ(IoErrorText(106), "Invalid numeric input");
}

TEST(IoErrorTextTest, OtherCodesAreNumbered) {
  EXPECT_EQ(IoErrorText(32), "I/O error 32");
  EXPECT_EQ(IoErrorText(0), "I/O error 0");
  EXPECT_EQ(IoErrorText(1), "I/O error 1");
  EXPECT_EQ(IoErrorText(6), "I/O error 6");
  EXPECT_EQ(IoErrorText(102), "I/O error 102");
  EXPECT_EQ(IoErrorText(-1), "I/O error -1");
  EXPECT_EQ(IoErrorText(2147483647), "I/O error 2147483647");
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

TEST(FileFailureTest, CreateAndOpenMessagesQuoteTheFullPathAndEndWithTheSystemText) {
  const std::string path = FullPathName("response.pdf");
  const std::string sharing_text = SystemErrorText(32);
  ASSERT_FALSE(sharing_text.empty());
  try {
    RaiseCreateFileFailure(path, 32);
    FAIL() << "nothing raised";
  } catch (const EFileStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EFCreateError");
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + path + "\". " + sharing_text);
  }
  try {
    RaiseOpenFileFailure(path, 2);
    FAIL() << "nothing raised";
  } catch (const EFileStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EFOpenError");
    EXPECT_EQ(failure.Message(), "Cannot open file \"" + path + "\". " + SystemErrorText(2));
  }
}

TEST(FileFailureTest, ACodeWithoutTextLeavesTheMessageEndingInTheSpace) {
  const std::string path = FullPathName("response.pdf");
  ASSERT_EQ(SystemErrorText(0x7FFFFFF0u), "");
  try {
    RaiseCreateFileFailure(path, 0x7FFFFFF0u);
    FAIL() << "nothing raised";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + path + "\". ");
  }
}

TEST(SystemErrorTextTest, IsTheRawTextTrimmed) {
  for (uint32_t code : {2u, 5u, 32u, 112u}) {
    const std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    const auto last = static_cast<unsigned char>(text.back());
    EXPECT_TRUE(last > ' ' && last != '.' && last != 0x7F) << code << ": " << text;
    EXPECT_EQ(text, TrimSystemText(RawSystemErrorText(code)));
  }
}

TEST(TrimSystemTextTest, RemovesTrailingControlsSpacesAndFullStops) {
  EXPECT_EQ(TrimSystemText("Access is denied.\r\n"), "Access is denied");
  EXPECT_EQ(TrimSystemText("The process cannot access the file. . \t\r\n\x01\x7F"),
            "The process cannot access the file");
  EXPECT_EQ(TrimSystemText("abc..."), "abc");
  EXPECT_EQ(TrimSystemText(" \r\n.. "), "");
  EXPECT_EQ(TrimSystemText(""), "");
  EXPECT_EQ(TrimSystemText(std::string("a\0", 2)), "a");
}

TEST(TrimSystemTextTest, KeepsEverythingBeforeTheLastOtherCharacter) {
  EXPECT_EQ(TrimSystemText("  lead. inner.text"), "  lead. inner.text");
  EXPECT_EQ(TrimSystemText("x\r\ny"), "x\r\ny");
  // Bytes above 0x7F are characters of the code page, not controls.
  EXPECT_EQ(TrimSystemText("Gre\xE9ka.\xA0"), "Gre\xE9ka.\xA0");
  EXPECT_EQ(TrimSystemText("\x80."), "\x80");
  EXPECT_EQ(TrimSystemText("done!."), "done!");
}

}  // namespace
}  // namespace vxt

// The texts of the default failure display and of the start-up failure box.
#include <gtest/gtest.h>

#include "app/FailureTexts.h"

namespace vxt {
namespace {

TEST(FailureDisplayTextTest, AppendsAFullStopAfterCharactersAboveIt) {
  EXPECT_EQ(FailureDisplayText("Read Timeout"), "Read Timeout.");
  EXPECT_EQ(FailureDisplayText("I/O error 32"), "I/O error 32.");
  EXPECT_EQ(FailureDisplayText("path/"), "path/.");  // '/' is 0x2F
  EXPECT_EQ(FailureDisplayText("0"), "0.");
  EXPECT_EQ(FailureDisplayText("a\x7F"), "a\x7F.");
  // Bytes above 0x7F count as above the full stop, not as negative characters.
  EXPECT_EQ(FailureDisplayText("Gre\xE9"), "Gre\xE9.");
  EXPECT_EQ(FailureDisplayText("\xFF"), "\xFF.");
}

TEST(FailureDisplayTextTest, LeavesTextsEndingAtOrBelowTheFullStop) {
  EXPECT_EQ(FailureDisplayText("Connect timed out."), "Connect timed out.");
  EXPECT_EQ(FailureDisplayText("a-"), "a-");  // 0x2D
  EXPECT_EQ(FailureDisplayText("a,"), "a,");
  EXPECT_EQ(FailureDisplayText("(x)"), "(x)");  // ')' is 0x29
  EXPECT_EQ(FailureDisplayText("Cannot create file \"x\". "), "Cannot create file \"x\". ");
  EXPECT_EQ(FailureDisplayText("Socket Error # 11004\r\n"), "Socket Error # 11004\r\n");
  EXPECT_EQ(FailureDisplayText(""), "");
}

TEST(StartupFailureText, NamesClassModuleAddressAndEndsTheMessageWithOneStop) {
  StartupFailure failure{"EIdWinsockStubError", "Error on loading Winsock2 library (WS2_32.DLL)",
                         0x1A2B};
  EXPECT_EQ(StartupFailureText(failure, "VXTVannikorde.exe"),
            "Exception EIdWinsockStubError in module VXTVannikorde.exe at 00001A2B.\r\n"
            "Error on loading Winsock2 library (WS2_32.DLL).\r\n");
  failure.message = "Winsock Initialization Error.";
  EXPECT_EQ(StartupFailureText(failure, "a.exe"),
            "Exception EIdWinsockStubError in module a.exe at 00001A2B.\r\n"
            "Winsock Initialization Error.\r\n");
  // An empty message gets no stop of its own; any other last character, even one below ".",
  // gets one.
  failure.message = "";
  EXPECT_EQ(StartupFailureText(failure, "a.exe"),
            "Exception EIdWinsockStubError in module a.exe at 00001A2B.\r\n\r\n");
  failure.message = "Error ";
  EXPECT_EQ(StartupFailureText(failure, "a.exe"),
            "Exception EIdWinsockStubError in module a.exe at 00001A2B.\r\nError .\r\n");
}

TEST(ModuleNameOf, IsWhatFollowsTheLastFolderOrDriveSeparator) {
  EXPECT_EQ(ModuleNameOf("C:\\Program Files\\VXT\\VXTVannikorde.exe"), "VXTVannikorde.exe");
  EXPECT_EQ(ModuleNameOf("Z:/build/windows/VXTVannikorde.exe"), "VXTVannikorde.exe");
  EXPECT_EQ(ModuleNameOf("C:VXTVannikorde.exe"), "VXTVannikorde.exe");
  EXPECT_EQ(ModuleNameOf("a\\b/c.exe"), "c.exe");
  EXPECT_EQ(ModuleNameOf("a/b\\c.exe"), "c.exe");
  EXPECT_EQ(ModuleNameOf("VXTVannikorde.exe"), "VXTVannikorde.exe");
  EXPECT_EQ(ModuleNameOf("C:\\folder\\"), "");
  EXPECT_EQ(ModuleNameOf(""), "");
}

}  // namespace
}  // namespace vxt

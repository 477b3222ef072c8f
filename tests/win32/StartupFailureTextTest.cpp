// The start-up failure box's text and the DPI scaling of the layout, in process.
#include <gtest/gtest.h>

#include "mainunit_win32.h"

namespace vxt::win32 {
namespace {

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

TEST(ScaleToDpi, KeepsTheDesignAt96AndRoundsHalvesAwayFromZero) {
  EXPECT_EQ(ScaleToDpi(349, 96), 349);
  EXPECT_EQ(ScaleToDpi(349, 144), 524);  // 523.5
  EXPECT_EQ(ScaleToDpi(275, 144), 413);  // 412.5
  EXPECT_EQ(ScaleToDpi(-11, 144), -17);  // the font height, 16.5 points
  EXPECT_EQ(ScaleToDpi(4, 120), 5);
}

}  // namespace
}  // namespace vxt::win32

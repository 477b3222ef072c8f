// Socket failure messages: the exact bytes of "Socket Error # %d\r\n%s", the table of Winsock
// texts and the kind chosen by the number.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "failures/Exceptions.h"

namespace vxt {
namespace {

struct Row {
  int32_t code;
  const char* text;
};

// Written out independently of the product's table; every byte counts.
constexpr Row kExpectedRows[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

TEST(SocketErrorTableTest, HoldsExactlyTheThirtyNineTexts) {
  for (const auto& row : kExpectedRows) {
    EXPECT_EQ(SocketErrorText(row.code), row.text) << row.code;
    EXPECT_EQ(SocketErrorMessage(row.code),
              "Socket Error # " + std::to_string(row.code) + "\r\n" + row.text);
  }
  // Nothing else in the Winsock ranges has a text, the lookup numbers after 11001 included.
  int with_text = 0;
  for (int32_t code = 9990; code <= 11100; ++code) {
    if (!SocketErrorText(code).empty()) ++with_text;
  }
  EXPECT_EQ(with_text, 39);
}

TEST(SocketErrorTableTest, OnlyDirectoryNotEmptyLacksTheFullStop) {
  for (const auto& row : kExpectedRows) {
    const std::string text = SocketErrorText(row.code);
    ASSERT_FALSE(text.empty()) << row.code;
    EXPECT_EQ(text.back() == '.', row.code != 10066) << row.code << " " << text;
  }
}

TEST(SocketErrorMessageTest, ExactBytesOfAKnownNumber) {
  EXPECT_EQ(SocketErrorMessage(10061), std::string("Socket Error # 10061\x0D\x0A"
                                                   "Connection refused."));
  EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(SocketErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
}

TEST(SocketErrorMessageTest, NumbersWithoutTextEndWithTheLineBreak) {
  EXPECT_EQ(SocketErrorMessage(11002), "Socket Error # 11002\r\n");
  EXPECT_EQ(SocketErrorMessage(11003), "Socket Error # 11003\r\n");
  EXPECT_EQ(SocketErrorMessage(11004), "Socket Error # 11004\r\n");
  EXPECT_EQ(SocketErrorMessage(995), "Socket Error # 995\r\n");
  EXPECT_EQ(SocketErrorMessage(0), "Socket Error # 0\r\n");
  EXPECT_EQ(SocketErrorMessage(1000000), "Socket Error # 1000000\r\n");
}

TEST(SocketErrorMessageTest, NegativeNumbersKeepTheirSignAndNoGrouping) {
  EXPECT_EQ(SocketErrorMessage(-1), "Socket Error # -1\r\n");
  EXPECT_EQ(SocketErrorMessage(-10061), "Socket Error # -10061\r\n");
  EXPECT_EQ(SocketErrorMessage(std::numeric_limits<int32_t>::min()),
            "Socket Error # -2147483648\r\n");
  EXPECT_EQ(SocketErrorMessage(std::numeric_limits<int32_t>::max()),
            "Socket Error # 2147483647\r\n");
}

TEST(RaiseSocketFailureTest, NotASocketIsItsOwnKindButStillASocketError) {
  try {
    RaiseSocketFailure(10038);
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_NE(dynamic_cast<const EIdNotASocket*>(&failure), nullptr);
    EXPECT_STREQ(failure.ClassName(), "EIdNotASocket");
    EXPECT_EQ(failure.LastError(), 10038);
    EXPECT_EQ(failure.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
}

TEST(RaiseSocketFailureTest, OtherNumbersRaiseThePlainSocketError) {
  for (int32_t code : {10009, 10054, 10061, 11004, 0, -5}) {
    try {
      RaiseSocketFailure(code);
      FAIL() << "nothing raised for " << code;
    } catch (const EIdSocketError& failure) {
      EXPECT_EQ(dynamic_cast<const EIdNotASocket*>(&failure), nullptr) << code;
      EXPECT_STREQ(failure.ClassName(), "EIdSocketError");
      EXPECT_EQ(failure.LastError(), code);
      EXPECT_EQ(failure.Message(), SocketErrorMessage(code));
      EXPECT_STREQ(failure.what(), SocketErrorMessage(code).c_str());
    }
  }
}

}  // namespace
}  // namespace vxt

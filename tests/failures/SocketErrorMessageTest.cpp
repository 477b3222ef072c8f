// Socket failure messages as the log shows them, "Socket Error # %d\r\n%s", and the kind that
// the number chooses.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "failures/Exceptions.h"

namespace vxt {
namespace {

TEST(SocketErrorMessageTest, ExactBytesOfTheMessage) {
  struct Row {
    int32_t code;
    const char* message;
  };
  for (const Row& row : {
           Row{10054, "Socket Error # 10054\x0D\x0A" "Connection reset by peer."},
           Row{10061, "Socket Error # 10061\r\nConnection refused."},
           Row{11001, "Socket Error # 11001\r\nHost not found."},
           Row{10004, "Socket Error # 10004\r\nInterrupted system call."},
           // The one text without a full stop.
           Row{10066, "Socket Error # 10066\r\nDirectory not empty"},
           // Numbers without a text, the lookup's other numbers among them, end with the
           // line break; a number keeps its sign and has no grouping.
           Row{11002, "Socket Error # 11002\r\n"},
           Row{11004, "Socket Error # 11004\r\n"},
           Row{10067, "Socket Error # 10067\r\n"},
           Row{0, "Socket Error # 0\r\n"},
           Row{1000000, "Socket Error # 1000000\r\n"},
           Row{-10061, "Socket Error # -10061\r\n"},
           Row{std::numeric_limits<int32_t>::min(), "Socket Error # -2147483648\r\n"},
           Row{std::numeric_limits<int32_t>::max(), "Socket Error # 2147483647\r\n"},
       }) {
    EXPECT_EQ(SocketErrorMessage(row.code), row.message) << row.code;
  }
}

TEST(RaiseSocketFailureTest, NotASocketIsItsOwnKindOfSocketError) {
  for (int32_t code : {10038, 10009, 10054, 11004, 0, -5}) {
    try {
      RaiseSocketFailure(code);
      FAIL() << "nothing raised for " << code;
    } catch (const EIdSocketError& failure) {
      EXPECT_STREQ(failure.ClassName(), code == 10038 ? "EIdNotASocket" : "EIdSocketError");
      EXPECT_EQ(dynamic_cast<const EIdNotASocket*>(&failure) != nullptr, code == 10038) << code;
      EXPECT_EQ(failure.LastError(), code);
      EXPECT_EQ(failure.Message(), SocketErrorMessage(code));
    }
  }
}

}  // namespace
}  // namespace vxt

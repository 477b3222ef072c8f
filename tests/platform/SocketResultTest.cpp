// The check of a socket call's result: every value passes untouched unless the call failed, and
// a failure raises the socket failure of the number that came back with it.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "failures/Exceptions.h"
#include "platform/SocketResult.h"
#include "support/FakeSocketApi.h"

namespace vxt {
namespace {

TEST(CheckSocketResultTest, PassesEveryValueOfACallThatDidNotFail) {
  for (int64_t value : {int64_t{0}, int64_t{1}, int64_t{-2}, int64_t{4096}, int64_t{0xFFFFFFFF},
                        std::numeric_limits<int64_t>::max()}) {
    EXPECT_EQ(CheckSocketResult(TSocketResult{value, 0}), value);
  }
}

TEST(CheckSocketResultTest, AFailureRaisesWithTheNumberReturnedWithIt) {
  testing::FakeSocketApi fake;
  fake.FailNextSocket(10053);
  try {
    CheckSocketResult(fake.Socket(TIPVersion::Id_IPv4));
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EIdSocketError");
    EXPECT_EQ(failure.LastError(), 10053);
    EXPECT_EQ(failure.Message(), "Socket Error # 10053\r\nSoftware caused connection abort.");
  }
  EXPECT_THROW(CheckSocketResult(TSocketResult::Failure(10038)), EIdNotASocket);
}

}  // namespace
}  // namespace vxt

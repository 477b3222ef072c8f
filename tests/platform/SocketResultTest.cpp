// The check of a socket call's result: every result but -1 passes untouched, and -1 raises the
// socket failure of the calling thread's last error of the active socket layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <thread>

#include "failures/Exceptions.h"
#include "platform/SocketResult.h"
#include "support/FakeSocketApi.h"

namespace vxt {
namespace {

// The recording fake, also counting how often the last error is asked for.
class CountingSocketApi : public testing::FakeSocketApi {
 public:
  int32_t LastError() override {
    ++asked;
    return FakeSocketApi::LastError();
  }
  int asked = 0;
};

TEST(CheckSocketResultTest, PassesEveryResultButMinusOneWithoutAskingForTheError) {
  CountingSocketApi fake;
  fake.FailNextSocket(10054);
  ASSERT_EQ(fake.Socket(TIPVersion::Id_IPv4), kInvalidSocket);
  for (int64_t result : {int64_t{0}, int64_t{1}, int64_t{-2}, int64_t{4096}, int64_t{0xFFFFFFFF},
                         std::numeric_limits<int64_t>::max()}) {
    EXPECT_EQ(CheckSocketResult(result), result);
  }
  EXPECT_EQ(fake.asked, 0);
}

TEST(CheckSocketResultTest, MinusOneRaisesWithTheCallingThreadsLastError) {
  CountingSocketApi fake;
  fake.FailNextSocket(10053);
  try {
    CheckSocketResult(fake.Socket(TIPVersion::Id_IPv4));
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EIdSocketError");
    EXPECT_EQ(failure.LastError(), 10053);
    EXPECT_EQ(failure.Message(), "Socket Error # 10053\r\nSoftware caused connection abort.");
  }
  EXPECT_EQ(fake.asked, 1);

  // Another thread's failure leaves this thread's last error as it was.
  std::thread other([&] {
    fake.FailNextSocket(10038);
    EXPECT_THROW(CheckSocketResult(fake.Socket(TIPVersion::Id_IPv4)), EIdNotASocket);
  });
  other.join();
  try {
    CheckSocketResult(-1);
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& failure) {
    EXPECT_EQ(failure.LastError(), 10053);
  }
}

}  // namespace
}  // namespace vxt

// The DPI scaling of the layout, in process.
#include <gtest/gtest.h>

#include "mainunit_win32.h"

namespace vxt::win32 {
namespace {

TEST(ScaleToDpi, KeepsTheDesignAt96AndRoundsHalvesAwayFromZero) {
  EXPECT_EQ(ScaleToDpi(349, 96), 349);
  EXPECT_EQ(ScaleToDpi(349, 144), 524);  // 523.5
  EXPECT_EQ(ScaleToDpi(275, 144), 413);  // 412.5
  EXPECT_EQ(ScaleToDpi(-11, 144), -17);  // the font height, 16.5 points
  EXPECT_EQ(ScaleToDpi(4, 120), 5);
}

}  // namespace
}  // namespace vxt::win32

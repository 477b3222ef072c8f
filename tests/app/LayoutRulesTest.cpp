// The layout's rules: a design length at another resolution, and a label's width.
#include <gtest/gtest.h>

#include "app/LayoutRules.h"

namespace vxt {
namespace {

struct ScaleCase {
  int value;
  int dpi;
  int scaled;
};

TEST(ScaleToDpi, KeepsTheDesignAt96AndRoundsHalvesAwayFromZero) {
  const ScaleCase cases[] = {
      {349, 96, 349},
      {349, 144, 524},  // 523.5
      {275, 144, 413},  // 412.5
      {-11, 144, -17},  // the font height, 16.5 points
      {4, 120, 5},      // 5.0
      {-11, 120, -14},  // -13.75
      {13, 120, 16},    // 16.25
      {1, 48, 1},       // 0.5
      {-1, 48, -1},     // -0.5
      {1, 47, 0},       // just below a half
      {-1, 47, 0},
      {0, 144, 0},
      {306, 192, 612},
      // The product leaves the range of int; the quotient does not.
      {30000000, 192, 60000000},
  };
  for (const ScaleCase& c : cases) {
    EXPECT_EQ(ScaleToDpi(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi << " dpi";
  }
}

struct LabelCase {
  int designed_width;
  int dpi;
  int text_width;
  int width;
};

TEST(LabelWidth, IsTheScaledDesignUnlessTheTextIsWider) {
  const LabelCase cases[] = {
      {32, 96, 30, 32},                    // the text fits
      {32, 96, 32, 32},                    // exactly
      {32, 96, 35, 35},                    // a wider face: the text's width
      {29, 144, 40, 44},                   // 43.5 rounds up and still holds the text
      {29, 144, 45, 45}, {17, 96, 0, 17},  // not measurable: the design
  };
  for (const LabelCase& c : cases) {
    EXPECT_EQ(LabelWidth(c.designed_width, c.dpi, c.text_width), c.width)
        << c.designed_width << " at " << c.dpi << " dpi, text " << c.text_width;
  }
}

}  // namespace
}  // namespace vxt

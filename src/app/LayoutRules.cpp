#include "app/LayoutRules.h"

#include <algorithm>
#include <cstdint>

namespace vxt {

int ScaleToDpi(int value, int dpi) {
  // In 64 bits: the product of two ints does not fit in one.
  const int64_t product = static_cast<int64_t>(value) * dpi;
  const int64_t half = 96 / 2;
  return static_cast<int>(product >= 0 ? (product + half) / 96 : (product - half) / 96);
}

int LabelWidth(int designed_width, int dpi, int text_width) {
  return std::max(ScaleToDpi(designed_width, dpi), text_width);
}

}  // namespace vxt

// The dotted IPv4 reading of the connection's address test, and the dotted text of an address.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/IPv4Address.h"

namespace vxt {
namespace {

struct DottedCase {
  const char* text;
  bool valid;
  uint8_t bytes[4];
};

const DottedCase kDottedCases[] = {
    {"127.0.0.1", true, {127, 0, 0, 1}},
    {"0.0.0.0", true, {0, 0, 0, 0}},
    {"255.255.255.255", true, {255, 255, 255, 255}},
    {" 127.0.0.1", true, {127, 0, 0, 1}},
    {"127 . 0 .\t0. 1 ", true, {127, 0, 0, 1}},
    {"010.001.0000.00255", true, {10, 1, 0, 255}},  // leading zeros are decimal, not octal
    {"$7F.x0.0x0.0X1", true, {127, 0, 0, 1}},
    {"$ff.XfF.0xA.$0", true, {255, 255, 10, 0}},
    {"+1.-0.+0.2", true, {1, 0, 0, 2}},
    {"1.2.3.4.", true, {1, 2, 3, 4}},  // the fourth "." may end the text
    {"256.0.0.1", false, {}},
    {"1.2.3.-1", false, {}},
    {"$100.0.0.1", false, {}},
    {"1.2.3", false, {}},
    {"1.2.3.4.5", false, {}},
    {"1.2.3.4..", false, {}},
    {"1..3.4", false, {}},
    {"1.2.3. ", false, {}},
    {"", false, {}},
    {"...", false, {}},
    {"a.b.c.d", false, {}},
    {"1.2.3.4a", false, {}},
    {"0x.0.0.1", false, {}},
    {"$.0.0.1", false, {}},
    {"+.0.0.1", false, {}},
    {"1 2.0.0.1", false, {}},
    {"99999999999999999999.0.0.1", false, {}},
    {"localhost", false, {}},
    {"no-such-host.invalid", false, {}},
};

TEST(ParseDottedIPv4Test, ReadsTheFormsOfADottedHost) {
  for (const auto& sample : kDottedCases) {
    const std::optional<TIPv4Address> address = ParseDottedIPv4(sample.text);
    EXPECT_EQ(address.has_value(), sample.valid) << '"' << sample.text << '"';
    if (sample.valid && address) {
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(address->bytes[i], sample.bytes[i]) << sample.text << " " << i;
      }
    }
  }
}

TEST(ParseDottedIPv4Test, ANulInsideTheTextIsNoBlank) {
  EXPECT_FALSE(ParseDottedIPv4(std::string("127.0.0.1\0x", 11)));
  EXPECT_TRUE(ParseDottedIPv4(std::string("127.0.0.1\0", 10)));  // trimmed as a control
}

TEST(FormatDottedIPv4Test, FourDecimalNumbers) {
  EXPECT_EQ(FormatDottedIPv4(TIPv4Address{{127, 0, 0, 1}}), "127.0.0.1");
  EXPECT_EQ(FormatDottedIPv4(TIPv4Address{{255, 10, 0, 200}}), "255.10.0.200");
  EXPECT_EQ(FormatDottedIPv4(TIPv4Address()), "0.0.0.0");
}

}  // namespace
}  // namespace vxt

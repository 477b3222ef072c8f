#include <gtest/gtest.h>

#include "report/ReportExchange.h"

namespace vxt {
namespace {

TEST(RequestDateTest, DayMonthYearWithLeadingZeros) {
  EXPECT_EQ(FormatRequestDate({2026, 12, 1}), "01-12-2026");
  EXPECT_EQ(FormatRequestDate({2026, 12, 31}), "31-12-2026");
  EXPECT_EQ(FormatRequestDate({2027, 2, 9}), "09-02-2027");
  EXPECT_EQ(FormatRequestDate({1601, 1, 1}), "01-01-1601");
  EXPECT_EQ(FormatRequestDate({9999, 12, 31}), "31-12-9999");
  // The year always has four figures.
  EXPECT_EQ(FormatRequestDate({999, 10, 10}), "10-10-0999");
}

TEST(RequestLineTest, EmptyPinLeavesTwoSpacesAtTheEnd) {
  EXPECT_EQ(BuildReportRequestLine("2", {2026, 12, 1}, {2026, 12, 31}, ""),
            "IZVJ 2 01-12-2026 31-12-2026  ");
}

TEST(RequestLineTest, FieldsGoOutAsTypedAndUntrimmed) {
  EXPECT_EQ(BuildReportRequestLine("2", {2026, 12, 1}, {2026, 12, 31}, "7"),
            "IZVJ 2 01-12-2026 31-12-2026 7 ");
  EXPECT_EQ(BuildReportRequestLine(" 12 3 ", {2026, 1, 5}, {2026, 1, 6}, " p "),
            "IZVJ  12 3  05-01-2026 06-01-2026  p  ");
  EXPECT_EQ(BuildReportRequestLine("", {2026, 1, 5}, {2026, 1, 6}, ""),
            "IZVJ  05-01-2026 06-01-2026  ");
  // A period that ends before it starts is sent unchanged.
  EXPECT_EQ(BuildReportRequestLine("9", {2026, 3, 1}, {2025, 3, 1}, "1"),
            "IZVJ 9 01-03-2026 01-03-2025 1 ");
}

TEST(RequestLineTest, BytesAboveAsciiAreNotConverted) {
  const std::string customer = "\xC8\xE6\xD0";
  const std::string pin = std::string("\xFF\x80", 2);
  EXPECT_EQ(BuildReportRequestLine(customer, {2026, 12, 1}, {2026, 12, 31}, pin),
            "IZVJ \xC8\xE6\xD0 01-12-2026 31-12-2026 \xFF\x80 ");
}

}  // namespace
}  // namespace vxt

#include <gtest/gtest.h>

#include "Dates.h"

namespace vxt::demo {
namespace {

TEST(DemoDates, LeapYearsFollowTheGregorianRules) {
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_FALSE(IsLeapYear(2026));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2026, 4), 30);
  EXPECT_EQ(DaysInMonth(2026, 12), 31);
  EXPECT_EQ(DaysInMonth(2026, 13), 0);
  EXPECT_EQ(DaysInMonth(2026, 0), 0);
}

TEST(DemoDates, ParsesOnlyRealDaysInTheExactForm) {
  const std::optional<CalendarDate> december = ParseDate("01-12-2026");
  ASSERT_TRUE(december);
  EXPECT_EQ(*december, (CalendarDate{2026, 12, 1}));
  EXPECT_TRUE(ParseDate("29-02-2024"));
  EXPECT_TRUE(ParseDate("29-02-2000"));
  EXPECT_TRUE(ParseDate("31-12-9999"));
  EXPECT_TRUE(ParseDate("01-01-0001"));
  for (const char* bad :
       {"31-04-2026", "29-02-2026", "29-02-1900", "00-01-2026", "32-01-2026", "01-00-2026",
        "01-13-2026", "01-01-0000", "1-12-2026", "01-12-26", "01/12/2026", "01-12-2026 ",
        " 01-12-2026", "+1-12-2026", "0a-12-2026", "", "2026-12-01"}) {
    EXPECT_FALSE(ParseDate(bad)) << bad;
  }
}

TEST(DemoDates, FormatsWithLeadingZeros) {
  EXPECT_EQ(FormatDate({2026, 12, 1}), "01-12-2026");
  EXPECT_EQ(FormatDate({987, 3, 9}), "09-03-0987");
}

TEST(DemoDates, DayNumbersRoundTripAndGiveTheWeekday) {
  EXPECT_EQ(DayNumber({1, 1, 1}), 0);
  EXPECT_EQ(DayNumber({2024, 3, 1}) - DayNumber({2024, 2, 28}), 2);
  EXPECT_EQ(DayNumber({2026, 3, 1}) - DayNumber({2026, 2, 28}), 1);
  EXPECT_EQ(DayNumber({2001, 1, 1}) - DayNumber({2000, 1, 1}), 366);
  // Every day of four centuries comes back as itself, one after the other.
  CalendarDate expected{1899, 1, 1};
  for (std::int64_t n = DayNumber(expected); n < DayNumber({2300, 1, 1}); ++n) {
    const CalendarDate date = DateFromDayNumber(n);
    ASSERT_EQ(date, expected) << n;
    ASSERT_EQ(DayNumber(date), n);
    // The pickers' weekday (Sakamoto's method, 0 = Sunday) agrees with the day count's.
    ASSERT_EQ(DayOfWeek(TDate{date.year, date.month, date.day}), (Weekday(date) + 1) % 7) << n;
    expected.day++;
    if (expected.day > DaysInMonth(expected.year, expected.month)) {
      expected.day = 1;
      if (++expected.month > 12) {
        expected.month = 1;
        ++expected.year;
      }
    }
  }
  EXPECT_EQ(Weekday({2026, 12, 1}), 1);  // a Tuesday
  EXPECT_EQ(Weekday({2026, 11, 1}), 6);  // a Sunday
  EXPECT_EQ(Weekday({2000, 2, 29}), 1);
}

TEST(DemoDates, MonthsSpannedCountsTouchedCalendarMonths) {
  EXPECT_EQ(MonthsSpanned({2026, 12, 1}, {2026, 12, 31}), 1);
  EXPECT_EQ(MonthsSpanned({2026, 12, 31}, {2026, 12, 31}), 1);
  EXPECT_EQ(MonthsSpanned({2026, 12, 31}, {2027, 1, 1}), 2);
  EXPECT_EQ(MonthsSpanned({2025, 1, 1}, {2026, 12, 31}), 24);
  EXPECT_EQ(MonthsSpanned({2026, 12, 2}, {2026, 12, 1}), 0);
  EXPECT_EQ(MonthsSpanned({2027, 1, 1}, {2026, 12, 31}), 0);
}

}  // namespace
}  // namespace vxt::demo

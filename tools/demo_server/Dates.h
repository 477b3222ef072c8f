// Calendar arithmetic for the demo report server: the request's dd-mm-yyyy dates, day numbers
// for the pseudo-readings and the months that become the report's pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "calendar/Calendar.h"

namespace vxt::demo {

struct CalendarDate {
  int year = 1;
  int month = 1;  // 1..12
  int day = 1;    // 1..DaysInMonth(year, month)

  friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};

bool IsValidDate(int year, int month, int day);

// Exactly two figures, "-", two figures, "-", four figures, naming a real day of the years
// 0001..9999; anything else (other lengths, signs, spaces, 31-04, 29-02 of a common year) is none.
std::optional<CalendarDate> ParseDate(std::string_view text);
// "dd-mm-yyyy".
std::string FormatDate(const CalendarDate& date);

// Days since 0001-01-01 (which is day 0); never negative for a valid date.
std::int64_t DayNumber(const CalendarDate& date);
CalendarDate DateFromDayNumber(std::int64_t day_number);
// 0 = Monday .. 6 = Sunday.
int Weekday(const CalendarDate& date);

// Calendar months the period touches, counting the first and the last day's month: 01-12-2026 to
// 01-01-2027 spans two. 0 when first comes after last.
int MonthsSpanned(const CalendarDate& first, const CalendarDate& last);

}  // namespace vxt::demo

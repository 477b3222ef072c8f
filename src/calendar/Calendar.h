// Calendar dates of the Gregorian calendar: the period's days, the pickers' weekdays and the
// demo server's months. Pure arithmetic, shared by the client and the demo server.
#pragma once

namespace vxt {

struct TDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31

  friend bool operator==(const TDate&, const TDate&) = default;
};

bool IsLeapYear(int year);
// The last day (28..31) of a month; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);
// 0 = Sunday .. 6 = Saturday, as Windows counts them; valid for month 1..12 and years from 1.
int DayOfWeek(const TDate& date);

}  // namespace vxt

#include "calendar/Calendar.h"

namespace vxt {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

int DayOfWeek(const TDate& date) {
  // Sakamoto's method: January and February count as months 13 and 14 of the year before.
  static constexpr int kMonthOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int year = date.month < 3 ? date.year - 1 : date.year;
  const int month_index = date.month >= 1 && date.month <= 12 ? date.month - 1 : 0;
  return (year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month_index] + date.day) % 7;
}

}  // namespace vxt

#include "Dates.h"

namespace vxt::demo {

namespace {

bool ParseDigits(std::string_view text, int& value) {
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && day >= 1 && day <= DaysInMonth(year, month);
}

std::optional<CalendarDate> ParseDate(std::string_view text) {
  if (text.size() != 10 || text[2] != '-' || text[5] != '-') return std::nullopt;
  CalendarDate date;
  if (!ParseDigits(text.substr(0, 2), date.day) || !ParseDigits(text.substr(3, 2), date.month) ||
      !ParseDigits(text.substr(6, 4), date.year)) {
    return std::nullopt;
  }
  if (!IsValidDate(date.year, date.month, date.day)) return std::nullopt;
  return date;
}

std::string FormatDate(const CalendarDate& date) {
  char text[16];
  const int day = date.day % 100;
  const int month = date.month % 100;
  const int year = date.year % 10000;
  text[0] = static_cast<char>('0' + day / 10);
  text[1] = static_cast<char>('0' + day % 10);
  text[2] = '-';
  text[3] = static_cast<char>('0' + month / 10);
  text[4] = static_cast<char>('0' + month % 10);
  text[5] = '-';
  text[6] = static_cast<char>('0' + year / 1000);
  text[7] = static_cast<char>('0' + year / 100 % 10);
  text[8] = static_cast<char>('0' + year / 10 % 10);
  text[9] = static_cast<char>('0' + year % 10);
  return std::string(text, 10);
}

// The proleptic Gregorian day count, in eras of 400 years (146097 days) so that leap rules fall
// out of the era arithmetic; shifted so the year starts in March and 29 February is last.
std::int64_t DayNumber(const CalendarDate& date) {
  const std::int64_t y = date.year - (date.month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t month_from_march = (date.month + 9) % 12;
  const std::int64_t day_of_year = (153 * month_from_march + 2) / 5 + date.day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const std::int64_t since_0000_03_01 = era * 146097 + day_of_era;
  // 0001-01-01 is 306 days after 0000-03-01.
  return since_0000_03_01 - 306;
}

CalendarDate DateFromDayNumber(std::int64_t day_number) {
  const std::int64_t z = day_number + 306;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
  CalendarDate date;
  date.day = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  date.month =
      static_cast<int>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  date.year = static_cast<int>(year_of_era + era * 400 + (date.month <= 2 ? 1 : 0));
  return date;
}

int Weekday(const CalendarDate& date) {
  // 0001-01-01 was a Monday in the proleptic Gregorian calendar.
  const std::int64_t n = DayNumber(date) % 7;
  return static_cast<int>(n < 0 ? n + 7 : n);
}

int MonthsSpanned(const CalendarDate& first, const CalendarDate& last) {
  if (DayNumber(first) > DayNumber(last)) return 0;
  return (last.year - first.year) * 12 + (last.month - first.month) + 1;
}

}  // namespace vxt::demo

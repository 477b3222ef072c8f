#include "ReportPdf.h"

#include <algorithm>

#include "PdfWriter.h"
#include "Readings.h"

namespace vxt::demo {

namespace {

constexpr const char* kMonthNames[12] = {"januar",    "februar", "mart",     "april",
                                         "maj",       "jun",     "jul",      "avgust",
                                         "septembar", "oktobar", "novembar", "decembar"};
constexpr const char* kWeekdayNames[7] = {"Pon", "Uto", "Sri", "Cet", "Pet", "Sub", "Ned"};

constexpr double kLeft = 50;
constexpr double kRight = kPageWidth - 50;
constexpr double kRowHeight = 17;

struct MonthSlice {
  CalendarDate from;
  CalendarDate to;
};

std::string MeterText(const Account& account, const MeterScale& scale) {
  return account.meter_id + " (" + (account.meter == MeterKind::kWater ? "voda" : "struja") + ", " +
         std::string(scale.unit) + ")";
}

// Draws one month and returns what the month used.
std::int64_t DrawMonth(PageContent& page, const Account& account, const MonthSlice& slice,
                       const CalendarDate& first, const CalendarDate& last, int page_number,
                       int page_count) {
  const MeterScale scale = ScaleOf(account.meter);
  page.Text(kLeft, 796, kProductName, 18, true);
  page.Text(kLeft, 778, "Izvjestaj o potrosnji - dnevna ocitanja brojila", 11);
  page.Line(kLeft, 768, kRight, 768, 1);

  struct Field {
    const char* label;
    std::string value;
  };
  const Field fields[] = {
      {"Kupac:", account.customer + " - " + account.name},
      {"Adresa:", account.address},
      {"Brojilo:", MeterText(account, scale)},
      {"Period:", FormatDate(first) + " do " + FormatDate(last)},
      {"Mjesec:",
       std::string(kMonthNames[slice.from.month - 1]) + " " + std::to_string(slice.from.year)},
  };
  double y = 748;
  for (const Field& field : fields) {
    page.Text(kLeft, y, field.label, 10, true);
    page.Text(kLeft + 70, y, field.value, 10);
    y -= 14;
  }
  page.TextRight(kRight, 748,
                 "Strana " + std::to_string(page_number) + " od " + std::to_string(page_count), 10);

  const double header_y = 664;
  const std::string unit = std::string(scale.unit);
  page.FillRect(kLeft, header_y - 5, kRight - kLeft, 18, 0.85);
  page.Text(kLeft + 6, header_y, "Datum", 10, true);
  page.Text(kLeft + 90, header_y, "Dan", 10, true);
  page.TextRight(kLeft + 330, header_y, "Stanje brojila (" + unit + ")", 10, true);
  page.TextRight(kRight - 6, header_y, "Potrosnja (" + unit + ")", 10, true);

  std::int64_t month_units = 0;
  y = header_y - kRowHeight - 2;
  const std::int64_t end = DayNumber(slice.to);
  for (std::int64_t n = DayNumber(slice.from); n <= end; ++n) {
    const DailyReading reading = ReadingFor(account.customer, account.meter, DateFromDayNumber(n));
    month_units += reading.used_units;
    page.Text(kLeft + 6, y, FormatDate(reading.day), 10);
    page.Text(kLeft + 90, y, kWeekdayNames[Weekday(reading.day)], 10);
    page.TextRight(kLeft + 330, y, FormatUnits(reading.register_units, scale), 10);
    page.TextRight(kRight - 6, y, FormatUnits(reading.used_units, scale), 10);
    page.Line(kLeft, y - 5, kRight, y - 5, 0.3, 0.7);
    y -= kRowHeight;
  }

  y -= 8;
  page.Text(kLeft + 6, y, "Ukupno u mjesecu:", 10, true);
  page.TextRight(kRight - 6, y, FormatUnits(month_units, scale) + " " + unit, 10, true);

  page.Line(kLeft, 70, kRight, 70, 0.5);
  page.Text(kLeft, 56,
            "Demonstracijski podaci: ocitanja su izracunata iz broja kupca i datuma, nisu "
            "izmjerena.",
            8);
  page.Text(kLeft, 45, std::string(kProductName) + " - demo server izvjestaja", 8);
  return month_units;
}

}  // namespace

std::string BuildReportPdf(const Account& account, const CalendarDate& first,
                           const CalendarDate& last) {
  const int page_count = std::max(1, MonthsSpanned(first, last));
  PdfDocument document;
  std::int64_t total_units = 0;
  CalendarDate month_start{first.year, first.month, 1};
  for (int page_number = 1; page_number <= page_count; ++page_number) {
    MonthSlice slice;
    slice.from = page_number == 1 ? first : month_start;
    slice.to = page_number == page_count
                   ? last
                   : CalendarDate{month_start.year, month_start.month,
                                  DaysInMonth(month_start.year, month_start.month)};
    if (page_number == page_count && DayNumber(slice.to) < DayNumber(slice.from)) {
      slice.to = slice.from;  // a reversed period still gets its one page
    }
    PageContent page;
    total_units += DrawMonth(page, account, slice, first, last, page_number, page_count);
    if (page_number == page_count) {
      const MeterScale scale = ScaleOf(account.meter);
      page.Text(kLeft + 6, 92, "Ukupno za period:", 11, true);
      page.TextRight(kRight - 6, 92,
                     FormatUnits(total_units, scale) + " " + std::string(scale.unit), 11, true);
    }
    document.AddPage(page);
    month_start = month_start.month == 12
                      ? CalendarDate{month_start.year + 1, 1, 1}
                      : CalendarDate{month_start.year, month_start.month + 1, 1};
  }
  const std::string title = std::string(kProductName) + " - kupac " + account.customer + ", " +
                            FormatDate(first) + " do " + FormatDate(last);
  return document.Finish(title, std::string(kProductName) + " demo server");
}

}  // namespace vxt::demo

// The report itself: one A4 page per calendar month of the period with a day-by-day table of
// the customer's meter readings.
#pragma once

#include <string>

#include "Accounts.h"
#include "Dates.h"

namespace vxt::demo {

inline constexpr const char* kProductName = "BRAXO Tarnwell podaci";

// Expects first <= last; the page count is MonthsSpanned(first, last). The result is always
// longer than 1024 bytes, so that the client takes it for a document and not for a message.
std::string BuildReportPdf(const Account& account, const CalendarDate& first,
                           const CalendarDate& last);

}  // namespace vxt::demo

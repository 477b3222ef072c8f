// The report request line. Its dates do not depend on any regional setting.
#pragma once

#include <string>

#include "calendar/Calendar.h"

namespace vxt {

// "dd-mm-yyyy".
std::string FormatRequestDate(const TDate& date);
// "IZVJ " customer " " first " " last " " pin " " (SendLine appends CR LF). The fields go out
// as typed: nothing is trimmed or checked.
std::string BuildReportRequestLine(const std::string& customer, const TDate& first,
                                   const TDate& last, const std::string& pin);

}  // namespace vxt

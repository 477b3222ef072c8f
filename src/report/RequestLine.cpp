#include "report/RequestLine.h"

#include <cstdio>

namespace vxt {

namespace {

std::string TwoFigures(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string FourFigures(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", value);
  return buffer;
}

}  // namespace

std::string FormatRequestDate(const TDate& date) {
  return TwoFigures(date.day) + "-" + TwoFigures(date.month) + "-" + FourFigures(date.year);
}

std::string BuildReportRequestLine(const std::string& customer, const TDate& first,
                                   const TDate& last, const std::string& pin) {
  return "IZVJ " + customer + " " + FormatRequestDate(first) + " " + FormatRequestDate(last) + " " +
         pin + " ";
}

}  // namespace vxt

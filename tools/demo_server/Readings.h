// Deterministic pseudo meter readings: the same customer and day always give the same value,
// readings never fall (apart from the register rolling over), and every day uses something.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Accounts.h"
#include "Dates.h"

namespace vxt::demo {

// Meter units: litres for water, tenths of a kWh for power.
struct MeterScale {
  std::int64_t units_per_display = 1;  // 1000 litres per m3, 10 tenths per kWh
  int decimals = 0;
  std::int64_t register_modulus = 1;  // the register rolls over at this many units
  std::string_view unit;              // "m3", "kWh"
};

MeterScale ScaleOf(MeterKind meter);

// Units counted since the meter's start, at the end of the given day (not rolled over).
std::int64_t CumulativeUnits(std::string_view customer, MeterKind meter, const CalendarDate& day);

// The register's value at the end of the day (rolled over), and what the day used.
struct DailyReading {
  CalendarDate day;
  std::int64_t register_units = 0;
  std::int64_t used_units = 0;
};
DailyReading ReadingFor(std::string_view customer, MeterKind meter, const CalendarDate& day);

// Units as a decimal with the scale's figures after the point, e.g. 12345 litres "12.345".
std::string FormatUnits(std::int64_t units, const MeterScale& scale);

}  // namespace vxt::demo

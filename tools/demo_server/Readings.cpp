#include "Readings.h"

namespace vxt::demo {

namespace {

// FNV-1a over the customer, then a 64-bit finaliser over the day: cheap, stable across
// platforms and compilers, and well mixed for neighbouring days.
std::uint64_t Mix(std::string_view customer, std::int64_t day_number) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : customer) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  h ^= static_cast<std::uint64_t>(day_number) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB3F95CE0E26Bull;
  h ^= h >> 33;
  return h;
}

// Average daily use in meter units; the daily value lies strictly between 0 and twice this.
std::int64_t AverageDailyUnits(MeterKind meter) {
  return meter == MeterKind::kWater ? 420 : 95;
}

}  // namespace

MeterScale ScaleOf(MeterKind meter) {
  if (meter == MeterKind::kWater) return MeterScale{1000, 3, 100000000, "m3"};
  return MeterScale{10, 1, 10000000, "kWh"};
}

// units(n) = base + average * n + jitter(n) with 0 <= jitter < average: the difference between
// two neighbouring days is average + jitter(n) - jitter(n - 1), which lies in (0, 2 * average),
// so the readings rise every day without summing over all earlier days.
std::int64_t CumulativeUnits(std::string_view customer, MeterKind meter, const CalendarDate& day) {
  const std::int64_t average = AverageDailyUnits(meter);
  const std::int64_t n = DayNumber(day);
  const std::int64_t base = static_cast<std::int64_t>(Mix(customer, -1) % 50000000);
  const std::int64_t jitter =
      static_cast<std::int64_t>(Mix(customer, n) % static_cast<std::uint64_t>(average));
  return base + average * n + jitter;
}

DailyReading ReadingFor(std::string_view customer, MeterKind meter, const CalendarDate& day) {
  const std::int64_t today = CumulativeUnits(customer, meter, day);
  const std::int64_t n = DayNumber(day);
  const std::int64_t yesterday = n > 0 ? CumulativeUnits(customer, meter, DateFromDayNumber(n - 1))
                                       : today - AverageDailyUnits(meter);
  DailyReading reading;
  reading.day = day;
  reading.register_units = today % ScaleOf(meter).register_modulus;
  reading.used_units = today - yesterday;
  return reading;
}

std::string FormatUnits(std::int64_t units, const MeterScale& scale) {
  const bool negative = units < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  const std::uint64_t per = static_cast<std::uint64_t>(scale.units_per_display);
  std::string text = std::to_string(magnitude / per);
  if (scale.decimals > 0) {
    std::string fraction = std::to_string(magnitude % per);
    fraction.insert(0, static_cast<std::size_t>(scale.decimals) - fraction.size(), '0');
    text += '.';
    text += fraction;
  }
  return negative ? "-" + text : text;
}

}  // namespace vxt::demo

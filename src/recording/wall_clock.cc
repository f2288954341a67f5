#include "recording/wall_clock.h"

#include <cstdio>
#include <string>

namespace kstrn::recording {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;
constexpr int64_t kSecondsPerDay = 86400;

bool Leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int64_t DaysIn(int64_t year, int64_t month) {
  static const int64_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && Leap(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

}  // namespace

std::optional<WallClock> ClockOf(int64_t year, int64_t month, int64_t day, int64_t hour,
                                 int64_t minute, int64_t second, int64_t ms) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysIn(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || ms < 0 || ms > 1'000'000)
    return std::nullopt;
  const int64_t seconds =
      DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  return WallClock{seconds * kNsPerSecond + ms * 1'000'000};
}

std::string WallClock::Iso() const {
  int64_t days = ns / (kSecondsPerDay * kNsPerSecond);
  int64_t rest = ns % (kSecondsPerDay * kNsPerSecond);
  if (rest < 0) {
    rest += kSecondsPerDay * kNsPerSecond;
    --days;
  }
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  const int64_t second = rest / kNsPerSecond;
  const int64_t fraction = rest % kNsPerSecond;
  char text[48];
  int n = std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                        static_cast<long long>(y), static_cast<long long>(m),
                        static_cast<long long>(d), static_cast<long long>(second / 3600),
                        static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60));
  if (fraction != 0) {
    char digits[16];
    std::snprintf(digits, sizeof digits, ".%09lld", static_cast<long long>(fraction));
    std::string f(digits);
    // Milliseconds at least, trailing zeros beyond them dropped.
    while (f.size() > 4 && f.back() == '0') f.pop_back();
    return std::string(text, static_cast<std::size_t>(n)) + f;
  }
  return std::string(text, static_cast<std::size_t>(n));
}

}  // namespace kstrn::recording

// The logger's wall clock as nanoseconds since 1970-01-01 of that clock (no
// time zone: the file has none).
#pragma once

#include <cstdint>
#include <optional>

#include "recording/recording.h"

namespace kstrn::recording {

// The time of a calendar date and time of day plus ms milliseconds; nothing
// when the date is not a real one (month 1..12, day within its month, hour
// below 24, minute and second below 60, year 1..9999).
std::optional<WallClock> ClockOf(int64_t year, int64_t month, int64_t day, int64_t hour,
                                 int64_t minute, int64_t second, int64_t ms);

}  // namespace kstrn::recording

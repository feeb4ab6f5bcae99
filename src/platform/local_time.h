// The local calendar time of a moment, with the zone's offset from UTC, as the system's time-zone
// settings give it.
//
// Threads: any; nothing is shared between calls.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace kvx {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int utc_offset_seconds = 0;  // east of UTC positive
};

LocalTime LocalTimeOf(std::time_t moment);
LocalTime LocalTimeNow();

// ISO 8601 with milliseconds and the zone's offset: "2026-12-10T15:04:05.123+01:00".
std::string Iso8601(std::chrono::system_clock::time_point moment);

}  // namespace kvx

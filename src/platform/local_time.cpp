#include "platform/local_time.h"

#include <cstdio>
#include <cstdlib>

namespace kvx {

LocalTime LocalTimeNow() {
  return LocalTimeOf(std::time(nullptr));
}

std::string Iso8601(std::chrono::system_clock::time_point moment) {
  const auto since_epoch = moment.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds).count();
  const LocalTime t = LocalTimeOf(static_cast<std::time_t>(seconds.count()));
  const int offset_minutes = std::abs(t.utc_offset_seconds) / 60;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, static_cast<int>(millis),
                t.utc_offset_seconds < 0 ? '-' : '+', offset_minutes / 60, offset_minutes % 60);
  return text;
}

}  // namespace kvx

#include "platform/local_time.h"

namespace kvx {

LocalTime LocalTimeOf(std::time_t moment) {
  std::tm local{};
  localtime_s(&local, &moment);
  // The CRT's tm carries no zone offset: read the local fields as if they were UTC, and the
  // difference from the moment itself is the offset in force then (daylight saving included).
  std::tm local_read_as_utc = local;
  const std::time_t shifted = _mkgmtime(&local_read_as_utc);
  return LocalTime{local.tm_year + 1900,
                   local.tm_mon + 1,
                   local.tm_mday,
                   local.tm_hour,
                   local.tm_min,
                   local.tm_sec,
                   static_cast<int>(shifted - moment)};
}

}  // namespace kvx

#include "platform/local_time.h"

namespace kvx {

LocalTime LocalTimeOf(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  return LocalTime{local.tm_year + 1900,
                   local.tm_mon + 1,
                   local.tm_mday,
                   local.tm_hour,
                   local.tm_min,
                   local.tm_sec,
                   static_cast<int>(local.tm_gmtoff)};
}

}  // namespace kvx

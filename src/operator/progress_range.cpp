#include "operator/progress_range.h"

#include <algorithm>
#include <limits>

#include "platform/user_messages.h"

namespace kvx::ui {

ProgressRange RangeForAnnouncement(WPARAM count, LPARAM part) {
  if (part == CHECK_COM_PORT_PART) {
    const auto upper = static_cast<std::uint16_t>(6 * count - 1);
    return {0, upper, false, true};
  }
  const WPARAM limit = static_cast<WPARAM>(std::numeric_limits<int>::max());
  return {0, static_cast<int>(std::min(count, limit)), true, false};
}

int ClampedPosition(const ProgressRange& range, LPARAM position) {
  return static_cast<int>(std::clamp<LPARAM>(position, range.minimum, range.maximum));
}

}  // namespace kvx::ui

// The progress bar's range for an engine announcement (WM_USER_PROG_SETUP), and positions within
// it. Plain functions.
#pragma once

#include <cstdint>

#include "platform/message.h"

namespace kvx::ui {

struct ProgressRange {
  int minimum = 0;
  int maximum = 0;
  bool upgrade = false;  // the announcement marks an upgrade as running (busy)
  // A range a 16-bit progress message carries (the port search's); otherwise a 32-bit one.
  bool sixteen_bits = false;
};

// CHECK_COM_PORT_PART: 0 to 6n - 1 taken as an unsigned 16-bit number (n = 0 gives 65535).
// UPGRADE_PART, and any other part: 0 to n, a full 32-bit range; marks an upgrade as running.
ProgressRange RangeForAnnouncement(WPARAM count, LPARAM part);

// A position as the bar shows it: held within the range.
int ClampedPosition(const ProgressRange& range, LPARAM position);

}  // namespace kvx::ui

// What kvx-sim reports when a transfer ends, and its text form on standard output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/sim_options.h"

namespace kvx::sim {

// One slot of the finish frame: a version text (trailing NULs removed) and its date.
struct FinishSlotInfo {
  std::string version;
  DateTime date;
};

struct TransferSummary {
  bool complete = false;        // the finish frame was accepted
  int frames = 0;               // frames received: accepted, refused and dropped
  int resends = 0;              // frames identical to the frame received just before
  int refused = 0;              // frames that failed a check
  std::size_t stray_bytes = 0;  // bytes outside any frame
  int mode = -1;                // the mode of the last setup frame taken; -1 before one
  int segments = 0;             // segments announced by that setup frame
  std::uint64_t bytes = 0;      // image data received in order from the start
  std::uint32_t crc32 = 0;      // CRC-32 of those bytes
  std::optional<std::array<FinishSlotInfo, 2>> finish;

  // Completed with nothing for the terminal to complain about.
  bool clean() const { return complete && refused == 0 && stray_bytes == 0; }
};

// The summary line:
//   summary result=complete|aborted frames=N resends=N refused=N stray=N mode=N|none
//     segments=N bytes=N crc32=0xXXXXXXXX
// followed, when the finish frame was taken, by
//   finish first="TEXT" first_date=YYYY-MM-DDTHH:MM:SS second="TEXT" second_date=...
// Each is one line without its line end; texts are quoted as in the log.
std::string FormatSummaryLine(const TransferSummary& summary);
std::string FormatFinishLine(const std::array<FinishSlotInfo, 2>& slots);

}  // namespace kvx::sim

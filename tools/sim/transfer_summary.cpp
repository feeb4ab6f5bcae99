#include "sim/transfer_summary.h"

#include <cstdio>

#include "sim/log_format.h"

namespace kvx::sim {

std::string FormatSummaryLine(const TransferSummary& s) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "0x%08X", static_cast<unsigned>(s.crc32));
  return std::string("summary result=") + (s.complete ? "complete" : "aborted") +
         " frames=" + std::to_string(s.frames) + " resends=" + std::to_string(s.resends) +
         " refused=" + std::to_string(s.refused) + " stray=" + std::to_string(s.stray_bytes) +
         " mode=" + (s.mode < 0 ? std::string("none") : std::to_string(s.mode)) +
         " segments=" + std::to_string(s.segments) + " bytes=" + std::to_string(s.bytes) +
         " crc32=" + crc;
}

std::string FormatFinishLine(const std::array<FinishSlotInfo, 2>& slots) {
  return "finish first=" + QuoteBytes(slots[0].version) +
         " first_date=" + FormatDateTime(slots[0].date) +
         " second=" + QuoteBytes(slots[1].version) +
         " second_date=" + FormatDateTime(slots[1].date);
}

}  // namespace kvx::sim

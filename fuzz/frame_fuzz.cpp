// Received records as they come off the line: the record check and the setup-response body.
#include <cstdint>
#include <span>

#include "fuzz/fuzz_support.h"
#include "protocol/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> record(data, size);
  kvx::fuzz::DiscardingLog log;
  const kvx::RecordCheck check = kvx::CheckReceivedRecord(record, log);
  kvx::FormatFrameTrace(check.head);

  // The body check runs on every input, not only on records that passed: it must refuse a short
  // or lying record on its own.
  kvx::SetupResponse response;
  const kvx::RecordStatus status = kvx::CheckSetupResponseBody(record, response);
  kvx::fuzz::Require(status == kvx::RC_OK || status == kvx::RC_HEADER_CRC_ERROR,
                     "body check answers OK or a CRC error");
  return 0;
}

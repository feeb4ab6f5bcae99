// The receive ring fed in random chunks, with line and frame takes into buffers of random sizes
// in between. Every take must stay inside its buffer and hand out what its contract promises.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "serial/rx_ring.h"

namespace {

using kvx::RxRing;
using kvx::fuzz::Require;

constexpr std::size_t kRecordHead = 14;  // what the ring reads of a record's head
constexpr std::size_t kRecordExtra = 5;  // bytes after the body length is known: 19 + n in all

void CheckLine(const std::vector<char>& buffer, int placed) {
  Require(placed == -1 || placed >= 0, "line take returns -1 or a count");
  if (placed <= 0) return;
  const auto count = static_cast<std::size_t>(placed);
  Require(count < buffer.size(), "line and its NUL fit the buffer");
  Require(buffer[count] == '\0', "line is NUL-terminated");
  Require(buffer[count - 1] == '\n', "line ends with LF");
  std::size_t body = count - 1;
  if (body > 0 && buffer[body - 1] == '\r') --body;
  for (std::size_t i = 0; i < body; ++i) {
    Require(buffer[i] != '\r' && buffer[i] != '\n' && buffer[i] != '\0',
            "no CR, LF or NUL inside a line");
  }
}

// A record need not start SYN STX: without a start pattern the ring hands out the bytes at its
// read position all the same and leaves refusing them to the record check.
void CheckFrame(const std::vector<std::uint8_t>& buffer, int placed) {
  Require(placed >= -1, "frame take returns -1, 0 or a length");
  if (placed <= 0) return;
  const auto count = static_cast<std::size_t>(placed);
  Require(count <= buffer.size(), "frame fits the buffer");
  Require(count >= kRecordHead + kRecordExtra, "frame holds at least its head");
  const std::uint32_t body = buffer[6] | (buffer[7] << 8) | (buffer[8] << 16) |
                             (static_cast<std::uint32_t>(buffer[9]) << 24);
  Require(count == kRecordHead + kRecordExtra + body, "frame length is 19 + n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  RxRing ring;
  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange<int>(0, 9)) {
      case 0:
      case 1:
      case 2:
      case 3: {  // a chunk as the reader thread would append it
        const auto chunk = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 64));
        const int before = ring.unread();
        const std::size_t kept = ring.Append(chunk);
        Require(kept <= chunk.size(), "append keeps at most what it was given");
        Require(ring.unread() == before + static_cast<int>(kept), "append counts what it kept");
        break;
      }
      case 4: {  // a large repeated block, so the full ring and the overflow discard are reached;
                 // rare, since every take then scans the whole ring
        const std::vector<std::uint8_t> block(input.ConsumeIntegralInRange(0, RxRing::kSize),
                                              input.ConsumeIntegral<std::uint8_t>());
        ring.Append(block);
        break;
      }
      case 5:
      case 6: {
        std::vector<char> buffer(input.ConsumeIntegralInRange<std::size_t>(0, 300));
        CheckLine(buffer, ring.GetLine(buffer));
        break;
      }
      case 7:
      case 8: {
        std::vector<std::uint8_t> buffer(input.ConsumeIntegralInRange<std::size_t>(0, 400));
        CheckFrame(buffer, ring.GetFrame(buffer));
        break;
      }
      default:
        if (input.ConsumeBool()) ring.Reset();
        break;
    }
    Require(ring.unread() >= 0 && ring.unread() <= RxRing::kSize, "unread stays within the ring");
  }
  return 0;
}

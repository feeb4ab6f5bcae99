#include "sim/line_timing.h"

#include <gtest/gtest.h>

namespace kvx::sim {
namespace {

using std::chrono::nanoseconds;

TEST(LineTimingTest, BytesTakeTenBitTimesEach) {
  struct Case {
    const char* why;
    std::size_t bytes;
    int baud;
    nanoseconds expected;
  };
  const Case cases[] = {
      {"one byte at 115200", 1, 115200, nanoseconds(86805)},
      {"a 64 KiB segment at 460800 takes over a second", 65536, 460800, nanoseconds(1422222222)},
      {"the largest image at 115200 does not overflow", 0x3600000, 115200,
       nanoseconds(4915200000000LL)},
      {"an unknown rate costs no time", 1000, 0, nanoseconds(0)},
  };
  for (const auto& c : cases) EXPECT_EQ(LineTime(c.bytes, c.baud), c.expected) << c.why;
}

TEST(LineTimingTest, PacedWritesCarryAboutTenMillisecondsOfData) {
  EXPECT_EQ(PacedChunk(460800), 460u);
  EXPECT_EQ(PacedChunk(115200), 115u);
  EXPECT_EQ(PacedChunk(300), 1u) << "never nothing";
}

}  // namespace
}  // namespace kvx::sim

#include "sim/line_timing.h"

#include <cstdint>

namespace kvx::sim {

std::chrono::nanoseconds LineTime(std::size_t bytes, int baud) {
  if (baud <= 0) return std::chrono::nanoseconds(0);
  // bytes * 10 / baud seconds, split so that nothing overflows.
  constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes) * 10;
  const auto rate = static_cast<std::uint64_t>(baud);
  const std::uint64_t nanos = bits / rate * kNanosPerSecond + bits % rate * kNanosPerSecond / rate;
  return std::chrono::nanoseconds(static_cast<std::int64_t>(nanos));
}

std::size_t PacedChunk(int baud) {
  if (baud <= 0) return 4096;
  const auto per_10ms = static_cast<std::size_t>(baud) / 1000;  // baud / 10 bits / 100
  return per_10ms > 0 ? per_10ms : 1;
}

}  // namespace kvx::sim

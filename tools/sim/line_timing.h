// Time on the serial line: how long bytes take at a baud rate, for --line-rate.
//
// Pure functions; safe to call from any thread.
#pragma once

#include <chrono>
#include <cstddef>

namespace kvx::sim {

// The time `bytes` take on a line of `baud` with ten bits a byte (start, eight data, stop);
// zero when the rate is unknown (0).
std::chrono::nanoseconds LineTime(std::size_t bytes, int baud);

// How many bytes may go out in one write so that pacing stays smooth: about 10 ms worth, at
// least one.
std::size_t PacedChunk(int baud);

}  // namespace kvx::sim

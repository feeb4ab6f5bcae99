// The faults kvx-sim injects into its answers to download frames, each firing on the first N
// frames it matches (or on all of them) over the terminal's life: each terminal of a series has
// a plan of its own.
//
// Not thread-safe; owned by the Terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_options.h"

namespace kvx::sim {

struct AppliedFaults {
  std::optional<FrameFault> answer;  // the one fault that shapes the answer, if any
  std::size_t noise = 0;             // noise bytes to send before the answer
};

class FaultPlan {
 public:
  explicit FaultPlan(std::vector<FrameFault> faults);

  // The faults for a frame with command `cmd` and segment `seg` that passed every check. The
  // first matching answer fault and the first matching noise fault, in the order given, each
  // use up one occasion.
  AppliedFaults ForFrame(std::uint8_t cmd, std::uint16_t seg);

 private:
  struct Entry {
    FrameFault fault;
    Countdown left;
  };
  std::vector<Entry> entries_;
};

}  // namespace kvx::sim

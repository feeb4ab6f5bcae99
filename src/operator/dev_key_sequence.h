// The hidden development-mode switch: four accelerator keys pressed in order, each within
// 500 ms of the one before (the window's timer 1).
//
// Keeps only its progress; the window acts when Press reports a completed sequence. Time comes
// from the injected clock, so tests run it on a ManualClock. GUI thread only.
#pragma once

#include <array>

#include "platform/clock.h"

namespace kvx::ui {

class DevKeySequence {
 public:
  static constexpr int kSteps = 4;
  static constexpr Clock::Duration kStepWindow = Milliseconds(500);

  explicit DevKeySequence(Clock& clock) : clock_(clock) {}

  // Key `step` (0 to 3) of the sequence was pressed. True when it completed the sequence, which
  // starts over afterwards. A key out of order changes nothing.
  bool Press(int step);

  // How many keys of the sequence have been taken and are still in time.
  int progress() const;

 private:
  void ExpireIfLate();

  Clock& clock_;
  std::array<bool, kSteps - 1> done_{};
  Clock::TimePoint deadline_{};
};

}  // namespace kvx::ui

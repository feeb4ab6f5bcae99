#include "operator/dev_key_sequence.h"

namespace kvx::ui {

void DevKeySequence::ExpireIfLate() {
  // Timer 1 would have fired by now: every step taken so far is forgotten.
  if (done_[0] && clock_.Now() > deadline_) done_ = {};
}

bool DevKeySequence::Press(int step) {
  ExpireIfLate();
  if (step < 0 || step >= kSteps) return false;
  for (int earlier = 0; earlier < step; ++earlier) {
    if (!done_[static_cast<std::size_t>(earlier)]) return false;
  }
  if (step == kSteps - 1) {
    done_ = {};
    return true;
  }
  done_[static_cast<std::size_t>(step)] = true;
  deadline_ = clock_.Now() + kStepWindow;
  return false;
}

int DevKeySequence::progress() const {
  if (done_[0] && clock_.Now() > deadline_) return 0;
  int taken = 0;
  while (taken < kSteps - 1 && done_[static_cast<std::size_t>(taken)]) ++taken;
  return taken;
}

}  // namespace kvx::ui

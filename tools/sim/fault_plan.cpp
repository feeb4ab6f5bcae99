#include "sim/fault_plan.h"

namespace kvx::sim {
namespace {

bool Matches(const FrameTarget& target, std::uint8_t cmd, std::uint16_t seg) {
  if (target.cmd != 0 && target.cmd != cmd) return false;
  return target.segment < 0 || (cmd == 'W' && target.segment == seg);
}

}  // namespace

FaultPlan::FaultPlan(std::vector<FrameFault> faults) {
  entries_.reserve(faults.size());
  for (const FrameFault& fault : faults) entries_.push_back({fault, Countdown(fault.times)});
}

AppliedFaults FaultPlan::ForFrame(std::uint8_t cmd, std::uint16_t seg) {
  AppliedFaults applied;
  bool noise_chosen = false;
  for (Entry& entry : entries_) {
    if (!Matches(entry.fault.target, cmd, seg)) continue;
    const bool is_noise = entry.fault.kind == FaultKind::kNoise;
    if (is_noise ? noise_chosen : applied.answer.has_value()) continue;
    if (!entry.left.Take()) continue;
    if (is_noise) {
      applied.noise = static_cast<std::size_t>(entry.fault.value);
      noise_chosen = true;
    } else {
      applied.answer = entry.fault;
    }
  }
  return applied;
}

}  // namespace kvx::sim

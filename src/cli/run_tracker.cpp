#include "cli/run_tracker.h"

#include "cli/exit_codes.h"

namespace kvx {

void RunTracker::Started() {
  started_ = true;
}

RunTracker::Step RunTracker::ButtonsEnabled() {
  return Suspect();
}

RunTracker::Step RunTracker::PortProblem() {
  port_problem_ = true;
  return Suspect();
}

RunTracker::Step RunTracker::DeviceCountReported() {
  return Suspect();
}

RunTracker::Step RunTracker::Completed() {
  if (finished_ || !started_) return {};
  return Finish(kExitCompleted);
}

RunTracker::Step RunTracker::SyncAnswered(bool run_in_progress) {
  if (syncs_pending_ > 0) --syncs_pending_;
  if (finished_ || syncs_pending_ > 0) return {};
  // After an abort no run can be in progress any more; do not wait on a wrong answer.
  if (interrupted_by_ != 0) return Finish(ExitCodeForSignal(interrupted_by_));
  if (!end_suspected_) return {};
  end_suspected_ = false;
  if (run_in_progress) return {};
  return Finish(EndCode());
}

RunTracker::Step RunTracker::Interrupted(int signo) {
  if (finished_ || interrupted_by_ != 0) return {};
  interrupted_by_ = signo;
  // Before the start request nothing is open: shut down at once.
  if (!started_) return Finish(ExitCodeForSignal(signo));
  ++syncs_pending_;
  Step step;
  step.post_abort = true;
  step.post_sync = true;
  return step;
}

RunTracker::Step RunTracker::Suspect() {
  if (finished_ || !started_) return {};
  end_suspected_ = true;
  ++syncs_pending_;
  Step step;
  step.post_sync = true;
  return step;
}

RunTracker::Step RunTracker::Finish(int code) {
  finished_ = true;
  Step step;
  step.finish = code;
  return step;
}

int RunTracker::EndCode() const {
  // The port was refused before the run got going: nothing was sent to any terminal.
  if (port_problem_ && !range_announced_) return kExitUsage;
  return kExitFailed;
}

}  // namespace kvx

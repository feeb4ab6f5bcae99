#include "sim/run_end_watch.h"

namespace kvx::sim {

void RunEndWatch::LineUp(TimePoint now) {
  host_open_ = false;
  if (host_spoke_) away_since_ = now;
}

void RunEndWatch::LineDown() {
  host_open_ = false;
  away_since_.reset();
}

void RunEndWatch::HostSent() {
  host_spoke_ = true;
  host_open_ = true;
  away_since_.reset();
}

void RunEndWatch::HostOpened() {
  host_open_ = true;
}

void RunEndWatch::HostClosed(TimePoint now) {
  host_open_ = false;
  // A close after a silent open leaves the count where it was.
  if (host_spoke_ && !away_since_) away_since_ = now;
}

void RunEndWatch::ClosedInDownloadMode() {
  closed_in_download_mode_ = true;
}

std::optional<RunEndWatch::TimePoint> RunEndWatch::Deadline() const {
  if (closed_in_download_mode_ || host_open_ || !away_since_) return std::nullopt;
  return *away_since_ + host_gone_after_;
}

std::optional<RunEndWatch::Reason> RunEndWatch::Ended(TimePoint now) const {
  if (closed_in_download_mode_) return Reason::kClosedInDownloadMode;
  const std::optional<TimePoint> deadline = Deadline();
  if (deadline && now >= *deadline) return Reason::kHostGone;
  return std::nullopt;
}

std::string DescribeRunEnd(RunEndWatch::Reason reason, std::chrono::milliseconds host_gone_after) {
  switch (reason) {
    case RunEndWatch::Reason::kClosedInDownloadMode:
      return "host closed the line in download mode";
    case RunEndWatch::Reason::kHostGone:
      return "host gone for " + std::to_string(host_gone_after.count()) + " ms";
  }
  return "";
}

}  // namespace kvx::sim

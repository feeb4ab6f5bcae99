#include "sim/run_end_watch.h"

#include <string>

namespace kvx::sim {

void RunEndWatch::LineUp(TimePoint now) {
  if (host_seen_) away_since_ = now;
}

void RunEndWatch::LineDown() {
  away_since_.reset();
}

void RunEndWatch::HostPresent() {
  host_seen_ = true;
  away_since_.reset();
}

void RunEndWatch::HostAway(TimePoint now) {
  host_seen_ = true;
  away_since_ = now;
}

void RunEndWatch::ClosedInDownloadMode() {
  closed_in_download_mode_ = true;
}

std::optional<RunEndWatch::TimePoint> RunEndWatch::Deadline() const {
  if (closed_in_download_mode_ || !away_since_) return std::nullopt;
  return *away_since_ + host_gone_after_;
}

std::optional<RunEndWatch::Reason> RunEndWatch::Ended(TimePoint now) const {
  if (closed_in_download_mode_) return Reason::kClosedInDownloadMode;
  if (away_since_ && now - *away_since_ >= host_gone_after_) return Reason::kHostGone;
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

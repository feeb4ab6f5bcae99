// When a terminal's run on a production line has ended, told from what its host does with the
// line.
//
// The host closes the port in download mode only when its run ends, completed or failed. Before
// download mode it also closes and re-opens within one run: a test whether the port is free
// opens and closes it at once, connection attempts at the other speed follow 400 ms after a
// close, and after the terminal's restart into download mode it finds the line again within one
// attempt (1.4 s). There only a host that has stayed away for a while has ended its run.
//
// Knows nothing of ptys or the clock: the loop reports what happened and when. Not thread-safe.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kvx::sim {

class RunEndWatch {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  enum class Reason {
    kClosedInDownloadMode,  // the terminal heard the host close while in download mode
    kHostGone,              // the host opened the line once and has stayed away since
  };

  explicit RunEndWatch(std::chrono::milliseconds host_gone_after)
      : host_gone_after_(host_gone_after) {}

  // The terminal's line is up, at first or after a restart. A host that had the line before
  // must open it again; until it does, it counts as away.
  void LineUp(TimePoint now);
  // The line has gone for a restart; meanwhile the host's absence is the terminal's doing.
  void LineDown();
  // The host has its end open: it sent bytes, or was seen to open the line again.
  void HostPresent();
  // The host has closed its end.
  void HostAway(TimePoint now);
  // The terminal heard the host close while in download mode.
  void ClosedInDownloadMode();

  // When the host's absence will end the run, while it is counting.
  std::optional<TimePoint> Deadline() const;
  // Why the run has ended by `now`, if it has.
  std::optional<Reason> Ended(TimePoint now) const;

 private:
  std::chrono::milliseconds host_gone_after_;
  bool host_seen_ = false;  // the host has opened this terminal's line at least once
  std::optional<TimePoint> away_since_;
  bool closed_in_download_mode_ = false;
};

// "host closed the line in download mode", "host gone for 3000 ms".
std::string DescribeRunEnd(RunEndWatch::Reason reason, std::chrono::milliseconds host_gone_after);

}  // namespace kvx::sim

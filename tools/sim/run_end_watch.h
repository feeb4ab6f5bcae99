// When a terminal's run on a production line has ended, told from what its host does with the
// line.
//
// The host closes the port in download mode only when its run ends, completed or failed. Before
// download mode it also closes and re-opens within one run: a test whether the port is free
// opens and closes it at once, connection attempts at the other speed follow 400 ms after a
// close, and after the terminal's restart into download mode it finds the line again within one
// attempt (1.4 s). Each time it opens the port for its run it sends a command at once. So there
// a run has ended once the host, having spoken to the terminal, has closed the line and not
// spoken again for a while. Opening and closing the port without a word (a host looking whether
// the port is there or free) neither starts a run nor keeps one going; a host holding the port
// open is still there.
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
    kHostGone,              // the host spoke to the terminal, closed the line and stayed away
  };

  explicit RunEndWatch(std::chrono::milliseconds host_gone_after)
      : host_gone_after_(host_gone_after) {}

  // The terminal's line is up, at first or after a restart: a new pty nobody has opened.
  void LineUp(TimePoint now);
  // The line has gone for a restart; meanwhile the host's absence is the terminal's doing.
  void LineDown();
  // Bytes from the host.
  void HostSent();
  // The host has opened the line again (it has not said anything yet).
  void HostOpened();
  // The host has closed its end.
  void HostClosed(TimePoint now);
  // The terminal heard the host close while in download mode.
  void ClosedInDownloadMode();

  // When the host's absence will end the run, while it is counting.
  std::optional<TimePoint> Deadline() const;
  // Why the run has ended by `now`, if it has.
  std::optional<Reason> Ended(TimePoint now) const;

 private:
  std::chrono::milliseconds host_gone_after_;
  bool host_spoke_ = false;              // the host has sent this terminal something
  bool host_open_ = false;               // the host has the line open, as far as the loop can tell
  std::optional<TimePoint> away_since_;  // since when the host has not used the line
  bool closed_in_download_mode_ = false;
};

// "host closed the line in download mode", "host gone for 3000 ms".
std::string DescribeRunEnd(RunEndWatch::Reason reason, std::chrono::milliseconds host_gone_after);

}  // namespace kvx::sim

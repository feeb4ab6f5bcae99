// The terminal's end of the line: a pseudo-terminal whose slave the host opens as its serial
// port, reached through a stable symlink that survives the terminal's restarts.
//
// A lock file beside the link (<link>.lock, held with flock while the link is ours) tells a
// stale link left by a killed simulator from one in use, so two simulators never share a link.
//
// The link also carries the loop's wait: Wait sleeps until the pty has something to report, a
// time-out passes or Wake is called.
//
// Not thread-safe, except Wake; owned by the loop. The destructor closes the pty and removes
// the link and the lock file if they are still ours.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace kvx::sim {

class PtyLink {
 public:
  explicit PtyLink(std::string link_path);
  ~PtyLink();
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;

  // Creates a new pty in raw mode and points the link at its slave. The first call also takes
  // the link's lock and creates missing folders. False with a message when it cannot.
  bool Open(std::string* error);

  // Closes the pty, so the host's open end hangs up, and removes the link.
  void Close();

  bool is_open() const { return master_.valid(); }
  const std::string& link_path() const { return link_path_; }
  const std::string& slave_path() const { return slave_path_; }

  // The speed the host has set on its end, in baud; 0 when it cannot be read.
  int HostBaud() const;

  // One read of what the host sent. `size` 0: nothing more to read now; `host_closed` then
  // tells that the host has closed its end.
  struct ReadResult {
    std::size_t size = 0;
    bool host_closed = false;
  };
  ReadResult Read(std::span<char> buffer);

  // Writes what the line takes now: the bytes written (0 when it is full), or nothing when the
  // host's end is gone.
  std::optional<std::size_t> Write(std::string_view bytes);

  // Whether the host has its end open (no hang-up reported), without waiting.
  bool HostHasOpened() const;

  struct WaitResult {
    int error = 0;         // errno of a wait that failed
    bool woken = false;    // Wake was called
    bool line = false;     // the pty has something to report: bytes, room or a hang-up
    bool hung_up = false;  // among it a hang-up
  };
  // Sleeps until Wake is called, `timeout` has passed (none: no limit) or, with `watch_line`,
  // the pty can be read (or written, with `want_write`). A signal ends it early with nothing
  // set.
  WaitResult Wait(bool watch_line, bool want_write,
                  std::optional<std::chrono::nanoseconds> timeout) const;

  // Ends the current or next Wait. Async-signal-safe; any thread.
  void Wake() const;
  // False, with a message, when the pipe that Wake uses could not be made.
  bool CanWake(std::string* error) const;

 private:
  bool TakeLock(std::string* error);
  bool PointLinkAt(const std::string& target, std::string* error);
  void RemoveLinkIfOurs();

  std::string link_path_;
  std::string lock_path_;
  ScopedFd lock_;
  ScopedFd master_;
  std::string slave_path_;
  ScopedFd wake_read_;
  ScopedFd wake_write_;
  int wake_error_ = 0;  // errno of the pipe's creation
};

// The baud rate of a termios speed constant; 0 for one not known.
int BaudOfSpeed(unsigned speed);

}  // namespace kvx::sim

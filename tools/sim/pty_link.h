// The terminal's end of the line: a pseudo-terminal whose slave the host opens as its serial
// port, reached through a stable symlink that survives the terminal's restarts.
//
// A lock file beside the link (<link>.lock, held with flock while the link is ours) tells a
// stale link left by a killed simulator from one in use, so two simulators never share a link.
//
// Not thread-safe; owned by the loop. The destructor closes the pty and removes the link and the
// lock file if they are still ours.
#pragma once

#include <string>

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
  int master_fd() const { return master_.get(); }
  const std::string& link_path() const { return link_path_; }
  const std::string& slave_path() const { return slave_path_; }

  // The speed the host has set on its end, in baud; 0 when it cannot be read.
  int HostBaud() const;

 private:
  bool TakeLock(std::string* error);
  bool PointLinkAt(const std::string& target, std::string* error);
  void RemoveLinkIfOurs();

  std::string link_path_;
  std::string lock_path_;
  ScopedFd lock_;
  ScopedFd master_;
  std::string slave_path_;
};

// The baud rate of a termios speed constant; 0 for one not known.
int BaudOfSpeed(unsigned speed);

}  // namespace kvx::sim

// A pseudo-terminal standing in for a serial port: the code under test opens slave_path() as its
// port, the test plays the far side on the master descriptor.
//
// The master's termios is the line as the slave configured it (speed, CRTSCTS, raw mode), so a
// test can check the settings a port was given. Closing the master is the device going away.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

namespace kvx::test {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
      CloseMaster();
      return;
    }
    slave_path_ = name;
  }
  ~PseudoTerminal() { CloseMaster(); }

  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& slave_path() const { return slave_path_; }
  int master() const { return master_; }

  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  bool Write(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t n = ::write(master_, bytes.data(), bytes.size());
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Reads until `count` bytes have come, or `bound` has passed (a failing test).
  std::string Read(std::size_t count,
                   std::chrono::milliseconds bound = std::chrono::seconds(10)) const {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
      char chunk[256];
      const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }

  // The line settings as the port side last set them.
  termios LineSettings() const {
    termios t{};
    ::tcgetattr(master_, &t);
    return t;
  }

 private:
  int master_ = -1;
  std::string slave_path_;
};

}  // namespace kvx::test

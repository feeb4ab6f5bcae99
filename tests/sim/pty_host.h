// The host's side of a simulator on a real pseudo-terminal, reached through its link with plain
// POSIX calls, as the host reaches it; and the simulator's loop on a thread of its own. The
// waits only guard against a hang; nothing depends on timing.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "sim/sim_loop.h"

namespace kvx::sim {

inline constexpr std::chrono::seconds kHangGuard{10};

// Opens the port as a host does: raw 8N1 at `speed`. -1 when it cannot.
inline int OpenHostSide(const std::string& path, speed_t speed) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios modes{};
  tcgetattr(fd, &modes);
  cfmakeraw(&modes);
  cfsetspeed(&modes, speed);
  tcsetattr(fd, TCSANOW, &modes);
  return fd;
}

// Reads until `done(data)` holds, the line hangs up or the guard runs out; returns what it read.
template <typename Done>
std::string ReadWhile(int fd, Done done) {
  std::string data;
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (std::chrono::steady_clock::now() < deadline && !done(data)) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return data;
}

// Reads until the data read ends with `ending`.
inline std::string ReadUntil(int fd, const std::string& ending) {
  return ReadWhile(fd, [&ending](const std::string& data) { return data.ends_with(ending); });
}

inline bool WaitForHangup(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) return true;
  }
  return false;
}

// Opens the link once it is there again.
inline int OpenWhenBack(const std::string& link, speed_t speed) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = OpenHostSide(link, speed);
    if (fd >= 0) return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

// Writes all of `bytes`; false when the line would not take them.
inline bool WriteAll(int fd, std::string_view bytes) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (!bytes.empty() && std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 50);
    }
  }
  return bytes.empty();
}

// The loop on a thread of its own, stopped and joined at the end. The options must outlive it.
class RunningSim {
 public:
  explicit RunningSim(const SimOptions& options) : loop_(options, nullptr, nullptr) {
    std::string error;
    started_ = loop_.Start(&error);
    EXPECT_TRUE(started_) << error;
    if (started_) {
      thread_ = std::thread([this] {
        status_ = loop_.Run();
        ended_ = true;
      });
    }
  }
  ~RunningSim() {
    loop_.RequestStop();
    if (thread_.joinable()) thread_.join();
  }
  RunningSim(const RunningSim&) = delete;
  RunningSim& operator=(const RunningSim&) = delete;

  bool started() const { return started_; }

  // Stops the loop and returns its exit status.
  int Stop() {
    loop_.RequestStop();
    if (thread_.joinable()) thread_.join();
    return status_;
  }

  // The exit status once the loop has ended by itself (with --once or --terminals); the loop is
  // stopped if it has not ended within the guard, which makes the status that of a stop.
  int WaitForEnd() {
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    while (!ended_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Stop();
  }

 private:
  SimLoop loop_;
  bool started_ = false;
  int status_ = -1;  // written by the loop's thread before ended_, read after the join
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace kvx::sim

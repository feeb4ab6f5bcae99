// An Xvfb server of the test's own on a free display, and xprop to read what a window manager
// would read of a window. Xvfb listens only on the abstract local socket, so nothing is left in
// /tmp but its lock file while it runs.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kvx::ui::test {

// Whether `program` is an executable file in one of $PATH's folders.
inline bool OnPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const std::size_t end = folders.find(':');
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(0, end)) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    folders = end == std::string_view::npos ? std::string_view() : folders.substr(end + 1);
  }
  return false;
}

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb and waits until it has chosen its display (":N"). False when it did not start.
  bool Start(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
      // The child: Xvfb writes its display number to the inherited end of the pipe.
      ::fcntl(ready[1], F_SETFD, 0);
      const int quiet = ::open("/dev/null", O_WRONLY);
      ::dup2(quiet, STDERR_FILENO);
      const std::string fd = std::to_string(ready[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", "-nolisten", "unix", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(ready[1]);
    if (pid_ > 0) display_ = ReadDisplay(ready[0], bound);
    ::close(ready[0]);
    if (display_.empty()) Stop();
    return !display_.empty();
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  const std::string& display() const { return display_; }

 private:
  static std::string ReadDisplay(int fd, std::chrono::milliseconds bound) {
    std::string number;
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, static_cast<int>(bound.count())) > 0) {
      char c = 0;
      if (::read(fd, &c, 1) != 1) return {};
      if (c == '\n') return number.empty() ? std::string() : ":" + number;
      number += c;
    }
    return {};
  }

  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace kvx::ui::test

#include "platform/console.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace kvx {

bool IsTerminal(int fd) {
  return isatty(fd) == 1;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool InputReady(int input_fd) {
  pollfd fd = {input_fd, POLLIN, 0};
  return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLIN | POLLHUP)) != 0;
}

ConsoleRead ReadByteOrInterrupt(int input_fd, int interrupt_fd, char& byte) {
  for (;;) {
    pollfd fds[2] = {{input_fd, POLLIN, 0}, {interrupt_fd, POLLIN, 0}};
    const nfds_t count = interrupt_fd >= 0 ? 2 : 1;
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      return ConsoleRead::kEnd;
    }
    if (count == 2 && (fds[1].revents & POLLIN)) return ConsoleRead::kInterrupted;
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t n = read(input_fd, &byte, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return n == 1 ? ConsoleRead::kByte : ConsoleRead::kEnd;
  }
}

void SetUpStandardStreams() {
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace kvx

#include "cli/interrupt_watch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace kvx {
namespace {

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

ScopedFd MakeEventFd() {
  ScopedFd fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!fd) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}

void Signal(int fd) {
  const std::uint64_t one = 1;
  (void)!write(fd, &one, sizeof one);
}

}  // namespace

InterruptWatch::InterruptWatch() {
  const sigset_t set = WatchedSignals();
  const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_sigmask");
  signal_fd_.reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!signal_fd_) throw std::system_error(errno, std::generic_category(), "signalfd");
  stop_fd_ = MakeEventFd();
  interrupted_fd_ = MakeEventFd();
}

InterruptWatch::~InterruptWatch() {
  if (thread_.joinable()) {
    Signal(stop_fd_.get());
    thread_.join();
  }
}

void InterruptWatch::Start(Callback on_interrupt) {
  on_interrupt_ = std::move(on_interrupt);
  thread_ = std::thread([this] { Watch(); });
}

void InterruptWatch::Watch() {
  for (;;) {
    pollfd fds[2] = {{signal_fd_.get(), POLLIN, 0}, {stop_fd_.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    signalfd_siginfo info{};
    if (read(signal_fd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    const int signo = static_cast<int>(info.ssi_signo);
    int expected = 0;
    if (signal_.compare_exchange_strong(expected, signo)) {
      Signal(interrupted_fd_.get());
      if (on_interrupt_) on_interrupt_(signo);
      continue;
    }
    constexpr char kGivingUp[] = "\nkvx-flash: interrupted again; exiting without waiting\n";
    (void)!write(STDERR_FILENO, kGivingUp, sizeof kGivingUp - 1);
    _exit(128 + signo);
  }
}

}  // namespace kvx

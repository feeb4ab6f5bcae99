#include "platform/interrupt.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>
#include <thread>

#include "platform/files.h"

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

// What SetStopSignalHandler runs; read inside the signal handler.
std::atomic<void (*)()> g_stop_handler{nullptr};
static_assert(std::atomic<void (*)()>::is_always_lock_free);

void OnStopSignal(int) {
  if (const auto handler = g_stop_handler.load()) handler();
}

}  // namespace

struct InterruptWatch::State {
  void Watch();

  ScopedFd signal_fd;
  ScopedFd stop_fd;          // eventfd: ends the watcher thread
  ScopedFd interrupted_fd;   // eventfd: set by the first signal
  bool interrupted = false;  // watcher thread only
  Callback on_interrupt;
  std::thread thread;
};

InterruptWatch::InterruptWatch() : state_(std::make_unique<State>()) {
  const sigset_t set = WatchedSignals();
  const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_sigmask");
  state_->signal_fd.reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!state_->signal_fd) throw std::system_error(errno, std::generic_category(), "signalfd");
  state_->stop_fd = MakeEventFd();
  state_->interrupted_fd = MakeEventFd();
}

InterruptWatch::~InterruptWatch() {
  if (state_->thread.joinable()) {
    Signal(state_->stop_fd.get());
    state_->thread.join();
  }
}

void InterruptWatch::Start(Callback on_interrupt) {
  state_->on_interrupt = std::move(on_interrupt);
  state_->thread = std::thread([state = state_.get()] { state->Watch(); });
}

int InterruptWatch::interrupt_fd() const {
  return state_->interrupted_fd.get();
}

void InterruptWatch::State::Watch() {
  for (;;) {
    pollfd fds[2] = {{signal_fd.get(), POLLIN, 0}, {stop_fd.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    signalfd_siginfo info{};
    if (read(signal_fd.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    const bool first = !interrupted;
    if (first) {
      interrupted = true;
      Signal(interrupted_fd.get());
    }
    if (on_interrupt) on_interrupt(static_cast<int>(info.ssi_signo), first);
  }
}

void SetStopSignalHandler(void (*handler)()) {
  g_stop_handler.store(handler);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace kvx

// Brings SIGINT, SIGTERM and SIGHUP into the front end's message loop without doing any work in
// a signal handler: the signals are blocked in every thread and read from a signalfd by a
// watcher thread of their own.
//
// The first signal is reported once through the callback (the front end posts itself a message
// and ends the run through the engine) and makes interrupt_fd() readable for code that is
// blocked reading the operator's answer. A second signal means the operator will not wait: the
// process exits at once with 128 + the signal's number (the kernel still closes and unlocks the
// port).
//
// Construct on the main thread before any other thread starts, so every thread inherits the
// blocked mask. Destroy on the same thread.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "platform/files.h"

namespace kvx {

class InterruptWatch {
 public:
  using Callback = std::function<void(int signo)>;

  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Starts watching; signals that came earlier are still pending and are reported now. The
  // callback runs on the watcher thread.
  void Start(Callback on_interrupt);

  // Readable once the first signal has arrived; never read, so it stays readable.
  int interrupt_fd() const { return interrupted_fd_.get(); }
  // The first signal's number, 0 before one arrived.
  int signal_number() const { return signal_.load(); }

 private:
  void Watch();

  ScopedFd signal_fd_;
  ScopedFd stop_fd_;         // eventfd: ends the watcher thread
  ScopedFd interrupted_fd_;  // eventfd: set by the first signal
  std::atomic<int> signal_{0};
  Callback on_interrupt_;
  std::thread thread_;
};

}  // namespace kvx

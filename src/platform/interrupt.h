// The operator's interrupts: Ctrl-C (SIGINT), SIGTERM and SIGHUP.
//
// InterruptWatch brings them into a front end's message loop without doing any work in a signal
// handler: the signals are blocked in every thread and read by a watcher thread of its own. Each
// signal is reported through the callback, on the watcher thread; the first one also makes
// interrupt_fd() readable for code that is blocked reading the operator's answer.
//
// Construct on the main thread before any other thread starts, so every thread inherits the
// blocked signals. Destroy on the same thread; the destructor stops and joins the watcher.
#pragma once

#include <functional>
#include <memory>

namespace kvx {

class InterruptWatch {
 public:
  // `first` is true for the first signal only.
  using Callback = std::function<void(int signo, bool first)>;

  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Starts watching; signals that came earlier are still pending and are reported now.
  void Start(Callback on_interrupt);

  // Readable once the first signal has arrived; never read, so it stays readable. Owned by the
  // watch.
  int interrupt_fd() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// For a program without an InterruptWatch: runs `handler` in the signal handler of SIGINT and
// SIGTERM, replacing the one set before (null: nothing is run, and the signals end nothing).
// `handler` must be async-signal-safe. Call from main.
void SetStopSignalHandler(void (*handler)());

}  // namespace kvx

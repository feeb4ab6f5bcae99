// The GUI thread's queue in the behaviour's tests: window messages and GUI tasks in one queue,
// delivered in order on the test's own thread when the test says so (RunPending) or while the
// behaviour waits in its view's loop (RunOne). Other threads may queue at any time.
//
// Going away, it completes waiting Sends with 0 and destroys queued tasks unrun, as a toolkit's
// queue does when the program ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "operator/gui_thread_queue.h"

namespace kvx::ui::test {

class TestThreadQueue final : public GuiThreadQueue {
 public:
  ~TestThreadQueue() override { Close(); }

  // Delivers everything queued, also what the deliveries queue, without waiting. Returns how
  // many were delivered.
  std::size_t RunPending() {
    std::size_t delivered = 0;
    while (RunOne(std::chrono::milliseconds(0))) ++delivered;
    return delivered;
  }

  // Delivers the oldest message or task, waiting up to `bound` for one; false when none came.
  bool RunOne(std::chrono::milliseconds bound) {
    {
      std::unique_lock lock(mutex_);
      if (!announced_.wait_for(lock, bound, [this] { return waiting_ > 0; })) return false;
      --waiting_;
    }
    return DeliverOne();
  }

  // Blocks until `count` items wait; false after `bound` (a failing test).
  bool WaitUntilQueued(std::size_t count, std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return announced_.wait_for(lock, bound, [&] { return waiting_ >= count; });
  }

 private:
  void Announce() override {
    // Notified under the lock: a test that wakes on it may destroy the queue at once, and the
    // queue's own lock, which the caller holds, keeps the destructor's Close waiting meanwhile.
    std::lock_guard guard(mutex_);
    ++waiting_;
    announced_.notify_all();
  }

  std::mutex mutex_;  // guards waiting_
  std::condition_variable announced_;
  std::size_t waiting_ = 0;  // items announced and not yet taken
};

}  // namespace kvx::ui::test

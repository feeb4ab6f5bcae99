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
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <variant>

#include "operator/gui_tasks.h"
#include "platform/window.h"

namespace kvx::ui::test {

class TestThreadQueue final : public MessageQueue, public GuiTasks {
 public:
  TestThreadQueue() : thread_(std::this_thread::get_id()) {}
  ~TestThreadQueue() override {
    std::deque<Item> left;
    {
      std::lock_guard guard(mutex_);
      left.swap(items_);
    }
    for (Item& item : left) {
      if (auto* message = std::get_if<QueuedMessage>(&item)) Abandon(*message);
    }
  }

  void Enqueue(QueuedMessage message) override { Add(Item(std::move(message))); }
  bool IsCurrentThread() const override { return std::this_thread::get_id() == thread_; }
  void Queue(std::function<void()> task) override { Add(Item(std::move(task))); }
  bool IsGuiThread() const override { return IsCurrentThread(); }

  // Delivers everything queued, also what the deliveries queue, without waiting. Returns how
  // many were delivered.
  std::size_t RunPending() {
    std::size_t delivered = 0;
    while (RunOne(std::chrono::milliseconds(0))) ++delivered;
    return delivered;
  }

  // Delivers the oldest message or task, waiting up to `bound` for one; false when none came.
  bool RunOne(std::chrono::milliseconds bound) {
    Item item;
    {
      std::unique_lock lock(mutex_);
      if (!queued_.wait_for(lock, bound, [this] { return !items_.empty(); })) return false;
      item = std::move(items_.front());
      items_.pop_front();
    }
    if (auto* message = std::get_if<QueuedMessage>(&item)) {
      Deliver(*message);
    } else {
      std::get<std::function<void()>>(item)();
    }
    return true;
  }

  // Blocks until `count` items wait; false after `bound` (a failing test).
  bool WaitUntilQueued(std::size_t count, std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return queued_.wait_for(lock, bound, [&] { return items_.size() >= count; });
  }

 private:
  using Item = std::variant<QueuedMessage, std::function<void()>>;

  void Add(Item item) {
    // Notified under the lock: a test that wakes on it may destroy the queue at once.
    std::lock_guard guard(mutex_);
    items_.push_back(std::move(item));
    queued_.notify_all();
  }

  const std::thread::id thread_;
  std::mutex mutex_;  // guards items_
  std::condition_variable queued_;
  std::deque<Item> items_;
};

}  // namespace kvx::ui::test

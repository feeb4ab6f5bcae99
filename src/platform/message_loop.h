// A thread's message queue with window timers: the engine thread's loop, and the loop tests drive
// by hand on a ManualClock.
//
// Delivery order: messages sent from other threads first, then posted messages in the order
// posted, then WM_TIMER for a due timer when nothing else waits (as window timers behave).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/clock.h"
#include "platform/window.h"

namespace kvx {

class MessageLoop final : public MessageQueue {
 public:
  // The loop belongs to the constructing thread until BindToCurrentThread moves it.
  explicit MessageLoop(Clock& clock);
  // Completes every Send still waiting here with 0.
  ~MessageLoop() override;

  void Enqueue(QueuedMessage message) override;
  bool IsCurrentThread() const override;
  void BindToCurrentThread();

  Clock& clock() const { return clock_; }

  // Handles messages and timers until Quit; returns the quit code. Owning thread only.
  int Run();
  // Ends Run once the message in hand is handled (PostQuitMessage). Any thread.
  void Quit(int code = 0);

  // Handles every queued message and every timer already due, without waiting. Returns how many
  // were handled. Owning thread only; for tests and for waits that must keep the queue moving.
  std::size_t RunUntilIdle();

  // True while messages wait to be handled. Any thread.
  bool HasPendingMessages() const;

  // Tests on a ManualClock: moves time on by `d`, firing each timer at its due time, in order, and
  // handling what the handlers queue as it goes.
  void FastForwardBy(Clock::Duration d);

  // Handles incoming cross-thread Sends (only those) until done() holds. Whoever makes done() true
  // calls Wake(). Owning thread only: lets this thread wait for another thread that may be
  // blocked in a Send to it.
  void ServeSendsUntil(const std::function<bool()>& done);
  void Wake();

  // Window timers, keyed by window and id. Setting a running id restarts it with the new period.
  // The timer repeats until killed; each expiry is a WM_TIMER with wParam = id. Owning thread only.
  void SetTimer(const Window& window, std::uintptr_t id, Clock::Duration period);
  // Returns false when no such timer ran.
  bool KillTimer(const Window& window, std::uintptr_t id);
  bool IsTimerRunning(const Window& window, std::uintptr_t id) const;
  // Due time of the next timer, if any runs.
  std::optional<Clock::TimePoint> NextTimerDue() const;

 private:
  struct Timer {
    std::shared_ptr<detail::WindowLink> target;
    Clock::Duration period;
    Clock::TimePoint due;
    std::uint64_t order;  // ties on `due` fire in the order they were set
  };
  using TimerKey = std::pair<const detail::WindowLink*, std::uintptr_t>;

  bool PopMessage(QueuedMessage& out);  // mutex_ held
  bool FireDueTimer();                  // owning thread, mutex_ not held
  bool HasWorkLocked() const;

  Clock& clock_;
  std::thread::id owner_;
  int time_listener_ = 0;

  mutable std::mutex mutex_;  // guards the queues and the flags below
  std::condition_variable cv_;
  std::deque<QueuedMessage> sent_;
  std::deque<QueuedMessage> posted_;
  bool quit_ = false;
  int quit_code_ = 0;
  bool woken_ = false;

  std::map<TimerKey, Timer> timers_;  // owning thread only
  std::uint64_t timer_order_ = 0;
};

}  // namespace kvx

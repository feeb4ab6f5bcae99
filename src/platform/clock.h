// Time as the engine, the serial port and the tests see it.
//
// Every wait in the program goes through an injected Clock: SteadyClock in the programs,
// ManualClock in tests, where time moves only when the test (or a Sleep on the tested thread)
// moves it, so a 30 s time-out costs no real time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kvx {

class Clock {
 public:
  // The member types of a chrono clock, so that a time point on this clock is a type of its own:
  // two time points do not add up, and a time point does not pass for a duration (a deadline for
  // a time-out). There is no static now(): time comes from the injected instance.
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<Clock, duration>;
  static constexpr bool is_steady = true;

  using Duration = duration;
  // Monotonic time since an arbitrary epoch.
  using TimePoint = time_point;

  virtual ~Clock() = default;

  virtual TimePoint Now() const = 0;

  // Blocks the calling thread for `d` (SteadyClock) or moves time on by `d` (ManualClock).
  virtual void Sleep(Duration d) = 0;

  // Waits on `cv` (with `lock` held on entry and exit) until `done()` holds or `timeout` has passed
  // on this clock. Returns done(). Whoever makes done() true must notify `cv`.
  virtual bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                       Duration timeout, const std::function<bool()>& done) = 0;

  // Registers a callback run (on the advancing thread) whenever time jumps; SteadyClock never
  // calls it. Returns an id for RemoveTimeListener. Used by message loops that sleep until their
  // next timer.
  virtual int AddTimeListener(std::function<void()> listener) = 0;
  virtual void RemoveTimeListener(int id) = 0;
};

class SteadyClock final : public Clock {
 public:
  TimePoint Now() const override;
  void Sleep(Duration d) override;
  bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
               const std::function<bool()>& done) override;
  int AddTimeListener(std::function<void()>) override { return 0; }
  void RemoveTimeListener(int) override {}
};

// Thread-safe. Time starts at the epoch and moves only through Advance, AdvanceTo and Sleep.
class ManualClock final : public Clock {
 public:
  TimePoint Now() const override;
  void Sleep(Duration d) override { Advance(d); }
  bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
               const std::function<bool()>& done) override;
  int AddTimeListener(std::function<void()> listener) override;
  void RemoveTimeListener(int id) override;

  void Advance(Duration d);
  void AdvanceTo(TimePoint t);  // never moves backwards

 private:
  void NotifyListeners();

  mutable std::mutex mutex_;  // guards now_
  TimePoint now_{};
  // Held while listeners run, so RemoveTimeListener returns only once its listener is idle.
  std::mutex listeners_mutex_;
  int next_id_ = 1;
  std::vector<std::pair<int, std::function<void()>>> listeners_;
};

inline constexpr Clock::Duration Milliseconds(std::int64_t ms) {
  return std::chrono::milliseconds(ms);
}

}  // namespace kvx

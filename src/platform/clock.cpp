#include "platform/clock.h"

#include <thread>

namespace kvx {

Clock::TimePoint SteadyClock::Now() const {
  return TimePoint(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::Sleep(Duration d) {
  std::this_thread::sleep_for(d);
}

bool SteadyClock::WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                          Duration timeout, const std::function<bool()>& done) {
  return cv.wait_for(lock, timeout, done);
}

Clock::TimePoint ManualClock::Now() const {
  std::lock_guard guard(mutex_);
  return now_;
}

void ManualClock::Advance(Duration d) {
  {
    std::lock_guard guard(mutex_);
    now_ += d;
  }
  NotifyListeners();
}

void ManualClock::AdvanceTo(TimePoint t) {
  {
    std::lock_guard guard(mutex_);
    if (t <= now_) return;
    now_ = t;
  }
  NotifyListeners();
}

int ManualClock::AddTimeListener(std::function<void()> listener) {
  std::lock_guard guard(listeners_mutex_);
  listeners_.emplace_back(next_id_, std::move(listener));
  return next_id_++;
}

void ManualClock::RemoveTimeListener(int id) {
  std::lock_guard guard(listeners_mutex_);
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void ManualClock::NotifyListeners() {
  std::lock_guard guard(listeners_mutex_);
  for (auto& [id, listener] : listeners_) listener();
}

bool ManualClock::WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                          Duration timeout, const std::function<bool()>& done) {
  // Time moves on other threads; look at it again every real millisecond. Only tests use this
  // clock, and the slices cost nothing when done() is already true.
  const TimePoint deadline = Now() + timeout;
  while (!done() && Now() < deadline) cv.wait_for(lock, std::chrono::milliseconds(1));
  return done();
}

}  // namespace kvx

#include "platform/message_loop.h"

#include <algorithm>
#include <stdexcept>

namespace kvx {

MessageLoop::MessageLoop(Clock& clock) : clock_(clock), owner_(std::this_thread::get_id()) {
  time_listener_ = clock_.AddTimeListener([this] {
    std::lock_guard guard(mutex_);
    woken_ = true;
    cv_.notify_all();
  });
}

MessageLoop::~MessageLoop() {
  clock_.RemoveTimeListener(time_listener_);
  std::deque<QueuedMessage> left;
  {
    std::lock_guard guard(mutex_);
    left.swap(sent_);
    for (auto& message : posted_) left.push_back(std::move(message));
    posted_.clear();
  }
  for (auto& message : left) Abandon(message);
}

void MessageLoop::Enqueue(QueuedMessage message) {
  {
    std::lock_guard guard(mutex_);
    (message.reply ? sent_ : posted_).push_back(std::move(message));
  }
  cv_.notify_all();
}

bool MessageLoop::IsCurrentThread() const {
  std::lock_guard guard(mutex_);
  return owner_ == std::this_thread::get_id();
}

void MessageLoop::BindToCurrentThread() {
  std::lock_guard guard(mutex_);
  owner_ = std::this_thread::get_id();
}

bool MessageLoop::HasPendingMessages() const {
  std::lock_guard guard(mutex_);
  return HasWorkLocked();
}

bool MessageLoop::HasWorkLocked() const {
  return !sent_.empty() || !posted_.empty();
}

bool MessageLoop::PopMessage(QueuedMessage& out) {
  auto& queue = !sent_.empty() ? sent_ : posted_;
  if (queue.empty()) return false;
  out = std::move(queue.front());
  queue.pop_front();
  return true;
}

int MessageLoop::Run() {
  for (;;) {
    QueuedMessage message;
    bool have_message = false;
    {
      std::unique_lock lock(mutex_);
      for (;;) {
        if (quit_) return quit_code_;
        if (HasWorkLocked()) break;
        const auto due = NextTimerDue();
        if (due && *due <= clock_.Now()) break;
        woken_ = false;
        auto ready = [this] { return quit_ || woken_ || HasWorkLocked(); };
        if (due) {
          clock_.WaitFor(lock, cv_, *due - clock_.Now(), ready);
        } else {
          cv_.wait(lock, ready);
        }
      }
      have_message = PopMessage(message);
    }
    if (have_message) {
      Deliver(message);
    } else {
      FireDueTimer();
    }
  }
}

// Notifies under the lock: another thread may end the loop, and the loop may be destroyed as
// soon as its thread sees the flag.
void MessageLoop::Quit(int code) {
  std::lock_guard guard(mutex_);
  quit_ = true;
  quit_code_ = code;
  cv_.notify_all();
}

std::size_t MessageLoop::RunUntilIdle() {
  std::size_t handled = 0;
  for (;;) {
    QueuedMessage message;
    bool have_message = false;
    {
      std::lock_guard guard(mutex_);
      have_message = PopMessage(message);
    }
    if (have_message) {
      Deliver(message);
    } else if (!FireDueTimer()) {
      return handled;
    }
    ++handled;
  }
}

void MessageLoop::FastForwardBy(Clock::Duration d) {
  auto* manual = dynamic_cast<ManualClock*>(&clock_);
  if (!manual) throw std::logic_error("FastForwardBy needs a ManualClock");
  const Clock::TimePoint target = manual->Now() + d;
  RunUntilIdle();
  for (auto due = NextTimerDue(); due && *due <= target; due = NextTimerDue()) {
    manual->AdvanceTo(*due);
    RunUntilIdle();
  }
  manual->AdvanceTo(target);
  RunUntilIdle();
}

void MessageLoop::ServeSendsUntil(const std::function<bool()>& done) {
  for (;;) {
    QueuedMessage message;
    {
      std::unique_lock lock(mutex_);
      woken_ = false;
      cv_.wait(lock, [&] { return woken_ || !sent_.empty() || done(); });
      if (sent_.empty()) {
        if (done()) return;
        continue;
      }
      message = std::move(sent_.front());
      sent_.pop_front();
    }
    Deliver(message);
  }
}

void MessageLoop::Wake() {
  std::lock_guard guard(mutex_);
  woken_ = true;
  cv_.notify_all();
}

void MessageLoop::SetTimer(const Window& window, std::uintptr_t id, Clock::Duration period) {
  WindowRef ref = window.Ref();
  auto link = std::shared_ptr<detail::WindowLink>(ref.link_);
  timers_[{link.get(), id}] = Timer{link, period, clock_.Now() + period, timer_order_++};
  Wake();
}

bool MessageLoop::KillTimer(const Window& window, std::uintptr_t id) {
  return timers_.erase({window.Ref().link_.get(), id}) > 0;
}

bool MessageLoop::IsTimerRunning(const Window& window, std::uintptr_t id) const {
  return timers_.count({window.Ref().link_.get(), id}) > 0;
}

std::optional<Clock::TimePoint> MessageLoop::NextTimerDue() const {
  std::optional<Clock::TimePoint> next;
  for (const auto& [key, timer] : timers_) {
    if (!next || timer.due < *next) next = timer.due;
  }
  return next;
}

bool MessageLoop::FireDueTimer() {
  const Clock::TimePoint now = clock_.Now();
  auto due = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due > now) continue;
    if (due == timers_.end() ||
        std::tie(it->second.due, it->second.order) < std::tie(due->second.due, due->second.order)) {
      due = it;
    }
  }
  if (due == timers_.end()) return false;
  QueuedMessage message{due->second.target, WM_TIMER, due->first.second, 0, nullptr};
  if (!WindowRef(due->second.target).IsWindow()) {
    timers_.erase(due);
    return true;
  }
  due->second.due = now + due->second.period;
  due->second.order = timer_order_++;
  Deliver(message);
  return true;
}

}  // namespace kvx

// Test owners for code that posts and sends window messages.
//
// RecordingWindow keeps every message it handles; it may be read from any thread while its own
// thread keeps handling. A WM_USER_LOG request's text is copied, since it lives only for the send.
// OwnerThread runs a RecordingWindow on a message loop of its own, for tests whose owner must keep
// handling messages while the test thread blocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/message_loop.h"
#include "platform/message_thread.h"
#include "platform/user_messages.h"
#include "platform/window.h"

namespace kvx::test {

class RecordingWindow final : public Window {
 public:
  struct Message {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::string text;  // WM_USER_LOG only
  };
  using Messages = std::vector<Message>;

  explicit RecordingWindow(MessageQueue& queue) : Window(queue) {}

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_QUIT) {
      // Ends the loop from its own thread, so the loop may be destroyed as soon as Run returns.
      if (auto* loop = dynamic_cast<MessageLoop*>(&queue())) loop->Quit();
      return 0;
    }
    Message message{msg, wParam, lParam, {}};
    if (msg == WM_USER_LOG) message.text = *reinterpret_cast<const std::string*>(wParam);
    {
      std::lock_guard guard(mutex_);
      messages_.push_back(std::move(message));
    }
    cv_.notify_all();
    return msg == WM_USER_LOG ? 1 : 0;
  }

  Messages messages() const {
    std::lock_guard guard(mutex_);
    return messages_;
  }

  // WM_USER_COM_EVENT notifications as (event, value).
  std::vector<std::pair<WPARAM, LPARAM>> com_events() const {
    std::vector<std::pair<WPARAM, LPARAM>> events;
    for (const Message& m : messages()) {
      if (m.msg == WM_USER_COM_EVENT) events.emplace_back(m.wParam, m.lParam);
    }
    return events;
  }

  // WM_USER_LOG requests as (text, colour).
  std::vector<std::pair<std::string, LPARAM>> logs() const {
    std::vector<std::pair<std::string, LPARAM>> lines;
    for (const Message& m : messages()) {
      if (m.msg == WM_USER_LOG) lines.emplace_back(m.text, m.lParam);
    }
    return lines;
  }

  void Clear() {
    std::lock_guard guard(mutex_);
    messages_.clear();
  }

  // Blocks until `done` holds for the messages so far; false after `bound` (a failing test).
  bool WaitFor(const std::function<bool(const Messages&)>& done,
               std::chrono::milliseconds bound = std::chrono::seconds(10)) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, bound, [&] { return done(messages_); });
  }

  // Blocks until WM_USER_COM_EVENT `event` has arrived `count` times in all.
  bool WaitForComEvent(WPARAM event, std::size_t count = 1,
                       std::chrono::milliseconds bound = std::chrono::seconds(10)) const {
    return WaitFor(
        [&](const Messages& messages) {
          std::size_t seen = 0;
          for (const Message& m : messages) {
            if (m.msg == WM_USER_COM_EVENT && m.wParam == event) ++seen;
          }
          return seen >= count;
        },
        bound);
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  Messages messages_;
};

// A RecordingWindow on its own thread, running from construction to destruction.
class OwnerThread final : public MessageThread {
 public:
  explicit OwnerThread(Clock& clock) : MessageThread(clock) {
    Start();
    ready_.get_future().wait();
  }
  ~OwnerThread() override {
    window_->Ref().Post(WM_QUIT);
    Join();
  }

  RecordingWindow& window() { return *window_; }

 protected:
  bool InitInstance() override {
    window_ = std::make_unique<RecordingWindow>(loop());
    ready_.set_value();
    return true;
  }
  int ExitInstance() override {
    window_.reset();
    return 0;
  }

 private:
  std::promise<void> ready_;
  std::unique_ptr<RecordingWindow> window_;
};

}  // namespace kvx::test

// Windows in the message-passing sense: objects bound to one thread's message queue.
//
// A Window handles messages in WindowProc on the thread of its queue, one at a time. Other threads
// reach it through a WindowRef:
//   - Post enqueues and returns at once; posted messages are handled in the order posted.
//   - Send on the window's own thread calls WindowProc directly. From another thread it enqueues
//     the message and blocks until the handler has returned, then returns the handler's result.
// A window that has been destroyed takes no more messages: Post returns false and Send returns 0,
// also for sends that were waiting when it went away.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/message.h"

namespace kvx {

class Window;
class MessageQueue;

namespace detail {

// Shared by a window and every WindowRef to it. `window` is cleared when the window dies.
struct WindowLink {
  std::mutex mutex;
  Window* window = nullptr;
  MessageQueue* queue = nullptr;
};

// Where a cross-thread Send waits for its result.
struct SendSlot {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  LRESULT result = 0;

  void Complete(LRESULT value);
  LRESULT Wait();
};

}  // namespace detail

struct QueuedMessage {
  std::shared_ptr<detail::WindowLink> target;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::shared_ptr<detail::SendSlot> reply;  // set for a cross-thread Send
};

// A thread's message queue. Implemented by MessageLoop (engine thread, tests) and by the Qt front
// end's adapter on the GUI thread.
class MessageQueue {
 public:
  virtual ~MessageQueue() = default;

  // Thread-safe. Queues `message` for delivery on the queue's thread.
  virtual void Enqueue(QueuedMessage message) = 0;

  // True on the thread that delivers this queue's messages.
  virtual bool IsCurrentThread() const = 0;

 protected:
  // Runs the target's WindowProc (if the window still exists) and completes a pending Send.
  // Call on the queue's thread only.
  static void Deliver(QueuedMessage& message);

  // Completes a pending Send with 0 without delivering it; for queues that are shutting down.
  static void Abandon(QueuedMessage& message);
};

// Copyable handle to a window; safe to use from any thread, also after the window has died.
class WindowRef {
 public:
  WindowRef() = default;

  bool Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
  bool IsWindow() const;

  bool operator==(const WindowRef& other) const { return link_ == other.link_; }

 private:
  friend class Window;
  friend class MessageLoop;
  explicit WindowRef(std::shared_ptr<detail::WindowLink> link) : link_(std::move(link)) {}

  std::shared_ptr<detail::WindowLink> link_;
};

class Window {
 public:
  // Binds the window to `queue`, which must outlive it. Construct and destroy on that queue's
  // thread.
  explicit Window(MessageQueue& queue);
  virtual ~Window();

  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowRef Ref() const { return WindowRef(link_); }
  MessageQueue& queue() const { return queue_; }

  // Detaches the window from its queue before the destructor runs: from here on it takes no
  // messages. Idempotent.
  void DestroyWindow();

  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

 private:
  MessageQueue& queue_;
  std::shared_ptr<detail::WindowLink> link_;
};

}  // namespace kvx

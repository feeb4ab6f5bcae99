// The window thread's queue for everything other threads hand it: the engine's window messages to
// the main window, and tasks (the engine's requests, the end of a helper). Each item is announced
// by a message posted to a hidden window of the thread, so items arrive through the thread's own
// message queue, in order, also inside nested loops (boxes, dialogs).
//
// Construct and destroy on the window thread; Enqueue and Queue may be called from any thread.
// Windows bound to this queue must be destroyed before it; a Send still queued when it goes is
// completed with 0 and a task dropped, so no sender waits for ever.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "operator/gui_tasks.h"
#include "platform/window.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

class GuiQueue final : public MessageQueue, public ui::GuiTasks {
 public:
  GuiQueue();
  ~GuiQueue() override;
  GuiQueue(const GuiQueue&) = delete;
  GuiQueue& operator=(const GuiQueue&) = delete;

  void Enqueue(QueuedMessage message) override;
  bool IsCurrentThread() const override;
  void Queue(std::function<void()> task) override;
  bool IsGuiThread() const override { return IsCurrentThread(); }

  // Delivers the oldest item; the hidden window calls it once per announcement.
  void DeliverOne();

 private:
  struct Item {
    QueuedMessage message;
    std::function<void()> task;  // set for a task, else the message is delivered
  };
  void Push(Item item);

  const std::thread::id thread_;
  NativeWindow announcer_ = nullptr;
  std::mutex mutex_;  // guards items_ and closed_
  std::deque<Item> items_;
  bool closed_ = false;
};

}  // namespace kvx::win32ui

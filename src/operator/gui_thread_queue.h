// The GUI thread's queue of what other threads hand it: the engine's window messages to the main
// window and GUI tasks, in one order. Each window toolkit derives its queue from this one and
// says only how an item is announced to its event loop (Announce); the loop then calls
// DeliverOne once per announcement.
//
// Construct on the GUI thread, which delivers. Enqueue and Queue may be called from any thread.
// Items are delivered in the order queued, also inside nested loops (boxes, dialogs), which is
// how a cross-thread Send from the engine is answered while a box is open. Windows bound to the
// queue must be destroyed before it. Close, which a derived queue's destructor calls first,
// completes a Send still queued with 0 and destroys queued tasks unrun, so no other thread waits
// for ever; what comes later is refused the same way.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <variant>

#include "operator/gui_tasks.h"
#include "platform/window.h"

namespace kvx::ui {

class GuiThreadQueue : public MessageQueue, public GuiTasks {
 public:
  ~GuiThreadQueue() override;
  GuiThreadQueue(const GuiThreadQueue&) = delete;
  GuiThreadQueue& operator=(const GuiThreadQueue&) = delete;

  void Enqueue(QueuedMessage message) final;
  bool IsCurrentThread() const final;
  void Queue(std::function<void()> task) final;
  bool IsGuiThread() const final { return IsCurrentThread(); }

  // Delivers the oldest item on the GUI thread; false when none waits.
  bool DeliverOne();

 protected:
  GuiThreadQueue();

  // Idempotent. See above.
  void Close();

  // Called with the queue's lock held, once for every item added: arranges for one DeliverOne on
  // the GUI thread. It must not call back into the queue.
  virtual void Announce() = 0;

 private:
  using Item = std::variant<QueuedMessage, std::function<void()>>;
  void Add(Item item);

  const std::thread::id thread_;
  std::mutex mutex_;  // guards items_ and closed_
  std::deque<Item> items_;
  bool closed_ = false;
};

}  // namespace kvx::ui

// The GUI thread's queue: window messages posted or sent to the main window from the engine, and
// tasks queued for the GUI thread (the engine's requests, the end of a helper), arrive through
// Qt's event loop and are handled on the GUI thread, one per event.
//
// Construct on the GUI thread; that thread delivers. Enqueue and Queue may be called from any
// thread. Messages and tasks share one queue and are delivered in the order queued, also inside
// nested event loops (message boxes, dialogs), which is how a cross-thread Send from the engine
// is answered while a box is open. Windows bound to this queue must be destroyed before it; a
// Send still queued when the queue goes away is completed with 0 and a task still queued is
// destroyed unrun, so no other thread waits for ever.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <variant>

#include "operator/gui_tasks.h"
#include "platform/window.h"

namespace kvx::ui {

class QtMessageQueue final : public QObject, public MessageQueue, public GuiTasks {
  Q_OBJECT

 public:
  explicit QtMessageQueue(QObject* parent = nullptr);
  ~QtMessageQueue() override;

  void Enqueue(QueuedMessage message) override;
  bool IsCurrentThread() const override;

  void Queue(std::function<void()> task) override;
  bool IsGuiThread() const override;

 private:
  using Item = std::variant<QueuedMessage, std::function<void()>>;

  // False once the queue is closing; `item` is then left with the caller.
  bool Add(Item& item);
  void DeliverOne();

  const std::thread::id thread_;
  std::mutex mutex_;  // guards queue_ and closed_
  std::deque<Item> queue_;
  bool closed_ = false;
};

}  // namespace kvx::ui

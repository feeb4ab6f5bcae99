// The GUI thread's message queue: window messages posted or sent to the main window from the
// engine arrive through Qt's event loop and are handled on the GUI thread, one per event.
//
// Construct on the GUI thread; that thread delivers. Enqueue may be called from any thread.
// Messages are delivered in the order enqueued, also inside nested event loops (message boxes,
// dialogs), which is how a cross-thread Send from the engine is answered while a box is open.
// Windows bound to this queue must be destroyed before it; a Send still queued when the queue
// goes away is completed with 0, so no sender waits for ever.
#pragma once

#include <QObject>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/window.h"

namespace kvx::ui {

class QtMessageQueue final : public QObject, public MessageQueue {
  Q_OBJECT

 public:
  explicit QtMessageQueue(QObject* parent = nullptr);
  ~QtMessageQueue() override;

  void Enqueue(QueuedMessage message) override;
  bool IsCurrentThread() const override;

 private:
  void DeliverOne();

  const std::thread::id thread_;
  std::mutex mutex_;  // guards queue_ and closed_
  std::deque<QueuedMessage> queue_;
  bool closed_ = false;
};

}  // namespace kvx::ui

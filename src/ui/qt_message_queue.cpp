#include "ui/qt_message_queue.h"

#include <QMetaObject>

namespace kvx::ui {

QtMessageQueue::QtMessageQueue(QObject* parent)
    : QObject(parent), thread_(std::this_thread::get_id()) {}

QtMessageQueue::~QtMessageQueue() {
  std::deque<QueuedMessage> left;
  {
    std::lock_guard guard(mutex_);
    closed_ = true;
    left.swap(queue_);
  }
  for (QueuedMessage& message : left) Abandon(message);
}

void QtMessageQueue::Enqueue(QueuedMessage message) {
  {
    std::lock_guard guard(mutex_);
    if (!closed_) {
      queue_.push_back(std::move(message));
      // One event per message, each delivering the oldest one waiting.
      QMetaObject::invokeMethod(
          this, [this] { DeliverOne(); }, Qt::QueuedConnection);
      return;
    }
  }
  Abandon(message);
}

bool QtMessageQueue::IsCurrentThread() const {
  return std::this_thread::get_id() == thread_;
}

void QtMessageQueue::DeliverOne() {
  QueuedMessage message;
  {
    std::lock_guard guard(mutex_);
    if (queue_.empty()) return;
    message = std::move(queue_.front());
    queue_.pop_front();
  }
  Deliver(message);
}

}  // namespace kvx::ui

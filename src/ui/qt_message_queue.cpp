#include "ui/qt_message_queue.h"

#include <QMetaObject>
#include <utility>

namespace kvx::ui {

QtMessageQueue::QtMessageQueue(QObject* parent)
    : QObject(parent), thread_(std::this_thread::get_id()) {}

QtMessageQueue::~QtMessageQueue() {
  std::deque<Item> left;
  {
    std::lock_guard guard(mutex_);
    closed_ = true;
    left.swap(queue_);
  }
  // Outside the lock: a dropped task's captures may wake the thread that waits for it.
  for (Item& item : left) {
    if (auto* message = std::get_if<QueuedMessage>(&item)) Abandon(*message);
  }
}

void QtMessageQueue::Enqueue(QueuedMessage message) {
  Item item(std::move(message));
  if (!Add(item)) Abandon(std::get<QueuedMessage>(item));
}

bool QtMessageQueue::IsCurrentThread() const {
  return std::this_thread::get_id() == thread_;
}

void QtMessageQueue::Queue(std::function<void()> task) {
  Item item(std::move(task));
  Add(item);  // refused: the task goes unrun with `item`
}

bool QtMessageQueue::IsGuiThread() const {
  return IsCurrentThread();
}

bool QtMessageQueue::Add(Item& item) {
  std::lock_guard guard(mutex_);
  if (closed_) return false;
  queue_.push_back(std::move(item));
  // One event per item, each delivering the oldest one waiting.
  QMetaObject::invokeMethod(
      this, [this] { DeliverOne(); }, Qt::QueuedConnection);
  return true;
}

void QtMessageQueue::DeliverOne() {
  Item item;
  {
    std::lock_guard guard(mutex_);
    if (queue_.empty()) return;
    item = std::move(queue_.front());
    queue_.pop_front();
  }
  if (auto* message = std::get_if<QueuedMessage>(&item)) {
    Deliver(*message);
  } else {
    std::get<std::function<void()>>(item)();
  }
}

}  // namespace kvx::ui

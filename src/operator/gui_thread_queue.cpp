#include "operator/gui_thread_queue.h"

#include <utility>

namespace kvx::ui {

GuiThreadQueue::GuiThreadQueue() : thread_(std::this_thread::get_id()) {}

GuiThreadQueue::~GuiThreadQueue() {
  Close();
}

void GuiThreadQueue::Close() {
  std::deque<Item> left;
  {
    std::lock_guard guard(mutex_);
    closed_ = true;
    left.swap(items_);
  }
  // Outside the lock: a dropped task's captures may wake the thread that waits for it.
  for (Item& item : left) {
    if (auto* message = std::get_if<QueuedMessage>(&item)) Abandon(*message);
  }
}

void GuiThreadQueue::Enqueue(QueuedMessage message) {
  Add(Item(std::move(message)));
}

void GuiThreadQueue::Queue(std::function<void()> task) {
  Add(Item(std::move(task)));
}

bool GuiThreadQueue::IsCurrentThread() const {
  return std::this_thread::get_id() == thread_;
}

void GuiThreadQueue::Add(Item item) {
  {
    std::lock_guard guard(mutex_);
    if (!closed_) {
      items_.push_back(std::move(item));
      Announce();
      return;
    }
  }
  // Refused: a Send is answered, a task goes unrun with `item`.
  if (auto* message = std::get_if<QueuedMessage>(&item)) Abandon(*message);
}

bool GuiThreadQueue::DeliverOne() {
  Item item;
  {
    std::lock_guard guard(mutex_);
    if (items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
  }
  if (auto* message = std::get_if<QueuedMessage>(&item)) {
    Deliver(*message);
  } else {
    std::get<std::function<void()>>(item)();
  }
  return true;
}

}  // namespace kvx::ui

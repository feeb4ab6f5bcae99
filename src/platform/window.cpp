#include "platform/window.h"

namespace kvx {

namespace detail {

void SendSlot::Complete(LRESULT value) {
  {
    std::lock_guard guard(mutex);
    if (done) return;
    result = value;
    done = true;
  }
  cv.notify_all();
}

LRESULT SendSlot::Wait() {
  std::unique_lock lock(mutex);
  cv.wait(lock, [this] { return done; });
  return result;
}

}  // namespace detail

void MessageQueue::Deliver(QueuedMessage& message) {
  Window* window = nullptr;
  {
    std::lock_guard guard(message.target->mutex);
    window = message.target->window;
  }
  // Windows die only on this thread, so `window` stays valid while its handler runs.
  const LRESULT result =
      window ? window->WindowProc(message.msg, message.wParam, message.lParam) : 0;
  if (message.reply) message.reply->Complete(result);
}

void MessageQueue::Abandon(QueuedMessage& message) {
  if (message.reply) message.reply->Complete(0);
}

bool WindowRef::Post(UINT msg, WPARAM wParam, LPARAM lParam) const {
  if (!link_) return false;
  std::lock_guard guard(link_->mutex);
  if (!link_->window) return false;
  link_->queue->Enqueue(QueuedMessage{link_, msg, wParam, lParam, nullptr});
  return true;
}

LRESULT WindowRef::Send(UINT msg, WPARAM wParam, LPARAM lParam) const {
  if (!link_) return 0;
  std::shared_ptr<detail::SendSlot> slot;
  {
    std::unique_lock lock(link_->mutex);
    Window* window = link_->window;
    if (!window) return 0;
    if (link_->queue->IsCurrentThread()) {
      lock.unlock();
      return window->WindowProc(msg, wParam, lParam);
    }
    slot = std::make_shared<detail::SendSlot>();
    link_->queue->Enqueue(QueuedMessage{link_, msg, wParam, lParam, slot});
  }
  return slot->Wait();
}

bool WindowRef::IsWindow() const {
  if (!link_) return false;
  std::lock_guard guard(link_->mutex);
  return link_->window != nullptr;
}

Window::Window(MessageQueue& queue) : queue_(queue), link_(std::make_shared<detail::WindowLink>()) {
  link_->window = this;
  link_->queue = &queue;
}

Window::~Window() {
  DestroyWindow();
}

void Window::DestroyWindow() {
  std::lock_guard guard(link_->mutex);
  link_->window = nullptr;
}

}  // namespace kvx

// The GUI thread as a queue of tasks: how work from other threads (the engine's requests, the end
// of a helper) reaches the thread that owns the windows. Each window toolkit gives one: Qt's
// event loop, the Win32 message queue.
#pragma once

#include <functional>

namespace kvx::ui {

class GuiTasks {
 public:
  virtual ~GuiTasks() = default;

  // Thread-safe. Runs `task` on the GUI thread, after the tasks queued before it, also inside
  // nested loops (boxes, dialogs). A task still queued when the queue goes away is destroyed
  // without running.
  virtual void Queue(std::function<void()> task) = 0;

  // True on the GUI thread.
  virtual bool IsGuiThread() const = 0;
};

}  // namespace kvx::ui

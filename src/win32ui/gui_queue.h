// The window thread's queue on Windows: the engine's window messages to the main window and GUI
// tasks, each announced by a message posted to a hidden window of the thread, so items arrive
// through the thread's own message queue (see GuiThreadQueue for the order and the end).
//
// Construct and destroy on the window thread.
#pragma once

#include "operator/gui_thread_queue.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

class GuiQueue final : public ui::GuiThreadQueue {
 public:
  GuiQueue();
  ~GuiQueue() override;

 private:
  void Announce() override;

  NativeWindow announcer_ = nullptr;
};

}  // namespace kvx::win32ui

// What the main window's behaviour asks of a window toolkit: the main window's controls addressed
// by their ids (operator/control_ids.h), its title, the log window, and the GUI thread's loop.
// The Qt window and the Windows dialog each implement it; the behaviour decides, they show.
//
// Threads: GUI thread only.
#pragma once

#include <functional>
#include <string>

#include "operator/progress_range.h"

namespace kvx {
class TraceStore;
}

namespace kvx::ui {

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  virtual void EnableControl(int id, bool enabled) = 0;
  virtual bool IsControlEnabled(int id) const = 0;
  virtual void ShowControl(int id, bool visible) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsChecked(int id) const = 0;
  virtual void FocusControl(int id) = 0;

  // The path box (shown from its start) and the status line, in UTF-8.
  virtual void SetControlText(int id, const std::string& text) = 0;
  virtual std::string ControlText(int id) const = 0;

  // The progress bar: a new range (its position at the start), then positions within it.
  virtual void SetProgressRange(const ProgressRange& range) = 0;
  virtual void SetProgressPosition(int position) = 0;

  virtual void SetTitle(const std::string& title) = 0;
  // The selected port beside "Serial port"; empty when none is selected.
  virtual void ShowSelectedPort(const std::string& port) = 0;

  // Shows the main window: once, after the start-up warning was confirmed.
  virtual void ShowMainWindow() = 0;

  // The log window: the engine's trace it follows (nullptr: none any more), and whether it shows,
  // as the engine's toggle decides.
  virtual void AttachTrace(TraceStore* trace) = 0;
  virtual void SetLogWindowShown(bool shown) = 0;

  // Handles the GUI thread's messages, tasks and input until `done()` is true. `done` is asked
  // after each task, so whatever makes it true from another thread queues a task (GuiTasks).
  virtual void RunUntil(const std::function<bool()>& done) = 0;

  // The engine has ended after Exit: the program may quit.
  virtual void Ended() = 0;
};

}  // namespace kvx::ui

// The trace window on Windows: the engine's trace (TraceStore), each line in its colour, in the
// rich-text control of its template, with the menu "Menu" (&Clean, &Exit).
//
// The engine decides when it shows (SetShown, through its toggle); the window itself only asks
// the engine to toggle (Exit, the close button), so the engine's idea of what is shown stays in
// step. New lines are announced by the store's listener on the engine thread and taken on the
// window thread while it shows, in batches of kLinesPerBatch, each batch a task of its own, so a
// long trace never stalls the window. Window thread only, but for the listener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "operator/gui_tasks.h"
#include "platform/trace.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

class LogWindow {
 public:
  static constexpr std::size_t kLinesPerBatch = 2000;

  // `gui` must outlive this window; `request_toggle` asks the engine to toggle it.
  LogWindow(NativeWindow owner, ui::GuiTasks& gui, std::function<void()> request_toggle);
  ~LogWindow();
  LogWindow(const LogWindow&) = delete;
  LogWindow& operator=(const LogWindow&) = delete;

  // Shows `store` (nullptr: nothing more). The store must stay alive until Attach(nullptr).
  void Attach(TraceStore* store);
  void SetShown(bool shown);
  // "&Clean": empties the view and the engine's trace.
  void Clean();

  DialogWindow* dialog() const { return dialog_.get(); }

 private:
  struct Feed;
  void TakeBatch();
  void AppendLines(const TraceLine* lines, std::size_t count);
  void ClearView();

  ui::GuiTasks& gui_;
  std::unique_ptr<DialogWindow> dialog_;
  std::shared_ptr<Feed> feed_;
  TraceStore* store_ = nullptr;
  std::uint64_t shown_generation_ = 0;
  std::size_t read_count_ = 0;  // lines of the store shown so far
};

}  // namespace kvx::win32ui

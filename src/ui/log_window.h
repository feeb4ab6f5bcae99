// CATLogWindow: the trace window. Shows the engine's trace (TraceStore), each line in its colour,
// read-only, with the menu "Menu" (&Clean, &Exit), also offered on a right click.
//
// The engine decides when the window is shown (SetShown, through its toggle), and a shown window
// is the active one; the window itself only asks the engine to toggle: Exit, Escape, the
// caption's close button and Ctrl+Shift+D all post LOG_WND_TOGGLE through `request_toggle`, so
// the engine's idea of what is shown stays in step.
//
// New lines are taken in batches on a timer while the window is visible, at most kLinesPerBatch
// at a time, and the view keeps the last kMaxShownLines lines, so a trace of hundreds of thousands
// of lines neither stalls the GUI nor grows the view without bound. GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

#include "platform/trace.h"
#include "ui/trace_feed.h"

class QMenu;
class QTextEdit;

namespace kvx::ui {

class CATLogWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxShownLines = 50000;
  static constexpr int kLinesPerBatch = 2000;
  static constexpr int kBatchDelayMs = 100;

  explicit CATLogWindow(std::function<void()> request_toggle, QWidget* parent = nullptr);

  // Shows `store` (nullptr: nothing). The store must stay alive until Attach(nullptr).
  void Attach(TraceStore* store);

  // The engine's toggle: show (raised and active) or hide.
  void SetShown(bool shown);

  // Takes what the trace holds now, at once and whole (also while hidden). For tests and
  // screenshots; the timer does the same in batches.
  void CatchUp();

  // "&Clean": empties the view and the engine's trace.
  void Clean();

  QTextEdit* view() const { return view_; }
  QMenu* menu() const { return menu_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnTraceChanged();
  // Brings the view closer to the trace: reads what is new and appends up to `limit` lines.
  // Returns true when lines remain for another batch.
  bool TakeBatch(std::size_t limit);
  bool ReadNewLines();
  void ResetView();
  void RequestToggle();

  std::function<void()> request_toggle_;
  QTextEdit* view_ = nullptr;
  QMenu* menu_ = nullptr;
  QTimer batch_timer_;
  TraceFeed feed_;
  std::uint64_t shown_generation_ = 0;
  std::size_t read_count_ = 0;     // lines of the store taken so far (shown or in the backlog)
  std::deque<TraceLine> backlog_;  // taken from the store, not yet shown
};

}  // namespace kvx::ui

#include "win32ui/log_window.h"

#include <algorithm>
#include <mutex>

#include "win32ui/resource_ids.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <richedit.h>

namespace kvx::win32ui {

namespace {

Colour ColourOf(COLORREF colour) {
  return {static_cast<std::uint8_t>(colour & 0xff), static_cast<std::uint8_t>((colour >> 8) & 0xff),
          static_cast<std::uint8_t>((colour >> 16) & 0xff)};
}

}  // namespace

// Shared with the store's listener, which runs on the engine thread: at most one batch task is
// queued at a time, and a task that arrives after the window went does nothing.
struct LogWindow::Feed {
  std::mutex mutex;
  bool task_queued = false;
  LogWindow* window = nullptr;  // read and cleared on the window thread only
};

LogWindow::LogWindow(NativeWindow owner, ui::GuiTasks& gui, std::function<void()> request_toggle)
    : gui_(gui), feed_(std::make_shared<Feed>()) {
  feed_->window = this;
  dialog_ = DialogWindow::Create(IDD_LOG_WINDOW, owner);
  if (!dialog_) return;
  // A read-only trace needs no undo, and keeping it makes every change slower.
  SendMessageW(dialog_->Control(IDC_LOG_TEXT), EM_SETUNDOLIMIT, 0, 0);
  dialog_->OnCommand(ID_LOG_CLEAN, [this] { Clean(); });
  dialog_->OnCommand(ID_LOG_EXIT, request_toggle);
  dialog_->OnCommand(IDCANCEL, request_toggle);  // Escape
  dialog_->OnClose(request_toggle);
}

LogWindow::~LogWindow() {
  Attach(nullptr);
  feed_->window = nullptr;
}

void LogWindow::Attach(TraceStore* store) {
  if (store_) store_->SetListener(nullptr);
  store_ = store;
  read_count_ = 0;
  // Let go only: what shows stays until another trace comes (emptying a long text is slow).
  if (!store_) return;
  ClearView();
  shown_generation_ = store_->generation();
  const std::shared_ptr<Feed> feed = feed_;
  ui::GuiTasks& gui = gui_;
  store_->SetListener([feed, &gui] {
    {
      std::lock_guard guard(feed->mutex);
      if (feed->task_queued) return;
      feed->task_queued = true;
    }
    gui.Queue([feed] {
      {
        std::lock_guard guard(feed->mutex);
        feed->task_queued = false;
      }
      if (feed->window) feed->window->TakeBatch();
    });
  });
  TakeBatch();
}

void LogWindow::SetShown(bool shown) {
  if (!dialog_) return;
  dialog_->ShowWindow(shown);
  if (shown) TakeBatch();
}

void LogWindow::Clean() {
  ClearView();
  if (!store_) return;
  store_->Clean();
  shown_generation_ = store_->generation();
  read_count_ = 0;
}

void LogWindow::ClearView() {
  if (!dialog_) return;
  HWND text = dialog_->Control(IDC_LOG_TEXT);
  SendMessageW(text, WM_SETREDRAW, FALSE, 0);
  dialog_->SetText(IDC_LOG_TEXT, "");
  SendMessageW(text, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(text, nullptr, TRUE);
}

void LogWindow::TakeBatch() {
  // A hidden window takes nothing: showing it catches up.
  if (!store_ || !dialog_ || IsWindowVisible(dialog_->handle()) == FALSE) return;
  if (store_->generation() != shown_generation_) {
    shown_generation_ = store_->generation();
    read_count_ = 0;
    ClearView();
  }
  const TraceSlice slice = store_->Slice(read_count_);
  const std::vector<TraceLine>& lines = slice.lines;
  const std::size_t taken = std::min(lines.size(), kLinesPerBatch);
  AppendLines(lines.data(), taken);
  read_count_ = slice.next - (lines.size() - taken);
  if (taken < lines.size()) {
    const std::shared_ptr<Feed> feed = feed_;
    gui_.Queue([feed] {
      if (feed->window) feed->window->TakeBatch();
    });
  }
}

void LogWindow::AppendLines(const TraceLine* lines, std::size_t count) {
  if (count == 0) return;
  // Lines of one colour go in as one piece, and the control draws once per batch: it is slow per
  // insertion and per redraw.
  HWND text = dialog_->Control(IDC_LOG_TEXT);
  SendMessageW(text, WM_SETREDRAW, FALSE, 0);
  std::size_t first = 0;
  while (first < count) {
    std::string piece = lines[first].text;
    std::size_t next = first + 1;
    while (next < count && lines[next].colour == lines[first].colour) piece += lines[next++].text;
    dialog_->AppendText(IDC_LOG_TEXT, piece, ColourOf(lines[first].colour));
    first = next;
  }
  SendMessageW(text, WM_SETREDRAW, TRUE, 0);
  // The newest lines in view.
  SendMessageW(text, WM_VSCROLL, SB_BOTTOM, 0);
  InvalidateRect(text, nullptr, TRUE);
}

}  // namespace kvx::win32ui

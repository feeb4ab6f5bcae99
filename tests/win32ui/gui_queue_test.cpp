// The window thread's queue (engine messages and tasks in one order) and the log window fed
// from a trace that another thread writes.

#include "win32ui/gui_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/trace.h"
#include "platform/window.h"
#include "win32ui/log_window.h"
#include "win32ui/resource_ids.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include "dialog_test_support.h"

namespace kvx::win32ui::test {
namespace {

// Pumps the thread's messages until `done` or a generous number of rounds has passed.
bool PumpUntil(const std::function<bool()>& done) {
  for (int round = 0; round < 2000 && !done(); ++round) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
  return done();
}

class RecordingWindow final : public kvx::Window {
 public:
  explicit RecordingWindow(MessageQueue& queue, std::vector<std::string>& seen)
      : Window(queue), seen_(seen) {}
  ~RecordingWindow() override { DestroyWindow(); }
  kvx::LRESULT WindowProc(kvx::UINT msg, kvx::WPARAM, kvx::LPARAM) override {
    seen_.push_back("message " + std::to_string(msg));
    on_window_thread = on_window_thread && std::this_thread::get_id() == thread_;
    return static_cast<kvx::LRESULT>(msg) * 2;
  }
  bool on_window_thread = true;

 private:
  std::vector<std::string>& seen_;
  const std::thread::id thread_ = std::this_thread::get_id();
};

TEST(GuiQueueTest, MessagesAndTasksFromAnotherThreadArriveInTheirOrderOnTheWindowThread) {
  GuiQueue queue;
  std::vector<std::string> seen;
  RecordingWindow window(queue, seen);
  const kvx::WindowRef ref = window.Ref();
  std::thread other([&] {
    ref.Post(0x401);
    queue.Queue([&] { seen.push_back("task"); });
    ref.Post(0x402);
  });
  other.join();
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 3; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"message 1025", "task", "message 1026"}));
  EXPECT_TRUE(window.on_window_thread);
}

TEST(GuiQueueTest, ASendFromAnotherThreadGetsTheHandlersResult) {
  GuiQueue queue;
  std::vector<std::string> seen;
  RecordingWindow window(queue, seen);
  std::atomic<kvx::LRESULT> answer = -1;
  std::thread other([&, ref = window.Ref()] { answer = ref.Send(0x410); });
  ASSERT_TRUE(PumpUntil([&] { return answer != -1; }));
  other.join();
  EXPECT_EQ(answer, 0x820);
}

// A queue that goes with a Send and a task still in it: the sender is answered 0 and the task
// never runs, so nothing waits for ever on a window thread that has ended.
TEST(GuiQueueTest, WhatIsStillQueuedWhenTheQueueGoesIsAnsweredOrDropped) {
  auto queue = std::make_unique<GuiQueue>();
  std::vector<std::string> seen;
  auto window = std::make_unique<RecordingWindow>(*queue, seen);
  std::atomic<kvx::LRESULT> answer = -1;
  std::thread other([&, ref = window->Ref()] { answer = ref.Send(0x410); });
  // The Send is queued once its announcement is in this thread's queue.
  MSG announced;
  while (PeekMessageW(&announced, nullptr, WM_APP + 1, WM_APP + 1, PM_NOREMOVE) == FALSE) {
    std::this_thread::yield();
  }
  bool task_ran = false;
  queue->Queue([&] { task_ran = true; });
  window.reset();
  queue.reset();
  other.join();
  EXPECT_EQ(answer, 0);
  EXPECT_FALSE(task_ran);
  EXPECT_TRUE(seen.empty());
}

class LogWindowTest : public ::testing::Test {
 protected:
  std::string Shown() const {
    return Narrow(RichText(GetDlgItem(log_.dialog()->handle(), IDC_LOG_TEXT)));
  }
  int ShownLines() const {
    return static_cast<int>(
        SendDlgItemMessageW(log_.dialog()->handle(), IDC_LOG_TEXT, EM_GETLINECOUNT, 0, 0));
  }
  // The traces here are ASCII.
  static std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
  }
  void Command(int id) { SendMessageW(log_.dialog()->handle(), WM_COMMAND, id, 0); }

  GuiQueue queue_;
  int toggles_ = 0;
  LogWindow log_{nullptr, queue_, [this] { ++toggles_; }};
  TraceStore store_;
};

TEST_F(LogWindowTest, ShowsTheLinesAnotherThreadTracesAndCleanEmptiesViewAndTrace) {
  ASSERT_NE(log_.dialog(), nullptr);
  log_.SetShown(true);
  log_.Attach(&store_);
  std::thread engine([&] {
    for (const char* text : {"first\r\n", "second\r\n", "third\r\n"}) {
      store_.Append(text, kTraceBlack, LOG_TEXT);
    }
  });
  engine.join();
  ASSERT_TRUE(PumpUntil([&] { return Shown().find("third") != std::string::npos; })) << Shown();
  EXPECT_LT(Shown().find("first"), Shown().find("second"));

  Command(ID_LOG_CLEAN);
  EXPECT_EQ(Shown(), "");
  EXPECT_EQ(store_.size(), 0u);
  store_.Append("after\r\n", kTraceBlack, LOG_TEXT);
  ASSERT_TRUE(PumpUntil([&] { return Shown().find("after") != std::string::npos; }));
  EXPECT_EQ(Shown().find("third"), std::string::npos);
  log_.Attach(nullptr);
}

// Hidden, it takes nothing; shown, it catches up with everything, batch after batch, the colours
// changing along the way.
TEST_F(LogWindowTest, ALongTraceArrivesWholeInBatchesOnceShown) {
  log_.Attach(&store_);
  const int lines = static_cast<int>(LogWindow::kLinesPerBatch) * 2 + 17;
  for (int index = 0; index < lines; ++index) {
    store_.Append("line " + std::to_string(index) + "\r\n",
                  index % 7 == 0 ? kTraceRed : kTraceBlack, LOG_TEXT);
  }
  PumpMessages();
  EXPECT_EQ(Shown(), "");
  log_.SetShown(true);
  ASSERT_TRUE(PumpUntil([&] { return ShownLines() > lines; })) << ShownLines();
  EXPECT_NE(Shown().find("line " + std::to_string(lines - 1)), std::string::npos);
  log_.Attach(nullptr);
}

// The window only asks the engine to toggle it, so the engine's idea of what shows stays right.
TEST_F(LogWindowTest, ExitAndTheCloseButtonAskTheEngineToToggle) {
  Command(ID_LOG_EXIT);
  SendMessageW(log_.dialog()->handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(toggles_, 2);
}

}  // namespace
}  // namespace kvx::win32ui::test

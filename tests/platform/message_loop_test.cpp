#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/message_thread.h"

namespace kvx {
namespace {

struct Received {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

// Records what it is handed; answers every message with wParam + lParam.
class RecordingWindow : public Window {
 public:
  using Window::Window;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    received.push_back({msg, wParam, lParam});
    handler_thread = std::this_thread::get_id();
    return static_cast<LRESULT>(wParam) + lParam;
  }
  std::vector<Received> received;
  std::thread::id handler_thread;
};

class MessageLoopTest : public ::testing::Test {
 protected:
  ManualClock clock;
  MessageLoop loop{clock};
};

TEST_F(MessageLoopTest, PostedMessagesArriveInOrder) {
  RecordingWindow window(loop);
  for (WPARAM i = 0; i < 5; ++i) ASSERT_TRUE(window.Ref().Post(WM_USER + 7, i, 0));
  EXPECT_TRUE(window.received.empty()) << "posting must not run the handler";
  EXPECT_EQ(loop.RunUntilIdle(), 5u);
  ASSERT_EQ(window.received.size(), 5u);
  for (WPARAM i = 0; i < 5; ++i) EXPECT_EQ(window.received[i].wParam, i);
}

TEST_F(MessageLoopTest, SendOnTheWindowsOwnThreadIsADirectCall) {
  RecordingWindow window(loop);
  EXPECT_EQ(window.Ref().Send(WM_USER, 40, 2), 42);
  EXPECT_EQ(window.received.size(), 1u);
  EXPECT_EQ(loop.RunUntilIdle(), 0u) << "a same-thread send must not be queued";
}

TEST_F(MessageLoopTest, SendFromAnotherThreadReturnsTheHandlersResultOnTheWindowsThread) {
  RecordingWindow window(loop);
  std::atomic<LRESULT> result{-1};
  std::thread sender([&] { result = window.Ref().Send(WM_USER, 30, 3); });
  // Serve sends until the sender has its answer; it is blocked until then.
  loop.ServeSendsUntil([&] { return !window.received.empty(); });
  sender.join();
  EXPECT_EQ(result.load(), 33);
  EXPECT_EQ(window.handler_thread, std::this_thread::get_id());
}

TEST_F(MessageLoopTest, MessagesToADestroyedWindowFail) {
  auto window = std::make_unique<RecordingWindow>(loop);
  WindowRef ref = window->Ref();
  window.reset();
  EXPECT_FALSE(ref.IsWindow());
  EXPECT_FALSE(ref.Post(WM_USER));
  EXPECT_EQ(ref.Send(WM_USER, 1, 1), 0);
}

TEST_F(MessageLoopTest, ASendStillQueuedWhenTheLoopDiesReturnsZero) {
  auto owned_loop = std::make_unique<MessageLoop>(clock);
  auto window = std::make_unique<RecordingWindow>(*owned_loop);
  WindowRef ref = window->Ref();
  std::atomic<LRESULT> result{-1};
  std::thread sender([&] { result = ref.Send(WM_USER, 5, 5); });
  while (!owned_loop->HasPendingMessages()) std::this_thread::yield();
  window.reset();
  owned_loop.reset();
  sender.join();
  EXPECT_EQ(result.load(), 0);
}

TEST_F(MessageLoopTest, TimersFireInTimeOrderOnTheManualClock) {
  RecordingWindow window(loop);
  loop.SetTimer(window, 2, Milliseconds(300));
  loop.SetTimer(window, 1, Milliseconds(100));
  loop.FastForwardBy(Milliseconds(99));
  EXPECT_TRUE(window.received.empty());
  // Now at 400 ms: timer 1 at 100, 200, 300 and 400; timer 2 at 300, before timer 1, which
  // was re-armed later.
  loop.FastForwardBy(Milliseconds(301));
  std::vector<WPARAM> fired;
  for (const auto& m : window.received) {
    EXPECT_EQ(m.msg, WM_TIMER);
    fired.push_back(m.wParam);
  }
  EXPECT_EQ(fired, (std::vector<WPARAM>{1, 1, 2, 1, 1}));
}

TEST_F(MessageLoopTest, SettingARunningTimerAgainRestartsIt) {
  RecordingWindow window(loop);
  loop.SetTimer(window, 9, Milliseconds(1000));
  loop.FastForwardBy(Milliseconds(900));
  loop.SetTimer(window, 9, Milliseconds(1000));
  loop.FastForwardBy(Milliseconds(900));
  EXPECT_TRUE(window.received.empty()) << "the restart must push the expiry to 1900 ms";
  loop.FastForwardBy(Milliseconds(100));
  ASSERT_EQ(window.received.size(), 1u);
  EXPECT_EQ(window.received[0].wParam, 9u);
}

TEST_F(MessageLoopTest, KillTimerStopsATimerAndIgnoresAStoppedOne) {
  RecordingWindow window(loop);
  EXPECT_FALSE(loop.KillTimer(window, 3));
  loop.SetTimer(window, 3, Milliseconds(10));
  EXPECT_TRUE(loop.IsTimerRunning(window, 3));
  EXPECT_TRUE(loop.KillTimer(window, 3));
  EXPECT_FALSE(loop.KillTimer(window, 3));
  loop.FastForwardBy(Milliseconds(100));
  EXPECT_TRUE(window.received.empty());
}

TEST_F(MessageLoopTest, PostedMessagesGoBeforeADueTimer) {
  RecordingWindow window(loop);
  loop.SetTimer(window, 1, Milliseconds(10));
  clock.Advance(Milliseconds(10));
  window.Ref().Post(WM_USER + 1);
  loop.RunUntilIdle();
  ASSERT_EQ(window.received.size(), 2u);
  EXPECT_EQ(window.received[0].msg, WM_USER + 1);
  EXPECT_EQ(window.received[1].msg, WM_TIMER);
}

// A thread running its own loop: the engine's shape.
class EchoThread : public MessageThread {
 public:
  using MessageThread::MessageThread;
  ~EchoThread() override { Join(); }
  std::atomic<bool> ended{false};
  WindowRef window;
  std::atomic<bool> ready{false};

 protected:
  class Echo : public Window {
   public:
    Echo(MessageQueue& queue, MessageLoop& loop) : Window(queue), loop_(loop) {}
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM) override {
      if (msg == WM_CLOSE) {
        loop_.Quit();
        return 0;
      }
      if (msg == WM_TIMER) return 0;
      return static_cast<LRESULT>(wParam) * 2;
    }

   private:
    MessageLoop& loop_;
  };

  bool InitInstance() override {
    echo_ = std::make_unique<Echo>(loop(), loop());
    window = echo_->Ref();
    ready = true;
    return true;
  }
  int ExitInstance() override {
    echo_.reset();
    ended = true;
    return 0;
  }

 private:
  std::unique_ptr<Echo> echo_;
};

TEST(MessageThreadTest, RunsItsLoopUntilClosedAndEndsAfterExitInstance) {
  SteadyClock clock;
  EchoThread thread(clock);
  thread.Start();
  while (!thread.ready) std::this_thread::yield();
  EXPECT_EQ(thread.window.Send(WM_USER, 21, 0), 42);
  EXPECT_TRUE(thread.window.Post(WM_CLOSE));
  thread.Join();
  EXPECT_TRUE(thread.ended);
  EXPECT_FALSE(thread.window.IsWindow());
}

}  // namespace
}  // namespace kvx

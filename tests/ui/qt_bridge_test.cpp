// The GUI thread's queue over Qt's event loop and the engine hooks on it: what other threads post,
// send and queue is handled on the GUI thread, in order, also while a nested loop (a box) runs,
// and nobody is left waiting when the GUI side goes away.

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <future>
#include <thread>

#include "operator/gui_engine_hooks.h"
#include "ui/qt_message_queue.h"
#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

// Records the messages it gets and the thread each ran on; answers a Send with wParam + 1.
class GuiWindow final : public Window {
 public:
  explicit GuiWindow(MessageQueue& queue) : Window(queue) {}
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM) override {
    messages.push_back(msg);
    on_gui_thread = on_gui_thread && QThread::currentThread() == qApp->thread();
    if (during) during();
    return static_cast<LRESULT>(wParam + 1);
  }
  std::vector<UINT> messages;
  bool on_gui_thread = true;
  std::function<void()> during;
};

TEST(QtMessageQueueTest, PostsFromAnotherThreadArriveInOrderOnTheGuiThread) {
  QtMessageQueue queue;
  GuiWindow window(queue);
  std::thread poster([ref = window.Ref()] {
    for (UINT i = 0; i < 100; ++i) ref.Post(WM_USER + i);
  });
  poster.join();
  ASSERT_TRUE(SpinUntil([&] { return window.messages.size() == 100u; }));
  for (UINT i = 0; i < 100; ++i) EXPECT_EQ(window.messages[i], WM_USER + i);
  EXPECT_TRUE(window.on_gui_thread);
}

TEST(QtMessageQueueTest, SendIsAnsweredWhileABoxRunsItsOwnLoop) {
  QtMessageQueue queue;
  GuiWindow window(queue);
  // The first message opens a nested loop, as a message box does, and the second is a Send
  // from another thread that has to be answered inside it.
  std::future<LRESULT> answer;
  window.during = [&] {
    if (window.messages.size() != 1) return;
    answer = std::async(std::launch::async, [ref = window.Ref()] { return ref.Send(WM_USER, 41); });
    ASSERT_TRUE(SpinUntil([&] { return window.messages.size() == 2u; }));
  };
  window.Ref().Post(WM_USER + 1);
  ASSERT_TRUE(SpinUntil([&] { return window.messages.size() == 2u; }));
  EXPECT_EQ(answer.get(), 42);
}

TEST(QtMessageQueueTest, SendOnTheGuiThreadIsADirectCall) {
  QtMessageQueue queue;
  GuiWindow window(queue);
  EXPECT_TRUE(queue.IsCurrentThread());
  EXPECT_EQ(window.Ref().Send(WM_USER, 6), 7);
  EXPECT_EQ(window.messages.size(), 1u);
}

TEST(QtMessageQueueTest, ASendStillQueuedWhenTheQueueGoesIsCompletedWithZero) {
  auto queue = std::make_unique<QtMessageQueue>();
  auto link = std::make_shared<detail::WindowLink>();
  auto reply = std::make_shared<detail::SendSlot>();
  queue->Enqueue(QueuedMessage{link, WM_USER, 0, 0, reply});
  queue.reset();
  EXPECT_EQ(reply->Wait(), 0);
}

TEST(QtMessageQueueTest, TasksAndMessagesFromAnotherThreadRunInTheOrderQueued) {
  QtMessageQueue queue;
  GuiWindow window(queue);
  constexpr UINT kTask = WM_USER + 1000;
  std::vector<UINT> order;  // messages as WM_USER + i, tasks as kTask + i
  bool tasks_on_gui_thread = true;
  window.during = [&] { order.push_back(window.messages.back()); };
  std::thread other([&, ref = window.Ref()] {
    for (UINT i = 0; i < 50; ++i) {
      ref.Post(WM_USER + i);
      queue.Queue([&, i] {
        order.push_back(kTask + i);
        tasks_on_gui_thread = tasks_on_gui_thread && queue.IsGuiThread();
      });
    }
    EXPECT_FALSE(queue.IsGuiThread());
  });
  other.join();
  ASSERT_TRUE(SpinUntil([&] { return order.size() == 100u; }));
  for (UINT i = 0; i < 50; ++i) {
    EXPECT_EQ(order[2 * i], WM_USER + i);
    EXPECT_EQ(order[2 * i + 1], kTask + i);
  }
  EXPECT_TRUE(tasks_on_gui_thread);
  EXPECT_TRUE(window.on_gui_thread);
}

TEST(QtMessageQueueTest, ATaskRunsWhileABoxRunsItsOwnLoop) {
  QtMessageQueue queue;
  GuiWindow window(queue);
  bool ran = false;
  bool ran_inside = false;
  window.during = [&] {
    std::thread([&] { queue.Queue([&] { ran = true; }); }).join();
    ran_inside = SpinUntil([&] { return ran; });
  };
  window.Ref().Post(WM_USER);
  ASSERT_TRUE(SpinUntil([&] { return !window.messages.empty(); }));
  EXPECT_TRUE(ran_inside);
}

TEST(QtMessageQueueTest, ATaskStillQueuedWhenTheQueueGoesIsDestroyedUnrun) {
  auto queue = std::make_unique<QtMessageQueue>();
  auto held = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = held;
  bool ran = false;
  queue->Queue([&ran, held = std::move(held)] { ran = true; });
  queue.reset();
  EXPECT_TRUE(watch.expired()) << "the task went with the queue";
  QApplication::processEvents();
  EXPECT_FALSE(ran);
}

// Answers the engine's requests on the GUI thread and notes where they ran.
class RecordingRequests final : public EngineRequests {
 public:
  void RunPortSetup(const std::vector<std::string>& ports, const std::string& initial,
                    PortSetupDone done) override {
    on_gui_thread = QThread::currentThread() == qApp->thread();
    if (hold) {
      held = std::move(done);
      return;
    }
    done(PortChoice{ports.empty() ? initial : ports.back(), "115200"});
  }
  void ShowEngineBox(const std::string&, const std::string& text) override {
    if (on_box) on_box();
    boxes.push_back(text);
  }
  void ShowEngineInformation(const std::string& text) override { boxes.push_back(text); }
  void SetLogWindowVisible(bool visible) override { log_visible = visible; }
  void ShowCableLostWarning(const std::string&, const std::string& text) override {
    boxes.push_back(text);
  }
  bool on_gui_thread = false;
  bool hold = false;
  PortSetupDone held;
  std::vector<std::string> boxes;
  std::optional<bool> log_visible;
  std::function<void()> on_box;
};

TEST(GuiEngineHooksTest, PortSetupFromTheEngineThreadIsAnsweredOnTheGuiThread) {
  QtMessageQueue queue;
  RecordingRequests requests;
  GuiEngineHooks hooks(queue, requests);
  std::future<std::optional<PortChoice>> choice =
      std::async(std::launch::async, [h = hooks.hooks()] {
        return h.run_port_setup({"ttyUSB0", "ttyUSB1"}, "ttyUSB0");
      });
  ASSERT_TRUE(SpinUntil(
      [&] { return choice.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  const std::optional<PortChoice> got = choice.get();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->port, "ttyUSB1");
  EXPECT_TRUE(requests.on_gui_thread);
}

TEST(GuiEngineHooksTest, ABoxFromTheEngineThreadIsShownOnTheGuiThreadWhileTheEngineWaits) {
  QtMessageQueue queue;
  RecordingRequests requests;
  GuiEngineHooks hooks(queue, requests);
  std::thread::id shown_on;
  requests.on_box = [&] { shown_on = std::this_thread::get_id(); };
  std::future<void> shown = std::async(
      std::launch::async, [h = hooks.hooks()] { h.show_message_box("", "SendMessage fail"); });
  ASSERT_TRUE(SpinUntil(
      [&] { return shown.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(requests.boxes, std::vector<std::string>{"SendMessage fail"});
  EXPECT_EQ(shown_on, std::this_thread::get_id());
}

TEST(GuiEngineHooksTest, PortSetupDroppedUnansweredLetsTheEngineGoOn) {
  QtMessageQueue queue;
  RecordingRequests requests;
  requests.hold = true;
  GuiEngineHooks hooks(queue, requests);
  std::future<std::optional<PortChoice>> choice =
      std::async(std::launch::async, [h = hooks.hooks()] { return h.run_port_setup({"a"}, ""); });
  ASSERT_TRUE(SpinUntil([&] { return static_cast<bool>(requests.held); }));
  requests.held = nullptr;  // the dialog went away without an answer
  EXPECT_FALSE(choice.get().has_value());
}

TEST(GuiEngineHooksTest, HooksLeftOverAfterTheGuiIsGoneDoNothing) {
  QtMessageQueue queue;
  RecordingRequests requests;
  EngineHooks left_over;
  {
    GuiEngineHooks hooks(queue, requests);
    left_over = hooks.hooks();
  }
  std::thread late([&] {
    left_over.show_cable_lost_warning("Warning", "late");
    EXPECT_FALSE(left_over.run_port_setup({"ttyUSB0"}, "").has_value());
  });
  late.join();
  QApplication::processEvents();
  EXPECT_TRUE(requests.boxes.empty());
}

}  // namespace
}  // namespace kvx::ui::test

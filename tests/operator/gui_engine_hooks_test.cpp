// The engine's hooks carried over to the GUI thread as tasks of its queue: the blocking ones wait
// until the GUI thread has run them, and none waits for ever once the GUI's queue or the hooks'
// owner has gone.

#include "operator/gui_engine_hooks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "test_thread_queue.h"

namespace kvx::ui::test {
namespace {

constexpr std::chrono::seconds kBound(30);  // only a failing test waits this long

// Records the engine's requests and the thread each ran on.
class RecordingRequests final : public EngineRequests {
 public:
  void RunPortSetup(const std::vector<std::string>& ports, const std::string&,
                    PortSetupDone done) override {
    Note();
    if (hold) {
      held = std::move(done);
      return;
    }
    done(PortChoice{ports.back(), "115200"});
  }
  void ShowEngineBox(const std::string&, const std::string& text) override {
    Note();
    boxes.push_back(text);
  }
  void ShowEngineInformation(const std::string& text) override {
    Note();
    boxes.push_back(text);
  }
  void SetLogWindowVisible(bool visible) override {
    Note();
    log_visible = visible;
  }
  void ShowCableLostWarning(const std::string&, const std::string& text) override {
    Note();
    boxes.push_back(text);
  }

  std::vector<std::thread::id> threads;
  std::vector<std::string> boxes;
  std::optional<bool> log_visible;
  bool hold = false;
  PortSetupDone held;

 private:
  void Note() { threads.push_back(std::this_thread::get_id()); }
};

struct BlockingHookCase {
  const char* why;
  std::function<void(const EngineHooks&)> call;

  friend void PrintTo(const BlockingHookCase& c, std::ostream* out) { *out << c.why; }
};

class BlockingHookTest : public ::testing::TestWithParam<BlockingHookCase> {};

TEST_P(BlockingHookTest, FromAnotherThreadWaitsUntilTheGuiThreadRanIt) {
  TestThreadQueue queue;
  RecordingRequests requests;
  GuiEngineHooks hooks(queue, requests);
  std::atomic<bool> returned{false};
  std::thread engine([&, engine_hooks = hooks.hooks()] {
    GetParam().call(engine_hooks);
    returned = true;
  });
  EXPECT_TRUE(queue.WaitUntilQueued(1, kBound));
  EXPECT_FALSE(returned) << "returned before the GUI thread ran it";
  EXPECT_TRUE(requests.boxes.empty());
  EXPECT_TRUE(queue.RunOne(kBound));
  engine.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(requests.boxes, std::vector<std::string>{"text"});
  EXPECT_EQ(requests.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
}

TEST_P(BlockingHookTest, WhoseTaskIsDroppedUnrunReturns) {
  auto queue = std::make_unique<TestThreadQueue>();
  RecordingRequests requests;
  GuiEngineHooks hooks(*queue, requests);
  std::thread engine([&, engine_hooks = hooks.hooks()] { GetParam().call(engine_hooks); });
  EXPECT_TRUE(queue->WaitUntilQueued(1, kBound));
  queue.reset();  // the program's end: the queue goes with the task in it
  engine.join();
  EXPECT_TRUE(requests.boxes.empty());
}

TEST_P(BlockingHookTest, OnTheGuiThreadRunsAtOnce) {
  TestThreadQueue queue;
  RecordingRequests requests;
  GuiEngineHooks hooks(queue, requests);
  GetParam().call(hooks.hooks());
  EXPECT_EQ(requests.boxes, std::vector<std::string>{"text"});
  EXPECT_EQ(queue.RunPending(), 0u) << "nothing queued";
}

INSTANTIATE_TEST_SUITE_P(Hooks, BlockingHookTest,
                         ::testing::Values(BlockingHookCase{"message box",
                                                            [](const EngineHooks& hooks) {
                                                              hooks.show_message_box("", "text");
                                                            }},
                                           BlockingHookCase{"information",
                                                            [](const EngineHooks& hooks) {
                                                              hooks.show_information("text");
                                                            }}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(GuiEngineHooksTest, PortSetupIsAnsweredOnTheGuiThreadWhileTheEngineWaits) {
  TestThreadQueue queue;
  RecordingRequests requests;
  GuiEngineHooks hooks(queue, requests);
  requests.hold = true;
  std::optional<PortChoice> chosen;
  std::thread engine([&, engine_hooks = hooks.hooks()] {
    chosen = engine_hooks.run_port_setup({"ttyUSB0", "ttyUSB1"}, "ttyUSB0");
  });
  EXPECT_TRUE(queue.RunOne(kBound));
  ASSERT_TRUE(requests.held) << "the dialog is open and the GUI thread free";
  requests.held(PortChoice{"ttyUSB1", "115200"});
  engine.join();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->port, "ttyUSB1");
  EXPECT_EQ(requests.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
}

TEST(GuiEngineHooksTest, PortSetupWhoseRequestOrDialogIsDroppedAnswersNothing) {
  RecordingRequests requests;
  requests.hold = true;
  auto queue = std::make_unique<TestThreadQueue>();
  GuiEngineHooks hooks(*queue, requests);
  const EngineHooks engine_hooks = hooks.hooks();
  std::optional<PortChoice> first{PortChoice{}};
  std::thread dialog_dropped([&] { first = engine_hooks.run_port_setup({"ttyUSB0"}, ""); });
  EXPECT_TRUE(queue->RunOne(kBound));
  requests.held = nullptr;  // the dialog went away without an answer
  dialog_dropped.join();
  EXPECT_FALSE(first.has_value());

  std::optional<PortChoice> second{PortChoice{}};
  std::thread request_dropped([&] { second = engine_hooks.run_port_setup({"ttyUSB0"}, ""); });
  EXPECT_TRUE(queue->WaitUntilQueued(1, kBound));
  queue.reset();
  request_dropped.join();
  EXPECT_FALSE(second.has_value());
}

TEST(GuiEngineHooksTest, QueuedHooksReturnAtOnceAndRunInOrderOnTheGuiThread) {
  TestThreadQueue queue;
  RecordingRequests requests;
  GuiEngineHooks hooks(queue, requests);
  std::thread engine([engine_hooks = hooks.hooks()] {
    engine_hooks.log_window_visibility(true);
    engine_hooks.show_cable_lost_warning("Warning", "cable");
    engine_hooks.log_window_visibility(false);
  });
  engine.join();
  EXPECT_TRUE(requests.threads.empty()) << "nothing ran yet";
  EXPECT_EQ(queue.RunPending(), 3u);
  EXPECT_EQ(requests.boxes, std::vector<std::string>{"cable"});
  EXPECT_EQ(requests.log_visible, false) << "the last one wins";
  EXPECT_EQ(requests.threads.size(), 3u);
}

TEST(GuiEngineHooksTest, HooksLeftOverAfterTheirOwnerIsGoneDoNothing) {
  TestThreadQueue queue;
  RecordingRequests requests;
  EngineHooks left_over;
  {
    GuiEngineHooks hooks(queue, requests);
    left_over = hooks.hooks();
  }
  std::thread late([&] {
    left_over.show_cable_lost_warning("Warning", "late");
    left_over.show_message_box("", "late");
    EXPECT_FALSE(left_over.run_port_setup({"ttyUSB0"}, "").has_value());
  });
  late.join();
  EXPECT_EQ(queue.RunPending(), 0u);
  EXPECT_TRUE(requests.boxes.empty());
}

}  // namespace
}  // namespace kvx::ui::test

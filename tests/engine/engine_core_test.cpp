#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "engine/upgrade_proc.h"
#include "engine/upgrade_worker.h"
#include "platform/fake_serial_device.h"
#include "platform/profile_store.h"
#include "platform/serial_port_source.h"

namespace kvx {
namespace {

class RecordingFrontEnd : public Window {
 public:
  using Window::Window;
  LRESULT WindowProc(UINT msg, WPARAM, LPARAM) override {
    received.push_back(msg);
    return 0;
  }
  std::vector<UINT> received;
};

class EngineCoreTest : public ::testing::Test {
 protected:
  EngineCoreTest() {
    auto& hooks = environment.hooks;
    hooks.log_window_visibility = [this](bool visible) { visibility_calls.push_back(visible); };
    hooks.show_message_box = [this](const std::string&, const std::string& text) {
      boxes.push_back(text);
    };
    worker = std::make_unique<CUpgradeWorker>(loop, front_end.Ref(), environment);
  }

  void Post(UINT msg, LPARAM lParam) {
    worker->Ref().Post(msg, 0, lParam);
    loop.RunUntilIdle();
  }

  ManualClock clock;
  MessageLoop loop{clock};
  RecordingFrontEnd front_end{loop};
  FakeSerialDeviceOpener opener;
  FakeSerialPortSource ports;
  MemoryProfileStore profile{""};
  EngineEnvironment environment{clock, opener, ports, profile, EngineHooks{}};
  std::vector<bool> visibility_calls;
  std::vector<std::string> boxes;
  std::unique_ptr<CUpgradeWorker> worker;
};

TEST_F(EngineCoreTest, TheFirstTraceLineIsTheRedStartBanner) {
  const auto lines = worker->log_window().store().Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].colour, kTraceRed);
  EXPECT_EQ(lines[0].kind, LOG_TEXT);
  EXPECT_EQ(lines[0].text.substr(25),
            " InitalizationInitalizationInitalizationInitalizationInitalizationInitalization.\r\n");
}

TEST_F(EngineCoreTest, WriteLogAppendsEachKindWithItsMarkerAndIgnoresOthers) {
  worker->log_window().Clean();
  worker->WriteLog("AT\n", kTraceBrown, LOG_TX);
  worker->WriteLog("OK\r\n", kTraceBlue, LOG_RX);
  worker->WriteLog("plain", kTraceBlack, LOG_TEXT);
  worker->WriteLog("nothing", kTraceBlack, 0);
  worker->WriteLog("nothing", kTraceBlack, 4);
  const auto lines = worker->log_window().store().Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].text.substr(25), "T: AT\n");
  EXPECT_EQ(lines[1].text.substr(25), "R: OK\r\n");
  EXPECT_EQ(lines[2].text.substr(25), " plain\n");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(EngineCoreTest, ATraceRequestFromAnotherThreadIsInTheStoreWhenTheSendReturns) {
  worker->log_window().Clean();
  std::atomic<LRESULT> result{0};
  std::thread reader([&] {
    const std::string text = "COM5 Port open fail";
    result = worker->Ref().Send(WM_USER_LOG, reinterpret_cast<WPARAM>(&text), kTraceRed);
  });
  loop.ServeSendsUntil([&] { return worker->log_window().store().size() == 1; });
  reader.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_EQ(worker->log_window().store().Lines()[0].colour, kTraceRed);
}

TEST_F(EngineCoreTest, LogWindowToggleShowsOnlyInDevelopmentModeButHidesInAnyMode) {
  Post(WM_USER_LOG_WND_CTRL, LOG_WND_TOGGLE);
  EXPECT_FALSE(worker->Snapshot().m_bLogVisible)
      << "outside development mode a hidden window stays hidden";
  EXPECT_TRUE(visibility_calls.empty());

  Post(WM_USER_DEV_MODE, DEV_MODE_ON);
  Post(WM_USER_LOG_WND_CTRL, LOG_WND_TOGGLE);
  EXPECT_TRUE(worker->Snapshot().m_bLogVisible);

  Post(WM_USER_DEV_MODE, DEV_MODE_OFF);
  Post(WM_USER_LOG_WND_CTRL, LOG_WND_TOGGLE);
  EXPECT_FALSE(worker->Snapshot().m_bLogVisible)
      << "a shown window hides even after development mode ends";
  EXPECT_EQ(visibility_calls, (std::vector<bool>{true, false}));
}

TEST_F(EngineCoreTest, DumpToggleWorksOnlyInDevelopmentMode) {
  Post(WM_USER_LOG_WND_CTRL, DUMP_TOGGLE);
  EXPECT_FALSE(worker->Snapshot().m_bDumpSegments);
  Post(WM_USER_DEV_MODE, DEV_MODE_ON);
  Post(WM_USER_LOG_WND_CTRL, DUMP_TOGGLE);
  EXPECT_TRUE(worker->Snapshot().m_bDumpSegments);
  Post(WM_USER_LOG_WND_CTRL, DUMP_TOGGLE);
  EXPECT_FALSE(worker->Snapshot().m_bDumpSegments);
  Post(WM_USER_LOG_WND_CTRL, 1234);
  EXPECT_FALSE(worker->Snapshot().m_bDumpSegments);
}

TEST_F(EngineCoreTest, DevModeOffForgetsThePortSelectionAndOtherValuesChangeNothing) {
  Post(WM_USER_UPGRADE_AGAIN, 0);  // selects the remembered port
  front_end.received.clear();
  Post(WM_USER_DEV_MODE, 7003);
  EXPECT_EQ(worker->Snapshot().m_bDevMode, 0);
  EXPECT_TRUE(worker->Snapshot().m_bPortSelected);
  Post(WM_USER_DEV_MODE, DEV_MODE_ON);
  EXPECT_EQ(worker->Snapshot().m_bDevMode, 1);
  EXPECT_TRUE(worker->Snapshot().m_bPortSelected);
  Post(WM_USER_DEV_MODE, DEV_MODE_OFF);
  EXPECT_EQ(worker->Snapshot().m_bDevMode, 0);
  EXPECT_FALSE(worker->Snapshot().m_bPortSelected);
  EXPECT_TRUE(front_end.received.empty()) << "the front end is not told";
}

TEST_F(EngineCoreTest, ATraceRequestAfterTheWindowIsGoneShowsSendMessageFail) {
  worker->DestroyWindow();
  worker->WriteLog("lost", kTraceBlack, LOG_TEXT);
  EXPECT_EQ(boxes, (std::vector<std::string>{"SendMessage fail"}));
}

// The front end's side of start-up and shutdown, on the test thread's loop.
class FrontEnd : public Window {
 public:
  FrontEnd(MessageLoop& loop, CUpgradeProc& proc) : Window(loop), loop_(loop), proc_(proc) {}
  LRESULT WindowProc(UINT msg, WPARAM, LPARAM) override {
    received.push_back(msg);
    if (msg == WM_USER_THREAD_START) proc_.engine_window().Post(WM_CLOSE);
    if (msg == WM_USER_THREAD_END) {
      proc_.Join();
      loop_.Quit();
    }
    return 0;
  }
  std::vector<UINT> received;

 private:
  MessageLoop& loop_;
  CUpgradeProc& proc_;
};

TEST(EngineThreadTest, StartsReportsAndShutsDownInOrder) {
  SteadyClock clock;
  MessageLoop loop(clock);
  FakeSerialDeviceOpener opener;
  FakeSerialPortSource ports;
  MemoryProfileStore profile{""};
  CUpgradeProc proc(EngineEnvironment{clock, opener, ports, profile, EngineHooks{}});
  FrontEnd front_end(loop, proc);
  proc.m_pMainDlg = front_end.Ref();
  proc.Start();
  loop.Run();
  EXPECT_EQ(front_end.received, (std::vector<UINT>{WM_USER_THREAD_START, WM_USER_THREAD_END}));
  EXPECT_EQ(proc.worker(), nullptr);
  EXPECT_FALSE(proc.engine_window().IsWindow());
}

}  // namespace
}  // namespace kvx

// The engine, driven by a minimal front end, upgrades kvx-sim over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <thread>

#include "engine/engine_reports.h"
#include "engine/upgrade_proc.h"
#include "mkimage/sample_image.h"
#include "platform/posix_serial_device.h"
#include "platform/profile_store.h"
#include "platform/serial_port_source.h"
#include "support/sim_process.h"

namespace kvx {
namespace {

// Stands where the main window stands: selects the port as the configuration file does, presses
// Start, answers questions with Yes, and shuts the engine down when the run has ended.
class TestFrontEnd : public Window, private EngineReports {
 public:
  TestFrontEnd(MessageLoop& loop, CUpgradeProc& proc, std::string port, std::string image)
      : Window(loop), loop_(loop), proc_(proc), port_(std::move(port)), image_(std::move(image)) {}

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    return DispatchEngineReport(*this, msg, wParam, lParam).value_or(0);
  }

  void OnThreadStart() override {
    proc_.engine_window().Post(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&port_));
  }
  void OnPortSelected(const std::string&, std::int32_t baud) override {
    if (started_ || baud <= 0) return;
    started_ = true;
    proc_.worker()->SetFilePath(image_);
    proc_.engine_window().Post(WM_USER_UPGRADE_START, 0, options_);
  }
  LRESULT OnAsk(int) override { return IDYES; }
  void OnStatus(int string_id) override { statuses.push_back(string_id); }
  void OnButtonControl(bool enable, int string_id) override {
    if (!enable) return;
    if (string_id != 0) messages.push_back(string_id);
    proc_.engine_window().Post(WM_USER_SYNC);
  }
  void OnSync(bool) override { proc_.engine_window().Post(WM_CLOSE); }
  void OnUpgradeEnd(int) override { completed = true; }
  void OnThreadEnd() override {
    proc_.Join();
    loop_.Quit();
  }

  LPARAM options_ = 0;
  bool completed = false;
  std::vector<int> statuses;
  std::vector<int> messages;

 private:
  MessageLoop& loop_;
  CUpgradeProc& proc_;
  std::string port_;
  std::string image_;
  bool started_ = false;
};

class EngineSimTest : public ::testing::Test {
 protected:
  // Runs one whole upgrade of `image` against a simulator started with `sim_options`.
  void RunUpgrade(const std::vector<std::uint8_t>& image, const std::vector<std::string>& options,
                  LPARAM option_bits = 0) {
    sim = std::make_unique<test::SimProcess>(KVX_SIM_PATH, options);
    ASSERT_TRUE(sim->WaitUntilReady());
    image_path = sim->folder() + "/image.bin";
    std::string error;
    ASSERT_TRUE(WriteSampleFile(image_path, image, error)) << error;

    SteadyClock clock;
    PosixSerialDeviceOpener opener;
    SystemSerialPortSource ports(sim->folder() + "/no-sysfs", sim->link());
    MemoryProfileStore profile;
    MessageLoop loop(clock);
    CUpgradeProc proc(EngineEnvironment{clock, opener, ports, profile, EngineHooks{}});
    front_end = std::make_unique<TestFrontEnd>(loop, proc, sim->link(), image_path);
    front_end->options_ = option_bits;
    proc.m_pMainDlg = front_end->Ref();
    proc.Start();
    loop.Run();
    profile_text = profile.text();
    completed_ = front_end->completed;
    messages_ = front_end->messages;
    statuses_ = front_end->statuses;
    front_end.reset();
  }

  std::unique_ptr<test::SimProcess> sim;
  std::unique_ptr<TestFrontEnd> front_end;
  std::string image_path;
  std::string profile_text;
  bool completed_ = false;
  std::vector<int> messages_;
  std::vector<int> statuses_;
};

TEST_F(EngineSimTest, AMainUpgradeWritesTheImageAfterItsBootRegion) {
  SampleImageSpec spec;
  spec.size = 3 * 65536 + 0x40000 + 123;
  const std::vector<std::uint8_t> image = MakeSampleImage(spec);
  RunUpgrade(image, {"--once"});
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(completed_) << "messages: " << ::testing::PrintToString(messages_);
  ASSERT_EQ(sim->WaitForExit(), 0) << test::SimProcess::ReadFile(sim->log_file());
  const std::string received = test::SimProcess::ReadFile(sim->output_file());
  const std::string expected(image.begin() + 0x40000, image.end());
  EXPECT_TRUE(received == expected) << "received " << received.size() << " bytes";
  EXPECT_NE(profile_text.find("BAUDRATE=115200"), std::string::npos) << profile_text;
  if (getenv("KVX_E2E_SHOW_LOG")) std::cout << test::SimProcess::ReadFile(sim->log_file());
}

}  // namespace
}  // namespace kvx

// kvx-upgrader.exe, the Windows window, under Wine, upgrading kvx-sim through the prefix's COM
// port as an operator would: upgrader-window-driver.exe (tests/window_driver) starts it and
// presses its buttons with BM_CLICK; this test gives it a program folder with Config.ini,
// points the port at a simulator, and checks what the driver saw, what the terminal received
// and what Config.ini holds afterwards.
//
// The environment names the pieces: KVX_UPGRADER_EXE, KVX_WINDOW_DRIVER_EXE, KVX_SIM,
// KVX_WINE_COM_PORT and KVX_WINE_COM_LINK (scripts/test-windows.sh and cmake/Windows.cmake).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mkimage/sample_image.h"
#include "operator/message_boxes.h"
#include "platform/string_table.h"
#include "support/flash_process.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"
#include "wine_test_support.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;
using test::Environment;
using test::WindowsPath;

class WineWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (upgrader_exe_.empty() || driver_exe_.empty() || sim_program_.empty() || com_port_.empty() ||
        com_link_.empty() || Environment("DISPLAY").empty()) {
      GTEST_SKIP() << "run by scripts/test-windows.sh, which sets up Wine, a display and a port";
    }
    SampleImageSpec spec;
    spec.size = 0x40000 + 2 * 65536 + 77;
    image_ = MakeSampleImage(spec);
    std::string error;
    ASSERT_TRUE(WriteSampleFile(image_path_.string(), image_, error)) << error;
    // A program folder of its own, so Config.ini is this test's.
    std::filesystem::create_directory(program_folder_);
    std::filesystem::copy_file(upgrader_exe_, program_folder_ / "kvx-upgrader.exe");
    test::TempFolder::Write(
        program_folder_ / "Config.ini",
        "portName=" + com_port_ + "\r\npathFile=" + WindowsPath(image_path_) + "\r\n");
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(com_link_, ignored);
  }

  // Starts the driver on `scenario`; `gate` is the folder it waits in, when the scenario has one.
  std::unique_ptr<test::FlashProcess> StartDriver(const std::string& scenario,
                                                  const std::filesystem::path& gate = {}) {
    std::vector<std::string> args = {driver_exe_, WindowsPath(program_folder_ / "kvx-upgrader.exe"),
                                     com_port_, scenario};
    if (!gate.empty()) args.push_back(WindowsPath(gate));
    return std::make_unique<test::FlashProcess>("/usr/bin/wine", args, "",
                                                (folder_ / "driver").string());
  }

  // Waits for the driver's end; its output, or a failure with what it said.
  static std::string Finish(test::FlashProcess& driver) {
    const int code = driver.WaitForExit(600s);
    EXPECT_EQ(code, 0) << "stdout:\n" << driver.Stdout() << "\nstderr:\n" << driver.Stderr();
    return WithoutCarriageReturns(driver.Stdout());
  }

  // The console ends lines with CR LF, and a box's text may break lines either way.
  static std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
  }

  // The folder where the driver waits for the test.
  std::filesystem::path MakeGate() const {
    std::filesystem::create_directory(folder_ / "gate");
    return folder_ / "gate";
  }

  // Waits until the driver says "waiting: <name>", does `then` and opens the gate.
  static bool OpenGateWhenAsked(const test::FlashProcess& driver, const std::filesystem::path& gate,
                                const std::string& name, const std::function<void()>& then) {
    const auto deadline = std::chrono::steady_clock::now() + 300s;
    while (driver.Stdout().find("waiting: " + name) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(50ms);
    }
    then();
    test::TempFolder::Write(gate / name, "");
    return true;
  }

  // Points the COM port at a folder: Windows refuses to open it with access denied, as it does
  // a port another program holds (Wine shares a serial port between handles).
  void MakePortBusy() const {
    std::filesystem::create_directory(folder_ / "busy-port");
    std::filesystem::remove(com_link_);
    std::filesystem::create_symlink(folder_ / "busy-port", com_link_);
  }
  void FreePort() const {
    std::filesystem::remove(com_link_);
    std::filesystem::create_symlink(sim_->link(), com_link_);
  }

  static std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++count;
    }
    return count;
  }

  std::string Received() const { return test::SimProcess::ReadFile(sim_->output_file()); }
  std::string Main() const { return std::string(image_.begin() + 0x40000, image_.end()); }
  std::string Config() const { return test::TempFolder::Read(program_folder_ / "Config.ini"); }
  std::string ExpectedConfig() const {
    return "portName=" + com_port_ + "\r\npathFile=" + WindowsPath(image_path_) + "\r\n";
  }

  const std::string upgrader_exe_ = Environment("KVX_UPGRADER_EXE");
  const std::string driver_exe_ = Environment("KVX_WINDOW_DRIVER_EXE");
  const std::string sim_program_ = Environment("KVX_SIM");
  const std::string com_port_ = Environment("KVX_WINE_COM_PORT");
  const std::filesystem::path com_link_ = Environment("KVX_WINE_COM_LINK");
  test::TempFolder folder_;
  const std::filesystem::path program_folder_ = folder_ / "program";
  const std::filesystem::path image_path_ = folder_ / "kvx main.bin";
  std::vector<std::uint8_t> image_;
  std::unique_ptr<test::SimProcess> sim_;
};

TEST_F(WineWindowTest, StartRunsAWholeUpgradeToTheCompletionPromptAndExitEndsTheProgram) {
  sim_ = test::StartSimBehindComPort(sim_program_, {}, com_link_);
  ASSERT_NE(sim_, nullptr);
  auto driver = StartDriver("upgrade");
  const std::string seen = Finish(*driver);
  EXPECT_NE(seen.find("title: Velmora KVX-01 Upgrader (v"), std::string::npos) << seen;
  // The text ends in spaces, which the status line shows as nothing.
  std::string completed(*LoadString(IDS_UPGRADE_COMPLETED));
  completed.erase(completed.find_last_not_of(' ') + 1);
  EXPECT_NE(seen.find("prompt\nstatus: " + completed), std::string::npos) << seen;
  EXPECT_NE(seen.find("enabled: 1 1 1\n"), std::string::npos) << "buttons back at completion\n"
                                                              << seen;
  EXPECT_NE(seen.find("exit code: 0"), std::string::npos) << seen;
  EXPECT_TRUE(Received() == Main()) << "received " << Received().size() << " bytes";
  EXPECT_EQ(Config(), ExpectedConfig());
}

// Start on a port held elsewhere: the port problem box, the controls back, and after the port is
// chosen again the next Start completes.
TEST_F(WineWindowTest, StartOnABusyPortShowsTheBoxGivesTheControlsBackAndTheNextStartRuns) {
  sim_ = test::StartSimBehindComPort(sim_program_, {}, com_link_);
  ASSERT_NE(sim_, nullptr);
  const std::filesystem::path gate = MakeGate();
  auto driver = StartDriver("busy-then-upgrade", gate);
  EXPECT_TRUE(OpenGateWhenAsked(*driver, gate, "busy", [&] { MakePortBusy(); }));
  EXPECT_TRUE(OpenGateWhenAsked(*driver, gate, "free", [&] { FreePort(); }));
  const std::string seen = Finish(*driver);
  const std::string occupied = WithoutCarriageReturns(ui::PortErrorBox(-2, com_port_)->text);
  EXPECT_NE(seen.find("box: " + occupied), std::string::npos) << seen;
  const std::size_t after_box = seen.find("box: " + occupied);
  EXPECT_NE(seen.find("enabled: 1 1 1\n", after_box), std::string::npos) << seen;
  EXPECT_NE(seen.find("prompt\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("exit code: 0"), std::string::npos) << seen;
  EXPECT_TRUE(Received() == Main()) << "received " << Received().size() << " bytes";
}

// Upgrade at the completion prompt: once the next terminal is on the line (the simulator
// restarts into its application), the next Start upgrades it.
TEST_F(WineWindowTest, UpgradeAtTheCompletionPromptLetsTheNextTerminalBeUpgraded) {
  sim_ = test::StartSimBehindComPort(sim_program_, {}, com_link_);
  ASSERT_NE(sim_, nullptr);
  const std::filesystem::path gate = MakeGate();
  auto driver = StartDriver("upgrade-twice", gate);
  // The next terminal on the line: the first one has restarted into its application.
  EXPECT_TRUE(
      OpenGateWhenAsked(*driver, gate, "next", [&] { EXPECT_TRUE(sim_->WaitUntilIdle()); }));
  const std::string seen = Finish(*driver);
  EXPECT_EQ(Count(seen, "prompt\n"), 2u) << seen;
  EXPECT_NE(seen.find("exit code: 0"), std::string::npos) << seen;
  const std::string summaries = test::SimProcess::ReadFile(sim_->stdout_file());
  EXPECT_EQ(Count(summaries, "summary result=complete"), 2u) << summaries;
  EXPECT_TRUE(Received() == Main()) << "received " << Received().size() << " bytes";
  EXPECT_EQ(Config(), ExpectedConfig());
}

}  // namespace
}  // namespace kvx

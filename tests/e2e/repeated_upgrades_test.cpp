// One engine, many upgrades: the operator's "upgrade another" loop against kvx-sim over a real
// pseudo-terminal, with a failed run among them. Every run must leave the process as it found
// it: no descriptor, thread or memory left behind from one upgrade to the next.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_reports.h"
#include "engine/upgrade_proc.h"
#include "mkimage/sample_image.h"
#include "platform/posix_serial_device.h"
#include "platform/profile_store.h"
#include "platform/serial_port_source.h"
#include "platform/string_table.h"
#include "support/sim_process.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;

// What the process holds between two runs.
struct ProcessResources {
  int descriptors = 0;
  int threads = 0;
  long rss_kib = 0;
};

long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(name + ":")) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

ProcessResources SampleResources() {
  ProcessResources sample;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++sample.descriptors;
  }
  sample.threads = static_cast<int>(StatusField("Threads"));
  sample.rss_kib = StatusField("VmRSS");
  return sample;
}

// Stands where the main window stands and plays an operator upgrading terminal after terminal:
// Start; after a completed run "Upgrade" in the prompt, after a failed one Start again; the
// process's resources sampled while the engine is idle before each start.
class RepeatingFrontEnd : public Window, private EngineReports {
 public:
  RepeatingFrontEnd(MessageLoop& loop, CUpgradeProc& proc, const test::SimProcess& sim,
                    std::string image, int runs)
      : Window(loop), loop_(loop), proc_(proc), sim_(sim), image_(std::move(image)), runs_(runs) {}

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    return DispatchEngineReport(*this, msg, wParam, lParam).value_or(0);
  }

  void OnThreadStart() override {
    port_ = sim_.link();
    proc_.engine_window().Post(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&port_));
  }
  void OnPortSelected(const std::string&, std::int32_t baud) override {
    if (baud > 0) StartWhenIdle();
  }
  LRESULT OnAsk(int) override { return IDYES; }
  void OnButtonControl(bool enable, int string_id) override {
    if (!enable) return;
    run_message_ = string_id;
    proc_.engine_window().Post(WM_USER_SYNC);
  }
  void OnUpgradeEnd(int) override { run_completed_ = true; }
  void OnSync(bool run_active) override {
    if (!run_active) EndOfRun();
  }
  void OnThreadEnd() override {
    proc_.Join();
    loop_.Quit();
  }

  std::vector<bool> completed;         // per run
  std::vector<int> messages;           // per run: the message id the run ended with
  std::vector<ProcessResources> idle;  // before each start, after the first
  bool sim_settled = true;

 private:
  void EndOfRun() {
    completed.push_back(run_completed_);
    messages.push_back(run_message_);
    if (static_cast<int>(completed.size()) == runs_) {
      proc_.engine_window().Post(WM_CLOSE);
    } else if (run_completed_) {
      proc_.engine_window().Post(WM_USER_UPGRADE_AGAIN);  // "Upgrade" in the prompt
    } else {
      StartWhenIdle();
    }
  }

  void StartWhenIdle() {
    // The engine is idle (its sync answer says no run is active); so is the terminal once
    // it has settled. Blocking here holds up no one.
    sim_settled = sim_settled && sim_.WaitUntilIdle();
    if (!completed.empty()) idle.push_back(SampleResources());
    run_completed_ = false;
    run_message_ = 0;
    proc_.worker()->SetFilePath(image_);
    proc_.engine_window().Post(WM_USER_UPGRADE_START, 0, 0);
  }

  MessageLoop& loop_;
  CUpgradeProc& proc_;
  const test::SimProcess& sim_;
  std::string port_;
  std::string image_;
  int runs_;
  bool run_completed_ = false;
  int run_message_ = 0;
};

TEST(RepeatedUpgradesTest, ManyUpgradesInOneProcessLeaveNothingBehind) {
  constexpr int kRuns = 8;
  // The first run fails on segment 1; the terminal behaves from then on.
  test::SimProcess sim(KVX_SIM_PATH, {"--fault", "W1:code=0xC9:6"});
  ASSERT_TRUE(sim.WaitUntilReady());
  SampleImageSpec spec;
  spec.size = 0x40000 + 16 * 65536 + 500;
  const std::vector<std::uint8_t> image = MakeSampleImage(spec);
  const std::string image_path = sim.folder() + "/image.bin";
  std::string error;
  ASSERT_TRUE(WriteSampleFile(image_path, image, error)) << error;

  SteadyClock clock;
  PosixSerialDeviceOpener opener;
  SystemSerialPortSource ports(sim.folder() + "/no-sysfs", sim.link());
  MemoryProfileStore profile;
  MessageLoop loop(clock);
  CUpgradeProc proc(EngineEnvironment{clock, opener, ports, profile, EngineHooks{}});
  RepeatingFrontEnd front_end(loop, proc, sim, image_path, kRuns);
  proc.m_pMainDlg = front_end.Ref();
  proc.Start();
  loop.Run();

  ASSERT_TRUE(front_end.sim_settled) << test::SimProcess::ReadFile(sim.log_file());
  ASSERT_EQ(front_end.completed.size(), static_cast<std::size_t>(kRuns));
  EXPECT_FALSE(front_end.completed[0]);
  EXPECT_EQ(front_end.messages[0], IDS_UPGRADE_FAILED);
  for (int run = 1; run < kRuns; ++run) {
    EXPECT_TRUE(front_end.completed[run])
        << "run " << run << " ended with message " << front_end.messages[run];
  }
  const std::string received = test::SimProcess::ReadFile(sim.output_file());
  EXPECT_TRUE(received == std::string(image.begin() + 0x40000, image.end()));

  // Sampled before runs 2..kRuns. The first sample follows the failed run, so a failure
  // leaves no more behind than a completion does.
  ASSERT_EQ(front_end.idle.size(), static_cast<std::size_t>(kRuns - 1));
  const ProcessResources& first = front_end.idle.front();
  for (const ProcessResources& sample : front_end.idle) {
    std::cout << "idle: " << sample.descriptors << " descriptors, " << sample.threads
              << " threads, " << sample.rss_kib << " KiB resident\n";
    EXPECT_EQ(sample.descriptors, first.descriptors);
    EXPECT_EQ(sample.threads, first.threads);
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The allocator may keep a little; an image's worth per run (1.3 MiB here) would show.
  EXPECT_LT(front_end.idle.back().rss_kib - front_end.idle[1].rss_kib, 1024)
      << "resident memory grew from " << front_end.idle[1].rss_kib << " KiB to "
      << front_end.idle.back().rss_kib << " KiB";
#endif
}

}  // namespace
}  // namespace kvx

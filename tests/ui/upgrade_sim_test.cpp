// A whole upgrade through the main window against kvx-sim on a pseudo-terminal: the port from
// Config.ini, Start, the engine's statuses and progress, completion, Config.ini rewritten, then
// Upgrade for a second terminal and Exit.

#include <QProgressBar>
#include <QSignalSpy>

#include "main_window_fixture.h"
#include "mkimage/sample_image.h"
#include "platform/posix_serial_device.h"
#include "platform/serial_port_source.h"
#include "platform/string_table.h"
#include "support/sim_process.h"

namespace kvx::ui::test {
namespace {

class UpgradeSimTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<kvx::test::SimProcess>(KVX_SIM_PATH, std::vector<std::string>{});
    ASSERT_TRUE(sim_->WaitUntilReady());
    ports_ = std::make_unique<SystemSerialPortSource>(sim_->folder() + "/no-sysfs", sim_->link());
    link_ = std::make_unique<EngineThreadLink>(engine_clock_, opener_, *ports_, engine_profile_);
    engine_link_ = link_.get();
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    link_.reset();
  }

  // Presses Start and waits for the completion prompt to have been answered `prompts` times.
  void RunUpgrade(int prompts) {
    ASSERT_TRUE(SpinUntil(
        [&] { return behaviour().port_selected() && Button("startButton")->isEnabled(); }));
    Click("startButton");
    ASSERT_TRUE(SpinUntil([&] { return dialogs_.completion_prompts == prompts; },
                          std::chrono::seconds(120)))
        << "boxes: " << dialogs_.boxes.size() << " status: " << Status().toStdString();
  }

  std::unique_ptr<kvx::test::SimProcess> sim_;
  SteadyClock engine_clock_;
  PosixSerialDeviceOpener opener_;
  std::unique_ptr<SystemSerialPortSource> ports_;
  MemoryProfileStore engine_profile_;
  std::unique_ptr<EngineThreadLink> link_;
};

TEST_F(UpgradeSimTest, UpgradesTwoTerminalsThenExitsWithoutAsking) {
  SampleImageSpec spec;
  spec.size = 3 * 65536 + 0x40000 + 123;
  const std::vector<std::uint8_t> image = MakeSampleImage(spec);
  const std::string image_path = (folder_ / "kvx.bin").string();
  std::string error;
  ASSERT_TRUE(WriteSampleFile(image_path, image, error)) << error;

  dialogs_.completion_answers = {CompletionChoice::kUpgrade, CompletionChoice::kExit};
  Open("portName=" + sim_->link() + "\r\npathFile=" + image_path + "\r\nleft=over\r\n");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_selected(); }));
  EXPECT_EQ(Title(), PortTitle(sim_->link()));

  QSignalSpy statuses(Find<StatusLine>("statusLine"), &StatusLine::statusShown);
  QSignalSpy positions(Progress(), &QProgressBar::valueChanged);
  RunUpgrade(1);
  ASSERT_FALSE(HasFatalFailure());

  std::vector<QString> shown;
  for (const QList<QVariant>& status : statuses) shown.push_back(status.at(0).toString());
  const auto text = [](int id) { return ToQString(*LoadString(id)); };
  const std::vector<QString> expected = {text(IDS_INIT_IN_PROGRESS), text(IDS_UPGRADE_IN_PROGRESS),
                                         text(IDS_UPGRADE_COMPLETED)};
  EXPECT_EQ(shown, expected);
  const int segments = 3 + 1;  // what follows the boot region, in 64 KiB segments
  EXPECT_EQ(Progress()->maximum(), segments);
  ASSERT_FALSE(positions.isEmpty());
  EXPECT_EQ(positions.last().at(0).toInt(), segments);
  EXPECT_TRUE(behaviour().busy());
  EXPECT_EQ(TempFolder::Read(config_path()),
            "portName=" + sim_->link() + "\r\npathFile=" + image_path + "\r\n");

  RunUpgrade(2);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
  for (const BoxRequest& box : dialogs_.boxes) {
    EXPECT_NE(box.icon, BoxIcon::kError) << box.text;
  }
  const std::string received = kvx::test::SimProcess::ReadFile(sim_->output_file());
  EXPECT_TRUE(received == std::string(image.begin() + 0x40000, image.end()))
      << "received " << received.size() << " bytes";
}

}  // namespace
}  // namespace kvx::ui::test

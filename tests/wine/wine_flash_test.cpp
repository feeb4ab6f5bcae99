// kvx-flash.exe, the Windows build, under Wine, upgrading kvx-sim through a COM port: the Wine
// prefix maps the port to a link (scripts/test-windows.sh), and each test points the link at its
// own simulator's pseudo-terminal. What runs is the Windows program's whole stack: the wide
// command line, the registry's port list and profile, the overlapped serial device, the files
// layer reading an image from a path outside ASCII, the console and Ctrl-C.
//
// The environment names the pieces: KVX_FLASH_EXE (the .exe), KVX_SIM (kvx-sim), KVX_WINE_COM_PORT
// (e.g. COM7) and KVX_WINE_COM_LINK (the path that port is mapped to); WINEPREFIX is the prefix.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mkimage/sample_image.h"
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

class WineFlashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (flash_exe_.empty() || sim_program_.empty() || com_port_.empty() || com_link_.empty()) {
      GTEST_SKIP() << "run by scripts/test-windows.sh, which sets up Wine and its COM port";
    }
    SampleImageSpec spec;
    spec.size = 0x40000 + 3 * 65536 + 123;
    image_ = MakeSampleImage(spec);
    std::string error;
    ASSERT_TRUE(WriteSampleFile(image_path_.string(), image_, error)) << error;
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(com_link_, ignored);
  }

  // Starts a simulated terminal with `options` and points the COM port at it.
  void StartSim(const std::vector<std::string>& options) {
    sim_ = test::StartSimBehindComPort(sim_program_, options, com_link_);
    ASSERT_NE(sim_, nullptr);
  }

  std::unique_ptr<test::FlashProcess> StartFlash(std::vector<std::string> extra,
                                                 const std::filesystem::path& file = {}) {
    std::vector<std::string> args = {flash_exe_, "--port", com_port_};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(WindowsPath(file.empty() ? image_path_ : file));
    return std::make_unique<test::FlashProcess>("/usr/bin/wine", args, "",
                                                (folder_ / "flash").string());
  }

  bool SimLogHas(const std::string& text) const {
    for (int i = 0; i < 3000; ++i) {
      if (test::SimProcess::ReadFile(sim_->log_file()).find(text) != std::string::npos) {
        return true;
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  std::string Received() const { return test::SimProcess::ReadFile(sim_->output_file()); }
  std::string Main() const { return std::string(image_.begin() + 0x40000, image_.end()); }
  std::string Whole() const { return std::string(image_.begin(), image_.end()); }

  static std::string Diagnosis(const test::FlashProcess& flash) {
    return "stdout:\n" + flash.Stdout() + "\nstderr:\n" + flash.Stderr();
  }

  const std::string flash_exe_ = Environment("KVX_FLASH_EXE");
  const std::string sim_program_ = Environment("KVX_SIM");
  const std::string com_port_ = Environment("KVX_WINE_COM_PORT");
  const std::filesystem::path com_link_ = Environment("KVX_WINE_COM_LINK");
  test::TempFolder folder_;
  // Cyrillic, a Latin letter with a diaeresis and Hangul: the ANSI code page holds none of them
  // all, so only the wide command line and wide file calls reach the file.
  const std::filesystem::path image_path_ =
      folder_ /
      "\xD0\x9F\xD1\x80\xD0\xBE\xD1\x88\xD0\xB8\xD0\xB2\xD0\xBA\xD0\xB0 \xC3\xBC "
      "\xED\x95\x9C.bin";
  std::vector<std::uint8_t> image_;
  std::unique_ptr<test::SimProcess> sim_;
};

// The terminal restarts into download mode by closing its pty and opening a new one behind the
// same link: the COM port's device goes away under the open handle (reported as error 5) and is
// opened again where the link now leads, as a USB terminal re-enumerates.
TEST_F(WineFlashTest, UpgradesTheMainSoftwareAndTheTerminalHoldsTheImage) {
  StartSim({"--once"});
  auto flash = StartFlash({"--yes"});
  ASSERT_EQ(flash->WaitForExit(180s), 0) << Diagnosis(*flash);
  EXPECT_EQ(sim_->WaitForExit(), 0);
  EXPECT_TRUE(Received() == Main()) << "received " << Received().size() << " bytes";
}

TEST_F(WineFlashTest, AForcedBootloaderUpgradeSendsTheWholeImage) {
  StartSim({"--once"});
  auto flash = StartFlash({"--yes", "--force-boot"});
  ASSERT_EQ(flash->WaitForExit(180s), 0) << Diagnosis(*flash);
  EXPECT_EQ(sim_->WaitForExit(), 0);
  EXPECT_TRUE(Received() == Whole()) << "received " << Received().size() << " bytes";
}

// An archive is unpacked into a staging folder under the user's temporary folder: the folder
// layer's Windows side (folders held by handle, files created below them, the tree removed).
TEST_F(WineFlashTest, UpgradesFromAnArchiveStagedInTheTemporaryFolder) {
  std::vector<SampleArchiveItem> items(2);
  items[0].name = "KVX_1_main.bin";
  items[0].data = image_;
  items[1].name = "JQ_set/radio.bin";
  items[1].data = {1, 2, 3, 4};
  const std::filesystem::path archive = folder_ / "firmware.stf";
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(archive.string(), items, error)) << error;
  StartSim({"--once"});
  auto flash = StartFlash({"--yes"}, archive);
  ASSERT_EQ(flash->WaitForExit(180s), 0) << Diagnosis(*flash);
  EXPECT_EQ(sim_->WaitForExit(), 0);
  EXPECT_TRUE(Received() == Main()) << "received " << Received().size() << " bytes";
}

TEST_F(WineFlashTest, AnImageMadeByTheWindowsImageMakerUpgrades) {
  const std::string mkimage = Environment("KVX_MKIMAGE_EXE");
  ASSERT_FALSE(mkimage.empty());
  const std::filesystem::path made = folder_ / ("\xC3\xBC " + std::string("made.bin"));
  test::FlashProcess maker("/usr/bin/wine",
                           {mkimage, "image", WindowsPath(made), "--size", "400000"}, "",
                           (folder_ / "mkimage").string());
  ASSERT_EQ(maker.WaitForExit(60s), 0) << Diagnosis(maker);
  const std::string image = test::SimProcess::ReadFile(made.string());
  ASSERT_EQ(image.size(), 400000u);

  StartSim({"--once"});
  auto flash = StartFlash({"--yes"}, made);
  ASSERT_EQ(flash->WaitForExit(180s), 0) << Diagnosis(*flash);
  EXPECT_EQ(sim_->WaitForExit(), 0);
  EXPECT_TRUE(Received() == image.substr(0x40000)) << "received " << Received().size();
}

TEST_F(WineFlashTest, ASilentTerminalEndsWithTheConnectionFailedMessage) {
  StartSim({"--silent-at", "link:all"});
  auto flash = StartFlash({"--yes"});
  ASSERT_EQ(flash->WaitForExit(180s), 1) << Diagnosis(*flash);
  EXPECT_NE(flash->Stderr().find(std::string(*LoadString(IDS_CONNECTION_FAILED))),
            std::string::npos)
      << Diagnosis(*flash);
}

TEST_F(WineFlashTest, CtrlCEndsAWaitingRunWith130AndClosesThePort) {
  // The terminal never starts after AT+UPGRADE, where no timer watches the dialogue.
  StartSim({"--silent-at", "upgrade"});
  auto flash = StartFlash({"--yes"});
  ASSERT_TRUE(SimLogHas("\"AT+UPGRADE\\r\"")) << Diagnosis(*flash);
  flash->Signal(SIGINT);
  ASSERT_EQ(flash->WaitForExit(60s), 130) << Diagnosis(*flash);
  EXPECT_TRUE(SimLogHas("event host closed"));
}

TEST_F(WineFlashTest, ListsTheMappedPortFromTheRegistry) {
  StartSim({});
  test::FlashProcess list("/usr/bin/wine", {flash_exe_, "--list-ports"}, "",
                          (folder_ / "list").string());
  ASSERT_EQ(list.WaitForExit(60s), 0) << Diagnosis(list);
  EXPECT_NE(list.Stdout().find(com_port_), std::string::npos) << Diagnosis(list);
}

}  // namespace
}  // namespace kvx

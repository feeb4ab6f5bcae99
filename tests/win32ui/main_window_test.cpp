// The Windows main window as a view of the shared behaviour, against a recording engine: what
// each phase leaves enabled and shown, the progress bar's 16- and 32-bit ranges, the title, the
// completion prompt, and the commands of the accelerators and buttons reaching the behaviour.

#include "win32ui/main_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "operator/app_identity.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/user_messages.h"
#include "platform/utf8_path.h"
#include "platform/wide_text.h"
#include "support/recording_engine_link.h"
#include "win32ui/gui_queue.h"
#include "win32ui/resource_ids.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include "dialog_test_support.h"
// After <windows.h>, whose types it uses.
#include <commctrl.h>

namespace kvx::win32ui::test {
namespace {

using ui::test::RecordingEngineLink;

// A folder of the test's own under the user's temporary folder, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ =
        std::filesystem::path(temp) / ("kvx-window-test-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class Win32MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(config_, std::ios::binary) << "portName=COM3\r\npathFile=C:\\fw\\kvx.bin\r\n";
    ASSERT_TRUE(window_.Create());
    // The start-up warning comes first, as a modal box over the hidden window.
    WhileModal<int>(
        [&] {
          window_.Start();
          return 0;
        },
        [](HWND box) { SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); });
    PumpMessages();
  }

  void TearDown() override {
    // Exit, confirmed when an upgrade has run; the engine ends and the window with it.
    if (!window_.behaviour().ended()) {
      WhileModal<int>(
          [&] {
            Click(IDC_EXIT);
            return 0;
          },
          [](HWND box) { SendMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0); });
    }
    PumpMessages();
    EXPECT_TRUE(window_.behaviour().ended());
  }

  HWND Dialog() const { return window_.dialog().handle(); }
  HWND Control(int id) const { return GetDlgItem(Dialog(), id); }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  bool Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
  std::string Title() const { return Utf8FromWide(WideText(Dialog())); }
  void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  void Command(int id) { SendMessageW(Dialog(), WM_COMMAND, id, 0); }
  kvx::LRESULT Engine(kvx::UINT msg, kvx::WPARAM wParam = 0, kvx::LPARAM lParam = 0) {
    return window_.behaviour().WindowProc(msg, wParam, lParam);
  }
  void ReportPort(const std::string& port) {
    const std::int32_t baud = 115200;
    Engine(WM_USER_PORT_SELECTED, reinterpret_cast<kvx::WPARAM>(&port),
           reinterpret_cast<kvx::LPARAM>(&baud));
  }
  PBRANGE BarRange() const {
    PBRANGE range{};
    SendMessageW(Control(IDC_PROGRESS), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return range;
  }

  ScratchFolder folder_;
  const std::filesystem::path config_ = folder_.path() / "Config.ini";
  GuiQueue queue_;
  RecordingEngineLink engine_;
  MemoryProfileStore profile_;
  ManualClock clock_;
  MainWindow window_{queue_, engine_, profile_, clock_, config_};
};

TEST_F(Win32MainWindowTest, EachPhaseLeavesItsButtonsEnabledAndTheProgressInItsRange) {
  // Started: visible, the remembered image in the path box, the options hidden.
  EXPECT_TRUE(IsWindowVisible(Dialog()));
  EXPECT_EQ(Title(), ui::StartTitle(false));
  for (const int id : {IDC_START, IDC_OPEN, IDC_PORTSETUP, IDC_EXIT}) {
    EXPECT_TRUE(Enabled(id)) << id;
  }
  EXPECT_TRUE(Visible(IDC_PORTSETUP));
  EXPECT_FALSE(Visible(IDC_FORCED_BOOTLOADER));
  EXPECT_EQ(Utf8FromWide(WideText(Control(IDC_PATH_BOX))), "C:\\fw\\kvx.bin");
  ASSERT_EQ(engine_.PostsOf(WM_USER_PORT_CONFIG).size(), 1u);
  EXPECT_EQ(engine_.PostsOf(WM_USER_PORT_CONFIG)[0].text, "COM3");

  // The port search: a 16-bit range of six steps a port.
  Engine(WM_USER_PROG_SETUP, 3, CHECK_COM_PORT_PART);
  EXPECT_EQ(BarRange().iHigh, 17);
  ReportPort("COM3");
  EXPECT_EQ(Title(), ui::PortTitle("COM3"));

  // Running: Start, Open and port setup disabled, the path box still readable.
  Click(IDC_START);
  ASSERT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START).size(), 1u);
  EXPECT_EQ(engine_.file_paths.back(), "C:\\fw\\kvx.bin");
  for (const int id : {IDC_START, IDC_OPEN, IDC_PORTSETUP}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_PATH_BOX));
  // The upgrade: a range past 16 bits, and positions within it.
  Engine(WM_USER_PROG_SETUP, 1'000'000, UPGRADE_PART);
  EXPECT_EQ(BarRange().iHigh, 1'000'000);
  Engine(WM_USER_PROG_PROC, 0, 700'000);
  EXPECT_EQ(SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 700'000);

  // Completed: the prompt, answered Upgrade; the buttons back and the engine asked again.
  int prompts = 0;
  WhileModal<int>(
      [&] {
        Engine(WM_USER_END, 0, UPGRADE_END_ID);
        return 0;
      },
      [&](HWND prompt) {
        ++prompts;
        SendMessageW(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);
      });
  EXPECT_EQ(prompts, 1);
  for (const int id : {IDC_START, IDC_OPEN, IDC_PORTSETUP}) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_EQ(engine_.PostsOf(WM_USER_UPGRADE_AGAIN).size(), 1u);
  std::ifstream written(config_, std::ios::binary);
  const std::string config((std::istreambuf_iterator<char>(written)), {});
  EXPECT_EQ(config, "portName=COM3\r\npathFile=C:\\fw\\kvx.bin\r\n");
}

// The accelerators' commands reach the behaviour: the development sequence shows the options and
// the development title, and the dump switch then goes to the engine.
TEST_F(Win32MainWindowTest, TheDevelopmentSequenceAndTheDumpSwitchArriveAsCommands) {
  for (const int id :
       {ID_DEV_SEQUENCE_1, ID_DEV_SEQUENCE_2, ID_DEV_SEQUENCE_3, ID_DEV_SEQUENCE_4}) {
    clock_.Advance(Milliseconds(100));
    Command(id);
  }
  EXPECT_EQ(Title(), ui::StartTitle(true));
  EXPECT_TRUE(Visible(IDC_FORCED_BOOTLOADER));
  EXPECT_TRUE(Visible(IDC_DOWNGRADE));
  Command(ID_DUMP_TOGGLE);
  Command(ID_LOG_WINDOW_TOGGLE);
  const auto log_posts = engine_.PostsOf(WM_USER_LOG_WND_CTRL);
  ASSERT_EQ(log_posts.size(), 2u);
  EXPECT_EQ(log_posts[0].lParam, DUMP_TOGGLE);
  EXPECT_EQ(log_posts[1].lParam, LOG_WND_TOGGLE);
}

}  // namespace
}  // namespace kvx::win32ui::test

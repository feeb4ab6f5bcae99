// The main window with the real engine thread over fake serial ports: a refused image, a start on
// a busy port, the port setup dialog's list and the log window's toggle.

#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <utility>

#include "main_window_fixture.h"
#include "mkimage/sample_image.h"
#include "platform/fake_serial_device.h"
#include "platform/serial_port_source.h"
#include "platform/string_table.h"
#include "ui/log_window.h"

namespace kvx::ui::test {
namespace {

class EngineWindowTest : public MainWindowFixture {
 protected:
  EngineWindowTest() { engine_link_ = &link_; }

  bool HasTraceLine(const std::string& text) {
    for (const TraceLine& line : link_.trace()->Lines()) {
      if (line.text.find(text) != std::string::npos) return true;
    }
    return false;
  }

  // A loadable image in the test's folder.
  std::string WriteSampleImage() {
    const std::string path = (folder_ / "kvx.bin").string();
    std::string error;
    EXPECT_TRUE(WriteSampleFile(path, MakeSampleImage({}), error)) << error;
    return path;
  }

  SteadyClock engine_clock_;
  FakeSerialDeviceOpener opener_;
  FakeSerialPortSource ports_{{"ttyFAKE0", "ttyFAKE1", "ttyFAKE2"}};
  MemoryProfileStore engine_profile_;
  EngineThreadLink link_{engine_clock_, opener_, ports_, engine_profile_};
};

// Shows the log window in development mode, then runs to the engine's Disconnect, whose reset
// clears the engine's visibility flag but leaves the window shown.
class LogWindowAfterARunTest : public EngineWindowTest {
 protected:
  void ShowLogThenRunToDisconnect() {
    opener_.AddPort("/dev/ttyFAKE0");
    Open("portName=ttyFAKE0\r\npathFile=" + WriteSampleImage() + "\r\n");
    ASSERT_TRUE(SpinUntil([&] { return behaviour().port_selected(); }));
    EnterDevSequence();
    PressAccelerator(Qt::Key_D);
    ASSERT_TRUE(SpinUntil([&] { return log().isVisible(); }));
    // Off and on again: the engine forgets its port, so Start runs a port search, which finds
    // no candidates and ends at once in Disconnect.
    ActivateMainWindow();
    EnterDevSequence();
    EnterDevSequence();
    Click("startButton");
    ASSERT_TRUE(SpinUntil([&] { return dialogs_.CountBoxes(NotConnectedBox().text) == 1; }));
    ASSERT_TRUE(HasTraceLine("Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[0]"));
    ASSERT_TRUE(log().isVisible());
  }

  void ActivateMainWindow() {
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  CATLogWindow& log() { return window_->log_window(); }
};

TEST_F(LogWindowAfterARunTest, CloseButtonHidesItAndOneToggleKeyShowsItAgain) {
  ShowLogThenRunToDisconnect();
  ASSERT_FALSE(HasFatalFailure());
  log().close();
  ASSERT_TRUE(SpinUntil([&] { return !log().isVisible(); }, std::chrono::seconds(5)));
  ActivateMainWindow();
  PressAccelerator(Qt::Key_D);
  ASSERT_TRUE(SpinUntil([&] { return log().isVisible(); }, std::chrono::seconds(5)));
}

TEST_F(LogWindowAfterARunTest, ToggleKeyHidesItOutsideDevelopmentMode) {
  ShowLogThenRunToDisconnect();
  ASSERT_FALSE(HasFatalFailure());
  ActivateMainWindow();
  EnterDevSequence();
  ASSERT_FALSE(behaviour().development());
  PressAccelerator(Qt::Key_D);
  ASSERT_TRUE(SpinUntil([&] { return !log().isVisible(); }, std::chrono::seconds(5)));
}

TEST_F(EngineWindowTest, ImageTooBigIsRefusedWithItsErrorBoxAndNoRunStarts) {
  for (const char* path : {"/dev/ttyFAKE0", "/dev/ttyFAKE1", "/dev/ttyFAKE2"}) {
    opener_.AddPort(path);
  }
  const auto image = folder_ / "huge.bin";
  TempFolder::Write(image, "");
  std::filesystem::resize_file(image, 0x3600000 + 1);
  Open("portName=ttyFAKE0\r\npathFile=" + image.string() + "\r\n");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_selected(); }));
  Click("startButton");
  // The specific reason first, then the general one.
  const BoxRequest general = ErrorBox(IDS_INCOMPATIBLE_BINARY);
  ASSERT_TRUE(SpinUntil([&] { return dialogs_.CountBoxes(general.text) == 1; }));
  std::vector<BoxRequest> errors;
  std::copy_if(dialogs_.boxes.begin(), dialogs_.boxes.end(), std::back_inserter(errors),
               [](const BoxRequest& box) { return box.icon == BoxIcon::kError; });
  EXPECT_EQ(errors, (std::vector<BoxRequest>{ErrorBox(IDS_FILE_SIZE_BIG), general}));
  ASSERT_TRUE(SpinUntil([&] { return Button("startButton")->isEnabled(); }));
  EXPECT_FALSE(behaviour().busy()) << "no upgrade was announced";
}

// The engine refuses a start on a busy port with only its port problem: the window must give the
// operator the controls back, or nothing could be done but quit.
TEST_F(EngineWindowTest, StartOnABusyPortGivesTheControlsBackAndTheNextStartRuns) {
  const std::shared_ptr<FakeSerialPort> held = opener_.AddPort("/dev/ttyFAKE0");
  opener_.AddPort("/dev/ttyFAKE1");
  const std::string image = WriteSampleImage();
  Open("portName=ttyFAKE0\r\npathFile=" + image + "\r\n");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_selected(); }));
  held->RefuseOpen(EBUSY);
  Click("startButton");
  const BoxRequest occupied = *PortErrorBox(-2, "ttyFAKE0");
  ASSERT_TRUE(SpinUntil([&] { return dialogs_.CountBoxes(occupied.text) == 1; }));
  QApplication::processEvents();
  for (const char* name : {"portSetupButton", "startButton", "openButton"}) {
    EXPECT_TRUE(Button(name)->isEnabled()) << name;
  }
  Drop({QStringLiteral("/srv/fw/other.bin")});
  EXPECT_EQ(ToStdString(PathBox()), "/srv/fw/other.bin") << "drops are taken again";
  Drop({ToQString(image)});

  dialogs_.port_choice = PortChoice{"ttyFAKE1", "115200"};
  Click("portSetupButton");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_selected(); }));
  Click("startButton");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().busy(); })) << "the run announced its segments";
  EXPECT_EQ(dialogs_.CountBoxes(occupied.text), 1);
}

TEST_F(EngineWindowTest, PortSetupListsOnlyFreePortsAndTheChoiceSelectsIt) {
  opener_.AddPort("/dev/ttyFAKE0");
  opener_.AddPort("/dev/ttyFAKE1")->RefuseOpen(EBUSY);
  opener_.AddPort("/dev/ttyFAKE2");
  dialogs_.port_choice = PortChoice{"ttyFAKE0", "115200"};
  Open("portName=ttyFAKE2\r\npathFile=\r\n");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_selected(); }));
  Click("portSetupButton");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_name() == "ttyFAKE0"; }));
  ASSERT_EQ(dialogs_.port_lists.size(), 1u);
  EXPECT_EQ(dialogs_.port_lists[0], (std::vector<std::string>{"ttyFAKE0", "ttyFAKE2"}));
  EXPECT_EQ(dialogs_.initial_ports[0], "ttyFAKE2");
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1) - (ttyFAKE0)");
  EXPECT_TRUE(HasTraceLine("[ttyFAKE0]port, [115200]baud rate selected"));
}

// The engine waits for the port setup dialog; meanwhile the operator opens a file, whose image
// code sends its trace lines to that waiting engine. Answering the dialog afterwards lets both
// finish: nothing on the GUI thread has to unwind first.
TEST_F(EngineWindowTest, OpenWhileThePortSetupDialogIsOpenFinishesOnceItIsAnswered) {
  opener_.AddPort("/dev/ttyFAKE0");
  dialogs_.hold_port_setup = true;
  dialogs_.port_choice = PortChoice{"ttyFAKE0", "115200"};
  const auto image = folder_ / "kvx.bin";
  TempFolder::Write(image, std::string(4096, 'x'));
  Open();
  Click("portSetupButton");
  ASSERT_TRUE(SpinUntil([&] { return static_cast<bool>(dialogs_.pending_port_setup); }));
  dialogs_.chosen_file = image.string();
  // Answered from inside Open, while its image code waits for the engine.
  QTimer::singleShot(
      0, [&] { std::exchange(dialogs_.pending_port_setup, nullptr)(dialogs_.port_choice); });
  Click("openButton");
  EXPECT_EQ(Status(), "Ready to Start");
  ASSERT_TRUE(SpinUntil([&] { return behaviour().port_name() == "ttyFAKE0"; }));
  EXPECT_TRUE(HasTraceLine("Open Btn press"));
}

TEST_F(EngineWindowTest, LogWindowShowsTheEngineTraceOnlyInDevelopmentMode) {
  Open();
  PressAccelerator(Qt::Key_D);
  QApplication::processEvents();
  EXPECT_FALSE(window_->log_window().isVisible()) << "not in development mode";
  EnterDevSequence();
  PressAccelerator(Qt::Key_D);
  ASSERT_TRUE(SpinUntil([&] { return window_->log_window().isVisible(); }));
  window_->log_window().CatchUp();
  const QString text = window_->log_window().view()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("InitalizationInitalization"))) << "the start banner";
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  PressAccelerator(Qt::Key_D);
  ASSERT_TRUE(SpinUntil([&] { return !window_->log_window().isVisible(); }));
}

}  // namespace
}  // namespace kvx::ui::test

// The main window's behaviour against a recording engine: start-up, Start and Open, drops and
// exit.

#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "operator/message_boxes.h"
#include "platform/string_table.h"

namespace kvx::ui::test {
namespace {

using MainWindowStartTest = MainWindowFixture;

TEST_F(MainWindowStartTest, ConfirmedWarningCreatesConfigAndLeavesStartOpenAndPortSetupEnabled) {
  Open();
  ASSERT_FALSE(dialogs_.boxes.empty());
  EXPECT_EQ(dialogs_.boxes.front(), StartupWarningBox());
  EXPECT_EQ(TempFolder::Read(config_path()), "portName=\r\npathFile=\r\n");
  EXPECT_TRUE(Control(IDC_START).enabled);
  EXPECT_TRUE(Control(IDC_OPEN).enabled);
  EXPECT_TRUE(Control(IDC_PORTSETUP).enabled);
  EXPECT_TRUE(Control(IDC_PORTSETUP).visible);
  EXPECT_FALSE(Control(IDC_FORCED_BOOTLOADER).visible);
  EXPECT_FALSE(Control(IDC_FORCED_BOOTLOADER).enabled);
  EXPECT_FALSE(Control(IDC_DOWNGRADE).enabled);
  EXPECT_TRUE(Control(IDC_PATH_BOX).enabled);
  EXPECT_EQ(view_.focused, IDC_START);
  EXPECT_EQ(view_.title, "Velmora KVX-01 Upgrader (v1.0.1)");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_PORT_CONFIG).empty()) << "no port remembered";
  EXPECT_EQ(view_.trace, &engine_.store) << "the log window follows the engine's trace";
}

TEST_F(MainWindowStartTest, RememberedPortGoesToTheEngineAndThePathToThePathBox) {
  Open("portName=ttyUSB3\r\npathFile=/srv/fw/kvx.stf\r\n");
  const auto posts = engine_.PostsOf(WM_USER_PORT_CONFIG);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].text, "ttyUSB3");
  EXPECT_EQ(PathBox(), "/srv/fw/kvx.stf");
  EXPECT_EQ(behaviour_->image_path(), "/srv/fw/kvx.stf");
  EXPECT_TRUE(engine_.file_paths.empty()) << "the engine gets the path only at Start";
}

TEST_F(MainWindowStartTest, TheWarningComesBeforeTheWindowAppears) {
  Open();
  ASSERT_FALSE(dialogs_.window_shown_at_box.empty());
  EXPECT_FALSE(dialogs_.window_shown_at_box.front());
  EXPECT_EQ(view_.shows, 1) << "confirmed: the window shows, once";
}

TEST_F(MainWindowStartTest, CancelledWarningEndsWithoutTheWindowOrConfig) {
  Open(std::nullopt, {}, BoxAnswer::kCancel);
  EXPECT_TRUE(EndedAfterPending());
  EXPECT_TRUE(behaviour_->ended());
  EXPECT_EQ(view_.shows, 0) << "the window never appeared";
  EXPECT_FALSE(std::filesystem::exists(config_path()));
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u);
  EXPECT_EQ(engine_.joins, 1);
  EXPECT_EQ(view_.trace, nullptr) << "let go before the engine goes";
}

TEST_F(MainWindowStartTest, EveryPortNameLineGoesToTheEngineInOrderInAStringOfItsOwn) {
  Open("portName=ttyUSB0\r\nportName=COM9\r\nportName=ttyACM1\r\npathFile=/fw/a.stf\r\n");
  const auto posts = engine_.PostsOf(WM_USER_PORT_CONFIG);
  ASSERT_EQ(posts.size(), 2u) << "a name that is no serial port is not tested";
  // Read only now, as the engine reads each string after the posts that followed it.
  EXPECT_EQ(*reinterpret_cast<const std::string*>(posts[0].wParam), "ttyUSB0");
  EXPECT_EQ(*reinterpret_cast<const std::string*>(posts[1].wParam), "ttyACM1");
  EXPECT_EQ(behaviour_->port_name(), "ttyACM1") << "the last line holds until the engine answers";
}

TEST_F(MainWindowStartTest, DevelopmentProfileShowsOnlyInTheTitle) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EXPECT_EQ(view_.title, "DEVELPEMENT mode enable - v (v1.0.1)");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty()) << "the engine is not told";
  EXPECT_FALSE(Control(IDC_DOWNGRADE).visible);
}

using MainWindowStartCommandTest = MainWindowFixture;

TEST_F(MainWindowStartCommandTest, StartWithoutAPortAsksForOneAndSendsNothing) {
  Open("portName=\r\npathFile=/srv/fw/kvx.stf\r\n");
  behaviour_->OnStart();
  EXPECT_EQ(dialogs_.boxes.back(), SelectPortBox());
  EXPECT_EQ(dialogs_.boxes.back().caption, "Velmora KVX-01 Upgrader");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
  EXPECT_TRUE(engine_.file_paths.empty());
}

TEST_F(MainWindowStartCommandTest, StartWithoutAFileAsksForOneAndSendsNothing) {
  Open();
  ReportPort("ttyUSB0");
  behaviour_->OnStart();
  EXPECT_EQ(dialogs_.boxes.back(), SelectFileBox());
  EXPECT_EQ(dialogs_.boxes.back().text, "Please select the upgrade File");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
}

TEST_F(MainWindowStartCommandTest, AcceptedStartHandsThePathOverAndDisablesTheControls) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  view_.SetProgressPosition(7);
  behaviour_->OnStart();
  ASSERT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START).size(), 1u);
  EXPECT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START)[0].lParam, 0);
  EXPECT_EQ(engine_.file_paths, std::vector<std::string>{"/srv/fw/kvx.bin"});
  EXPECT_EQ(view_.progress_position, 0);
  for (const int id : {IDC_START, IDC_OPEN, IDC_PORTSETUP, IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE}) {
    EXPECT_FALSE(Control(id).enabled) << id;
  }
  EXPECT_TRUE(Control(IDC_PATH_BOX).enabled);
}

TEST_F(MainWindowStartCommandTest, OpenHandsTheChosenFileToTheEngineAndStagesIt) {
  Open();
  dialogs_.chosen_file = "/srv/fw/new.stf";
  behaviour_->OnOpen();
  EXPECT_EQ(PathBox(), "/srv/fw/new.stf");
  EXPECT_EQ(engine_.file_paths, std::vector<std::string>{"/srv/fw/new.stf"});
  EXPECT_EQ(engine_.stagings, 1);
  EXPECT_EQ(Status(), "Ready to Start");
  EXPECT_TRUE(Control(IDC_START).enabled);
}

TEST_F(MainWindowStartCommandTest, OpenWhoseStagingFailsLeavesTheStatusAloneAndTheNextOneWorks) {
  Open("portName=\r\npathFile=/srv/fw/old.bin\r\n");
  engine_.stage_result = false;
  dialogs_.chosen_file = "/srv/fw/broken.stf";
  behaviour_->OnOpen();
  EXPECT_EQ(dialogs_.file_dialog_starts, std::vector<std::string>{"/srv/fw/old.bin"});
  EXPECT_EQ(engine_.stagings, 1);
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(PathBox(), "/srv/fw/broken.stf");

  engine_.stage_result = true;
  dialogs_.chosen_file = "/srv/fw/good.stf";
  behaviour_->OnOpen();
  EXPECT_EQ(dialogs_.file_dialog_starts.back(), "/srv/fw/broken.stf");
  EXPECT_EQ(engine_.stagings, 2);
  EXPECT_EQ(Status(), "Ready to Start");
}

TEST_F(MainWindowStartCommandTest, CancelledOpenChangesNothing) {
  Open("portName=\r\npathFile=/srv/fw/old.bin\r\n");
  behaviour_->OnOpen();
  EXPECT_EQ(PathBox(), "/srv/fw/old.bin");
  EXPECT_EQ(engine_.stagings, 0);
  EXPECT_TRUE(engine_.file_paths.empty());
}

// While the image is staged on its helper thread the GUI thread keeps handling its queue: Start,
// Open and drops that arrive meanwhile do nothing, and an Exit waits until the staging is done.
TEST_F(MainWindowStartCommandTest, CommandsWhileStagingWaitAndExitFollowsOnceItIsDone) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  dialogs_.chosen_file = "/srv/fw/new.stf";
  bool accepted_drops = true;
  engine_.during_staging = [&] {
    queue_.Queue([&] {
      accepted_drops = behaviour_->AcceptsDrops();
      behaviour_->OnStart();
      behaviour_->OnOpen();
      behaviour_->DropFiles({"/srv/dropped.bin"});
    });
    behaviour_->Ref().Post(WM_CLOSE);
  };
  behaviour_->OnOpen();
  EXPECT_FALSE(accepted_drops);
  EXPECT_EQ(engine_.stagings, 1);
  EXPECT_EQ(dialogs_.file_dialog_starts.size(), 1u);
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
  EXPECT_EQ(PathBox(), "/srv/fw/new.stf");
  EXPECT_TRUE(engine_.PostsOf(WM_CLOSE).empty()) << "Exit waits for the staging";
  EXPECT_TRUE(EndedAfterPending());
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u);
}

using MainWindowDropTest = MainWindowFixture;

TEST_F(MainWindowDropTest, FirstOfSeveralDroppedFilesWinsAndNothingIsOpened) {
  Open();
  ASSERT_TRUE(behaviour_->AcceptsDrops());
  behaviour_->DropFiles({"/srv/a.stf", "/srv/b.stf", "/srv/c.bin"});
  EXPECT_EQ(PathBox(), "/srv/a.stf");
  EXPECT_EQ(behaviour_->image_path(), "/srv/a.stf");
  EXPECT_EQ(engine_.stagings, 0);
  EXPECT_TRUE(engine_.file_paths.empty());
  EXPECT_EQ(engine_.posts.size(), 0u);
}

TEST_F(MainWindowDropTest, DropDuringARunIsRefusedSoConfigRecordsTheUpgradedImage) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  behaviour_->OnStart();
  EXPECT_FALSE(behaviour_->AcceptsDrops());
  behaviour_->DropFiles({"/srv/other.bin"});
  EXPECT_EQ(PathBox(), "/srv/fw/kvx.bin");
  Engine(WM_USER_PROG_SETUP, 3, UPGRADE_PART);
  Engine(WM_USER_END, 0, UPGRADE_END_ID);
  EXPECT_EQ(TempFolder::Read(config_path()), "portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  EXPECT_TRUE(behaviour_->AcceptsDrops()) << "taken again after the run";
}

using MainWindowExitTest = MainWindowFixture;

TEST_F(MainWindowExitTest, ExitBeforeAnyUpgradeEndsWithoutAsking) {
  Open();
  behaviour_->OnExit();
  EXPECT_TRUE(EndedAfterPending());
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u);
  EXPECT_EQ(dialogs_.port_setup_dismissals, 1) << "an open port setup would hold the engine";
  behaviour_->OnExit();
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u) << "asked once";
}

TEST_F(MainWindowExitTest, ExitDuringAnUpgradeAsksAndNoKeepsRunning) {
  Open();
  Engine(WM_USER_PROG_SETUP, 12, UPGRADE_PART);
  dialogs_.answers.push_back(BoxAnswer::kNo);
  Engine(WM_CLOSE);
  queue_.RunPending();
  EXPECT_EQ(dialogs_.boxes.back(), ExitQuestionBox());
  EXPECT_EQ(dialogs_.boxes.back().icon, BoxIcon::kNone);
  EXPECT_TRUE(engine_.PostsOf(WM_CLOSE).empty());
  EXPECT_EQ(view_.ends, 0);
}

TEST_F(MainWindowExitTest, AFailedUpgradeStillAsksAndYesCloses) {
  Open();
  Engine(WM_USER_PROG_SETUP, 12, UPGRADE_PART);
  Engine(WM_USER_BTN_CTRL, BTN_ENABLE, IDS_CONNECTION_FAILED);
  behaviour_->OnExit();
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 1);
  EXPECT_TRUE(EndedAfterPending());
}

TEST_F(MainWindowExitTest, PortSearchRangeDoesNotMakeExitAsk) {
  Open();
  Engine(WM_USER_PROG_SETUP, 0, CHECK_COM_PORT_PART);
  behaviour_->OnExit();
  EXPECT_TRUE(EndedAfterPending());
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
}

TEST_F(MainWindowExitTest, CommandsAfterExitReachNoEngine) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  behaviour_->OnExit();
  const std::size_t posts = engine_.posts.size();
  dialogs_.chosen_file = "/srv/fw/new.stf";
  behaviour_->OnStart();
  behaviour_->OnOpen();
  behaviour_->OnPortSetup();
  behaviour_->OnLogWindowKey();
  EXPECT_EQ(engine_.posts.size(), posts);
  EXPECT_TRUE(dialogs_.file_dialog_starts.empty());
  EXPECT_EQ(engine_.stagings, 0);
}

}  // namespace
}  // namespace kvx::ui::test

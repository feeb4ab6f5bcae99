// The main window's development mode: the key sequence, the profile's DEV value, the two
// options, the dump and log keys, and the desktop's about box and web page.

#include <ostream>
#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "operator/app_identity.h"

namespace kvx::ui::test {
namespace {

using MainWindowDevelopmentTest = MainWindowFixture;

TEST_F(MainWindowDevelopmentTest, SequenceInTimeSwitchesDevelopmentOnAndTellsTheEngine) {
  Open();
  EnterDevSequence(Milliseconds(500));
  EXPECT_TRUE(behaviour_->development());
  EXPECT_EQ(view_.title, "DEVELPEMENT mode enable - v (v1.0.1)");
  for (const int id : {IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE}) {
    EXPECT_TRUE(Control(id).visible) << id;
    EXPECT_TRUE(Control(id).enabled) << id;
  }
  const auto posts = engine_.PostsOf(WM_USER_DEV_MODE);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, DEV_MODE_ON);
}

TEST_F(MainWindowDevelopmentTest, TooSlowASequenceChangesNothingAndTheNextOneInTimeSwitches) {
  Open();
  behaviour_->OnDevSequenceKey(0);
  behaviour_->OnDevSequenceKey(1);
  clock_.Advance(Milliseconds(501));
  behaviour_->OnDevSequenceKey(2);
  behaviour_->OnDevSequenceKey(3);
  EXPECT_FALSE(behaviour_->development());
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty());
  EnterDevSequence();
  EXPECT_TRUE(behaviour_->development());
}

TEST_F(MainWindowDevelopmentTest, SequenceBegunWithItsSecondKeyChangesNothing) {
  Open();
  for (int step = 1; step < DevKeySequence::kSteps; ++step) behaviour_->OnDevSequenceKey(step);
  EXPECT_FALSE(behaviour_->development());
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty());
}

TEST_F(MainWindowDevelopmentTest, WithDevInTheProfileTheSequenceSwitchesOffThenOn) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EnterDevSequence();
  EXPECT_FALSE(behaviour_->development());
  EXPECT_EQ(view_.title, "Velmora KVX-01 Upgrader (v1.0.1)");
  EnterDevSequence();
  EXPECT_TRUE(behaviour_->development());
  const auto posts = engine_.PostsOf(WM_USER_DEV_MODE);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].lParam, DEV_MODE_OFF);
  EXPECT_EQ(posts[1].lParam, DEV_MODE_ON);
}

TEST_F(MainWindowDevelopmentTest, DumpToggleOnlyInDevelopmentModeAndLogToggleAlways) {
  Open();
  behaviour_->OnDumpKey();
  behaviour_->OnLogWindowKey();
  ASSERT_EQ(engine_.PostsOf(WM_USER_LOG_WND_CTRL).size(), 1u);
  EXPECT_EQ(engine_.PostsOf(WM_USER_LOG_WND_CTRL)[0].lParam, LOG_WND_TOGGLE);
  EnterDevSequence();
  behaviour_->OnDumpKey();
  const auto posts = engine_.PostsOf(WM_USER_LOG_WND_CTRL);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[1].lParam, DUMP_TOGGLE);
}

TEST_F(MainWindowDevelopmentTest, SwitchingOffHidesAndUnchecksTheOptions) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EnterDevSequence();
  EnterDevSequence();
  view_.Tick(IDC_DOWNGRADE, true);
  EnterDevSequence();
  EXPECT_FALSE(Control(IDC_DOWNGRADE).checked);
  EXPECT_FALSE(Control(IDC_DOWNGRADE).visible);
  EXPECT_FALSE(Control(IDC_DOWNGRADE).enabled);
}

TEST_F(MainWindowDevelopmentTest, SwitchingOnKeepsTheTicksOfAStartedRunAndClearsThemBefore) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  view_.Tick(IDC_DOWNGRADE, true);
  EnterDevSequence();
  EXPECT_FALSE(Control(IDC_DOWNGRADE).checked) << "no run started yet";
  ReportPort("ttyUSB0");
  view_.Tick(IDC_FORCED_BOOTLOADER, true);
  behaviour_->OnStart();
  EnterDevSequence();  // off: clears
  view_.Tick(IDC_FORCED_BOOTLOADER, true);
  EnterDevSequence();  // on again, after a start
  EXPECT_TRUE(Control(IDC_FORCED_BOOTLOADER).checked);
}

struct DevValueCase {
  const char* why;
  std::string profile;
  bool development_title;
  bool dump_toggle_posted;
  LPARAM first_switch;  // what the first completed key sequence tells the engine

  friend void PrintTo(const DevValueCase& c, std::ostream* out) { *out << c.why; }
};

class MainWindowDevValueTest : public MainWindowFixture,
                               public ::testing::WithParamInterface<DevValueCase> {};

TEST_P(MainWindowDevValueTest, TitleDumpKeyAndSequenceFollowTheProfileValue) {
  const DevValueCase& c = GetParam();
  Open(std::nullopt, c.profile);
  EXPECT_EQ(view_.title, StartTitle(c.development_title));
  behaviour_->OnDumpKey();
  EXPECT_EQ(engine_.PostsOf(WM_USER_LOG_WND_CTRL).size(), c.dump_toggle_posted ? 1u : 0u);
  EnterDevSequence();
  const auto switches = engine_.PostsOf(WM_USER_DEV_MODE);
  ASSERT_EQ(switches.size(), 1u);
  EXPECT_EQ(switches[0].lParam, c.first_switch);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MainWindowDevValueTest,
    ::testing::Values(DevValueCase{"no value", "", false, false, DEV_MODE_ON},
                      DevValueCase{"0", "[DEVELOPMENT]\nDEV=0\n", false, false, DEV_MODE_ON},
                      DevValueCase{"1", "[DEVELOPMENT]\nDEV=1\n", true, true, DEV_MODE_OFF},
                      DevValueCase{"2: no development title, but not 0 for the dump key",
                                   "[DEVELOPMENT]\nDEV=2\n", false, true, DEV_MODE_ON},
                      DevValueCase{"-1, the same", "[DEVELOPMENT]\nDEV=-1\n", false, true,
                                   DEV_MODE_ON}),
    [](const auto& info) { return std::to_string(info.index); });

struct OptionCase {
  const char* why;
  bool forced_boot;
  bool downgrade;
  LPARAM bits;

  friend void PrintTo(const OptionCase& c, std::ostream* out) { *out << c.why; }
};

class MainWindowOptionTest : public MainWindowFixture,
                             public ::testing::WithParamInterface<OptionCase> {};

TEST_P(MainWindowOptionTest, StartSendsTheCheckedOptionsAsBits) {
  const OptionCase& c = GetParam();
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  EnterDevSequence();
  view_.Tick(IDC_FORCED_BOOTLOADER, c.forced_boot);
  view_.Tick(IDC_DOWNGRADE, c.downgrade);
  behaviour_->OnStart();
  const auto posts = engine_.PostsOf(WM_USER_UPGRADE_START);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, c.bits);
}

INSTANTIATE_TEST_SUITE_P(Options, MainWindowOptionTest,
                         ::testing::Values(OptionCase{"none", false, false, 0},
                                           OptionCase{"downgrade is bit 0", false, true, 1},
                                           OptionCase{"forced bootloader is bit 2", true, false, 4},
                                           OptionCase{"both; bit 1 never", true, true, 5}),
                         [](const auto& info) { return std::to_string(info.index); });

using MainWindowDesktopTest = MainWindowFixture;

TEST_F(MainWindowDesktopTest, AboutBoxWebPageAndPortSetup) {
  Open();
  behaviour_->OnAbout();
  EXPECT_EQ(dialogs_.about_boxes, 1);
  behaviour_->OnWebLink();
  EXPECT_EQ(dialogs_.web_pages, std::vector<std::string>{std::string(kMakerHomePage)});
  behaviour_->OnPortSetup();
  EXPECT_EQ(engine_.PostsOf(WM_USER_PORT_SETUP).size(), 1u);
}

struct CommandCase {
  int id;
  UINT posted;  // what the command posts to the engine (0: nothing)
  LPARAM lParam;

  friend void PrintTo(const CommandCase& c, std::ostream* out) { *out << "id " << c.id; }
};

class MainWindowCommandIdTest : public MainWindowFixture,
                                public ::testing::WithParamInterface<CommandCase> {};

// The Windows dialog hands its buttons and accelerators over by id.
TEST_P(MainWindowCommandIdTest, EachIdRunsItsCommand) {
  const CommandCase& c = GetParam();
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EXPECT_TRUE(behaviour_->OnCommand(c.id));
  const auto posts = engine_.PostsOf(c.posted);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, c.lParam);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, MainWindowCommandIdTest,
    ::testing::Values(CommandCase{IDC_PORTSETUP, WM_USER_PORT_SETUP, 0},
                      CommandCase{IDC_EXIT, WM_CLOSE, 0},
                      CommandCase{ID_DUMP_TOGGLE, WM_USER_LOG_WND_CTRL, DUMP_TOGGLE},
                      CommandCase{ID_LOG_WINDOW_TOGGLE, WM_USER_LOG_WND_CTRL, LOG_WND_TOGGLE}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(MainWindowDesktopTest, CommandIdsForTheOtherCommandsAndNoneElse) {
  Open("portName=\r\npathFile=/srv/fw/kvx.bin\r\n");
  EXPECT_TRUE(behaviour_->OnCommand(IDM_ABOUT));
  EXPECT_EQ(dialogs_.about_boxes, 1);
  EXPECT_TRUE(behaviour_->OnCommand(IDC_START));
  EXPECT_EQ(dialogs_.boxes.back(), SelectPortBox());
  EXPECT_TRUE(behaviour_->OnCommand(IDC_OPEN));
  EXPECT_EQ(dialogs_.file_dialog_starts.size(), 1u);
  for (int step = 0; step < DevKeySequence::kSteps; ++step) {
    EXPECT_TRUE(behaviour_->OnCommand(ID_DEV_SEQUENCE_1 + step));
  }
  EXPECT_TRUE(behaviour_->development());
  EXPECT_FALSE(behaviour_->OnCommand(IDC_PATH_BOX));
}

}  // namespace
}  // namespace kvx::ui::test

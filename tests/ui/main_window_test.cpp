// The main window against a recording engine: start-up, Start and Open, drops, exit, the engine's
// reports, the completion prompt and the development key sequence.

#include <QLabel>
#include <thread>

#include "main_window_fixture.h"
#include "platform/string_table.h"
#include "operator/config_file.h"
#include "ui/log_window.h"

namespace kvx::ui::test {
namespace {

using MainWindowStartTest = MainWindowFixture;

TEST_F(MainWindowStartTest, ConfirmedWarningCreatesConfigAndLeavesStartOpenAndPortSetupEnabled) {
  Open();
  ASSERT_FALSE(dialogs_.boxes.empty());
  EXPECT_EQ(dialogs_.boxes.front(), StartupWarningBox());
  EXPECT_EQ(TempFolder::Read(config_path()), "portName=\r\npathFile=\r\n");
  EXPECT_TRUE(Button("startButton")->isEnabled());
  EXPECT_TRUE(Button("openButton")->isEnabled());
  EXPECT_TRUE(Button("portSetupButton")->isVisible());
  EXPECT_FALSE(Find<QCheckBox>("forcedBootloaderOption")->isVisible());
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isEnabled());
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1)");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_PORT_CONFIG).empty()) << "no port remembered";
  EXPECT_EQ(window_->size(), QSize(650, 450));
}

TEST_F(MainWindowStartTest, RememberedPortGoesToTheEngineAndThePathToThePathBox) {
  Open("portName=ttyUSB3\r\npathFile=/srv/fw/kvx.stf\r\n");
  const auto posts = engine_.PostsOf(WM_USER_PORT_CONFIG);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].text, "ttyUSB3");
  EXPECT_EQ(PathBox(), "/srv/fw/kvx.stf");
  EXPECT_TRUE(engine_.file_paths.empty()) << "the engine gets the path only at Start";
}

TEST_F(MainWindowStartTest, TheWarningComesBeforeTheWindowAppears) {
  Open();
  ASSERT_FALSE(dialogs_.owners_visible.empty());
  EXPECT_FALSE(dialogs_.owners_visible.front());
  EXPECT_TRUE(window_->isVisible()) << "confirmed: the window shows";
  EXPECT_EQ(show_counter_.shows, 1);
}

TEST_F(MainWindowStartTest, CancelledWarningEndsWithoutTheWindowOrConfig) {
  Open(std::nullopt, {}, BoxAnswer::kCancel);
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(show_counter_.shows, 0) << "the window never appeared";
  EXPECT_FALSE(std::filesystem::exists(config_path()));
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u);
  EXPECT_EQ(engine_.joins, 1);
}

TEST_F(MainWindowStartTest, EveryPortNameLineGoesToTheEngineInOrderInAStringOfItsOwn) {
  Open("portName=ttyUSB0\r\nportName=COM9\r\nportName=ttyACM1\r\npathFile=/fw/a.stf\r\n");
  const auto posts = engine_.PostsOf(WM_USER_PORT_CONFIG);
  ASSERT_EQ(posts.size(), 2u) << "a name that is no serial port is not tested";
  // Read only now, as the engine reads each string after the posts that followed it.
  EXPECT_EQ(*reinterpret_cast<const std::string*>(posts[0].wParam), "ttyUSB0");
  EXPECT_EQ(*reinterpret_cast<const std::string*>(posts[1].wParam), "ttyACM1");
  EXPECT_EQ(window_->port_name(), "ttyACM1") << "the last line holds until the engine answers";
}

TEST_F(MainWindowStartTest, DevelopmentProfileShowsOnlyInTheTitle) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EXPECT_EQ(Title(), "DEVELPEMENT mode enable - v (v1.0.1)");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty()) << "the engine is not told";
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isVisible());
}

using MainWindowStartCommandTest = MainWindowFixture;

TEST_F(MainWindowStartCommandTest, StartWithoutAPortAsksForOneAndSendsNothing) {
  Open("portName=\r\npathFile=/srv/fw/kvx.stf\r\n");
  Click("startButton");
  EXPECT_EQ(dialogs_.boxes.back(), SelectPortBox());
  EXPECT_EQ(dialogs_.boxes.back().caption, "Velmora KVX-01 Upgrader");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
  EXPECT_TRUE(engine_.file_paths.empty());
}

TEST_F(MainWindowStartCommandTest, StartWithoutAFileAsksForOneAndSendsNothing) {
  Open();
  ReportPort("ttyUSB0");
  Click("startButton");
  EXPECT_EQ(dialogs_.boxes.back(), SelectFileBox());
  EXPECT_EQ(dialogs_.boxes.back().text, "Please select the upgrade File");
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
}

TEST_F(MainWindowStartCommandTest, AcceptedStartHandsThePathOverAndDisablesTheControls) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  Click("startButton");
  ASSERT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START).size(), 1u);
  EXPECT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START)[0].lParam, 0);
  EXPECT_EQ(engine_.file_paths, std::vector<std::string>{"/srv/fw/kvx.bin"});
  EXPECT_FALSE(Button("startButton")->isEnabled());
  EXPECT_FALSE(Button("openButton")->isEnabled());
  EXPECT_FALSE(Button("portSetupButton")->isEnabled());
  EXPECT_TRUE(Find<QLineEdit>("pathBox")->isEnabled());
}

TEST_F(MainWindowStartCommandTest, OpenHandsTheChosenFileToTheEngineAndStagesIt) {
  Open();
  dialogs_.chosen_file = "/srv/fw/new.stf";
  Click("openButton");
  EXPECT_EQ(PathBox(), "/srv/fw/new.stf");
  EXPECT_EQ(engine_.file_paths, std::vector<std::string>{"/srv/fw/new.stf"});
  EXPECT_EQ(engine_.stagings, 1);
  EXPECT_EQ(Status(), "Ready to Start");
}

TEST_F(MainWindowStartCommandTest, OpenWhoseStagingFailsLeavesTheStatusAlone) {
  Open("portName=\r\npathFile=/srv/fw/old.bin\r\n");
  engine_.stage_result = false;
  dialogs_.chosen_file = "/srv/fw/broken.stf";
  Click("openButton");
  EXPECT_EQ(dialogs_.file_dialog_starts, std::vector<std::string>{"/srv/fw/old.bin"});
  EXPECT_EQ(engine_.stagings, 1);
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(PathBox(), "/srv/fw/broken.stf");
}

TEST_F(MainWindowStartCommandTest, CancelledOpenChangesNothing) {
  Open("portName=\r\npathFile=/srv/fw/old.bin\r\n");
  Click("openButton");
  EXPECT_EQ(PathBox(), "/srv/fw/old.bin");
  EXPECT_EQ(engine_.stagings, 0);
  EXPECT_TRUE(engine_.file_paths.empty());
}

TEST_F(MainWindowStartCommandTest, EnterAndEscapeNeitherStartNorClose) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(window_.get(), key);
  }
  QApplication::processEvents();
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_START).empty());
  EXPECT_TRUE(engine_.PostsOf(WM_CLOSE).empty());
  EXPECT_FALSE(ended_);
}

using MainWindowDropTest = MainWindowFixture;

TEST_F(MainWindowDropTest, FirstOfSeveralDroppedFilesWinsAndNothingIsOpened) {
  Open();
  Drop({"/srv/a.stf", "/srv/b.stf", "/srv/c.bin"});
  EXPECT_EQ(PathBox(), "/srv/a.stf");
  EXPECT_EQ(window_->image_path(), "/srv/a.stf");
  EXPECT_EQ(engine_.stagings, 0);
  EXPECT_TRUE(engine_.file_paths.empty());
  EXPECT_EQ(engine_.posts.size(), 0u);
}

TEST_F(MainWindowDropTest, LongDroppedNameIsCutTo259Characters) {
  Open();
  const QString long_name = QStringLiteral("/") + QString(300, QLatin1Char('x'));
  Drop({long_name});
  EXPECT_EQ(PathBox(), long_name.left(259));
}

TEST_F(MainWindowDropTest, DropDuringARunIsRefusedSoConfigRecordsTheUpgradedImage) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  Click("startButton");
  Drop({"/srv/other.bin"});
  EXPECT_EQ(PathBox(), "/srv/fw/kvx.bin");
}

using MainWindowExitTest = MainWindowFixture;

TEST_F(MainWindowExitTest, ExitBeforeAnyUpgradeEndsWithoutAsking) {
  Open();
  Click("exitButton");
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
  EXPECT_EQ(engine_.PostsOf(WM_CLOSE).size(), 1u);
}

TEST_F(MainWindowExitTest, ExitDuringAnUpgradeAsksAndNoKeepsRunning) {
  Open();
  Engine(WM_USER_PROG_SETUP, 12, UPGRADE_PART);
  dialogs_.answers.push_back(BoxAnswer::kNo);
  window_->close();
  QApplication::processEvents();
  EXPECT_EQ(dialogs_.boxes.back(), ExitQuestionBox());
  EXPECT_EQ(dialogs_.boxes.back().icon, BoxIcon::kNone);
  EXPECT_TRUE(engine_.PostsOf(WM_CLOSE).empty());
  EXPECT_FALSE(ended_);
}

TEST_F(MainWindowExitTest, AFailedUpgradeStillAsksAndYesCloses) {
  Open();
  Engine(WM_USER_PROG_SETUP, 12, UPGRADE_PART);
  Engine(WM_USER_BTN_CTRL, BTN_ENABLE, IDS_CONNECTION_FAILED);
  Click("exitButton");
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 1);
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
}

TEST_F(MainWindowExitTest, PortSearchRangeDoesNotMakeExitAsk) {
  Open();
  Engine(WM_USER_PROG_SETUP, 0, CHECK_COM_PORT_PART);
  Click("exitButton");
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
}

using MainWindowEngineReportTest = MainWindowFixture;

TEST_F(MainWindowEngineReportTest, ProgressRangesFollowTheAnnouncedPart) {
  Open();
  Engine(WM_USER_PROG_SETUP, 0, CHECK_COM_PORT_PART);
  EXPECT_EQ(Progress()->maximum(), 65535) << "6n-1 in 16 bits for n = 0";
  Engine(WM_USER_PROG_SETUP, 2, CHECK_COM_PORT_PART);
  EXPECT_EQ(Progress()->maximum(), 11);
  EXPECT_FALSE(window_->busy());
  Engine(WM_USER_PROG_SETUP, 40000, UPGRADE_PART);
  EXPECT_EQ(Progress()->maximum(), 40000) << "a 32-bit range above 32767";
  EXPECT_TRUE(window_->busy());
  Engine(WM_USER_PROG_PROC, 0, 39999);
  EXPECT_EQ(Progress()->value(), 39999);
  Engine(WM_USER_PROG_PROC, 0, 50000);
  EXPECT_EQ(Progress()->value(), 40000) << "held within the range";
}

TEST_F(MainWindowEngineReportTest, StatusShowsKnownTextsAndNamesUnknownIds) {
  Open();
  Engine(WM_USER_STATIC_LOG_CTRL, 0, IDS_UPGRADE_IN_PROGRESS);
  EXPECT_EQ(Status(), ToQString(*LoadString(IDS_UPGRADE_IN_PROGRESS)));
  Engine(WM_USER_STATIC_LOG_CTRL, 0, 9999);
  EXPECT_EQ(Status(), "[9999]static log error occur");
}

TEST_F(MainWindowEngineReportTest, ButtonControlShowsTheErrorBoxOrUnknownError) {
  Open();
  Engine(WM_USER_BTN_CTRL, BTN_DISABLE, 0);
  EXPECT_FALSE(Button("openButton")->isEnabled());
  EXPECT_EQ(dialogs_.boxes.size(), 1u) << "no box without an id";
  Engine(WM_USER_BTN_CTRL, BTN_ENABLE, IDS_LOWER_VERSION);
  EXPECT_TRUE(Button("openButton")->isEnabled());
  const BoxRequest expected{"Velmora KVX-01 Upgrader", "The selected SW is lower version!",
                            BoxIcon::kError, BoxButtons::kOk, true};
  EXPECT_EQ(dialogs_.boxes.back(), expected);
  Engine(WM_USER_BTN_CTRL, BTN_ENABLE, 4242);
  EXPECT_EQ(dialogs_.boxes.back().text, "Unknown error occurred");
}

TEST_F(MainWindowEngineReportTest, QuestionsAnswerYesOrNo) {
  Open();
  dialogs_.answers = {BoxAnswer::kYes, BoxAnswer::kNo};
  EXPECT_EQ(Engine(WM_USER_ASK, 0, IDS_SAME_VERSION_QUESTION), IDYES);
  EXPECT_EQ(dialogs_.boxes.back(), QuestionBox(IDS_SAME_VERSION_QUESTION));
  EXPECT_EQ(dialogs_.boxes.back().icon, BoxIcon::kQuestion);
  EXPECT_TRUE(dialogs_.boxes.back().topmost);
  EXPECT_EQ(Engine(WM_USER_ASK, 0, IDS_SAME_VERSION_QUESTION), IDNO);
}

TEST_F(MainWindowEngineReportTest, NoTerminalFoundWarnsWithTheProductCaption) {
  Open();
  EXPECT_EQ(Engine(WM_USER_DEVICE_COUNT, 0, 0), 0);
  const BoxRequest expected{"Velmora KVX-01 Upgrader",
                            "KVX is not connected.\r\nPlease connect the device and try again.",
                            BoxIcon::kExclamation, BoxButtons::kOk, false};
  EXPECT_EQ(dialogs_.boxes.back(), expected);
}

TEST_F(MainWindowEngineReportTest, SelectedPortGoesIntoTheTitleAndZeroBaudDeselects) {
  Open();
  ReportPort("ttyUSB5");
  EXPECT_TRUE(window_->port_selected());
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1) - (ttyUSB5)");
  ReportPort("", 0);
  EXPECT_FALSE(window_->port_selected());
}

TEST_F(MainWindowEngineReportTest, PortLabelShowsTheSelectedPortOrNone) {
  Open();
  const auto* label = Find<QLabel>("portLabel");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "none");
  ReportPort("ttyUSB5");
  EXPECT_EQ(label->text(), "ttyUSB5");
  ReportPortError(-1);
  EXPECT_EQ(label->text(), "none");
  const std::string by_id =
      "/dev/serial/by-id/usb-Velmora_KVX-01_Terminal_0123456789ABCDEF-if00-port0";
  ReportPort(by_id);
  EXPECT_TRUE(label->text().startsWith(QStringLiteral("/dev/"))) << "cut in the middle";
  EXPECT_TRUE(label->text().endsWith(QStringLiteral("port0")));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  EXPECT_EQ(label->toolTip(), ToQString(by_id));
  ReportPort("", 0);
  EXPECT_EQ(label->text(), "none");
}

struct PortErrorCase {
  const char* why;
  std::int32_t code;
  std::optional<std::string> text;  // nothing: no box and the selection stays
};

class MainWindowPortErrorTest : public MainWindowFixture,
                                public ::testing::WithParamInterface<PortErrorCase> {};

TEST_P(MainWindowPortErrorTest, ReportsTheProblemAndResetsTheTitle) {
  const PortErrorCase& c = GetParam();
  Open();
  ReportPort("ttyUSB7");
  const std::size_t boxes_before = dialogs_.boxes.size();
  ReportPortError(c.code);
  if (!c.text) {
    EXPECT_EQ(dialogs_.boxes.size(), boxes_before);
    EXPECT_TRUE(window_->port_selected());
    EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1) - (ttyUSB7)");
    return;
  }
  ASSERT_EQ(dialogs_.boxes.size(), boxes_before + 1);
  const BoxRequest expected{"", *c.text, BoxIcon::kExclamation, BoxButtons::kOk, false};
  EXPECT_EQ(dialogs_.boxes.back(), expected);
  EXPECT_FALSE(window_->port_selected());
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1)");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MainWindowPortErrorTest,
    ::testing::Values(
        PortErrorCase{"a positive count is no problem", 1, std::nullopt},
        PortErrorCase{"no free port at all", 0,
                      "None of serial ports is availabe now.\nPlease check the connection and try "
                      "it again!"},
        PortErrorCase{"the port is not there", -1,
                      "Serial port is not detected.\nPlease make sure the device is connected "
                      "correctly!"},
        PortErrorCase{"the port is held elsewhere", -2,
                      "ttyUSB7 is being occupied by one other application \nat this moment. "
                      "Please try it later!"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(MainWindowEngineReportTest, PortErrorInDevelopmentModeResetsTheDevelopmentTitle) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  ReportPort("ttyUSB7");
  ReportPortError(-1);
  EXPECT_EQ(Title(), "DEVELPEMENT mode enable - v (v1.0.1)");
}

using MainWindowCompletionTest = MainWindowFixture;

TEST_F(MainWindowCompletionTest, CompletionWritesConfigAndUpgradeAsksForThePortAgain) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\nstale=1\r\n");
  ReportPort("ttyUSB1");
  Click("startButton");
  Engine(WM_USER_PROG_SETUP, 3, UPGRADE_PART);
  Engine(WM_USER_END, 0, UPGRADE_END_ID);
  EXPECT_EQ(Status(), ToQString(*LoadString(IDS_UPGRADE_COMPLETED)));
  EXPECT_EQ(TempFolder::Read(config_path()), "portName=ttyUSB1\r\npathFile=/srv/fw/kvx.bin\r\n");
  EXPECT_EQ(dialogs_.completion_prompts, 1);
  EXPECT_EQ(engine_.PostsOf(WM_USER_UPGRADE_AGAIN).size(), 1u);
  EXPECT_TRUE(Button("startButton")->isEnabled());
  EXPECT_TRUE(window_->busy()) << "Upgrade keeps the exit question";
}

TEST_F(MainWindowCompletionTest, CompletionExitEndsWithoutTheExitQuestion) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  Click("startButton");
  Engine(WM_USER_PROG_SETUP, 3, UPGRADE_PART);
  dialogs_.completion_answers.push_back(CompletionChoice::kExit);
  Engine(WM_USER_END, 0, UPGRADE_END_ID);
  ASSERT_TRUE(SpinUntil([&] { return ended_; }));
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_AGAIN).empty());
}

using MainWindowDevelopmentTest = MainWindowFixture;

TEST_F(MainWindowDevelopmentTest, SequenceInTimeSwitchesDevelopmentOnAndTellsTheEngine) {
  Open();
  EnterDevSequence(Milliseconds(500));
  EXPECT_TRUE(window_->development());
  EXPECT_EQ(Title(), "DEVELPEMENT mode enable - v (v1.0.1)");
  EXPECT_TRUE(Find<QCheckBox>("forcedBootloaderOption")->isVisible());
  EXPECT_TRUE(Find<QCheckBox>("downgradeOption")->isEnabled());
  const auto posts = engine_.PostsOf(WM_USER_DEV_MODE);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, DEV_MODE_ON);
}

TEST_F(MainWindowDevelopmentTest, TooSlowASequenceChangesNothing) {
  Open();
  PressAccelerator(CSKY_DECK_UPGRADERDlg::kDevSequenceKeys[0]);
  PressAccelerator(CSKY_DECK_UPGRADERDlg::kDevSequenceKeys[1]);
  clock_.Advance(Milliseconds(501));
  PressAccelerator(CSKY_DECK_UPGRADERDlg::kDevSequenceKeys[2]);
  PressAccelerator(CSKY_DECK_UPGRADERDlg::kDevSequenceKeys[3]);
  EXPECT_FALSE(window_->development());
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty());
}

TEST_F(MainWindowDevelopmentTest, SequenceBegunWithItsSecondKeyChangesNothing) {
  Open();
  for (std::size_t step = 1; step < CSKY_DECK_UPGRADERDlg::kDevSequenceKeys.size(); ++step) {
    PressAccelerator(CSKY_DECK_UPGRADERDlg::kDevSequenceKeys[step]);
  }
  EXPECT_FALSE(window_->development());
  EXPECT_TRUE(engine_.PostsOf(WM_USER_DEV_MODE).empty());
}

TEST_F(MainWindowDevelopmentTest, WithDevInTheProfileTheSequenceSwitchesOffThenOn) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EnterDevSequence();
  EXPECT_FALSE(window_->development());
  EXPECT_EQ(Title(), "Velmora KVX-01 Upgrader (v1.0.1)");
  EnterDevSequence();
  EXPECT_TRUE(window_->development());
  const auto posts = engine_.PostsOf(WM_USER_DEV_MODE);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].lParam, DEV_MODE_OFF);
  EXPECT_EQ(posts[1].lParam, DEV_MODE_ON);
}

TEST_F(MainWindowDevelopmentTest, DumpToggleOnlyInDevelopmentModeAndLogToggleAlways) {
  Open();
  PressAccelerator(Qt::Key_T);
  PressAccelerator(Qt::Key_D);
  EXPECT_TRUE(engine_.PostsOf(WM_USER_LOG_WND_CTRL).size() == 1u);
  EXPECT_EQ(engine_.PostsOf(WM_USER_LOG_WND_CTRL)[0].lParam, LOG_WND_TOGGLE);
  EnterDevSequence();
  PressAccelerator(Qt::Key_T);
  const auto posts = engine_.PostsOf(WM_USER_LOG_WND_CTRL);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[1].lParam, DUMP_TOGGLE);
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
  EXPECT_EQ(Title(), StartTitle(c.development_title));
  PressAccelerator(Qt::Key_T);
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
};

class MainWindowOptionTest : public MainWindowFixture,
                             public ::testing::WithParamInterface<OptionCase> {};

TEST_P(MainWindowOptionTest, StartSendsTheCheckedOptionsAsBits) {
  const OptionCase& c = GetParam();
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  EnterDevSequence();
  Find<QCheckBox>("forcedBootloaderOption")->setChecked(c.forced_boot);
  Find<QCheckBox>("downgradeOption")->setChecked(c.downgrade);
  Click("startButton");
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

TEST_F(MainWindowDevelopmentTest, SwitchingOffHidesAndUnchecksTheOptions) {
  Open(std::nullopt, "[DEVELOPMENT]\nDEV=1\n");
  EnterDevSequence();
  EnterDevSequence();
  Find<QCheckBox>("downgradeOption")->setChecked(true);
  EnterDevSequence();
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("downgradeOption")->isVisible());
}

using MainWindowDesktopTest = MainWindowFixture;

TEST_F(MainWindowDesktopTest, LinkOpensOnlyForAPressAndReleaseBothInside) {
  Open();
  auto* link = Find<QWidget>("webLink");
  const QPoint inside(20, 20);
  QTest::mousePress(link, Qt::LeftButton, {}, inside);
  QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-30, 20));
  EXPECT_TRUE(dialogs_.web_pages.empty()) << "released outside";
  QTest::mousePress(window_.get(), Qt::LeftButton, {}, QPoint(10, 300));
  QTest::mouseRelease(link, Qt::LeftButton, {}, inside);
  EXPECT_TRUE(dialogs_.web_pages.empty()) << "pressed outside";
  QTest::mouseClick(link, Qt::LeftButton, {}, inside);
  EXPECT_EQ(dialogs_.web_pages, std::vector<std::string>{std::string(kMakerHomePage)});
}

TEST_F(MainWindowDesktopTest, F1OpensTheAboutBox) {
  Open();
  QTest::keyClick(window_.get(), Qt::Key_F1);
  EXPECT_EQ(dialogs_.about_boxes, 1);
}

TEST_F(MainWindowDesktopTest, PortSetupButtonAsksTheEngine) {
  Open();
  Click("portSetupButton");
  EXPECT_EQ(engine_.PostsOf(WM_USER_PORT_SETUP).size(), 1u);
}

TEST_F(MainWindowDesktopTest, EngineLogToggleShowsAndHidesTheLogWindow) {
  Open();
  engine_.hooks().log_window_visibility(true);
  QApplication::processEvents();
  EXPECT_TRUE(window_->log_window().isVisible());
  engine_.hooks().log_window_visibility(false);
  QApplication::processEvents();
  EXPECT_FALSE(window_->log_window().isVisible());
}

TEST_F(MainWindowDesktopTest, CableLostWarningDoesNotWaitForTheOperator) {
  Open();
  std::thread warning([hooks = engine_.hooks()] {
    hooks.show_cable_lost_warning("Warning", "Cable connection lost!\n Turn off and on modem");
  });
  warning.join();
  ASSERT_TRUE(SpinUntil([&] { return !dialogs_.boxes_without_waiting.empty(); }));
  EXPECT_EQ(dialogs_.boxes_without_waiting[0].caption, "Warning");
  EXPECT_EQ(dialogs_.boxes_without_waiting[0].icon, BoxIcon::kNone);
}

}  // namespace
}  // namespace kvx::ui::test

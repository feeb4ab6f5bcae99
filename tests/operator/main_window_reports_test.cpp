// The main window's behaviour on the engine's reports and requests: progress, status, errors and
// questions, the selected port and its problems, the completion prompt, and what the engine asks
// through its hooks.

#include <cerrno>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "main_window_fixture.h"
#include "operator/message_boxes.h"
#include "platform/port_permission.h"
#include "platform/string_table.h"

namespace kvx::ui::test {
namespace {

using MainWindowEngineReportTest = MainWindowFixture;

TEST_F(MainWindowEngineReportTest, ProgressRangesFollowTheAnnouncedPart) {
  Open();
  Engine(WM_USER_PROG_SETUP, 0, CHECK_COM_PORT_PART);
  EXPECT_EQ(view_.progress_range.maximum, 65535) << "6n-1 in 16 bits for n = 0";
  EXPECT_TRUE(view_.progress_range.sixteen_bits);
  Engine(WM_USER_PROG_SETUP, 2, CHECK_COM_PORT_PART);
  EXPECT_EQ(view_.progress_range.maximum, 11);
  EXPECT_FALSE(behaviour_->busy());
  Engine(WM_USER_PROG_PROC, 0, 5);
  EXPECT_EQ(view_.progress_position, 5);
  Engine(WM_USER_PROG_SETUP, 40000, UPGRADE_PART);
  EXPECT_EQ(view_.progress_range.minimum, 0);
  EXPECT_EQ(view_.progress_range.maximum, 40000) << "a 32-bit range above 32767";
  EXPECT_FALSE(view_.progress_range.sixteen_bits);
  EXPECT_EQ(view_.progress_position, 0) << "a new range starts at its start";
  EXPECT_TRUE(behaviour_->busy());
  Engine(WM_USER_PROG_PROC, 0, 39999);
  EXPECT_EQ(view_.progress_position, 39999);
  Engine(WM_USER_PROG_PROC, 0, 50000);
  EXPECT_EQ(view_.progress_position, 40000) << "held within the range";
}

TEST_F(MainWindowEngineReportTest, StatusShowsKnownTextsAndNamesUnknownIds) {
  Open();
  Engine(WM_USER_STATIC_LOG_CTRL, 0, IDS_UPGRADE_IN_PROGRESS);
  EXPECT_EQ(Status(), std::string(*LoadString(IDS_UPGRADE_IN_PROGRESS)));
  Engine(WM_USER_STATIC_LOG_CTRL, 0, 9999);
  EXPECT_EQ(Status(), "[9999]static log error occur");
}

TEST_F(MainWindowEngineReportTest, ButtonControlShowsTheErrorBoxOrUnknownError) {
  Open();
  Engine(WM_USER_BTN_CTRL, BTN_DISABLE, 0);
  EXPECT_FALSE(Control(IDC_OPEN).enabled);
  EXPECT_EQ(dialogs_.boxes.size(), 1u) << "no box without an id";
  Engine(WM_USER_BTN_CTRL, BTN_ENABLE, IDS_LOWER_VERSION);
  EXPECT_TRUE(Control(IDC_OPEN).enabled);
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
  EXPECT_TRUE(behaviour_->port_selected());
  EXPECT_EQ(view_.title, "Velmora KVX-01 Upgrader (v1.0.1) - (ttyUSB5)");
  EXPECT_EQ(view_.selected_port, "ttyUSB5");
  ReportPort("", 0);
  EXPECT_FALSE(behaviour_->port_selected());
  EXPECT_EQ(view_.selected_port, "");
}

struct PortErrorCase {
  const char* why;
  std::int32_t code;
  std::optional<std::string> text;  // nothing: no box and the selection stays

  friend void PrintTo(const PortErrorCase& c, std::ostream* out) { *out << c.why; }
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
    EXPECT_TRUE(behaviour_->port_selected());
    EXPECT_EQ(view_.title, "Velmora KVX-01 Upgrader (v1.0.1) - (ttyUSB7)");
    EXPECT_EQ(view_.selected_port, "ttyUSB7");
    return;
  }
  ASSERT_EQ(dialogs_.boxes.size(), boxes_before + 1);
  const BoxRequest expected{"", *c.text, BoxIcon::kExclamation, BoxButtons::kOk, false};
  EXPECT_EQ(dialogs_.boxes.back(), expected);
  EXPECT_FALSE(behaviour_->port_selected());
  EXPECT_EQ(view_.selected_port, "");
  EXPECT_EQ(view_.title, "Velmora KVX-01 Upgrader (v1.0.1)");
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
  EXPECT_EQ(view_.title, "DEVELPEMENT mode enable - v (v1.0.1)");
}

// The engine refuses a start on a busy port with only its port problem: the controls Start took
// away come back, and the next Start runs.
TEST_F(MainWindowEngineReportTest, PortErrorAfterStartGivesTheControlsBackForTheNextStart) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  behaviour_->OnStart();
  ASSERT_FALSE(Control(IDC_START).enabled);
  ReportPortError(-2);
  for (const int id : {IDC_PORTSETUP, IDC_START, IDC_OPEN}) EXPECT_TRUE(Control(id).enabled) << id;
  EXPECT_TRUE(behaviour_->AcceptsDrops());
  ReportPort("ttyUSB1");
  behaviour_->OnStart();
  EXPECT_EQ(engine_.PostsOf(WM_USER_UPGRADE_START).size(), 2u);
}

TEST_F(MainWindowEngineReportTest, APermissionRefusalFollowsTheEnginesBoxWithTheFix) {
  Open("portName=ttyUSB0\r\n");
  ReportPort("ttyUSB0");
  const std::size_t before = dialogs_.boxes.size();
  ReportPortError(-2);
  const std::string path = "/dev/kvx-no-such-ttyUSB0";
  Engine(WM_USER_PORT_ACCESS_DENIED, reinterpret_cast<WPARAM>(&path), EACCES);
  ASSERT_EQ(dialogs_.boxes.size(), before + 2) << "the occupied box, then the permission box";
  const BoxRequest& box = dialogs_.boxes.back();
  EXPECT_EQ(box.text, PortPermissionText(path, "dialout"));
  EXPECT_EQ(box.icon, BoxIcon::kExclamation);
  EXPECT_EQ(box.buttons, BoxButtons::kOk);
  const std::string none;
  Engine(WM_USER_PORT_ACCESS_DENIED, reinterpret_cast<WPARAM>(&none), EACCES);
  EXPECT_EQ(dialogs_.boxes.size(), before + 2) << "no device, no box";
}

using MainWindowCompletionTest = MainWindowFixture;

TEST_F(MainWindowCompletionTest, CompletionWritesConfigAndUpgradeAsksForThePortAgain) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\nstale=1\r\n");
  ReportPort("ttyUSB1");
  behaviour_->OnStart();
  Engine(WM_USER_PROG_SETUP, 3, UPGRADE_PART);
  Engine(WM_USER_END, 0, UPGRADE_END_ID);
  EXPECT_EQ(Status(), std::string(*LoadString(IDS_UPGRADE_COMPLETED)));
  EXPECT_EQ(TempFolder::Read(config_path()), "portName=ttyUSB1\r\npathFile=/srv/fw/kvx.bin\r\n");
  EXPECT_EQ(dialogs_.completion_prompts, 1);
  EXPECT_EQ(engine_.PostsOf(WM_USER_UPGRADE_AGAIN).size(), 1u);
  EXPECT_TRUE(Control(IDC_START).enabled);
  EXPECT_TRUE(behaviour_->busy()) << "Upgrade keeps the exit question";
}

TEST_F(MainWindowCompletionTest, CompletionExitEndsWithoutTheExitQuestion) {
  Open("portName=ttyUSB0\r\npathFile=/srv/fw/kvx.bin\r\n");
  ReportPort("ttyUSB0");
  behaviour_->OnStart();
  Engine(WM_USER_PROG_SETUP, 3, UPGRADE_PART);
  dialogs_.completion_answers.push_back(CompletionChoice::kExit);
  Engine(WM_USER_END, 0, UPGRADE_END_ID);
  EXPECT_TRUE(EndedAfterPending());
  EXPECT_EQ(dialogs_.CountBoxes(TextOrUnknown(IDS_EXIT_QUESTION)), 0);
  EXPECT_TRUE(engine_.PostsOf(WM_USER_UPGRADE_AGAIN).empty());
}

using MainWindowEngineRequestTest = MainWindowFixture;

TEST_F(MainWindowEngineRequestTest, EngineLogToggleShowsAndHidesTheLogWindow) {
  Open();
  engine_.hooks().log_window_visibility(true);
  queue_.RunPending();
  EXPECT_TRUE(view_.log_shown);
  engine_.hooks().log_window_visibility(false);
  queue_.RunPending();
  EXPECT_FALSE(view_.log_shown);
}

TEST_F(MainWindowEngineRequestTest, CableLostWarningDoesNotWaitForTheOperator) {
  Open();
  std::thread warning([hooks = engine_.hooks()] {
    hooks.show_cable_lost_warning("Warning", "Cable connection lost!\n Turn off and on modem");
  });
  warning.join();
  EXPECT_TRUE(dialogs_.boxes_without_waiting.empty()) << "only queued";
  queue_.RunPending();
  ASSERT_EQ(dialogs_.boxes_without_waiting.size(), 1u);
  EXPECT_EQ(dialogs_.boxes_without_waiting[0].caption, "Warning");
  EXPECT_EQ(dialogs_.boxes_without_waiting[0].icon, BoxIcon::kNone);
}

TEST_F(MainWindowEngineRequestTest, EngineBoxesAndPortSetupGoToTheDialogs) {
  Open();
  dialogs_.port_choice = PortChoice{"ttyUSB1", "115200"};
  std::optional<PortChoice> chosen;
  std::thread engine([&, hooks = engine_.hooks()] {
    hooks.show_message_box("", "SendMessage fail");
    hooks.show_information("KVX_2.10.3");
    chosen = hooks.run_port_setup({"ttyUSB0", "ttyUSB1"}, "ttyUSB0");
  });
  while (dialogs_.port_lists.empty()) ASSERT_TRUE(queue_.RunOne(std::chrono::seconds(30)));
  engine.join();
  ASSERT_GE(dialogs_.boxes.size(), 3u);
  EXPECT_EQ(dialogs_.boxes[dialogs_.boxes.size() - 2], PlainBox("", "SendMessage fail"));
  EXPECT_EQ(dialogs_.boxes.back(), InformationBox("KVX_2.10.3"));
  EXPECT_EQ(dialogs_.port_lists.back(), (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
  EXPECT_EQ(dialogs_.initial_ports.back(), "ttyUSB0");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->port, "ttyUSB1");
}

}  // namespace
}  // namespace kvx::ui::test

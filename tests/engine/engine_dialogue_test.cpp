// The AT dialogue: link errors, EMERGENCY terminals, the NV step, MMI replies, the version
// decision, the waits for the download mode and the repeats of AT+UPGRADE.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/timer_ids.h"
#include "engine_fixture.h"

namespace kvx::test {
namespace {

using test::PrintTo;

// The commands from `from` on, up to and including `to`.
std::vector<std::string> CommandsBetween(const std::vector<std::string>& all, std::string_view from,
                                         std::string_view to) {
  const auto begin = std::find(all.begin(), all.end(), from);
  if (begin == all.end()) return {};
  const auto end = std::find(begin, all.end(), to);
  return {begin, end == all.end() ? all.end() : end + 1};
}

bool Sent(const ScriptedTerminal& terminal, std::string_view command) {
  const auto texts = terminal.command_texts();
  return std::find(texts.begin(), texts.end(), command) != texts.end();
}

TEST_F(EngineTest, ErrorToTheLinkTestResendsAtWithoutRestartingTheResponseTimer) {
  terminal.AnswerLinkTestAt({});
  StartRun();
  AdvanceBy(600);
  port->Deliver("ERROR\r\n");
  Settle();
  const auto commands = terminal.commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[1].text, kLinkTest460800);
  EXPECT_EQ(commands[1].at_ms, 600);
  EXPECT_EQ(commands[1].baud, 115200u) << "the same line, still at 115200";
  EXPECT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__LINK);

  AdvanceBy(399);
  EXPECT_TRUE(port->is_open());
  AdvanceBy(1);
  EXPECT_FALSE(port->is_open()) << "the wait still ends 1000 ms after the open";
  EXPECT_TRUE(TimerRunning(IDT_WAIT_COM_RESTORE));
}

struct HwVerCase {
  const char* reason;
  std::string reply;
  bool error_line;  // "AT+HWVER response ERROR" is written
  bool known;       // the terminal's boot version was understood
};

class HwVerTest : public EngineTest, public ::testing::WithParamInterface<HwVerCase> {};

TEST_P(HwVerTest, EveryHardwareReplyMovesTheDialogueOn) {
  const HwVerCase& c = GetParam();
  terminal.Answer(std::string(kHwVerCommand), {c.reply});
  StartRun();
  EXPECT_TRUE(Sent(terminal, kGgmrCommand));
  EXPECT_EQ(TraceCount("AT+HWVER response ERROR\n"), c.error_line ? 1u : 0u);
  if (c.known) {
    EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  } else {
    EXPECT_EQ(front_end.OperatorMessages(), (std::vector<LPARAM>{IDS_VERSION_MISMATCH_64}))
        << "the boot rule finds the terminal's version unknown";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HwVerTest,
    ::testing::Values(HwVerCase{"prefixed and understood", std::string(kHwVerReply), false, true},
                      HwVerCase{"prefixed but refused: nothing written",
                                "+HWVER: SGQAABCDEFG V2.0.1\r\nOK\r\n", false, false},
                      HwVerCase{"bare and understood", "SFQAABCDEFG V2.0.1\r\nOK\r\n", false, true},
                      HwVerCase{"bare and refused", "HW 2.0\r\nOK\r\n", true, false},
                      HwVerCase{"ERROR", "ERROR\r\nOK\r\n", true, false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, AnIdentificationStalledBeforeTheStackOkIsRetriedOneSecondAfterTheOpen) {
  terminal.Silence(kGgmrCommand);
  StartRun();
  ASSERT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__GGMR);
  AdvanceBy(999);
  EXPECT_TRUE(port->is_open());
  AdvanceBy(401);
  const auto commands = terminal.commands();
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(commands[3].text, kLinkTest460800) << "after link test, hardware and stack queries";
  EXPECT_EQ(commands[3].baud, 460800u);
  EXPECT_EQ(commands[3].at_ms, 1400);
}

struct WaitCase {
  const char* reason;
  std::string_view silenced;
  std::string nv_reply;
  std::int32_t state;
};

class UnguardedWaitTest : public EngineTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(UnguardedWaitTest, TheRunWaitsWithoutATimer) {
  const WaitCase& c = GetParam();
  terminal.Answer(std::string(kNvCheckCommand), {c.nv_reply});
  terminal.Silence(c.silenced);
  StartRun();
  ASSERT_EQ(worker.Snapshot().m_nAtState, c.state);
  const std::size_t sent = terminal.commands().size();
  EXPECT_FALSE(loop.NextTimerDue().has_value());
  AdvanceBy(10 * 60 * 1000);
  EXPECT_EQ(worker.Snapshot().m_nAtState, c.state);
  EXPECT_TRUE(port->is_open());
  EXPECT_EQ(terminal.commands().size(), sent);
  EXPECT_TRUE(front_end.Enables().empty());
}

INSTANTIATE_TEST_SUITE_P(
    States, UnguardedWaitTest,
    ::testing::Values(
        WaitCase{"the NV version", kNvCheckCommand, std::string(kNvReply), AT_PARSING__NV_CHECK},
        WaitCase{"the OK to a new NV version", "AT+MMI=\"NEW_NVM_VERSION\",1.02\r",
                 "NV_VER1.01\r\n", AT_PARSING__NV_UPDATE},
        WaitCase{"the MMI version", kSysVerCommand, std::string(kNvReply), AT_PARSING__SYSVER},
        WaitCase{"+START", kUpgradeCommand, std::string(kNvReply), AT_PARSING__UPGRADE}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, AnEmergencyTerminalIsNeverAskedForItsNvOrMmiVersion) {
  terminal.Answer(std::string(kGgmrCommand), {"EMERGENCY\r\nOK\r\n"});
  StartRun();
  const auto texts = terminal.command_texts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 4),
            (std::vector<std::string>{std::string(kLinkTest115200), std::string(kHwVerCommand),
                                      std::string(kGgmrCommand), std::string(kDownloadCommand)}));
  EXPECT_TRUE(TraceHas("Velmora JQ EMERGENCY boot mode\n", kTraceBlack));
  EXPECT_EQ(TraceCount("binary mmi ver [2][10][3]\n"), 0u) << "the MMI rule is skipped";

  // Both kill lines of the connect timer come between the stack reply's OK and the request.
  const auto trace = Trace();
  std::size_t kills = 0;
  for (const TraceEntry& e : trace) {
    if (e.text == "AT+MMI=\"USB_DOWNLOAD\"\n") break;
    kills += e.text == "IDT_CONNECT_RESPONSE timer kill\n" ? 1 : 0;
  }
  EXPECT_EQ(kills, 2u);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

struct NvCase {
  const char* reason;
  std::optional<std::string> image_nv;
  std::string reply;
  std::vector<std::string> commands;  // from the NV check up to AT+SYSVer
  std::string binary_line;
  std::string target_line;
  const char* verdict;  // the red line after the comparison, or nullptr
};

class NvStepTest : public EngineTest, public ::testing::WithParamInterface<NvCase> {};

TEST_P(NvStepTest, GivesTheTerminalTheImagesNvVersionOnlyWhenTheTextsDiffer) {
  const NvCase& c = GetParam();
  SampleImageSpec spec = DefaultImageSpec();
  spec.nv = c.image_nv;
  UseImage(spec);
  terminal.Answer(std::string(kNvCheckCommand), {c.reply});
  terminal.Answer("AT+MMI=\"NEW_NVM_VERSION\",1.20\r", {"OK\r\n"});
  StartRun();

  EXPECT_EQ(CommandsBetween(terminal.command_texts(), kNvCheckCommand, kSysVerCommand), c.commands);
  EXPECT_TRUE(TraceHas(c.binary_line, kTraceRed)) << c.binary_line;
  EXPECT_TRUE(TraceHas(c.target_line, kTraceRed)) << c.target_line;
  const std::size_t same = TraceCount("NV version 같음.\n");
  const std::size_t differ = TraceCount("NV version 이 서로 다름 !!!!!!!!!!!!!!!!\n");
  if (c.verdict == nullptr) {
    EXPECT_EQ(same + differ, 0u);
  } else {
    EXPECT_TRUE(TraceHas(std::string(c.verdict) + "\n", kTraceRed));
    EXPECT_EQ(same + differ, 1u);
  }
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u) << "the NV step refuses nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, NvStepTest,
    ::testing::Values(NvCase{"equal texts go straight on",
                             "1.02",
                             "NV_VER1.02\r\n",
                             {std::string(kNvCheckCommand), std::string(kSysVerCommand)},
                             "binary NV ver 1.02\n",
                             "target NV ver 1.02\n",
                             "NV version 같음."},
                      NvCase{"one character differs",
                             "1.02",
                             "NV_VER1.01\r\n",
                             {std::string(kNvCheckCommand), "AT+MMI=\"NEW_NVM_VERSION\",1.02\r",
                              std::string(kSysVerCommand)},
                             "binary NV ver 1.02\n",
                             "target NV ver 1.01\n",
                             "NV version 이 서로 다름 !!!!!!!!!!!!!!!!"},
                      NvCase{"the same number in other characters (a trailing blank) differs",
                             "1.20",
                             "NV_VER1.2 \r\n",
                             {std::string(kNvCheckCommand), "AT+MMI=\"NEW_NVM_VERSION\",1.20\r",
                              std::string(kSysVerCommand)},
                             "binary NV ver 1.20\n",
                             "target NV ver 1.20\n",
                             "NV version 이 서로 다름 !!!!!!!!!!!!!!!!"},
                      NvCase{"an empty reply skips the update",
                             "1.02",
                             "NV_VER\r\n",
                             {std::string(kNvCheckCommand), std::string(kSysVerCommand)},
                             "binary NV ver 1.02\n",
                             "target NV ver 0.00\n",
                             nullptr},
                      NvCase{"an image without an NV version skips the update",
                             std::nullopt,
                             "NV_VER1.02\r\n",
                             {std::string(kNvCheckCommand), std::string(kSysVerCommand)},
                             "binary NV ver 0.00\n",
                             "target NV ver 1.02\n",
                             nullptr}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, TheMmiQueryWaitsForTheOkToTheNewNvVersion) {
  terminal.Answer(std::string(kNvCheckCommand), {"NV_VER1.01\r\n"});
  terminal.Silence("AT+MMI=\"NEW_NVM_VERSION\",1.02\r");
  StartRun();
  EXPECT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__NV_UPDATE);
  EXPECT_FALSE(Sent(terminal, kSysVerCommand));
  port->Deliver("+CME: busy\r\n");
  Settle();
  EXPECT_FALSE(Sent(terminal, kSysVerCommand)) << "only OK moves on";
  port->Deliver("OK\r\n");
  Settle();
  EXPECT_TRUE(Sent(terminal, kSysVerCommand));
}

TEST_F(EngineTest, AnUnparsableMmiReplyIsAskedForAgainForEveryLine) {
  terminal.Answer(std::string(kSysVerCommand),
                  {"OK+SYSVer:XYZ_2.9.0\r\n", "+CME ERROR: 3\r\n", std::string(kSysVerReply)});
  StartRun();
  const auto texts = terminal.command_texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), kSysVerCommand), 3);
  EXPECT_EQ(CommandsBetween(texts, kSysVerCommand, kDownloadCommand).size(), 4u)
      << "three queries, then the download-mode request";
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

struct DecisionCase {
  const char* reason;
  std::string hwver_reply;
  std::string sysver_reply;
  LPARAM options;
  LRESULT answer;
  std::vector<LPARAM> messages;      // operator messages shown, in order
  std::vector<LPARAM> questions;     // questions asked
  std::optional<std::uint8_t> mode;  // the mode sent when the run goes on; none: it stops
  const char* red_line;              // a red line the decision writes
};

class DecisionTest : public EngineTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(DecisionTest, AppliesTheRulesAndTheOperatorOptions) {
  const DecisionCase& c = GetParam();
  terminal.Answer(std::string(kHwVerCommand), {c.hwver_reply});
  terminal.Answer(std::string(kSysVerCommand), {c.sysver_reply});
  front_end.ask_answer = c.answer;
  StartRun(c.options);

  EXPECT_EQ(front_end.OperatorMessages(), c.messages);
  EXPECT_EQ(front_end.Questions(), c.questions);
  EXPECT_TRUE(TraceHas(std::string(c.red_line), kTraceRed)) << c.red_line;
  const auto setup = terminal.frames(kCmdSetup);
  if (!c.mode) {
    EXPECT_FALSE(Sent(terminal, kDownloadCommand)) << "no download-mode request";
    const std::vector<LPARAM> enables = front_end.Enables();
    EXPECT_EQ(std::count(enables.begin(), enables.end(), 0), 1)
        << "Disconnect(0) enables the controls once";
    EXPECT_FALSE(port->is_open());
    EXPECT_TRUE(setup.empty());
    return;
  }
  ASSERT_EQ(setup.size(), 1u);
  ASSERT_EQ(setup[0].body.size(), kSetupBodySize);
  EXPECT_EQ(setup[0].body[0], *c.mode);
  const std::uint64_t sent = *c.mode == 1 ? image.size() : image.size() - kSampleBootRegionSize;
  EXPECT_EQ(ReadLe64(setup[0].body, kSetupDataSizeOffset), sent);
  const std::size_t segments = (sent + 65535) / 65536;
  EXPECT_EQ(terminal.frames(kCmdWrite).size(), segments);
  const auto ranges = front_end.Of(WM_USER_PROG_SETUP);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1].wParam, segments) << "the progress range is the count sent";
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

constexpr const char* kHwEqual = "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\n";
constexpr const char* kHwNewer = "+HWVER: SFQAABCDEFG V3.0.0\r\nOK\r\n";
constexpr const char* kHwOlder = "+HWVER: SFQAABCDEFG V1.4.0\r\nOK\r\n";
constexpr const char* kMmiOlder = "OK+SYSVer:KVX_2.9.0_ML_VM\r\n";
constexpr const char* kMmiEqual = "OK+SYSVer:KVX_2.10.3_ML_VM\r\n";
constexpr const char* kMmiNewer = "OK+SYSVer:KVX_2.11.0_ML_VM\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rules, DecisionTest,
    ::testing::Values(DecisionCase{"a lower image MMI stops the run with 151",
                                   kHwEqual,
                                   kMmiNewer,
                                   0,
                                   IDYES,
                                   {IDS_LOWER_VERSION},
                                   {},
                                   std::nullopt,
                                   "@@check_mmi_version false\n"},
                      DecisionCase{"downgrade lets a lower image MMI through after 151",
                                   kHwEqual,
                                   kMmiNewer,
                                   OPTION_DOWNGRADE,
                                   IDYES,
                                   {IDS_LOWER_VERSION},
                                   {},
                                   0,
                                   "@@강제 업그레이드 합니다\n"},
                      DecisionCase{"an equal MMI answered Yes goes on",
                                   kHwEqual,
                                   kMmiEqual,
                                   0,
                                   IDYES,
                                   {},
                                   {IDS_SAME_VERSION_QUESTION},
                                   0,
                                   "동일 버전, 사용자가 업그레이드 계속 요구\n"},
                      DecisionCase{"an equal MMI answered No stops",
                                   kHwEqual,
                                   kMmiEqual,
                                   0,
                                   IDNO,
                                   {},
                                   {IDS_SAME_VERSION_QUESTION},
                                   std::nullopt,
                                   "@@check_mmi_version false\n"},
                      DecisionCase{"downgrade goes on after No",
                                   kHwEqual,
                                   kMmiEqual,
                                   OPTION_DOWNGRADE,
                                   IDNO,
                                   {},
                                   {IDS_SAME_VERSION_QUESTION},
                                   0,
                                   "@@강제 업그레이드 합니다\n"},
                      DecisionCase{"an equal boot major sends the image after its boot region",
                                   kHwEqual,
                                   kMmiOlder,
                                   0,
                                   IDYES,
                                   {},
                                   {},
                                   0,
                                   "Stack 영역만 전송합니다 [4]\n"},
                      DecisionCase{
                          "forced bootloader sends the whole image though the majors are equal",
                          kHwEqual,
                          kMmiOlder,
                          OPTION_FORCE_BOOT,
                          IDYES,
                          {},
                          {},
                          1,
                          "Bootloader 영역까지 전부 전송합니다 [8]\n"},
                      DecisionCase{"an older terminal bootloader gets the whole image",
                                   kHwOlder,
                                   kMmiOlder,
                                   0,
                                   IDYES,
                                   {},
                                   {},
                                   1,
                                   "Bootloader 영역까지 전부 전송합니다 [8]\n"},
                      DecisionCase{"a newer terminal bootloader stops the run with 160",
                                   kHwNewer,
                                   kMmiOlder,
                                   0,
                                   IDYES,
                                   {IDS_LOWER_VERSION_60},
                                   {},
                                   std::nullopt,
                                   "@@check_bsp_version false\n"},
                      DecisionCase{"forced bootloader shows 160 and sends the whole image",
                                   kHwNewer,
                                   kMmiOlder,
                                   OPTION_FORCE_BOOT,
                                   IDYES,
                                   {IDS_LOWER_VERSION_60},
                                   {},
                                   1,
                                   "Bootloader 강제 업그레이드\n"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

struct DownloadWaitCase {
  const char* reason;
  bool acknowledged;  // "OK" to the download-mode request, but no restart
};

class DownloadWaitTest : public EngineTest,
                         public ::testing::WithParamInterface<DownloadWaitCase> {};

TEST_P(DownloadWaitTest, RepeatsAtUpappFourTimesFifteenSecondsApartThenGivesUpWith146) {
  if (GetParam().acknowledged) {
    terminal.RestartOnDownloadRequest(false);
  } else {
    terminal.Silence(kDownloadCommand);
  }
  terminal.Silence(kUpappCommand);
  StartRun();
  ASSERT_TRUE(Sent(terminal, kDownloadCommand));
  const std::int64_t request_at = NowMs();

  AdvanceBy(2999);
  EXPECT_FALSE(Sent(terminal, kUpappCommand));
  AdvanceBy(1 + 3 * 15000);
  std::vector<std::int64_t> times;
  for (const auto& c : terminal.commands()) {
    if (c.text != kUpappCommand) continue;
    times.push_back(c.at_ms - request_at);
    EXPECT_EQ(c.baud, 460800u) << "the line is at 460800 before AT+UPAPP goes out";
  }
  EXPECT_EQ(times, (std::vector<std::int64_t>{3000, 18000, 33000, 48000}));
  EXPECT_EQ(TraceCount("AT+UPAPP\n"), 4u);

  AdvanceBy(14999);
  EXPECT_TRUE(front_end.Enables().empty());
  AdvanceBy(1);
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{IDS_UPGRADE_FAILED}));
  EXPECT_EQ(TraceCount("Change Baud rate 115200 -> 460800\r"), 1u) << "the rate changes once";
  EXPECT_EQ(port->configure_count(), 2) << "the open and one rate change";
  AdvanceBy(60000);
  EXPECT_EQ(TraceCount("AT+UPAPP\n"), 4u);
}

INSTANTIATE_TEST_SUITE_P(Terminals, DownloadWaitTest,
                         ::testing::Values(DownloadWaitCase{"no answer to the request", false},
                                           DownloadWaitCase{"acknowledged, never restarts", true}),
                         [](const auto& info) {
                           return info.param.acknowledged ? "Acknowledged" : "Unanswered";
                         });

TEST_F(EngineTest, ErrorToAtUpgradeWaitsOneSecondAndAsksAgain) {
  terminal.Answer(std::string(kUpgradeCommand), {"ERROR\r\n", "ERROR\r\n", "+START\r\n"});
  StartRun();
  std::vector<std::int64_t> times;
  for (const auto& c : terminal.commands()) {
    if (c.text == kUpgradeCommand) times.push_back(c.at_ms);
  }
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 1000, 2000}));
  EXPECT_EQ(TraceCount("AT+UPGRADE\n"), 3u);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

TEST_F(EngineTest, AnErrorLineWithMoreTextIsNotAnErrorToAtUpgrade) {
  terminal.Answer(std::string(kUpgradeCommand), {"ERROR: busy\r\n"});
  StartRun();
  const auto texts = terminal.command_texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), kUpgradeCommand), 1);
  EXPECT_EQ(NowMs(), 0);
  EXPECT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__UPGRADE);
}

}  // namespace
}  // namespace kvx::test
